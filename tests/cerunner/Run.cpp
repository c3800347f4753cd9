// Running one scenario: its device loaded into the registry, the program
// started as Windows CE starts it (again after each soft reset), and what
// it did held against what the scenario and the desktop build's scan say.
#include <string.h>

#include "app/resource.h"
#include "cli/FileRead.h"
#include "platform/CodePage.h"
#include "regfile/RegDocument.h"
#include "registry/PortableRegistry.h"
#include "repair/SerialScan.h"
#include "tests/cerunner/Runner.h"
#include "tests/support/InjectedFaults.h"

std::u16string Shown(const TextString& text) {
    std::u16string wide(size_t(text.Length()) + 1, u'\0');
    int n = CodePageAnsiToWide(text.CStr(), -1, &wide[0], int(wide.size()));
    wide.resize(n > 0 ? size_t(n - 1) : 0);
    return wide;
}

namespace {

// The scenario's device, loaded into the tree the registry stubs and the
// native scan both act on.
RegTree g_registry;

bool LoadDevice(const std::string& dir, const Scenario& s, std::string* error) {
    PortableRegistryUse(nullptr);
    RegTreeClear(g_registry);
    PortableRegistryUse(&g_registry);
    std::string content;
    FileId id;
    RegDocument doc;
    if (!FileReadAll(dir + "/" + s.fixture, kRegFileMaxBytes, &content, &id, error) ||
        !RegDocumentReadAndLoad(std::move(content), s.fixture, false, g_registry, &doc, error))
        return false;
    if (s.device.writeProtected) FaultWriteKey(kSerial5);
    return true;
}

struct Expected {
    std::vector<std::u16string> drawn;
    std::vector<std::u16string> boxes;
};

// The same scan, natively, on the same device, for each scan command.
Expected Expect(const Scenario& s) {
    Expected e;
    if (s.device.copyRunning) return e;
    e.drawn.push_back(Shown(kIntroText));
    for (const Input& in : s.script) {
        if (in.kind == Input::kSoftReset) e.drawn.push_back(Shown(kIntroText));
        if (in.kind != Input::kCommand || (in.value != IDM_DETECT && in.value != IDM_REPAIR))
            continue;
        TextString report, message;
        ScanSerialDrivers(report, message, in.value == IDM_REPAIR);
        e.drawn.push_back(Shown(report));
        if (in.value == IDM_REPAIR && !message.IsEmpty()) e.boxes.push_back(Shown(message));
    }
    return e;
}

std::u16string DllValue(const std::u16string& key) {
    const TreeValue* v = RegTreeGetValue(g_registry, key, u"Dll");
    if (!v) return u"(none)";
    std::u16string text = WideFromBytes(TreeValueBytes(*v));
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

// The program's window, its class and where it drew, for one start.
void CheckWindow(const Device& d, const std::string& start, Checker& c) {
    if (d.kind.copyRunning) {
        c.Check(d.system.windows.empty(), "a second copy created a window");
    } else if (!d.system.windows.empty()) {
        const Window& w = d.system.windows[0];
        c.Check(w.className == u"PORTMEDIC" && w.title == u"PORTMEDIC" && w.style == 0x10000000,
                start + "main window: class '" + VisibleText(w.className) + "' title '" +
                    VisibleText(w.title) + "' style " + Hex(w.style));
        c.Check(d.system.classIcon != 0, start + "the window class has no icon");
        // CS_HREDRAW | CS_VREDRAW and a brush: the text is wrapped to the
        // window's width and placed from its top, so a window resized either
        // way (an input panel, a turned screen) is erased and painted whole.
        c.Check(d.system.classStyle == 3 && d.system.classBrush != 0,
                start + "window class style " + Hex(d.system.classStyle) + ", brush " +
                    Hex(d.system.classBrush));
        c.Check(d.system.menuBar == !d.kind.noMenuBar,
                start + (d.system.menuBar ? "a menu bar on a device without one" : "no menu bar"));
        // The window ends where the menu bar begins; the text goes 10
        // pixels in from the left, top and right.
        const int32_t* a = d.kind.screen.workArea;
        int32_t place[4] = {a[0], a[1], a[2], d.system.menuBar ? d.system.menuBarRect[1] : a[3]};
        int32_t text[4] = {10, 10, a[2] - a[0] - 10, place[3] - a[1]};
        c.Check(RectText(w.rect) == RectText(place),
                start + "main window placed at " + RectText(w.rect) + ", want " + RectText(place));
        c.Check(RectText(d.drawRect) == RectText(text) && d.drawFormat == 0x10,
                start + "text drawn into " + RectText(d.drawRect) + " format " + Hex(d.drawFormat));
    } else {
        c.Check(false, start + "no main window");
    }
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

    CheckWindow(d, start, c);
    c.Check(d.system.keys.empty(),
            start + std::to_string(d.system.keys.size()) + " registry keys left open");
    if (m.fault.empty())
        c.Check(m.heapBlocks.empty(),
                start + std::to_string(m.heapBlocks.size()) +
                    " heap blocks not freed, the first at " +
                    Hex(m.heapBlocks.empty() ? 0 : m.heapBlocks.begin()->first));
    MachineClose(m);
}

// What the scenario's starts left: the text drawn, the boxes, the events,
// the values read back, the registry's handles.
void CheckRecord(const Scenario& s, const Expected& want, Checker& c) {
    const Device& d = TheDevice();
    c.Same<std::u16string>(d.drawn, want.drawn, "drawn text", ShowText);
    c.Same<std::u16string>(d.boxTexts, want.boxes, "message box text", ShowText);
    c.Same<std::string>(d.events, s.events, "event", ShowEvent);
    // What the device shows is the last thing painted: a report drawn over
    // the intro without erasing it shows both, mixed.
    c.Check(d.unerased.empty(), "drawn over an unerased background: " +
                                    (d.unerased.empty() ? "" : VisibleText(d.unerased[0])));
    for (const std::u16string& line : s.shown) {
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
}

}  // namespace

std::vector<std::string> RunScenario(const Scenario& s, const std::string& exe,
                                     const std::string& dir, const LoadOptions& options) {
    Checker c;
    std::string error;
    if (!LoadDevice(dir, s, &error)) return {"fixture: " + error};
    Expected want = Expect(s);
    if (!LoadDevice(dir, s, &error)) return {"fixture: " + error};

    DeviceReset();
    Device& d = TheDevice();
    d.kind = s.device;
    d.script = s.script;
    d.missingFunction = options.dropStub;
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
    CheckRecord(s, want, c);
    return c.failures;
}
