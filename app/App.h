// The PORTMEDIC program: start-up, the main window and the About dialog.
//
//   WinMain -> InitInstance (single copy, class, window) -> message loop
//   MainWndProc: menu bar, paint, the commands About / Detect / Repair / Exit
//   AboutDlgProc: the About dialog, closed by its caption's OK button
#pragma once

#include <windows.h>

#include "platform/Shell.h"
#include "repair/GlobalTexts.h"

// Global state of the program, touched only by its one thread.
extern HINSTANCE g_hInst;              // the module holding the resources
extern HWND g_hwndMenuBar;             // 0 when the shell made no menu bar
extern SHACTIVATEINFO g_activateInfo;  // the shell's record for this window

// Start-up: returns 1 with the main window created and shown, 0 when the
// program is to end (a copy already runs, or the window was not created).
BOOL InitInstance(HINSTANCE hInstance, int nCmdShow);
// Registers the main window's class under className; the caller ignores
// the result.
ATOM RegisterMainClass(HINSTANCE hInstance, LPCWSTR className);
// Runs the message loop with the accelerators of table accel until the quit
// message; returns the quit message's code.
int RunMessageLoop(HACCEL accel);

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Asks the shell for the menu bar from resource IDR_MENUBAR; 0 on failure.
HWND CreateMenuBar(HWND hwnd);
// Draws g_displayText word-wrapped into the window's client area, 10 pixels
// in from its left, top and right edges.
void PaintContent(HWND hwnd, HDC dc);

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
