// Drives PORTMEDIC.exe from outside, as a user or another program could:
// the menu bar's button and its items, Ctrl+A and Ctrl+Q typed on the
// keyboard, commands posted to the window, a second start. Checks what can
// be seen from outside (windows, their texts and places, message boxes,
// the registry, exit codes) and saves a screenshot of each state.
//
//   portmedic_e2e.exe PROGRAM_DIR NO_MENU_BAR_DIR FIXTURE_DIR SHOT_DIR [gui]
//
// With "gui" only the damaged device is clicked through, at a pace a person
// can follow.
//
// PROGRAM_DIR holds PORTMEDIC.exe with our aygshell.dll; NO_MENU_BAR_DIR
// the same program with a shell whose menu bar always fails. Prints one
// line per check and ends with "N passed, M failed".
#include <windows.h>

#include <aclapi.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "repair/GlobalTexts.h"
#include "tests/support/WindowText.h"
#include "text/WideText.h"

namespace {

int g_passed = 0;
DWORD g_pace = 1;    // "gui": every pause is longer
bool g_gui = false;  // "gui": the device may be any damaged one, not our fixture
int g_failed = 0;
std::wstring g_programDir, g_noMenuBarDir, g_fixtureDir, g_shotDir;

// Where the driver asks the program's first window to go: the whole work
// area, as on the device.
RECT g_place;

void Check(bool ok, const char* what, const std::wstring& detail = L"") {
    (ok ? g_passed : g_failed)++;
    printf("%s: %s", ok ? "ok" : "FAILED", what);
    if (!detail.empty()) printf("  [%ls]", detail.c_str());
    printf("\n");
    fflush(stdout);
}

std::wstring Num(long v) { return std::to_wstring(v); }
std::wstring RectText(const RECT& r) {
    return Num(r.left) + L"," + Num(r.top) + L"," + Num(r.right) + L"," + Num(r.bottom);
}

// Waits while serving the driver's own windows, so that a program that
// activates or messages them is never kept waiting.
void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    } while ((LONG)(end - GetTickCount()) > 0);
}

// Polls until found() gives a window or the time runs out.
template <typename F> HWND WaitFor(F found, DWORD ms = 5000) {
    for (DWORD waited = 0;; waited += 50) {
        if (HWND w = found()) return w;
        if (waited >= ms) return NULL;
        Pump(50);
    }
}

// Lets the program under test finish what it is doing.
void Settle(DWORD ms = 400) { Pump(ms * g_pace); }

// ---- the program's windows ----

struct Process {
    PROCESS_INFORMATION pi = {};
    bool started = false;
};

// Starts the program; with a place, the first window made with
// CW_USEDEFAULT gets it (that is the system's choice for that window).
Process Start(const std::wstring& dir, const RECT* place) {
    Process p;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (place) {
        si.dwFlags = STARTF_USEPOSITION | STARTF_USESIZE;
        si.dwX = place->left;
        si.dwY = place->top;
        si.dwXSize = place->right - place->left;
        si.dwYSize = place->bottom - place->top;
    }
    std::wstring exe = dir + L"\\PORTMEDIC.exe";
    std::wstring cmd = L"\"" + exe + L"\"";
    p.started = CreateProcessW(exe.c_str(), &cmd[0], NULL, NULL, FALSE, 0, NULL, dir.c_str(), &si,
                               &p.pi) != 0;
    return p;
}

// The exit code once the process has ended, or -1 when it is still running.
long WaitExit(Process& p, DWORD ms = 10000) {
    for (DWORD waited = 0; WaitForSingleObject(p.pi.hProcess, 0) != WAIT_OBJECT_0; waited += 50) {
        if (waited >= ms) return -1;
        Pump(50);
    }
    DWORD code = 0;
    GetExitCodeProcess(p.pi.hProcess, &code);
    CloseHandle(p.pi.hProcess);
    CloseHandle(p.pi.hThread);
    p.started = false;
    return (long)code;
}

void Kill(Process& p) {
    if (!p.started) return;
    TerminateProcess(p.pi.hProcess, 99);
    WaitExit(p);
}

HWND MainWindow() { return FindWindowW(L"PORTMEDIC", L"PORTMEDIC"); }

struct Found {
    HWND owner;
    const WCHAR* cls;
    const WCHAR* title;  // null: any
    HWND hwnd;
    int count;
};

BOOL CALLBACK FindOwnedProc(HWND w, LPARAM lp) {
    Found* f = (Found*)lp;
    if (GetWindow(w, GW_OWNER) != f->owner || !IsWindowVisible(w)) return TRUE;
    if (ClassOf(w) != f->cls) return TRUE;
    if (f->title && TextOf(w) != f->title) return TRUE;
    f->hwnd = w;
    f->count++;
    return TRUE;
}

// A visible top-level window of that class (and title) owned by owner.
HWND Owned(HWND owner, const WCHAR* cls, const WCHAR* title = NULL, int* count = NULL) {
    Found f = {owner, cls, title, NULL, 0};
    EnumWindows(FindOwnedProc, (LPARAM)&f);
    if (count) *count = f.count;
    return f.hwnd;
}

BOOL CALLBACK CountClassProc(HWND w, LPARAM lp) {
    Found* f = (Found*)lp;
    if (ClassOf(w) == f->cls) f->count++;
    return TRUE;
}

int CountTopLevel(const WCHAR* cls) {
    Found f = {NULL, cls, NULL, NULL, 0};
    EnumWindows(CountClassProc, (LPARAM)&f);
    return f.count;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

// The message box's text: its static control that carries text.
std::wstring BoxText(HWND box) {
    for (HWND c : Children(box))
        if (ClassOf(c) == L"Static" && !TextOf(c).empty()) return TextOf(c);
    return L"";
}

HWND MessageBoxOf(HWND main) { return Owned(main, L"#32770", L"PORTMEDIC"); }
HWND AboutOf(HWND main) { return Owned(main, L"#32770", L"About PORTMEDIC"); }
HWND MenuBarOf(HWND main) { return Owned(main, L"menu_worker"); }
HWND OpenMenu() {
    HWND m = FindWindowW(L"#32768", NULL);
    return m && IsWindowVisible(m) ? m : NULL;
}

// ---- keyboard and mouse, as a user gives them ----

void Key(WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

void CtrlKey(WORD vk, HWND target) {
    SetForegroundWindow(target);
    Settle(200);
    Key(VK_CONTROL, false);
    Key(vk, false);
    Key(vk, true);
    Key(VK_CONTROL, true);
}

// Clicks the menu bar's button, then walks the open menu with the arrow
// keys: `downs` presses of Down, then Enter.
bool ChooseMenuItem(HWND main, int downs, const WCHAR* shot = NULL);

// ---- screenshots ----

void SaveScreen(const WCHAR* name) {
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = NULL;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    DWORD stride = ((w * 3 + 3) / 4) * 4, size = stride * h;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    std::wstring path = g_shotDir + L"\\" + name + L".bmp";
    if (FILE* f = _wfopen(path.c_str(), L"wb")) {
        fwrite(&fh, sizeof fh, 1, f);
        fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
        fwrite(bits, 1, size, f);
        fclose(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
}

// Dark pixels per row of a line of text drawn on screen the way the program
// draws its report (the system font, DrawText).
std::vector<int> DarkRows(const WCHAR* text) {
    HWND w = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 60,
                             NULL, NULL, NULL, NULL);
    Pump(100);
    HDC dc = GetDC(w);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    RECT rc = {0, 0, 4 * tm.tmMaxCharWidth, tm.tmHeight};
    FillRect(dc, &rc, (HBRUSH)GetStockObject(WHITE_BRUSH));
    DrawTextW(dc, text, -1, &rc, DT_WORDBREAK);
    GdiFlush();
    std::vector<int> rows(rc.bottom, 0);
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            rows[y] += GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128;
        }
    ReleaseDC(w, dc);
    DestroyWindow(w);
    return rows;
}

// The glyphs the screenshots depend on: the caption's close box is drawn
// from Wine's Marlett font (without it the box shows the letter "r"), and
// the accent of "\u00CD" (as in "AQU\u00CD") lies inside its line.
void CheckGlyphs() {
    HDC screen = GetDC(NULL);
    HFONT marlett =
        CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SYMBOL_CHARSET, 0, 0, 0, 0, L"Marlett");
    HGDIOBJ old = SelectObject(screen, marlett);
    WCHAR face[LF_FACESIZE] = {0};
    GetTextFaceW(screen, LF_FACESIZE, face);
    SelectObject(screen, old);
    DeleteObject(marlett);
    ReleaseDC(NULL, screen);
    Check(lstrcmpiW(face, L"Marlett") == 0, "Marlett font present (caption buttons)", face);

    // Above the top of a plain "I" an accented one has its accent, whole:
    // more than the odd pixel a cut-off accent leaves.
    std::vector<int> plain = DarkRows(L"I"), accented = DarkRows(L"\u00CD");
    size_t top = 0;
    while (top < plain.size() && plain[top] == 0) ++top;
    int accent = 0;
    for (size_t y = 0; y < top && y < accented.size(); ++y) accent += accented[y];
    Check(accent >= 3, "accent of I-acute drawn inside its line",
          Num(accent) + L" dark pixels above the letter");
}

bool ChooseMenuItem(HWND main, int downs, const WCHAR* shot) {
    HWND bar = MenuBarOf(main);
    std::vector<HWND> buttons = bar ? Children(bar) : std::vector<HWND>();
    if (buttons.size() != 1) return false;
    PostMessageW(buttons[0], BM_CLICK, 0, 0);
    HWND menu = WaitFor(OpenMenu, 3000);
    if (!menu) return false;
    Settle(300);
    if (shot) SaveScreen(shot);
    for (int i = 0; i < downs; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    WaitFor([] { return OpenMenu() ? NULL : (HWND)1; }, 3000);
    Settle();
    return true;
}

// ---- the registry ----

const WCHAR kDrivers[] = L"Drivers";

bool Seed(const WCHAR* fixture) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDrivers);
    std::wstring cmd = L"regedit.exe /S \"" + g_fixtureDir + L"\\" + fixture + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return true;
}

std::wstring Dll(const WCHAR* key) {
    WCHAR value[200] = {0};
    DWORD size = sizeof value - sizeof(WCHAR);
    HKEY h;
    std::wstring path = std::wstring(L"Drivers\\BuiltIn\\") + key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &h)) return L"<no key>";
    LONG r = RegQueryValueExW(h, L"Dll", NULL, NULL, (BYTE*)value, &size);
    RegCloseKey(h);
    return r ? L"<no value>" : value;
}

// What `reg query` prints for a key, as another program sees the registry.
std::string RegQuery(const WCHAR* key) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return "";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::wstring cmd = std::wstring(L"reg.exe query \"HKLM\\Drivers\\BuiltIn\\") + key + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi;
    std::string out;
    if (CreateProcessW(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(writeEnd);
        char buf[512];
        DWORD got;
        while (ReadFile(readEnd, buf, sizeof buf, &got, NULL) && got) out.append(buf, got);
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else {
        CloseHandle(writeEnd);
    }
    CloseHandle(readEnd);
    return out;
}

// Denies everyone the right to set values in the key (Wine enforces it).
bool DenyWrites(const WCHAR* key) {
    std::wstring path = std::wstring(L"MACHINE\\Drivers\\BuiltIn\\") + key;
    EXPLICIT_ACCESSW deny = {};
    deny.grfAccessPermissions = KEY_SET_VALUE;
    deny.grfAccessMode = DENY_ACCESS;
    deny.grfInheritance = NO_INHERITANCE;
    deny.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    deny.Trustee.ptstrName = (LPWSTR)L"EVERYONE";
    EXPLICIT_ACCESSW allow = deny;
    allow.grfAccessPermissions = KEY_READ;
    allow.grfAccessMode = GRANT_ACCESS;
    EXPLICIT_ACCESSW entries[2] = {deny, allow};
    PACL acl = NULL;
    if (SetEntriesInAclW(2, entries, NULL, &acl) != ERROR_SUCCESS) return false;
    DWORD r = SetNamedSecurityInfoW(&path[0], SE_REGISTRY_KEY,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    NULL, NULL, acl, NULL);
    LocalFree(acl);
    if (r != ERROR_SUCCESS) return false;
    // Proof that the refusal holds before the program tries.
    HKEY h;
    std::wstring sub = std::wstring(L"Drivers\\BuiltIn\\") + key;
    LONG open = RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_SET_VALUE, &h);
    if (open == ERROR_SUCCESS) RegCloseKey(h);
    return open == ERROR_ACCESS_DENIED;
}

// ---- scenarios ----

// Starts the program on a device and checks the main window and menu bar.
HWND StartAndCheckWindow(Process& p, const WCHAR* fixture) {
    Check(Seed(fixture), "registry seeded", fixture);
    p = Start(g_programDir, &g_place);
    Check(p.started, "PORTMEDIC.exe started");
    HWND main = WaitFor(MainWindow, 20000);
    Check(main != NULL, "main window found by class and title PORTMEDIC");
    if (!main) return NULL;
    WaitFor([main] { return MenuBarOf(main); }, 5000);
    Settle();
    return main;
}

void CheckWindowAndMenuBar(HWND main) {
    Check(ClassOf(main) == L"PORTMEDIC", "class name", ClassOf(main));
    Check(TextOf(main) == L"PORTMEDIC", "title", TextOf(main));
    LONG style = GetWindowLongW(main, GWL_STYLE);
    // The program asks for WS_VISIBLE alone; desktop Windows adds a caption
    // and WS_CLIPSIBLINGS to every overlapped window.
    Check((style & ~(WS_CAPTION | WS_CLIPSIBLINGS)) == WS_VISIBLE, "style WS_VISIBLE (+caption)",
          Num(style));
    RECT rc, want = g_place;
    GetWindowRect(main, &rc);
    want.bottom -= 26;
    Check(EqualRect(&rc, &want) != 0, "window: system's place, bottom 26 pixels up",
          RectText(rc) + L" want " + RectText(want));

    HWND bar = MenuBarOf(main);
    Check(bar != NULL, "menu bar window owned by the main window");
    if (!bar) return;
    RECT br;
    GetWindowRect(bar, &br);
    RECT wantBar = {g_place.left, g_place.bottom - 26, g_place.right, g_place.bottom};
    Check(EqualRect(&br, &wantBar) != 0, "menu bar: 26 pixels along the bottom",
          RectText(br) + L" want " + RectText(wantBar));
    std::vector<HWND> buttons = Children(bar);
    Check(buttons.size() == 1, "menu bar has one button", Num((long)buttons.size()));
    if (buttons.size() == 1)
        Check(ClassOf(buttons[0]) == L"Button" && TextOf(buttons[0]) == L"Herramientas",
              "button labelled Herramientas", ClassOf(buttons[0]) + L" " + TextOf(buttons[0]));
}

// Waits for the message box the repair may show; closes it with its OK
// button and returns its text ("" when no box came).
std::wstring TakeRepairBox(HWND main, const WCHAR* shot = NULL, DWORD ms = 4000) {
    HWND box = WaitFor([main] { return MessageBoxOf(main); }, ms);
    if (!box) return L"";
    Settle();
    if (shot) SaveScreen(shot);
    std::wstring text = BoxText(box);
    std::vector<HWND> kids = Children(box);
    int buttons = 0;
    for (HWND c : kids)
        if (ClassOf(c) == L"Button") buttons++;
    Check(buttons == 1, "message box has one button", Num(buttons));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([main] { return MessageBoxOf(main) ? NULL : (HWND)1; }, 3000);
    Settle();
    return text;
}

void DamagedDevice() {
    printf("-- damaged device: menu bar, detect, repair, About, second start, Ctrl+Q\n");
    Process p;
    HWND main = StartAndCheckWindow(p, L"damaged-device.reg");
    if (!main) return Kill(p);
    CheckWindowAndMenuBar(main);
    CheckGlyphs();
    SaveScreen(L"intro");

    // Item 2, detect: writes nothing, shows no box.
    Check(ChooseMenuItem(main, 2, L"menu"), "menu opened, item 2 chosen");
    Check(WaitFor([main] { return MessageBoxOf(main); }, 1500) == NULL, "detect shows no box");
    if (!g_gui)
        Check(Dll(L"Serial5") == L"OBBTDEV.DLL" && Dll(L"Serial6") == L"---BTCEIF.DLL",
              "detect writes nothing", Dll(L"Serial5") + L" " + Dll(L"Serial6"));
    SaveScreen(L"detect");

    // Item 3, repair: both ports repaired, the box says so.
    Check(ChooseMenuItem(main, 3), "menu opened, item 3 chosen");
    std::wstring text = TakeRepairBox(main, L"repair");
    Check(text == Widen(kFixedMessage), "repair box shows the fixed message", text);
    if (!g_gui) {
        Check(Dll(L"Serial5") == L"BTCEIF.DLL" && Dll(L"Serial6") == L"BTCEIF.DLL",
              "repair wrote BTCEIF.DLL", Dll(L"Serial5") + L" " + Dll(L"Serial6"));
        Check(Dll(L"Serial") == L"Serial.dll", "healthy port untouched", Dll(L"Serial"));
        std::string query = RegQuery(L"Serial6");
        Check(query.find("Dll") != std::string::npos &&
                  query.find("BTCEIF.DLL") != std::string::npos &&
                  query.find("---BTCEIF.DLL") == std::string::npos,
              "reg query shows the repaired value");
    }

    // Ctrl+A: the About dialog fills the work area; cancel leaves it open,
    // the caption's button closes it.
    CtrlKey('A', main);
    HWND about = WaitFor([main] { return AboutOf(main); }, 5000);
    Check(about != NULL, "Ctrl+A opens About");
    if (about) {
        Settle();
        SaveScreen(L"about");
        RECT rc, work;
        GetWindowRect(about, &rc);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        Check(EqualRect(&rc, &work) != 0, "About fills the work area",
              RectText(rc) + L" want " + RectText(work));
        Check((GetWindowLongW(about, GWL_STYLE) & WS_SYSMENU) != 0, "About has a caption button");
        PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
        Settle(800);
        Check(AboutOf(main) == about, "IDCANCEL leaves About open");

        // A second start while About is open: exits 0, makes nothing, and
        // brings the dialog forward.
        HWND other = CreateWindowExW(0, L"Static", L"driver", WS_OVERLAPPED | WS_VISIBLE, 300, 300,
                                     100, 60, NULL, NULL, NULL, NULL);
        SetForegroundWindow(other);
        Settle();
        Process second = Start(g_programDir, NULL);
        long code = WaitExit(second, 20000);
        Check(code == 0, "second start exits 0", Num(code));
        Settle();
        Check(CountTopLevel(L"PORTMEDIC") == 1 && CountTopLevel(L"menu_worker") == 1,
              "second start created no window");
        HWND front = GetForegroundWindow();
        Check(front == about, "second start brought About forward",
              ClassOf(front) + L" " + TextOf(front));
        DestroyWindow(other);

        PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
        Check(WaitFor([main] { return AboutOf(main) ? NULL : (HWND)1; }, 3000) != NULL,
              "caption button closes About");
        Settle();
        Check(!IsWindow(about), "About destroyed");
    }

    // Item 1 opens About as well; IDOK closes it.
    Check(ChooseMenuItem(main, 1), "menu opened, item 1 chosen");
    about = WaitFor([main] { return AboutOf(main); }, 5000);
    Check(about != NULL, "item 1 opens About");
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    Check(WaitFor([main] { return AboutOf(main) ? NULL : (HWND)1; }, 3000) != NULL,
          "IDOK closes About");
    Settle();
    Check(!IsWindow(about), "About destroyed");

    // Second start without a dialog: the main window comes forward.
    HWND other = CreateWindowExW(0, L"Static", L"driver", WS_OVERLAPPED | WS_VISIBLE, 300, 300, 100,
                                 60, NULL, NULL, NULL, NULL);
    SetForegroundWindow(other);
    Settle();
    Process second = Start(g_programDir, NULL);
    Check(WaitExit(second, 20000) == 0, "second start exits 0");
    Settle();
    HWND front = GetForegroundWindow();
    Check(front == main, "second start brought the main window forward",
          ClassOf(front) + L" " + TextOf(front));
    DestroyWindow(other);

    // Ctrl+Q ends the program.
    CtrlKey('Q', main);
    long code = WaitExit(p);
    Check(code == 0, "Ctrl+Q: exit code 0", Num(code));
    Check(CountTopLevel(L"PORTMEDIC") == 0 && CountTopLevel(L"menu_worker") == 0,
          "Ctrl+Q leaves no window");
    Kill(p);
}

void CleanDevice() {
    printf("-- clean device: posted repair command, \"Salir\"\n");
    Process p;
    HWND main = StartAndCheckWindow(p, L"clean-device.reg");
    if (!main) return Kill(p);
    PostMessageW(main, WM_COMMAND, IDM_REPAIR, 0);
    std::wstring text = TakeRepairBox(main);
    Check(text == Widen(kNotFoundMessage), "repair box shows the not-found message", text);
    Check(Dll(L"Serial5") == L"btceif.dll", "clean device untouched", Dll(L"Serial5"));

    Check(ChooseMenuItem(main, 4), "menu opened, item 4 (Salir) chosen");
    long code = WaitExit(p);
    Check(code == 0, "Salir: exit code 0", Num(code));
    Check(CountTopLevel(L"PORTMEDIC") == 0 && CountTopLevel(L"menu_worker") == 0,
          "Salir leaves no window");
    Kill(p);
}

void RefusedWrite() {
    printf("-- a write refused: no box, the value stays\n");
    Check(Seed(L"refused-device.reg"), "registry seeded", L"refused-device.reg");
    Check(DenyWrites(L"Serial5"), "write access to Serial5 denied");
    Process p = Start(g_programDir, &g_place);
    HWND main = WaitFor(MainWindow, 20000);
    Check(main != NULL, "main window");
    if (!main) return Kill(p);
    Settle();
    PostMessageW(main, WM_COMMAND, IDM_REPAIR, 0);
    std::wstring text = TakeRepairBox(main, NULL, 2500);
    Check(text.empty(), "every write failed: no box", text);
    Check(Dll(L"Serial5") == L"OBBTDEV.DLL", "value unchanged", Dll(L"Serial5"));
    PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
    Check(WaitExit(p) == 0, "posted exit command: exit code 0");
    Kill(p);
}

void NoMenuBar() {
    printf("-- no menu bar: the system's place, Ctrl+Q still works\n");
    Check(Seed(L"clean-device.reg"), "registry seeded", L"clean-device.reg");
    Process p = Start(g_noMenuBarDir, &g_place);
    HWND main = WaitFor(MainWindow, 20000);
    Check(main != NULL, "main window");
    if (!main) return Kill(p);
    Settle();
    RECT rc;
    GetWindowRect(main, &rc);
    Check(EqualRect(&rc, &g_place) != 0, "window keeps the system's place",
          RectText(rc) + L" want " + RectText(g_place));
    Check(MenuBarOf(main) == NULL, "no menu bar");
    CtrlKey('Q', main);
    Check(WaitExit(p) == 0, "Ctrl+Q: exit code 0");
    Kill(p);
}

}  // namespace

int wmain(int argc, WCHAR** argv) {
    bool gui = argc == 6 && std::wstring(argv[5]) == L"gui";
    if (argc != 5 && !gui) {
        fprintf(stderr,
                "usage: portmedic_e2e PROGRAM_DIR NO_MENU_BAR_DIR FIXTURE_DIR SHOT_DIR [gui]\n");
        return 2;
    }
    g_programDir = argv[1];
    g_noMenuBarDir = argv[2];
    g_fixtureDir = argv[3];
    g_shotDir = argv[4];
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &g_place, 0);
    if (gui) {
        g_pace = 4;
        g_gui = true;
    }
    DamagedDevice();
    if (!gui) {
        CleanDevice();
        RefusedWrite();
        NoMenuBar();
    }
    printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
