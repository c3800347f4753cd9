// A Pocket PC shell whose menu bar never comes: PORTMEDIC must then keep
// the window the system gave it and still answer its accelerators.
#include "platform/Shell.h"

extern "C" {

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO*) { return FALSE; }
BOOL WINAPI SHInitDialog(SHINITDLGINFO*) { return TRUE; }
BOOL WINAPI SHHandleWMSettingChange(HWND, WPARAM, LPARAM, SHACTIVATEINFO*) { return TRUE; }
BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM, SHACTIVATEINFO*, DWORD) {
    if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
    return TRUE;
}
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
}
