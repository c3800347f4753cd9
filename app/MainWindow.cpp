// The main window: its menu bar, the painted report and the commands.
//
// MainWndProc only routes: each message it handles has a function of its
// own below, and painting (PaintContent) is kept apart from the WM_PAINT
// plumbing (OnPaint).
#include <string.h>

#include "app/App.h"
#include "app/resource.h"
#include "repair/SerialScan.h"
#include "text/WideText.h"

HWND g_hwndMenuBar;
SHACTIVATEINFO g_activateInfo;

namespace {

const WCHAR kMessageCaption[] = L"PORTMEDIC";
enum { kTextMargin = 10 };  // left, top and right; none at the bottom

LRESULT OnCreate(HWND hwnd) {
    g_hwndMenuBar = CreateMenuBar(hwnd);
    memset(&g_activateInfo, 0, sizeof g_activateInfo);
    g_activateInfo.cbSize = sizeof g_activateInfo;
    return 0;
}

LRESULT OnDestroy() {
    DestroyWindow(g_hwndMenuBar);
    g_hwndMenuBar = NULL;
    PostQuitMessage(0);
    return 0;
}

LRESULT OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    SHHandleWMActivate(hwnd, wParam, lParam, &g_activateInfo, 0);
    return 0;
}

LRESULT OnSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    SHHandleWMSettingChange(hwnd, wParam, lParam, &g_activateInfo);
    return 0;
}

LRESULT OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    PaintContent(hwnd, dc);
    EndPaint(hwnd, &ps);
    return 0;
}

// Runs the scan and shows its report in place of whatever was shown. The
// background is erased too: the text is drawn line by line, so without it
// the longer intro would show through between the report's lines.
void ScanIntoDisplay(HWND hwnd, TextString& message, bool repair) {
    TextString report;
    ScanSerialDrivers(report, message, repair);
    g_displayText.Assign(report);
    InvalidateRect(hwnd, NULL, TRUE);
}

// Detect only: the scan's message is never shown here.
void OnDetect(HWND hwnd) {
    TextString message;
    ScanIntoDisplay(hwnd, message, false);
}

// Detect and repair; the new report is already invalidated, so it is
// painted behind the box while the box is open.
void OnRepair(HWND hwnd) {
    TextString message;
    ScanIntoDisplay(hwnd, message, true);
    if (message.IsEmpty()) return;
    WideText text(message.CStr(), -1);
    MessageBoxW(hwnd, text.buffer, kMessageCaption, MB_OK);
}

void OnAbout(HWND hwnd) {
    const LPCWSTR kDialogType = MAKEINTRESOURCEW(5);  // RT_DIALOG
    HRSRC found = FindResourceW(g_hInst, MAKEINTRESOURCEW(IDD_ABOUT), kDialogType);
    if (!found) return;
    HGLOBAL loaded = LoadResource(g_hInst, found);
    if (!loaded) return;
    // LockResource: on the device LoadResource already gives the address.
    DialogBoxIndirectParamW(g_hInst, (LPCDLGTEMPLATEW)LockResource(loaded), hwnd, AboutDlgProc, 0);
}

// The window first tells the shell it is no longer active, then closes;
// WM_DESTROY ends the message loop.
void OnExit(HWND hwnd) {
    SendMessageW(hwnd, WM_ACTIVATE, WA_INACTIVE, (LPARAM)hwnd);
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
}

LRESULT OnCommand(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_HELP_ABOUT: OnAbout(hwnd); return 0;
    case IDM_DETECT: OnDetect(hwnd); return 0;
    case IDM_REPAIR: OnRepair(hwnd); return 0;
    case IDOK:
    case IDM_EXIT: OnExit(hwnd); return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

HWND CreateMenuBar(HWND hwnd) {
    SHMENUBARINFO mbi;
    memset(&mbi, 0, sizeof mbi);
    mbi.cbSize = sizeof mbi;
    mbi.hwndParent = hwnd;
    mbi.nToolBarId = IDR_MENUBAR;
    mbi.hInstRes = g_hInst;
    if (!SHCreateMenuBar(&mbi)) return NULL;
    return mbi.hwndMB;
}

void PaintContent(HWND hwnd, HDC dc) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    rc.left += kTextMargin;
    rc.top += kTextMargin;
    rc.right -= kTextMargin;
    WideText text(g_displayText.CStr(), -1);
    DrawTextW(dc, text.buffer, -1, &rc, DT_WORDBREAK);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_DESTROY: return OnDestroy();
    case WM_ACTIVATE: return OnActivate(hwnd, wParam, lParam);
    case WM_PAINT: return OnPaint(hwnd);
    case WM_SETTINGCHANGE: return OnSettingChange(hwnd, wParam, lParam);
    case WM_COMMAND: return OnCommand(hwnd, message, wParam, lParam);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
