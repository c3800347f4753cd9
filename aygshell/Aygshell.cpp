// A stand-in for the Pocket PC shell library (aygshell.dll) on desktop
// Windows, where no such shell exists. It provides what PORTMEDIC asks of
// the shell and no more:
//
//   34 SHCreateMenuBar          the menu bar: one push button per button of
//                               the menu-bar definition; a button drops
//                               down its menu and the chosen item goes to
//                               the parent as WM_COMMAND
//   56 SHInitDialog             the caption's button ends the dialog with
//                               IDOK; the dialog covers the work area; its
//                               controls get the desktop's dialog font
//   83 SHHandleWMSettingChange  checks its record; there is no input panel
//   84 SHHandleWMActivate       keeps the focus with the activated window
//
// The menu bar lies along the bottom edge of its parent as the parent was
// created (on the device that is the bottom of the work area, since the
// program's window fills it), kMenuBarHeight pixels high and as wide as the
// parent.
#include <stdlib.h>
#include <string.h>

#include "platform/Shell.h"

namespace {

const WCHAR kMenuBarClass[] = L"menu_worker";
const WCHAR kDialogProcProp[] = L"PortmedicShellDialogProc";
const WCHAR kDropDownProp[] = L"PortmedicShellDropDown";
enum { kButtonPadding = 16 };
enum : WORD {
    kStyleDropDown = 0x08,
    kStyleAutoSize = 0x10,
    kStateEnabled = 0x04,
};

HINSTANCE g_module;

// The menu-bar definition (RCDATA): the menu's id, the number of buttons,
// then seven words per button.
struct ButtonDef {
    WORD image;
    WORD command;
    WORD state;
    WORD style;
    WORD label;  // string resource
    WORD reserved;
    WORD subMenu;  // drop-down of the menu that the button opens
};

struct MenuBar {
    HWND parent;
    HMENU menu;
    bool dropped;  // a menu is open: the bar keeps the activation meanwhile
};

// Posted to the bar when it was activated: hands the activation back.
const UINT kGiveBackActivation = WM_APP + 1;

MenuBar* BarOf(HWND bar) { return (MenuBar*)GetWindowLongPtrW(bar, GWLP_USERDATA); }

// Drops down the button's menu just above it; the chosen item goes to the
// parent as a command. Afterwards the parent is given back the activation
// (and with it the keyboard), as on the device, where the bar never has it.
void DropDown(HWND bar, HWND button) {
    MenuBar* mb = BarOf(bar);
    HMENU popup = GetSubMenu(mb->menu, (int)GetWindowLongPtrW(button, GWLP_USERDATA));
    RECT rc;
    GetWindowRect(button, &rc);
    UINT command = 0;
    mb->dropped = true;
    if (popup)
        command = (UINT)TrackPopupMenuEx(
            popup, TPM_LEFTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD | TPM_NONOTIFY, rc.left, rc.top,
            bar, NULL);
    mb->dropped = false;
    SetForegroundWindow(mb->parent);
    if (command) PostMessageW(mb->parent, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

// A drop-down button opens its menu; a plain one sends its own command.
void OnButton(HWND bar, HWND button, WORD id) {
    if (GetPropW(button, kDropDownProp))
        DropDown(bar, button);
    else
        PostMessageW(BarOf(bar)->parent, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

LRESULT CALLBACK MenuBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_ACTIVATE:
        // The device's menu bar never holds the keyboard: the parent's
        // accelerators must keep working. Clicking a button or closing a
        // dialog may still activate the bar here; it passes it back.
        if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(bar, kGiveBackActivation, 0, 0);
        return 0;
    case kGiveBackActivation: {
        MenuBar* mb = BarOf(bar);
        if (mb && !mb->dropped && GetActiveWindow() == bar && IsWindowEnabled(mb->parent))
            SetForegroundWindow(mb->parent);
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam) OnButton(bar, (HWND)lParam, LOWORD(wParam));
        return 0;
    case WM_NCDESTROY:
        if (MenuBar* mb = BarOf(bar)) {
            DestroyMenu(mb->menu);
            free(mb);
            SetWindowLongPtrW(bar, GWLP_USERDATA, 0);
        }
        break;
    }
    return DefWindowProcW(bar, message, wParam, lParam);
}

bool RegisterMenuBarClass() {
    WNDCLASSW wc;
    if (GetClassInfoW(g_module, kMenuBarClass, &wc)) return true;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = MenuBarProc;
    wc.hInstance = g_module;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMenuBarClass;
    return RegisterClassW(&wc) != 0;
}

// The definition's words, checked for the size its button count needs.
const WORD* LoadDefinition(HINSTANCE module, UINT id, WORD* buttonCount) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return NULL;
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const WORD* words = loaded ? (const WORD*)LockResource(loaded) : NULL;
    if (!words || size < 2 * sizeof(WORD)) return NULL;
    *buttonCount = words[1];
    if (*buttonCount == 0 || size < 2 * sizeof(WORD) + *buttonCount * sizeof(ButtonDef))
        return NULL;
    return words;
}

int LabelWidth(HWND bar, HFONT font, const WCHAR* label) {
    HDC dc = GetDC(bar);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, label, lstrlenW(label), &size);
    SelectObject(dc, old);
    ReleaseDC(bar, dc);
    return size.cx + kButtonPadding;
}

// One push button per definition, left to right; false when a label is
// missing or a button cannot be made.
bool AddButtons(HWND bar, HINSTANCE module, const ButtonDef* defs, WORD count) {
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    int x = 0;
    for (WORD i = 0; i < count; ++i) {
        const ButtonDef& def = defs[i];
        WCHAR label[100] = {0};
        if (!LoadStringW(module, def.label, label, 100)) return false;
        int width = (def.style & kStyleAutoSize) ? LabelWidth(bar, font, label) : 80;
        HWND button =
            CreateWindowExW(0, L"BUTTON", label, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, x, 0, width,
                            kMenuBarHeight, bar, (HMENU)(UINT_PTR)def.command, g_module, NULL);
        if (!button) return false;
        SendMessageW(button, WM_SETFONT, (WPARAM)font, FALSE);
        SetWindowLongPtrW(button, GWLP_USERDATA, def.subMenu);
        if (def.style & kStyleDropDown) SetPropW(button, kDropDownProp, (HANDLE)1);
        if (!(def.state & kStateEnabled)) EnableWindow(button, FALSE);
        (void)def.image;  // only kNoImage occurs: no bitmap is ever given
        x += width;
    }
    return true;
}

// The dialog's caption button (the close box) and WM_CLOSE end the dialog
// with IDOK, as the device's OK button does; IDCANCEL is never sent.
LRESULT CALLBACK DoneButtonProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = (WNDPROC)GetPropW(dlg, kDialogProcProp);
    if ((message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) || message == WM_CLOSE) {
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dlg, GWLP_WNDPROC, (LONG_PTR)original);
        RemovePropW(dlg, kDialogProcProp);
    }
    return CallWindowProcW(original, dlg, message, wParam, lParam);
}

void AddDoneButton(HWND dlg) {
    if (GetPropW(dlg, kDialogProcProp)) return;
    SetWindowLongPtrW(dlg, GWL_STYLE, GetWindowLongPtrW(dlg, GWL_STYLE) | WS_SYSMENU);
    SetPropW(dlg, kDialogProcProp, (HANDLE)GetWindowLongPtrW(dlg, GWLP_WNDPROC));
    SetWindowLongPtrW(dlg, GWLP_WNDPROC, (LONG_PTR)DoneButtonProc);
    SetWindowPos(dlg, NULL, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The device's "System" font is its ordinary user-interface font; the
// desktop's is an old, much wider bitmap font. The controls get the
// desktop's user-interface font instead, keep their places, and a text
// that would still wrap is given the width it needs (the dialog is about
// to cover the work area, so there is room).
BOOL CALLBACK UseDesktopFont(HWND control, LPARAM font) {
    SendMessageW(control, WM_SETFONT, (WPARAM)font, TRUE);
    WCHAR text[200] = {0};
    if (!GetWindowTextW(control, text, 200) || !text[0]) return TRUE;
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, (HFONT)font);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT rc;
    GetClientRect(control, &rc);
    if (size.cx > rc.right)
        SetWindowPos(control, NULL, 0, 0, size.cx + 2, rc.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

void FillWorkArea(HWND dlg) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MoveWindow(dlg, work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
}

bool ValidActivateInfo(const SHACTIVATEINFO* psai) {
    return psai && psai->cbSize == sizeof(SHACTIVATEINFO);
}

bool IsSelfOrChild(HWND hwnd, HWND other) {
    return other && (other == hwnd || IsChild(hwnd, other));
}

}  // namespace

extern "C" {

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi) {
    if (!pmbi || pmbi->cbSize != sizeof(SHMENUBARINFO) || !IsWindow(pmbi->hwndParent)) return FALSE;
    WORD count = 0;
    const WORD* words = LoadDefinition(pmbi->hInstRes, pmbi->nToolBarId, &count);
    if (!words) return FALSE;
    HMENU menu = LoadMenuW(pmbi->hInstRes, MAKEINTRESOURCEW(words[0]));
    if (!menu) return FALSE;
    if (!RegisterMenuBarClass()) {
        DestroyMenu(menu);
        return FALSE;
    }

    RECT rc;
    GetWindowRect(pmbi->hwndParent, &rc);
    HWND bar =
        CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kMenuBarClass, L"",
                        WS_POPUP | WS_CLIPCHILDREN, rc.left, rc.bottom - kMenuBarHeight,
                        rc.right - rc.left, kMenuBarHeight, pmbi->hwndParent, NULL, g_module, NULL);
    if (!bar) {
        DestroyMenu(menu);
        return FALSE;
    }
    MenuBar* mb = (MenuBar*)malloc(sizeof(MenuBar));
    mb->parent = pmbi->hwndParent;
    mb->menu = menu;
    mb->dropped = false;
    SetWindowLongPtrW(bar, GWLP_USERDATA, (LONG_PTR)mb);
    if (!AddButtons(bar, pmbi->hInstRes, (const ButtonDef*)(words + 2), count)) {
        DestroyWindow(bar);  // frees the menu too
        return FALSE;
    }
    ShowWindow(bar, SW_SHOWNOACTIVATE);
    pmbi->hwndMB = bar;
    return TRUE;
}

BOOL WINAPI SHInitDialog(SHINITDLGINFO* pshidi) {
    if (!pshidi || !(pshidi->dwMask & kShidimFlags) || !IsWindow(pshidi->hDlg)) return FALSE;
    EnumChildWindows(pshidi->hDlg, UseDesktopFont, (LPARAM)GetStockObject(DEFAULT_GUI_FONT));
    if (pshidi->dwFlags & kShidifDoneButton) AddDoneButton(pshidi->hDlg);
    if (pshidi->dwFlags & kShidifSizeDlgFullScreen) FillWorkArea(pshidi->hDlg);
    // kShidifSipDown: desktop Windows has no input panel to lower.
    return TRUE;
}

BOOL WINAPI SHHandleWMSettingChange(HWND hwnd, WPARAM, LPARAM, SHACTIVATEINFO* psai) {
    // The device resizes the window when the input panel opens or closes;
    // here there is none, so nothing changes.
    return ValidActivateInfo(psai) && IsWindow(hwnd);
}

BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM, SHACTIVATEINFO* psai, DWORD) {
    if (!ValidActivateInfo(psai) || !IsWindow(hwnd)) return FALSE;
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (IsSelfOrChild(hwnd, focus)) psai->hwndLastFocus = focus;
        psai->flags &= ~kShaiActive;
        return TRUE;
    }
    psai->flags |= kShaiActive;
    if (HIWORD(wParam)) return TRUE;  // minimised: no focus to give
    HWND target = psai->hwndLastFocus;
    if (!IsWindow(target) || !IsSelfOrChild(hwnd, target)) target = hwnd;
    SetFocus(target);
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

}  // extern "C"
