// Start-up: one running copy at most, the window class and the main window.
#include <string.h>

#include "app/App.h"
#include "app/resource.h"
#include "platform/Window.h"

HINSTANCE g_hInst;

namespace {

enum { kNameLength = 100 };  // buffers for the class name and the title
}  // namespace

ATOM RegisterMainClass(HINSTANCE hInstance, LPCWSTR className) {
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_APPICON));
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    return RegisterClassW(&wc);
}

BOOL InitInstance(HINSTANCE hInstance, int nCmdShow) {
    g_hInst = hInstance;

    // Empty unless loaded, so a missing string never leaves stack garbage.
    WCHAR className[kNameLength] = {0};
    WCHAR title[kNameLength] = {0};
    LoadStringW(hInstance, IDS_WINDOW_CLASS, className, kNameLength);
    LoadStringW(hInstance, IDS_APP_TITLE, title, kNameLength);

    HWND running = FindWindowW(className, title);
    if (running) {
        // The lowest bit asks for the windows it owns (an open About
        // dialog) to come forward as well.
        BringWindowForward((HWND)((UINT_PTR)running | 1));
        return FALSE;
    }

    RegisterMainClass(hInstance, className);
    HWND hwnd = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);
    if (!hwnd) return FALSE;

    if (g_hwndMenuBar) ShortenWindow(hwnd, kMenuBarHeight);
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);
    return TRUE;
}
