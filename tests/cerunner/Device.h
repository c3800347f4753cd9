// What the emulated Pocket PC shows and remembers around the program: its
// windows and message queue, the registry handles it gave out, and the
// record of everything a scenario checks (the text drawn, message boxes,
// shell calls, registry writes).
#pragma once

#include <stdint.h>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/cerunner/Machine.h"
#include "tests/cerunner/MenuBar.h"
#include "unicode/TextCoding.h"

// One step of a scenario's user: a menu command, a key (with or without
// Ctrl held), a command to whatever dialog is open, a setting the system
// says has changed (WM_SETTINGCHANGE), or a soft reset once the program has
// ended (the next step starts it again).
struct Input {
    enum Kind { kCommand, kKey, kDialogCommand, kSettingChange, kSoftReset } kind;
    uint32_t value;  // command id, virtual key, or the setting's number
    bool ctrl;
};

struct Message {
    uint32_t hwnd, message, wParam, lParam;
};

struct Window {
    uint32_t handle;
    uint32_t procedure;
    std::string name;  // "main", "dialog": how the record names it
    std::u16string className, title;
    uint32_t style = 0;
    bool alive = true;
    bool invalid = true;  // needs painting
    bool erase = true;    // the background is to be erased before the next paint
    bool dialog = false;
    bool ended = false;  // a dialog's EndDialog came
    uint32_t result = 0;
    int32_t rect[4] = {0, 0, 0, 0};  // left, top, right, bottom
};

// A value as it was before a write the registry has not flushed yet.
struct PendingWrite {
    std::u16string key, name;
    bool existed;
    uint32_t type;
    std::vector<uint8_t> bytes;
};

// A screen: its dots per inch (GetDeviceCaps LOGPIXELSY) and its work area,
// where a window of the system's size goes: below the task bar, which is
// as high as the shell's menu bar (26 pixels at 96 dpi, scaled).
struct Screen {
    int dpi;
    int32_t workArea[4];  // left, top, right, bottom
};
const Screen kPortraitScreen = {96, {0, 26, 240, 320}};
const Screen kVgaScreen = {192, {0, 52, 480, 640}};
const Screen kSquareScreen = {128, {0, 34, 320, 320}};

// What sets a scenario's device apart from a Pocket PC with a hive-based
// registry (Windows Mobile 5 and later) and a 96-dpi 240 x 320 screen.
struct DeviceKind {
    bool writeProtected = false;  // Serial5's key refuses writes
    bool copyRunning = false;     // FindWindowW finds a window of an earlier start
    bool noMenuBar = false;       // SHCreateMenuBar fails
    // The registry kept in RAM (Pocket PC 2002): writes survive a soft
    // reset, and RegFlushKey fails, as it does where no store to copy to
    // exists. Hive-based: a write stays pending until RegFlushKey, and a
    // soft reset drops what is pending.
    bool ramRegistry = false;
    bool noFlushFunction = false;  // COREDLL lacks RegFlushKey (and keeps its registry in RAM)
    Screen screen = kPortraitScreen;

    bool RegistryInRam() const { return ramRegistry || noFlushFunction; }
};

// What the system keeps for a running program; a new start begins afresh.
struct SystemState {
    std::map<std::u16string, uint32_t> classes;              // name -> window procedure
    uint32_t classIcon = 0, classStyle = 0, classBrush = 0;  // of the last class registered
    std::vector<Window> windows;
    std::deque<Message> posted;
    bool ctrlDown = false;
    std::map<uint32_t, RegKey> keys;              // open registry keys by the handle given out
    std::map<uint32_t, std::u16string> keyPaths;  // and their paths, for the record
    uint32_t nextKey = 0x00E00010;
    // What the user can send: the menu bar's commands and the accelerators'.
    std::set<uint32_t> menuCommands, acceleratorCommands;
    bool menuBar = false;  // the shell made one
    int32_t menuBarRect[4] = {0, 0, 0, 0};
    bool paintErased = false;  // of the paint under way
    int messagesFetched = 0;
};

struct Device {
    // Given by the scenario.
    DeviceKind kind;
    std::vector<Input> script;
    size_t nextInput = 0;
    std::string missingFunction;  // "COREDLL!name": GetProcAddressW does not find it

    SystemState system;
    std::vector<PendingWrite> pending;  // oldest first

    // What happened.
    std::vector<std::u16string> drawn;     // each DrawTextW text
    std::vector<std::u16string> unerased;  // of those, drawn over what was there
    int32_t drawRect[4] = {0, 0, 0, 0};    // and the last one's rectangle and format
    uint32_t drawFormat = 0;
    std::vector<std::u16string> boxTexts;  // each MessageBoxW text
    std::vector<std::string> events;       // shell, dialog, box, foreground, writes, destroys
};

// The device the stubs act on; one at a time.
Device& TheDevice();
void DeviceReset();
// The program is started again: the system's windows, classes, messages
// and handles start afresh; the record and the registry stay.
void DeviceRestart();
// A soft reset: a hive-based registry drops its pending writes.
void DeviceSoftReset();

// Every COREDLL and AYGSHELL function the runner provides.
std::vector<Stub> DeviceStubs();

// The handle of a window a copy started earlier keeps open.
const uint32_t kRunningCopyWindow = 0x00B20040;

// The lines of the record (Device::events), one function for each kind of
// event: the stubs record with them and the scenarios build what they
// expect with them.
inline std::string Decimal(uint32_t v) { return std::to_string(v); }

// What the program asked SHCreateMenuBar for, the buttons the shell read
// and, for a definition it refuses, why.
inline std::string MenuBarEvent(uint32_t size, const std::string& parent, uint32_t menu,
                                bool ourModule, const std::vector<MenuBarButton>& buttons = {},
                                const std::string& broken = "") {
    std::string e = "SHCreateMenuBar size=" + Decimal(size) + " parent=" + parent +
                    " menu=" + Decimal(menu) + (ourModule ? " module=ours" : " module=other");
    for (const MenuBarButton& b : buttons)
        e += " button '" + VisibleText(b.label) + "' " + Decimal(b.command) +
             (b.subMenu == kNoSubMenu ? "" : " drop-down " + Decimal(b.subMenu));
    return broken.empty() ? e : e + ": " + broken;
}

// SHHandleWMActivate and SHHandleWMSettingChange.
inline std::string ShellHandlerEvent(const char* function, const std::string& window,
                                     uint32_t wParam, uint32_t size) {
    return std::string(function) + " " + window + " wParam=" + Decimal(wParam) +
           " size=" + Decimal(size);
}

inline std::string InitDialogEvent(uint32_t mask, const std::string& dialog, uint32_t flags) {
    return "SHInitDialog mask=" + Decimal(mask) + " " + dialog + " flags=" + Hex(flags);
}

// `from`: "resource 103", or "template ADDRESS" for one not among the resources.
inline std::string DialogEvent(const std::string& from, const std::u16string& title,
                               const std::string& owner, uint32_t result) {
    return "DialogBoxIndirectParamW " + from + " '" + VisibleText(title) + "' owner=" + owner +
           " -> " + Decimal(result);
}

inline std::string MessageBoxEvent(const std::string& owner, const std::u16string& caption,
                                   uint32_t type) {
    return "MessageBoxW owner=" + owner + " caption='" + VisibleText(caption) +
           "' type=" + Decimal(type);
}

inline std::string DestroyEvent(const std::string& window) { return "DestroyWindow " + window; }

// `raise`: the handle's low bit set (the window's pop-ups come forward too).
inline std::string ForegroundEvent(const std::string& window, bool raise) {
    return "SetForegroundWindow " + window + (raise ? "|1" : "");
}

// `text`: the data read as 16-bit characters, without a string's end.
inline std::string SetValueEvent(const std::u16string& key, const std::u16string& name,
                                 uint32_t type, const std::u16string& text, uint32_t bytes,
                                 long result) {
    return "RegSetValueExW " + VisibleText(key) + " " + VisibleText(name) + " type " +
           Decimal(type) + " '" + VisibleText(text) + "' " + Decimal(bytes) + " bytes -> " +
           std::to_string(result);
}

inline std::string FlushEvent(const std::u16string& key, uint32_t result) {
    return "RegFlushKey " + VisibleText(key) + " -> " + Decimal(result);
}

inline std::string DebugOutputEvent(const std::u16string& text) {
    return "OutputDebugStringW '" + VisibleText(text) + "'";
}
