#include "platform/Window.h"

#include <stdint.h>

void BringWindowForward(HWND handleWithLowBit) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handleWithLowBit);
#ifdef _WIN32_WCE
    SetForegroundWindow(reinterpret_cast<HWND>(value | 1));
#else
    HWND window = reinterpret_cast<HWND>(value & ~uintptr_t(1));
    if (!window) return;
    HWND popup = GetLastActivePopup(window);
    SetForegroundWindow(popup ? popup : window);
#endif
}

void ShortenWindow(HWND hwnd, int pixels) {
#ifdef _WIN32_WCE
    const BOOL repaint = FALSE;
#else
    const BOOL repaint = TRUE;
#endif
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, (rc.bottom - pixels) - rc.top, repaint);
}
