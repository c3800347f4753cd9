// The CE runner: runs the ARM PORTMEDIC.exe on an emulated StrongARM with
// COREDLL and AYGSHELL stubbed, through the scenarios below.
//
//   ce_runner PORTMEDIC.exe FIXTURE_DIR [--scenario NAME] [--skip-relocation]
//             [--drop-stub DLL!NAME]
//   ce_runner --self-test [PORTMEDIC.exe]
//
// Each scenario loads a .reg fixture into the in-memory registry, starts the
// program as Windows CE does, feeds it the scenario's input and checks what
// it drew, the message boxes, the shell calls, every registry write and the
// values read back, the exit code, and that every key it opened was closed
// and every heap block freed. The reports and messages expected are what
// the desktop build's scan gives for the same device: the same scan,
// compiled natively, run on the same fixture. A few lines are pinned
// literally as well, so that a mistake both builds share still shows.
//
// --skip-relocation breaks the loader on purpose, and --drop-stub takes a
// function from the device (an import: the program does not start; a
// function looked up at run time: it is not found); the runs must then
// fail. --self-test runs single instructions (the misalignment trap, the
// processor's instruction set), reads menu-bar resources broken in each
// way the shell refuses and, given the program, checks the protections of
// its loaded image.
#include <stdio.h>
#include <string.h>
#include <unicorn/unicorn.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "cli/FileReplace.h"
#include "platform/CodePage.h"
#include "platform/portable/PortableRegistry.h"
#include "regfile/RegDocument.h"
#include "repair/GlobalTexts.h"
#include "repair/SerialScan.h"
#include "tests/cerunner/Device.h"
#include "tests/cerunner/MenuBar.h"
#include "tests/support/InjectedFaults.h"

namespace {

enum : uint32_t {
    kAbout = IDM_HELP_ABOUT,
    kDetect = IDM_DETECT,
    kRepair = IDM_REPAIR,
    kExit = IDM_EXIT,
    kIdOk = 1,
    kIdCancel = 2,
};

Input Command(uint32_t id) { return {Input::kCommand, id, false}; }
Input Key(char vk, bool ctrl) { return {Input::kKey, uint32_t(vk), ctrl}; }
Input DialogCommand(uint32_t id) { return {Input::kDialogCommand, id, false}; }
// SPI_SETSIPINFO: the input panel came up or went down.
Input SipChange() { return {Input::kSettingChange, 0xE0, false}; }
// Once the program has ended: the device's soft reset, then the program
// started again.
Input SoftResetAndStart() { return {Input::kSoftReset, 0, false}; }

#define MENU_BAR_ASKED "SHCreateMenuBar size=36 parent=main menu=102 module=ours"
const char kMenuBarRefused[] = MENU_BAR_ASKED;
const char kMenuBar[] = MENU_BAR_ASKED " button 'Herramientas' 40001 drop-down 0";
const char kBox[] = "MessageBoxW owner=main caption='PORTMEDIC' type=0";
const char kDeactivate[] = "SHHandleWMActivate main wParam=0 size=12";
const char kDestroyMain[] = "DestroyWindow main";
const char kDestroyMenuBar[] = "DestroyWindow menubar";
const char kInitAbout[] = "SHInitDialog mask=1 dialog flags=0x0000000D";
const char kAboutClosed[] =
    "DialogBoxIndirectParamW resource 103 'About PORTMEDIC' owner=main -> 1";
const char kSerial5Repaired[] =
    "RegSetValueExW HKLM\\Drivers\\BuiltIn\\Serial5 Dll type 1 'BTCEIF.DLL' 22 bytes -> 0";
const char kSerial5Flushed[] = "RegFlushKey HKLM\\Drivers\\BuiltIn\\Serial5 -> 0";
const char kSerial6Repaired[] =
    "RegSetValueExW HKLM\\Drivers\\BuiltIn\\Serial6 Dll type 1 'BTCEIF.DLL' 22 bytes -> 0";
const char kSerial6Flushed[] = "RegFlushKey HKLM\\Drivers\\BuiltIn\\Serial6 -> 0";
const char kSerial5Refused[] =
    "RegSetValueExW HKLM\\Drivers\\BuiltIn\\Serial5 Dll type 1 'BTCEIF.DLL' 22 bytes -> 5";
const char16_t kSerial5[] = u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5";
const char16_t kSerial6[] = u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial6";

// The device of a scenario: by default a 96-dpi 240 x 320 Pocket PC with a
// hive-based registry (Windows Mobile 5 and later), and what differs.
enum : unsigned {
    kWritable = 0,
    kWriteProtected = 1,    // Serial5's key refuses writes
    kCopyRunning = 2,       // an earlier start's window exists
    kNoMenuBar = 4,         // the shell makes no menu bar
    kHighDpi = 8,           // a 192-dpi 480 x 640 screen: task bar and menu bar 52 pixels high
    kSquareScreen = 16,     // a 128-dpi 320 x 320 screen: task bar and menu bar 34 pixels high
    kRamRegistry = 32,      // the registry kept in RAM (Pocket PC 2002); RegFlushKey fails
    kNoFlushFunction = 64,  // a COREDLL without RegFlushKey (its registry is kept in RAM)
};

struct ReadBack {
    const char16_t* key;
    const char16_t* dll;  // the "Dll" value after the run
};

struct Scenario {
    const char* name;
    const char* fixture;  // in FIXTURE_DIR
    unsigned device;      // kWritable, or what is unusual about the device
    std::vector<Input> script;
    std::vector<std::string> events;     // in order
    std::vector<std::u16string> pinned;  // each in some drawn text or box
    std::vector<ReadBack> after;
    uint32_t exitCode;
};

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> table = {
        {"start shows the intro; a setting change goes to the shell; Ctrl+Q deactivates, closes, "
         "ends",
         "clean-device.reg",
         kWritable,
         {SipChange(), Key('Q', true)},
         {kMenuBar, "SHHandleWMSettingChange main wParam=224 size=12", kDeactivate, kDestroyMain,
          kDestroyMenuBar},
         {u"PORTMEDIC 2.0 \r\n", u"Una vez instalado Orbina ning\u00FAn otro programa podr\u00E1"},
         {},
         0},
        {"detect on a damaged device writes nothing",
         "damaged-device.reg",
         kWritable,
         {Command(kDetect), Key('Q', true)},
         {kMenuBar, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {u"COM5:  => Dll: OBBTDEV.DLL <<<< \u00A1FALLO DETECTADO AQU\u00CD!\r\n",
          u"COM6:  => Dll: ---BTCEIF.DLL <<<< \u00A1FALLO DETECTADO AQU\u00CD!\r\n",
          u"COM1:  => Dll: SERIAL.DLL\r\n"},
         {{kSerial5, u"OBBTDEV.DLL"}},
         0},
        {"repair on a damaged device; Salir ends",
         "damaged-device.reg",
         kWritable,
         {Command(kRepair), Command(kExit)},
         {kMenuBar, kSerial5Repaired, kSerial5Flushed, kSerial6Repaired, kSerial6Flushed, kBox,
          kDeactivate, kDestroyMain, kDestroyMenuBar},
         {u"COM5:  => Dll: OBBTDEV.DLL  \u00A1ARREGLADO!\r\n",
          u"COM5 - 'BuiltIn'  => Dll: BTCEIF.DLL\r\n",
          u" Se ha corregido el fallo. Deber\u00E1 usted reiniciar su Pocket PC"},
         {{kSerial5, u"BTCEIF.DLL"},
          {kSerial6, u"BTCEIF.DLL"},
          {u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial", u"Serial.dll"}},
         0},
        {"detect and repair on a clean device",
         "clean-device.reg",
         kWritable,
         {Command(kDetect), Command(kRepair), Key('Q', true)},
         {kMenuBar, kBox, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {u"COM5:  => Dll: BTCEIF.DLL\r\n", u"\r\nTodo perfecto!!!",
          u"No se ha encontrado el problema Bluetooth de ORBINA en esta PDA."},
         {{kSerial5, u"btceif.dll"}},
         0},
        {"detect and repair on a write-protected device: no box",
         "refused-device.reg",
         kWriteProtected,
         {Command(kDetect), Command(kRepair), Key('Q', true)},
         // Refused for the loaded driver COM5:, then again for the built-in key.
         {kMenuBar, kSerial5Refused, kSerial5Refused, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {u"COM5:  => Dll: OBBTDEV.DLL <<<< \u00A1FALLO DETECTADO AQU\u00CD!\r\n"},
         {{kSerial5, u"OBBTDEV.DLL"}},
         0},
        {"About from Ctrl+A and from the menu: resource 103; cancel is ignored, OK closes",
         "clean-device.reg",
         kWritable,
         {Key('A', false), Key('A', true), DialogCommand(kIdCancel), DialogCommand(kIdOk),
          Command(kAbout), DialogCommand(kIdOk), Key('Q', true)},
         {kMenuBar, kInitAbout, kAboutClosed, kInitAbout, kAboutClosed, kDeactivate, kDestroyMain,
          kDestroyMenuBar},
         {},
         {},
         0},
        {"a second start brings the running copy forward and ends",
         "clean-device.reg",
         kCopyRunning,
         {},
         {"SetForegroundWindow copy|1"},
         {},
         {},
         0},
        {"without a menu bar the window keeps the whole work area",
         "clean-device.reg",
         kNoMenuBar,
         {Key('Q', true)},
         {kMenuBarRefused, kDeactivate, kDestroyMain},
         {},
         {},
         0},
        {"on a 192-dpi 480 x 640 screen the window leaves the menu bar its 52 pixels",
         "clean-device.reg",
         kHighDpi,
         {Key('Q', true)},
         {kMenuBar, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {},
         {},
         0},
        {"on a 128-dpi 320 x 320 screen the window leaves the menu bar its 34 pixels",
         "clean-device.reg",
         kSquareScreen,
         {Key('Q', true)},
         {kMenuBar, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {},
         {},
         0},
        // The soft reset the repair's message asks for, then detect again:
        // each kind of registry must still hold the repair.
        {"hive-based registry: repair, soft reset, start again: detect shows the repair",
         "damaged-device.reg",
         kWritable,
         {Command(kRepair), Command(kExit), SoftResetAndStart(), Command(kDetect), Key('Q', true)},
         {kMenuBar, kSerial5Repaired, kSerial5Flushed, kSerial6Repaired, kSerial6Flushed, kBox,
          kDeactivate, kDestroyMain, kDestroyMenuBar, kMenuBar, kDeactivate, kDestroyMain,
          kDestroyMenuBar},
         {u"COM5:  => Dll: BTCEIF.DLL\r\n", u"\r\nTodo perfecto!!!"},
         {{kSerial5, u"BTCEIF.DLL"}, {kSerial6, u"BTCEIF.DLL"}},
         0},
        {"registry in RAM, which refuses the flush: repair, soft reset, start again: detect shows "
         "the repair",
         "damaged-device.reg",
         kRamRegistry,
         {Command(kRepair), Command(kExit), SoftResetAndStart(), Command(kDetect), Key('Q', true)},
         {kMenuBar, kSerial5Repaired, "RegFlushKey HKLM\\Drivers\\BuiltIn\\Serial5 -> 50",
          kSerial6Repaired, "RegFlushKey HKLM\\Drivers\\BuiltIn\\Serial6 -> 50", kBox, kDeactivate,
          kDestroyMain, kDestroyMenuBar, kMenuBar, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {u"COM5:  => Dll: BTCEIF.DLL\r\n", u"\r\nTodo perfecto!!!"},
         {{kSerial5, u"BTCEIF.DLL"}, {kSerial6, u"BTCEIF.DLL"}},
         0},
        {"a COREDLL without RegFlushKey: the program starts, repairs, and the repair stays",
         "damaged-device.reg",
         kNoFlushFunction,
         {Command(kRepair), Command(kExit), SoftResetAndStart(), Command(kDetect), Key('Q', true)},
         {kMenuBar, kSerial5Repaired, kSerial6Repaired, kBox, kDeactivate, kDestroyMain,
          kDestroyMenuBar, kMenuBar, kDeactivate, kDestroyMain, kDestroyMenuBar},
         {u"\r\nTodo perfecto!!!"},
         {{kSerial5, u"BTCEIF.DLL"}},
         0},
    };
    return table;
}

// What the desktop build shows: Windows-1252 through the code page.
std::u16string Shown(const TextString& text) {
    std::u16string wide(size_t(text.Length()) + 1, u'\0');
    int n = CodePageAnsiToWide(text.CStr(), -1, &wide[0], int(wide.size()));
    wide.resize(n > 0 ? size_t(n - 1) : 0);
    return wide;
}

// The scenario's device, loaded into the tree the registry stubs and the
// native scan both act on.
RegTree g_device;

bool LoadDevice(const std::string& dir, const Scenario& s, std::string* error) {
    PortableRegistryUse(nullptr);
    RegTreeClear(g_device);
    PortableRegistryUse(&g_device);
    std::string content;
    FileId id;
    RegDocument doc;
    if (!FileReadAll(dir + "/" + s.fixture, kRegFileMaxBytes, &content, &id, error) ||
        !RegDocumentReadAndLoad(std::move(content), s.fixture, false, g_device, &doc, error))
        return false;
    if (s.device & kWriteProtected) FaultWriteKey(kSerial5);
    return true;
}

struct Expected {
    std::vector<std::u16string> drawn;
    std::vector<std::u16string> boxes;
};

// The same scan, natively, on the same device, for each scan command.
Expected Expect(const Scenario& s) {
    Expected e;
    if (s.device & kCopyRunning) return e;
    e.drawn.push_back(Shown(kIntroText));
    for (const Input& in : s.script) {
        if (in.kind == Input::kSoftReset) e.drawn.push_back(Shown(kIntroText));
        if (in.kind != Input::kCommand || (in.value != kDetect && in.value != kRepair)) continue;
        TextString report, message;
        ScanSerialDrivers(report, message, in.value == kRepair);
        e.drawn.push_back(Shown(report));
        if (in.value == kRepair && !message.IsEmpty()) e.boxes.push_back(Shown(message));
    }
    return e;
}

std::u16string DllValue(const char16_t* key) {
    const TreeValue* v = RegTreeGetValue(g_device, key, u"Dll");
    if (!v) return u"(none)";
    std::vector<uint8_t> b = TreeValueBytes(*v);
    std::u16string text;
    for (size_t i = 0; i + 1 < b.size(); i += 2) text.push_back(Utf16LeAt(&b[i]));
    while (!text.empty() && text.back() == 0) text.pop_back();
    return text;
}

struct Checker {
    std::vector<std::string> failures;
    void Check(bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
    }
    template <typename T>
    void Same(const std::vector<T>& got, const std::vector<T>& want, const char* what,
              std::string (*show)(const T&)) {
        for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
            std::string g = i < got.size() ? show(got[i]) : "(nothing)";
            std::string w = i < want.size() ? show(want[i]) : "(nothing)";
            if (g != w)
                failures.push_back(std::string(what) + " " + std::to_string(i) +
                                   ":\n      got:  " + g + "\n      want: " + w);
        }
    }
};

// Texts on one line: line ends and other control characters escaped.
std::string ShowText(const std::u16string& t) { return VisibleText(t); }
std::string ShowEvent(const std::string& e) { return e; }

std::string RectText(const int32_t* r) {
    return std::to_string(r[0]) + "," + std::to_string(r[1]) + "," + std::to_string(r[2]) + "," +
           std::to_string(r[3]);
}

// One start of the program, as Windows CE starts it, to its end; the checks
// that belong to one start (its window, its keys, its heap) go to c, each
// failure prefixed with `start`.
void RunOnce(const Scenario& s, const std::string& exe, const LoadOptions& options,
             const std::string& start, Checker& c) {
    Device& d = TheDevice();
    Machine m;
    if (!MachineLoad(m, exe, DeviceStubs(), options)) {
        c.Check(false, start + "load: " + m.fault);
        MachineClose(m);
        return;
    }
    // WinMainCRTStartup(hInstance, 0, L"", SW_SHOW); its return ends the process.
    uint32_t commandLine = HeapAlloc(m, 2);
    Write32(m, commandLine, 0);
    uint32_t exitCode = uint32_t(CallGuest(m, m.entry, {m.base, 0, commandLine, 5}));
    if (m.exited)
        exitCode = m.exitCode;
    else
        HeapFree(m, commandLine);
    c.Check(m.fault.empty() || m.exited, start + "the run stopped: " + m.fault);
    c.Check(exitCode == s.exitCode, start + "exit code " + std::to_string(exitCode));

    if (d.copyRunning) {
        c.Check(d.windows.empty(), "a second copy created a window");
    } else if (!d.windows.empty()) {
        const Window& w = d.windows[0];
        c.Check(w.className == u"PORTMEDIC" && w.title == u"PORTMEDIC" && w.style == 0x10000000,
                start + "main window: class '" + VisibleText(w.className) + "' title '" +
                    VisibleText(w.title) + "' style " + Hex(w.style));
        c.Check(d.classIcon != 0, start + "the window class has no icon");
        // CS_HREDRAW | CS_VREDRAW and a brush: the text is wrapped to the
        // window's width and placed from its top, so a window resized either
        // way (an input panel, a turned screen) is erased and painted whole.
        c.Check(d.classStyle == 3 && d.classBrush != 0,
                start + "window class style " + Hex(d.classStyle) + ", brush " + Hex(d.classBrush));
        c.Check(d.menuBar == !(s.device & kNoMenuBar),
                start + (d.menuBar ? "a menu bar on a device without one" : "no menu bar"));
        // The window ends where the menu bar begins; the text goes 10
        // pixels in from the left, top and right.
        const int32_t* a = d.workArea;
        int32_t place[4] = {a[0], a[1], a[2], d.menuBar ? d.menuBarRect[1] : a[3]};
        int32_t text[4] = {10, 10, a[2] - a[0] - 10, place[3] - a[1]};
        c.Check(RectText(w.rect) == RectText(place),
                start + "main window placed at " + RectText(w.rect) + ", want " + RectText(place));
        c.Check(RectText(d.drawRect) == RectText(text) && d.drawFormat == 0x10,
                start + "text drawn into " + RectText(d.drawRect) + " format " + Hex(d.drawFormat));
    } else {
        c.Check(false, start + "no main window");
    }
    c.Check(d.keys.empty(), start + std::to_string(d.keys.size()) + " registry keys left open");
    if (m.fault.empty())
        c.Check(m.heapBlocks.empty(),
                start + std::to_string(m.heapBlocks.size()) +
                    " heap blocks not freed, the first at " +
                    Hex(m.heapBlocks.empty() ? 0 : m.heapBlocks.begin()->first));
    MachineClose(m);
}

// Runs one scenario; returns its failures (none: passed).
std::vector<std::string> Run(const Scenario& s, const std::string& exe, const std::string& dir,
                             const LoadOptions& options) {
    Checker c;
    std::string error;
    if (!LoadDevice(dir, s, &error)) return {"fixture: " + error};
    Expected want = Expect(s);
    if (!LoadDevice(dir, s, &error)) return {"fixture: " + error};

    DeviceReset();
    Device& d = TheDevice();
    d.script = s.script;
    d.copyRunning = s.device & kCopyRunning;
    d.noMenuBar = s.device & kNoMenuBar;
    d.ramRegistry = s.device & (kRamRegistry | kNoFlushFunction);
    d.missingFunction = s.device & kNoFlushFunction ? "COREDLL!RegFlushKey" : options.dropStub;
    if (s.device & (kHighDpi | kSquareScreen)) {
        const int32_t vga[4] = {0, 52, 480, 640}, square[4] = {0, 34, 320, 320};
        d.dpi = s.device & kHighDpi ? 192 : 128;
        memcpy(d.workArea, s.device & kHighDpi ? vga : square, sizeof vga);
    }
    RunOnce(s, exe, options, "", c);
    for (int start = 2; d.nextInput < d.script.size() &&
                        d.script[d.nextInput].kind == Input::kSoftReset && c.failures.empty();
         ++start) {
        ++d.nextInput;
        DeviceSoftReset();
        DeviceRestart();
        RunOnce(s, exe, options, "start " + std::to_string(start) + ": ", c);
    }
    c.Check(d.nextInput == d.script.size(),
            "input left unread: " + std::to_string(d.script.size() - d.nextInput) + " steps");

    c.Same<std::u16string>(d.drawn, want.drawn, "drawn text", ShowText);
    c.Same<std::u16string>(d.boxTexts, want.boxes, "message box text", ShowText);
    c.Same<std::string>(d.events, s.events, "event", ShowEvent);
    // What the device shows is the last thing painted: a report drawn over
    // the intro without erasing it shows both, mixed.
    c.Check(d.unerased.empty(), "drawn over an unerased background: " +
                                    (d.unerased.empty() ? "" : VisibleText(d.unerased[0])));
    for (const std::u16string& line : s.pinned) {
        bool found = false;
        for (const auto* list : {&d.drawn, &d.boxTexts})
            for (const std::u16string& t : *list) found = found || t.find(line) != t.npos;
        c.Check(found, "never shown: " + VisibleText(line));
    }
    for (const ReadBack& r : s.after)
        c.Check(DllValue(r.key) == r.dll, "read back " + VisibleText(r.key) + ": " +
                                              VisibleText(DllValue(r.key)) + ", want " +
                                              VisibleText(r.dll));
    c.Check(PortableRegistryOpenHandles() == 0,
            std::to_string(PortableRegistryOpenHandles()) + " registry handles left open");
    return c.failures;
}

// Single instructions on the emulated StrongARM. CE raises a datatype
// misalignment for misaligned words and half-words, never for bytes; and
// an ARMv4 processor has no BX (ARMv4T) nor LDRD (ARMv5TE), which a build
// for a later processor would use.
int InstructionTable() {
    const char* kMisaligned = "datatype misalignment at PC=0x00400000";
    const char* kUndefined = "stopped at PC=0x00400000: Invalid instruction";
    struct Row {
        const char* what;
        uint32_t instruction;
        uint32_t offset;    // of r0 from an aligned block
        const char* fault;  // how the run stops; null: it does not
    } rows[] = {
        {"ldr r2, [r0]", 0xE5902000, 0, nullptr},
        {"ldr r2, [r0] +2", 0xE5902000, 2, kMisaligned},
        {"ldrh r2, [r0] +1", 0xE1D020B0, 1, kMisaligned},
        {"ldrh r2, [r0] +2", 0xE1D020B0, 2, nullptr},
        {"ldrsh r2, [r0] +3", 0xE1D020F0, 3, kMisaligned},
        {"str r1, [r0] +1", 0xE5801000, 1, kMisaligned},
        {"strh r1, [r0] +1", 0xE1C010B0, 1, kMisaligned},
        {"ldrb r2, [r0] +1", 0xE5D02000, 1, nullptr},
        {"ldm r0, {r2, r3} +2", 0xE890000C, 2, kMisaligned},
        {"stm r0, {r2, r3} +2", 0xE880000C, 2, kMisaligned},
        {"stm r0, {r2, r3} +4", 0xE880000C, 4, nullptr},
        {"bx lr", 0xE12FFF1E, 0, kUndefined},
        {"ldrd r2, [r0]", 0xE1C020D0, 0, kUndefined},
    };
    int failed = 0;
    for (const Row& r : rows) {
        Machine m;
        uint32_t code[2] = {r.instruction, 0xE1A0F00E};  // ...; mov pc, lr
        const uint32_t at = kImageBase;
        bool ok = MachineOpen(m) && uc_mem_map(m.uc, at, 0x1000, UC_PROT_ALL) == UC_ERR_OK;
        uint32_t data = ok ? HeapAlloc(m, 16) : 0;
        if (ok) {
            WriteBytes(m, at, code, sizeof code);
            CallGuest(m, at, {data + r.offset, 0x12345678});
        }
        bool pass = ok && (r.fault ? m.fault.find(r.fault) == 0 : m.fault.empty());
        printf("%s: %s%s%s\n", pass ? "ok" : "FAILED", r.what, m.fault.empty() ? "" : ": ",
               m.fault.c_str());
        failed += !pass;
        MachineClose(m);
    }
    return failed;
}

// The program's image as loaded: its code and read-only data refuse a
// store, from its own code or from a COREDLL function writing for it, and
// its data holds no code, as on the device.
int ImageTable(const std::string& exe) {
    enum What { kStore, kStubWrite, kRun };
    struct Row {
        const char* section;
        What what;
        const char* fault;  // how the run stops; null: it does not
    } rows[] = {
        {".text", kStore, "access violation at PC=0x003F0000: write to read-only memory"},
        {".rdata", kStore, "access violation at PC=0x003F0000: write to read-only memory"},
        {".rdata", kStubWrite, "a stub wrote read-only memory"},
        {".data", kStore, nullptr},
        {".data", kRun, "access violation at PC=0x00000000: run of non-executable memory"},
    };
    const char* kWhat[] = {"a store into", "a stub's write into", "a run of"};
    int failed = 0;
    for (const Row& r : rows) {
        Machine m;
        bool ok = MachineLoad(m, exe, DeviceStubs(), LoadOptions());
        // The section's address, from the section table as mapped.
        uint32_t pe = ok ? m.base + Read32(m, m.base + 0x3C) : 0, at = 0;
        uint32_t count = ok ? Read32(m, pe + 4) >> 16 : 0,
                 table = pe + 24 + (Read32(m, pe + 20) & 0xFFFF);
        for (uint32_t i = 0; i < count && !at; ++i)
            if (ReadText(m, table + 40 * i).substr(0, 8) == r.section)
                at = m.base + Read32(m, table + 40 * i + 12);
        const uint32_t code = kImageBase - 0x10000;
        uint32_t instructions[2] = {0xE5801000, 0xE1A0F00E};  // str r1, [r0]; mov pc, lr
        ok = ok && at && uc_mem_map(m.uc, code, 0x1000, UC_PROT_ALL) == UC_ERR_OK;
        if (ok) {
            WriteBytes(m, code, instructions, sizeof instructions);
            if (r.what == kStore) CallGuest(m, code, {at, 0x12345678});
            if (r.what == kStubWrite) WriteBytes(m, at, instructions, 4);
            if (r.what == kRun) CallGuest(m, at, {});
        }
        bool pass = ok && (r.fault ? m.fault.find(r.fault) == 0 : m.fault.empty());
        printf("%s: %s %s%s%s\n", pass ? "ok" : "FAILED", kWhat[r.what], r.section,
               m.fault.empty() ? "" : ": ", m.fault.c_str());
        failed += !pass;
        MachineClose(m);
    }
    return failed;
}

// The menu bar as the shell reads it from the resources: the program's own
// definition and menu, and each way the shell refuses one.
int MenuBarTable() {
    typedef std::vector<uint16_t> Words;
    // Menu 102: drop-down "H" holding 40003, 40004, 40006.
    const Words menu = {0, 0,     0x90, 'H', 0,    0,     40003, 'A', 0,
                        0, 40004, 'D',  0,   0x80, 40006, 'S',   0};
    const Words bar = {102, 1, 0xFFFE, 40001, 4, 0x18, 104, 0, 0};
    auto with = [](Words w, size_t at, uint16_t v) {
        w[at] = v;
        return w;
    };
    struct Row {
        const char* what;
        uint32_t id;
        Words bar, menu;
        const char* error;  // "" when the shell builds the bar
        size_t commands;    // then the commands it offers
    } rows[] = {
        {"the program's bar", 102, bar, menu, "", 3},
        {"a plain button", 102, with(bar, 5, 0), menu, "", 1},
        {"no such definition", 103, bar, menu, "no menu-bar definition 103", 0},
        {"two buttons, one given", 102, with(bar, 1, 2), menu,
         "menu-bar definition 102 is shorter than its 2 buttons", 0},
        {"no such menu", 102, with(bar, 0, 105), menu, "no menu 105", 0},
        {"no such string", 102, with(bar, 6, 105), menu, "button 0: no string 105", 0},
        {"no such drop-down", 102, with(bar, 8, 1), menu, "button 0: menu 102 has no drop-down 1",
         0},
        {"a menu without its end", 102, bar, with(menu, 13, 0), "menu 102 is cut short", 0},
    };
    int failed = 0;
    for (const Row& r : rows) {
        auto bytes = [](const Words& w) {
            std::vector<uint8_t> b;
            for (uint16_t v : w) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
            return b;
        };
        ResourceLookup resource = [&](uint32_t type, uint32_t id, std::vector<uint8_t>* out) {
            if (id != 102) return false;
            *out = bytes(type == 10 ? r.bar : r.menu);
            return true;
        };
        StringLookup text = [](uint32_t id) { return id == 104 ? u"Herramientas" : u""; };
        MenuBar got;
        std::string error = ReadMenuBar(r.id, resource, text, &got);
        bool pass = error == r.error && (!error.empty() || got.commands.size() == r.commands);
        printf("%s: menu bar: %s%s%s\n", pass ? "ok" : "FAILED", r.what, error.empty() ? "" : ": ",
               error.c_str());
        failed += !pass;
    }
    return failed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.size() <= 2 && args[0] == "--self-test")
        return InstructionTable() + MenuBarTable() + (args.size() == 2 ? ImageTable(args[1]) : 0)
                   ? 1
                   : 0;
    LoadOptions options;
    std::string only;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--skip-relocation")
            options.skipRelocation = true;
        else if (args[i] == "--drop-stub" && i + 1 < args.size())
            options.dropStub = args[++i];
        else if (args[i] == "--scenario" && i + 1 < args.size())
            only = args[++i];
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 2) {
        fprintf(stderr, "usage: ce_runner PORTMEDIC.exe FIXTURE_DIR [--scenario NAME] "
                        "[--skip-relocation] [--drop-stub DLL!NAME]\n       ce_runner --self-test "
                        "[PORTMEDIC.exe]\n");
        return 2;
    }
    int passed = 0, failed = 0;
    for (const Scenario& s : Scenarios()) {
        if (!only.empty() && only != s.name) continue;
        std::vector<std::string> failures = Run(s, positional[0], positional[1], options);
        printf("%s: %s\n", failures.empty() ? "ok" : "FAILED", s.name);
        for (const std::string& f : failures) printf("    %s\n", f.c_str());
        (failures.empty() ? passed : failed)++;
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed || !passed ? 1 : 0;
}
