// The Pocket PC shell (aygshell.dll), as far as PORTMEDIC uses it: the menu
// bar, dialog initialisation and the activation and setting-change
// handlers. The program imports these by number (34, 56, 83, 84) as a
// device program does; on desktop Windows our own stand-in
// (aygshell/, a program of its own) provides them.
//
// The records are the shell's own, with 32-bit fields on the device and on
// 32-bit Windows (36, 12 and 12 bytes); handles widen them in a 64-bit build.
#pragma once

#include <windows.h>

struct SHMENUBARINFO {
    DWORD cbSize;     // sizeof(SHMENUBARINFO)
    HWND hwndParent;  // the window that receives the commands
    DWORD dwFlags;
    UINT nToolBarId;     // menu-bar definition (RCDATA) and menu of that id
    HINSTANCE hInstRes;  // module holding both
    int nBmpId;          // bitmap with button images (0: none)
    int cBmpImages;
    HWND hwndMB;  // out: the menu-bar window
    COLORREF clrBk;
};

struct SHACTIVATEINFO {
    DWORD cbSize;        // sizeof(SHACTIVATEINFO)
    HWND hwndLastFocus;  // the shell's: focus to give back on activation
    DWORD flags;         // the shell's: kShaiSipUp, kShaiSipOnDeactivation, kShaiActive
};

struct SHINITDLGINFO {
    DWORD dwMask;  // kShidimFlags: dwFlags is valid
    HWND hDlg;
    DWORD dwFlags;  // kShidif... below
};

// The menu bar's height in pixels, along the bottom of the program's
// window: the shell makes it this high, and the program leaves room for it.
enum { kMenuBarHeight = 26 };

enum : DWORD {
    kShaiSipUp = 1,
    kShaiSipOnDeactivation = 2,
    kShaiActive = 4,

    kShidimFlags = 1,

    kShidifDoneButton = 0x01,         // an OK button in the caption
    kShidifSizeDlgFullScreen = 0x04,  // the dialog covers the screen
    kShidifSipDown = 0x08,            // lower the input panel
};

#if defined(_WIN64)
static_assert(sizeof(SHMENUBARINFO) == 56, "menu-bar record layout");
static_assert(sizeof(SHACTIVATEINFO) == 24, "activation record layout");
#else
static_assert(sizeof(SHMENUBARINFO) == 36, "menu-bar record layout");
static_assert(sizeof(SHACTIVATEINFO) == 12, "activation record layout");
static_assert(sizeof(SHINITDLGINFO) == 12, "dialog record layout");
#endif

extern "C" {
// 34: creates the menu bar described by pmbi; non-zero on success, with
// pmbi->hwndMB set.
BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi);
// 56: initialises a dialog from its WM_INITDIALOG.
BOOL WINAPI SHInitDialog(SHINITDLGINFO* pshidi);
// 83: a WM_SETTINGCHANGE of the window, with its activation record.
BOOL WINAPI SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai);
// 84: a WM_ACTIVATE of the window, with its activation record.
BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai,
                               DWORD dwFlags);
}
