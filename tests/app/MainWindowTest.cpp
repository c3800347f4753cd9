// The start-up and the main window procedure, driven in-process under Wine
// with a recording shell: what a black box cannot see (the records handed
// to the shell, g_displayText after each command, the texts made and freed
// per command) and the window's rules (one copy, the menu bar's cut).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/resource.h"
#include "repair/SerialScan.h"
#include "tests/app/RecordingShell.h"
#include "tests/support/AllocCounter.h"
#include "tests/support/WindowText.h"
#include "text/WideText.h"

namespace {

// ---- a small registry of serial ports, under the test's own prefix ----

void SetDll(const wchar_t* key, const wchar_t* dll) {
    HKEY h;
    std::wstring path = std::wstring(L"Drivers\\BuiltIn\\") + key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                              &h, NULL),
              ERROR_SUCCESS);
    RegSetValueExW(h, L"Dll", 0, REG_SZ, (const BYTE*)dll, DWORD((wcslen(dll) + 1) * 2));
    RegCloseKey(h);
}

void SetText(const wchar_t* path, const wchar_t* name, const wchar_t* text) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL),
              ERROR_SUCCESS);
    RegSetValueExW(h, name, 0, REG_SZ, (const BYTE*)text, DWORD((wcslen(text) + 1) * 2));
    RegCloseKey(h);
}

// COM5: is loaded from Drivers\BuiltIn\Serial5; Serial is a plain port.
void SeedDevice(bool damaged) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers");
    SetText(L"Drivers\\Active\\14", L"Name", L"COM5:");
    SetText(L"Drivers\\Active\\14", L"Key", L"Drivers\\BuiltIn\\Serial5");
    SetDll(L"Serial", L"Serial.dll");
    SetDll(L"Serial5", damaged ? L"OBBTDEV.DLL" : L"BTCEIF.DLL");
}

// The report the scan itself gives for the device as it is now.
std::string ScanReport(bool repair) {
    TextString report, message;
    ScanSerialDrivers(report, message, repair);
    return report.CStr();
}

// Catches the program's message boxes and About dialogs as they open. A box
// is read and closed with OK; an About dialog is sent IDCANCEL, then IDOK.
struct DialogCatcher {
    static std::vector<std::wstring> boxes;
    static int abouts;
    static bool keepTexts;  // off: boxes are closed unread (no allocation here)
    HHOOK hook;
    DialogCatcher() {
        boxes.clear();
        abouts = 0;
        keepTexts = true;
        hook = SetWindowsHookExW(WH_CBT, Proc, NULL, GetCurrentThreadId());
    }
    ~DialogCatcher() { UnhookWindowsHookEx(hook); }
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        HWND w = (HWND)wParam;
        if (code == HCBT_ACTIVATE && ClassOf(w) == L"#32770") {
            if (TextOf(w) == L"PORTMEDIC") {
                std::wstring text;
                for (HWND c = GetWindow(w, GW_CHILD); keepTexts && c; c = GetWindow(c, GW_HWNDNEXT))
                    if (ClassOf(c) == L"Static" && !TextOf(c).empty()) text = TextOf(c);
                if (keepTexts) boxes.push_back(text);
                PostMessageW(w, WM_COMMAND, IDOK, 0);
            } else if (TextOf(w) == L"About PORTMEDIC" && abouts++ == 0) {
                PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
                PostMessageW(w, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(NULL, code, wParam, lParam);
    }
};
std::vector<std::wstring> DialogCatcher::boxes;
int DialogCatcher::abouts;
bool DialogCatcher::keepTexts;

HWND FindMain() { return FindWindowW(L"PORTMEDIC", L"PORTMEDIC"); }

// Empties the thread's queue; returns the quit code when a quit came, else -1.
int DrainQueue() {
    int quit = -1;
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            quit = (int)msg.wParam;
        else
            DispatchMessageW(&msg);
    }
    return quit;
}

class MainWindowTest : public ::testing::Test {
protected:
    HWND main = NULL;

    void Start(bool menuBar = true) {
        ResetShell();
        g_shell.menuBarSucceeds = menuBar;
        g_displayText.Assign(kIntroText);
        ASSERT_TRUE(InitInstance(GetModuleHandleW(NULL), SW_SHOW));
        main = FindMain();
        ASSERT_NE(main, nullptr);
    }
    void TearDown() override {
        if (main && IsWindow(main)) DestroyWindow(main);
        DrainQueue();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers");
    }
    LRESULT Command(WORD id) { return MainWndProc(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
};

// WM_CREATE hands the shell the 36-byte menu-bar record and keeps its window.
TEST_F(MainWindowTest, CreateHandsTheMenuBarRecord) {
    Start();
    ASSERT_EQ(g_shell.menuBars.size(), 1u);
    const SHMENUBARINFO& mbi = g_shell.menuBars[0];
    EXPECT_EQ(mbi.cbSize, sizeof(SHMENUBARINFO));
#ifndef _WIN64
    EXPECT_EQ(mbi.cbSize, 36u);
#endif
    EXPECT_EQ(mbi.hwndParent, main);
    EXPECT_EQ(mbi.dwFlags, 0u);
    EXPECT_EQ(mbi.nToolBarId, (UINT)IDR_MENUBAR);
    EXPECT_EQ(mbi.hInstRes, GetModuleHandleW(NULL));
    EXPECT_EQ(mbi.nBmpId, 0);
    EXPECT_EQ(mbi.cBmpImages, 0);
    EXPECT_EQ(mbi.hwndMB, nullptr);
    EXPECT_EQ(mbi.clrBk, 0u);
    EXPECT_EQ(g_hwndMenuBar, g_shell.menuBarWindow);
    EXPECT_EQ(g_activateInfo.cbSize, sizeof(SHACTIVATEINFO));
}

// With a menu bar the window is 26 pixels shorter; left, top and right are
// the system's; without one it keeps the system's rectangle.
TEST_F(MainWindowTest, MenuBarCutsTheBottom) {
    Start(false);
    EXPECT_EQ(g_hwndMenuBar, nullptr);
    RECT plain;
    GetWindowRect(main, &plain);
    DestroyWindow(main);
    DrainQueue();

    Start(true);
    RECT cut;
    GetWindowRect(main, &cut);
    EXPECT_EQ(cut.left, plain.left);
    EXPECT_EQ(cut.top, plain.top);
    EXPECT_EQ(cut.right, plain.right);
    EXPECT_EQ(cut.bottom, plain.bottom - 26) << "system's bottom " << plain.bottom;
}

// The window: class and title "PORTMEDIC", the intro shown, WS_VISIBLE
// asked for (desktop Windows adds a caption to every overlapped window).
TEST_F(MainWindowTest, WindowClassTitleAndStyle) {
    Start();
    EXPECT_EQ(ClassOf(main), L"PORTMEDIC");
    EXPECT_EQ(TextOf(main), L"PORTMEDIC");
    LONG style = GetWindowLongW(main, GWL_STYLE);
    EXPECT_EQ(style & ~(WS_CAPTION | WS_CLIPSIBLINGS), (LONG)WS_VISIBLE) << std::hex << style;
    WNDCLASSW wc;
    ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(NULL), L"PORTMEDIC", &wc));
    EXPECT_EQ(wc.style, (UINT)(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.hbrBackground, (HBRUSH)GetStockObject(WHITE_BRUSH));
    EXPECT_NE(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hCursor, nullptr);
    EXPECT_STREQ(g_displayText.CStr(), kIntroText.CStr());
}

// A running copy: the second start creates nothing and reports 0.
TEST_F(MainWindowTest, SecondStartCreatesNothing) {
    Start();
    size_t calls = g_shell.menuBars.size();
    EXPECT_FALSE(InitInstance(GetModuleHandleW(NULL), SW_SHOW));
    EXPECT_EQ(g_shell.menuBars.size(), calls) << "a second window was created";
    EXPECT_EQ(FindMain(), main);
}

// A window with the title alone is not a running copy.
TEST_F(MainWindowTest, ForeignWindowWithTheSameTitleIsNoCopy) {
    HWND foreign =
        CreateWindowExW(0, L"STATIC", L"PORTMEDIC", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    Start();
    EXPECT_NE(main, foreign);
    DestroyWindow(foreign);
}

// WM_ACTIVATE and WM_SETTINGCHANGE go to the shell with their parameters
// and always the same record, g_activateInfo; no default processing.
TEST_F(MainWindowTest, ActivationAndSettingsGoToTheShell) {
    Start();
    g_shell.activations.clear();
    EXPECT_EQ(MainWndProc(main, WM_ACTIVATE, WA_ACTIVE, 1234), 0);
    EXPECT_EQ(MainWndProc(main, WM_SETTINGCHANGE, 224, 5678), 0);
    ASSERT_EQ(g_shell.activations.size(), 1u);
    ASSERT_EQ(g_shell.settingChanges.size(), 1u);
    const ActivateCall& a = g_shell.activations[0];
    EXPECT_EQ(a.hwnd, main);
    EXPECT_EQ(a.wParam, (WPARAM)WA_ACTIVE);
    EXPECT_EQ(a.lParam, 1234);
    EXPECT_EQ(a.record, &g_activateInfo);
    EXPECT_EQ(a.copy.cbSize, sizeof(SHACTIVATEINFO));
    EXPECT_EQ(a.flags, 0u);
    const ActivateCall& s = g_shell.settingChanges[0];
    EXPECT_EQ(s.wParam, 224u);
    EXPECT_EQ(s.lParam, 5678);
    EXPECT_EQ(s.record, &g_activateInfo);
}

// Ctrl+Q (IDOK) and "Salir": first a deactivation for the shell, then the
// window and the menu bar go and the loop is told to end with 0.
TEST_F(MainWindowTest, ExitSequence) {
    for (WORD id : {WORD(IDOK), WORD(IDM_EXIT)}) {
        SCOPED_TRACE(id);
        Start();
        HWND bar = g_hwndMenuBar;
        g_shell.activations.clear();
        EXPECT_EQ(Command(id), 0);
        ASSERT_GE(g_shell.activations.size(), 1u);
        EXPECT_EQ(g_shell.activations[0].wParam, (WPARAM)WA_INACTIVE);
        EXPECT_EQ(g_shell.activations[0].lParam, (LPARAM)main);
        EXPECT_FALSE(IsWindow(main));
        EXPECT_FALSE(IsWindow(bar));
        EXPECT_EQ(DrainQueue(), 0) << "no quit message with 0";
        main = NULL;
    }
}

// Detect shows the scan's report, shows no box, and leaves the intro text
// itself untouched; a second detect replaces the report.
TEST_F(MainWindowTest, DetectShowsTheReportOnly) {
    SeedDevice(true);
    std::string expected = ScanReport(false);
    Start();
    DialogCatcher catcher;
    EXPECT_EQ(Command(IDM_DETECT), 0);
    EXPECT_EQ(g_displayText.CStr(), expected);
    // The loaded driver is found through Windows' own registry too.
    EXPECT_NE(expected.find("COM5:  => Dll: OBBTDEV.DLL"), std::string::npos) << expected;
    EXPECT_EQ(Command(IDM_DETECT), 0);
    EXPECT_EQ(g_displayText.CStr(), expected) << "the second detect must replace the first";
    EXPECT_TRUE(DialogCatcher::boxes.empty());
    EXPECT_EQ(std::string(kIntroText.CStr()).rfind("PORTMEDIC 2.0 \r\n", 0), 0u);
    EXPECT_NE(kIntroText.CStr(), g_displayText.CStr());
}

// Repair: the report, then the scan's message in a box captioned PORTMEDIC.
TEST_F(MainWindowTest, RepairShowsTheMessage) {
    struct Case {
        bool damaged;
        const TextString* message;
    } cases[] = {{true, &kFixedMessage}, {false, &kNotFoundMessage}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damaged ? "damaged" : "clean");
        SeedDevice(c.damaged);
        std::string expected = ScanReport(true);
        SeedDevice(c.damaged);
        Start();
        DialogCatcher catcher;
        EXPECT_EQ(Command(IDM_REPAIR), 0);
        EXPECT_EQ(g_displayText.CStr(), expected);
        ASSERT_EQ(DialogCatcher::boxes.size(), 1u);
        EXPECT_EQ(DialogCatcher::boxes[0], Widen(*c.message));
        DestroyWindow(main);
        DrainQueue();
    }
}

// Each scan command frees every text it made (the report and the message):
// the only lasting change is g_displayText's own block.
TEST_F(MainWindowTest, CommandsFreeTheirTexts) {
    for (WORD id : {WORD(IDM_DETECT), WORD(IDM_REPAIR)}) {
        SCOPED_TRACE(id);
        SeedDevice(true);
        Start();
        DialogCatcher catcher;
        DialogCatcher::keepTexts = false;
        g_displayText.Reserve(4000);  // no growth during the command
        AllocDelta delta;
        Command(id);
        EXPECT_GT(delta.Allocs(), 0);
        EXPECT_EQ(delta.Allocs(), delta.Frees());
        DestroyWindow(main);
        DrainQueue();
    }
}

// Non-white pixels of the window's client area between two rows.
int InkBetween(HWND hwnd, int top, int bottom) {
    RECT client;
    GetClientRect(hwnd, &client);
    HDC dc = GetDC(hwnd);
    int ink = 0;
    for (int y = top; y < bottom; y += 2)
        for (int x = 0; x < client.right; x += 2)
            if (GetPixel(dc, x, y) != RGB(255, 255, 255)) ++ink;
    ReleaseDC(hwnd, dc);
    return ink;
}

// The short report replaces the long intro on the screen: nothing of the
// intro is left below the report's lines.
TEST_F(MainWindowTest, ReportReplacesTheIntroOnScreen) {
    SeedDevice(false);
    Start();
    UpdateWindow(main);
    ASSERT_GT(InkBetween(main, 110, 150), 0) << "the intro is not on the screen";
    DialogCatcher catcher;
    Command(IDM_DETECT);
    UpdateWindow(main);
    EXPECT_EQ(InkBetween(main, 110, 150), 0) << "the intro shows through the report";
}

// A command the window does not know changes nothing.
TEST_F(MainWindowTest, UnknownCommandChangesNothing) {
    Start();
    EXPECT_EQ(Command(40002), 0);
    EXPECT_EQ(Command(2), 0);
    EXPECT_TRUE(IsWindow(main));
    EXPECT_STREQ(g_displayText.CStr(), kIntroText.CStr());
    EXPECT_EQ(DrainQueue(), -1);
}

// The About command runs the dialog from resource 103; the shell is asked
// for the caption's OK button, full screen and the input panel lowered;
// cancel leaves it open and OK closes it.
TEST_F(MainWindowTest, AboutCommandRunsTheDialog) {
    Start();
    DialogCatcher catcher;
    EXPECT_EQ(Command(IDM_HELP_ABOUT), 0);
    EXPECT_EQ(DialogCatcher::abouts, 1);
    ASSERT_EQ(g_shell.dialogs.size(), 1u);
    EXPECT_EQ(g_shell.dialogs[0].dwMask, 1u);
    EXPECT_EQ(g_shell.dialogs[0].dwFlags, 13u);
    EXPECT_FALSE(IsWindow(g_shell.dialogs[0].hDlg));
}

// The dialog procedure: only IDOK ends the dialog.
TEST(AboutDlgProc, ClosesOnIdOkOnly) {
    ResetShell();
    HMODULE module = GetModuleHandleW(NULL);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(IDD_ABOUT), MAKEINTRESOURCEW(5));
    ASSERT_NE(res, nullptr);
    auto tmpl = (LPCDLGTEMPLATEW)LockResource(LoadResource(module, res));
    HWND dlg = CreateDialogIndirectParamW(module, tmpl, NULL, AboutDlgProc, 0);
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(g_shell.dialogs.size(), 1u);
    EXPECT_EQ(g_shell.dialogs[0].hDlg, dlg);
    ShowWindow(dlg, SW_SHOW);
    EXPECT_EQ(AboutDlgProc(dlg, WM_COMMAND, IDCANCEL, 0), FALSE);
    EXPECT_TRUE(IsWindowVisible(dlg)) << "cancel closed the dialog";
    EXPECT_EQ(AboutDlgProc(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0), TRUE);
    EXPECT_FALSE(IsWindowVisible(dlg)) << "OK left the dialog open";
    EXPECT_EQ(AboutDlgProc(dlg, WM_TIMER, 0, 0), FALSE);
    DestroyWindow(dlg);
}

// The text starts 10 pixels in from the left and top, wraps 10 pixels
// before the right edge, and runs down to the bottom edge.
TEST_F(MainWindowTest, PaintKeepsTheMargins) {
    Start();
    TextString longText;
    for (int i = 0; i < 4000; ++i) longText.Append("ab ");
    g_displayText.Assign(longText);
    RECT client;
    GetClientRect(main, &client);
    HDC screen = GetDC(main);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, client.right, client.bottom);
    SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, client.right, client.bottom, WHITENESS);
    PaintContent(main, dc);
    int left = client.right, top = client.bottom, right = -1, bottom = -1;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x)
            if (GetPixel(dc, x, y) != RGB(255, 255, 255)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    DeleteDC(dc);
    DeleteObject(bmp);
    ReleaseDC(main, screen);
    EXPECT_GE(left, 10);
    EXPECT_LE(left, 13);
    EXPECT_GE(top, 10);
    EXPECT_LE(top, 16);
    EXPECT_LT(right, client.right - 10);
    EXPECT_GT(right, client.right - 40) << "the text does not use the width";
    EXPECT_GT(bottom, client.bottom - 20) << "the text stops short of the bottom";
}

// The tests link the program's own library builds: numbers are formatted
// by the C runtime's printf (msvcrt.dll) as in PORTMEDIC.exe on the device,
// with three exponent digits.
TEST(ProgramBuild, TextsFormatWithTheProgramsPrintf) {
    TextString text;
    text.Format("%e|%g", 1e5, 1e-10);
    EXPECT_STREQ(text.CStr(), "1.000000e+005|1e-010");
}

}  // namespace
