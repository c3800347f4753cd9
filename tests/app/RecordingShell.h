// A Pocket PC shell for the in-process tests: it keeps what the program
// hands it, and its menu bar succeeds or fails as the test asks.
#pragma once

#include <vector>

#include "platform/Shell.h"

struct ActivateCall {
    HWND hwnd;
    WPARAM wParam;
    LPARAM lParam;
    SHACTIVATEINFO* record;
    SHACTIVATEINFO copy;  // the record as it was at the call
    DWORD flags;
};

struct ShellLog {
    bool menuBarSucceeds = true;
    std::vector<SHMENUBARINFO> menuBars;  // as handed over
    HWND menuBarWindow = NULL;            // the last one made
    std::vector<ActivateCall> activations;
    std::vector<ActivateCall> settingChanges;
    std::vector<SHINITDLGINFO> dialogs;
};

extern ShellLog g_shell;
void ResetShell();
