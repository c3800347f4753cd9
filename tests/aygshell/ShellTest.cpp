// Our aygshell.dll on its own: loaded like the device's, reached by number
// only, given the program's resources (linked into this test) and windows
// of the test's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "platform/Shell.h"
#include "tests/support/WindowText.h"

namespace {

typedef BOOL(WINAPI* CreateMenuBarFn)(SHMENUBARINFO*);
typedef BOOL(WINAPI* InitDialogFn)(SHINITDLGINFO*);
typedef BOOL(WINAPI* SettingChangeFn)(HWND, WPARAM, LPARAM, SHACTIVATEINFO*);
typedef BOOL(WINAPI* ActivateFn)(HWND, WPARAM, LPARAM, SHACTIVATEINFO*, DWORD);

HMODULE Shell() {
    static HMODULE module = LoadLibraryW(PM_SHELL_PATH);
    return module;
}
FARPROC Ordinal(int n) { return GetProcAddress(Shell(), MAKEINTRESOURCEA(n)); }
template <typename Fn> Fn Entry(int n) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(Ordinal(n)));
}

void Pump() {
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
}

std::vector<WPARAM> g_commands;  // WM_COMMAND ids the parent or dialog got

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeParent() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"ShellTestParent";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"ShellTestParent", L"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20,
                           30, 300, 400, NULL, NULL, GetModuleHandleW(NULL), NULL);
}

SHMENUBARINFO Record(HWND parent) {
    SHMENUBARINFO mbi = {};
    mbi.cbSize = sizeof mbi;
    mbi.hwndParent = parent;
    mbi.nToolBarId = IDR_MENUBAR;
    mbi.hInstRes = GetModuleHandleW(NULL);
    return mbi;
}

// Only the four numbers, and no names.
TEST(Shell, ExportsByNumberOnly) {
    ASSERT_NE(Shell(), nullptr);
    for (int n : {34, 56, 83, 84}) EXPECT_NE(Ordinal(n), nullptr) << n;
    for (int n : {1, 33, 35, 55, 57, 82, 85}) EXPECT_EQ(Ordinal(n), nullptr) << n;
    for (const char* name : {"SHCreateMenuBar", "SHInitDialog", "SHHandleWMActivate"})
        EXPECT_EQ(GetProcAddress(Shell(), name), nullptr) << name;
}

// 34 refuses a wrong record size, a missing definition and a missing
// menu, and makes nothing then.
TEST(Shell, MenuBarFailures) {
    auto create = Entry<CreateMenuBarFn>(34);
    HWND parent = MakeParent();
    struct {
        const char* what;
        DWORD size;
        UINT id;
        HINSTANCE module;
    } cases[] = {{"size 0", 0, IDR_MENUBAR, GetModuleHandleW(NULL)},
                 {"size 35", 35, IDR_MENUBAR, GetModuleHandleW(NULL)},
                 {"no definition 999", sizeof(SHMENUBARINFO), 999, GetModuleHandleW(NULL)},
                 {"no resources", sizeof(SHMENUBARINFO), IDR_MENUBAR, Shell()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SHMENUBARINFO mbi = Record(parent);
        mbi.cbSize = c.size;
        mbi.nToolBarId = c.id;
        mbi.hInstRes = c.module;
        EXPECT_FALSE(create(&mbi));
        EXPECT_EQ(mbi.hwndMB, nullptr);
    }
    EXPECT_EQ(FindWindowW(L"menu_worker", NULL), nullptr);
    DestroyWindow(parent);
}

// 34 makes a bar along the parent's bottom, 26 pixels high, with one
// button "Herramientas" that drops down the menu; the chosen item reaches
// the parent as a command.
TEST(Shell, MenuBarFromTheDefinition) {
    auto create = Entry<CreateMenuBarFn>(34);
    HWND parent = MakeParent();
    SHMENUBARINFO mbi = Record(parent);
    ASSERT_TRUE(create(&mbi));
    HWND bar = mbi.hwndMB;
    ASSERT_TRUE(IsWindow(bar));
    EXPECT_EQ(GetWindow(bar, GW_OWNER), parent);
    RECT pr, br;
    GetWindowRect(parent, &pr);
    GetWindowRect(bar, &br);
    EXPECT_EQ(br.left, pr.left);
    EXPECT_EQ(br.right, pr.right);
    EXPECT_EQ(br.bottom, pr.bottom);
    EXPECT_EQ(br.bottom - br.top, 26);

    HWND button = GetWindow(bar, GW_CHILD);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(GetWindow(button, GW_HWNDNEXT), nullptr) << "more than one button";
    EXPECT_EQ(ClassOf(button), L"Button");
    EXPECT_EQ(TextOf(button), L"Herramientas");
    EXPECT_EQ(GetDlgCtrlID(button), IDM_TOOLS);

    // Down twice and Enter, queued before the click: the second item.
    g_commands.clear();
    SetForegroundWindow(parent);
    PostMessageW(bar, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(bar, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(bar, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(button, BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(g_commands, std::vector<WPARAM>{IDM_DETECT});

    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(bar)) << "the bar outlived its parent";
}

INT_PTR CALLBACK RecordingDlgProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
    return message == WM_INITDIALOG;
}

HWND AboutTemplateDialog() {
    HMODULE module = GetModuleHandleW(NULL);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(IDD_ABOUT), MAKEINTRESOURCEW(5));
    auto tmpl = (LPCDLGTEMPLATEW)LockResource(LoadResource(module, res));
    return CreateDialogIndirectParamW(module, tmpl, NULL, RecordingDlgProc, 0);
}

// 56 with flags 13: a caption button that sends IDOK (also for WM_CLOSE),
// never IDCANCEL, and the dialog over the whole work area.
TEST(Shell, DialogInitialisation) {
    auto init = Entry<InitDialogFn>(56);
    HWND dlg = AboutTemplateDialog();
    ASSERT_NE(dlg, nullptr);
    SHINITDLGINFO bad = {0, dlg, 13};
    EXPECT_FALSE(init(&bad)) << "a record without the flags mask";
    SHINITDLGINFO info = {kShidimFlags, dlg, 13};
    EXPECT_TRUE(init(&info));
    EXPECT_TRUE(GetWindowLongW(dlg, GWL_STYLE) & WS_SYSMENU);
    RECT rc, work;
    GetWindowRect(dlg, &rc);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_TRUE(EqualRect(&rc, &work));

    g_commands.clear();
    SendMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(dlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(g_commands, (std::vector<WPARAM>{IDOK, IDOK}));
    DestroyWindow(dlg);
}

// 83 and 84 check the record's size; 84 keeps the focus with the window.
TEST(Shell, ActivationAndSettings) {
    auto settings = Entry<SettingChangeFn>(83);
    auto activate = Entry<ActivateFn>(84);
    HWND parent = MakeParent();
    HWND child = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, parent, NULL,
                                 NULL, NULL);
    SHACTIVATEINFO wrong = {};
    wrong.cbSize = 11;
    EXPECT_FALSE(settings(parent, 0, 0, &wrong));
    EXPECT_FALSE(activate(parent, WA_ACTIVE, 0, &wrong, 0));
    EXPECT_FALSE(activate(parent, WA_ACTIVE, 0, NULL, 0));

    SHACTIVATEINFO sai = {};
    sai.cbSize = sizeof sai;
    EXPECT_TRUE(settings(parent, 224, 0, &sai));
    SetForegroundWindow(parent);
    SetFocus(child);
    EXPECT_TRUE(activate(parent, WA_INACTIVE, 0, &sai, 0));
    EXPECT_EQ(sai.hwndLastFocus, child);
    EXPECT_EQ(sai.flags & kShaiActive, 0u);
    SetFocus(parent);
    EXPECT_TRUE(activate(parent, WA_ACTIVE, 0, &sai, 0));
    EXPECT_EQ(GetFocus(), child) << "focus not given back";
    EXPECT_NE(sai.flags & kShaiActive, 0u);
    DestroyWindow(parent);
}

}  // namespace
