#include "tests/app/RecordingShell.h"

ShellLog g_shell;

void ResetShell() { g_shell = ShellLog(); }

extern "C" {

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi) {
    g_shell.menuBars.push_back(*pmbi);
    if (!g_shell.menuBarSucceeds) return FALSE;
    pmbi->hwndMB = CreateWindowExW(0, L"STATIC", L"bar", WS_POPUP, 0, 0, 10, 10, pmbi->hwndParent,
                                   NULL, NULL, NULL);
    g_shell.menuBarWindow = pmbi->hwndMB;
    return TRUE;
}

BOOL WINAPI SHInitDialog(SHINITDLGINFO* pshidi) {
    g_shell.dialogs.push_back(*pshidi);
    return TRUE;
}

BOOL WINAPI SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai) {
    g_shell.settingChanges.push_back({hwnd, wParam, lParam, psai, *psai, 0});
    return TRUE;
}

BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai,
                               DWORD dwFlags) {
    g_shell.activations.push_back({hwnd, wParam, lParam, psai, *psai, dwFlags});
    return TRUE;
}
}
