#include "platform/Foreground.h"

void BringWindowForward(HWND hwnd) {
#ifdef _WIN32_WCE
    SetForegroundWindow((HWND)((ULONG_PTR)hwnd | 1));
#else
    HWND popup = GetLastActivePopup(hwnd);
    SetForegroundWindow(hwnd);
    if (popup && popup != hwnd) SetForegroundWindow(popup);
#endif
}
