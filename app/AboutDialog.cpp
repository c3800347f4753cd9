// The About dialog: a full-screen page closed by the OK button that the
// shell puts in its caption. Only IDOK closes it; cancel is ignored.
#include <string.h>

#include "app/App.h"

namespace {

INT_PTR OnInitAbout(HWND hDlg) {
    SHINITDLGINFO info;
    memset(&info, 0, sizeof info);
    info.dwMask = kShidimFlags;
    info.hDlg = hDlg;
    info.dwFlags = kShidifDoneButton | kShidifSizeDlgFullScreen | kShidifSipDown;
    SHInitDialog(&info);
    return TRUE;  // the system sets the initial focus
}

INT_PTR OnAboutCommand(HWND hDlg, WORD id) {
    if (id != IDOK) return FALSE;
    EndDialog(hDlg, 1);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return OnInitAbout(hDlg);
    case WM_COMMAND: return OnAboutCommand(hDlg, LOWORD(wParam));
    }
    return FALSE;
}
