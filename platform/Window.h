// The few window calls whose habits differ between Windows CE and desktop
// Windows. The program calls these instead of the raw functions, so the
// difference stays here.
#pragma once

#include <windows.h>

// WinMain's command-line parameter: wide text on Windows CE, ANSI text on
// desktop Windows. The program ignores it; only the declaration differs.
//   int WINAPI WinMain(HINSTANCE, HINSTANCE, WinMainCommandLine, int);
#ifdef _WIN32_WCE
typedef LPWSTR WinMainCommandLine;
#else
typedef LPSTR WinMainCommandLine;
#endif

// Brings a running copy's window (or the pop-up it last had active, such as
// an open dialog or message box) to the front.
//
// Windows CE programs set the lowest bit of the handle they pass to
// SetForegroundWindow; CE then activates the window's last active pop-up
// instead of the window itself. Desktop Windows and Wine do not know that
// habit. The handle may come with or without the bit: on Windows CE it is
// set and the call is made as CE expects; on the desktop the bit is cleared
// and the last active pop-up is brought forward explicitly.
void BringWindowForward(HWND handleWithLowBit);

// Shortens the window by the given number of pixels, keeping its other
// edges. Windows CE keeps the window's bits when it is shortened, so there
// it is not repainted; desktop Windows (and Wine) hands the shortened window
// a fresh, unerased surface, so there the move asks for the repaint. On
// Windows CE the pixels are those of a 96-dpi screen, scaled to the
// screen's own (twice as many on a 192-dpi one), as the shell scales its
// menu bar for a program aware of high-resolution screens.
void ShortenWindow(HWND hwnd, int pixels);
