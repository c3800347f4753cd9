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
#include "regfile/TextCoding.h"
#include "tests/cerunner/Machine.h"

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

struct Device {
    // Given by the scenario.
    std::vector<Input> script;
    size_t nextInput = 0;
    bool copyRunning = false;  // FindWindowW finds a window of an earlier start
    bool noMenuBar = false;    // SHCreateMenuBar fails
    // The registry's kind. Hive-based (Windows Mobile 5 and later): a write
    // stays pending until RegFlushKey, and a soft reset drops what is
    // pending. Kept in RAM (Pocket PC 2002): writes survive a soft reset, and
    // RegFlushKey fails, as it does where no store to copy to exists.
    bool ramRegistry = false;
    std::string missingFunction;  // "COREDLL!name": GetProcAddressW does not find it
    // The screen: its dots per inch (GetDeviceCaps LOGPIXELSY) and its work
    // area, where a window of the system's size goes (below the task bar).
    int dpi = 96;
    int32_t workArea[4] = {0, 26, 240, 320};

    // The system's state.
    std::map<std::u16string, uint32_t> classes;  // name -> window procedure
    std::vector<Window> windows;
    std::deque<Message> posted;
    bool ctrlDown = false;
    std::map<uint32_t, RegKey> keys;              // open registry keys by the handle given out
    std::map<uint32_t, std::u16string> keyPaths;  // and their paths, for the record
    // What the user can send: the menu bar's commands and the accelerators'.
    std::set<uint32_t> menuCommands, acceleratorCommands;
    bool menuBar = false;  // the shell made one for this start
    int32_t menuBarRect[4] = {0, 0, 0, 0};
    bool paintErased = false;  // of the paint under way
    uint32_t nextKey = 0x00E00010;
    std::vector<PendingWrite> pending;  // oldest first
    int messagesFetched = 0;

    // What happened.
    std::vector<std::u16string> drawn;     // each DrawTextW text
    std::vector<std::u16string> unerased;  // of those, drawn over what was there
    int32_t drawRect[4] = {0, 0, 0, 0};    // and the last one's rectangle and format
    uint32_t drawFormat = 0;
    std::vector<std::u16string> boxTexts;  // each MessageBoxW text
    std::vector<std::string> events;       // shell, dialog, box, foreground, writes, destroys
    uint32_t classIcon = 0, classStyle = 0, classBrush = 0;  // of the last class registered
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
