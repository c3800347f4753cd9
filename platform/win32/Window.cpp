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

#ifdef _WIN32_WCE
namespace {

// The program declares itself aware of high-resolution screens
// (HI_RES_AWARE), so CE hands it the screen's own pixels: on a 192-dpi
// (480 x 640) screen the shell's menu bar is twice kMenuBarHeight high.
int ScreenPixels(int pixels) {
    HDC screen = GetDC(NULL);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(NULL, screen);
    return dpi > 96 ? pixels * dpi / 96 : pixels;
}

}  // namespace
#endif

void ShortenWindow(HWND hwnd, int pixels) {
#ifdef _WIN32_WCE
    const BOOL repaint = FALSE;
    pixels = ScreenPixels(pixels);
#else
    const BOOL repaint = TRUE;
#endif
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, (rc.bottom - pixels) - rc.top, repaint);
}
