// COREDLL's window, resource and registry functions and AYGSHELL's numbered
// calls, as far as the program uses them, over the Device record. Each stub
// reads its arguments (Arg), acts, and returns what lands in r0.
#include <string.h>

#include "platform/Registry.h"
#include "registry/PortableRegistry.h"
#include "tests/cerunner/Device.h"
#include "tests/cerunner/MenuBar.h"

namespace {

enum : uint32_t {
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_SETTINGCHANGE = 0x001A,
    WM_QUIT = 0x0012,
    WM_KEYDOWN = 0x0100,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    kRtIcon = 14,  // RT_GROUP_ICON
    kRtDialog = 5,
    kRtString = 6,
    kRtAccelerator = 9,
    kFirstWindow = 0x00A10010,
    kMenuBarWindow = 0x00A20010,
    kPaintDc = 0x00D00001,
    kScreenDc = 0x00D00002,
    kLogPixelsY = 90,
    kStockObjects = 0x00D10000,
    kIcons = 0x00C00000,
    kCurrentProcess = 0x42,
    kMaxMessages = 10000,         // a loop that fetches more never ends
    kNotSupported = 50,           // ERROR_NOT_SUPPORTED
    kCoredllModule = 0x01F60000,  // what GetModuleHandleW answers for COREDLL
    kUseDefault = 0x80000000u,    // CW_USEDEFAULT
};

Device g_device;

Window* FindWindow(uint32_t handle) {
    for (Window& w : g_device.system.windows)
        if (w.handle == handle && w.alive) return &w;
    return nullptr;
}

std::string NameOf(uint32_t handle) {
    if (!handle) return "null";
    if (handle == kMenuBarWindow) return "menubar";
    if (handle == kRunningCopyWindow) return "copy";
    for (Window& w : g_device.system.windows)
        if (w.handle == handle) return w.name;
    return Hex(handle);
}

void Record(const std::string& event) { g_device.events.push_back(event); }

uint32_t Send(Machine& m, uint32_t hwnd, uint32_t message, uint32_t wParam, uint32_t lParam) {
    Window* w = FindWindow(hwnd);
    if (!w) return 0;
    return uint32_t(CallGuest(m, w->procedure, {hwnd, message, wParam, lParam}));
}

void WriteRect(Machine& m, uint32_t address, const int32_t* r) {
    for (int i = 0; i < 4; ++i) Write32(m, address + 4 * i, uint32_t(r[i]));
}

// A message box or dialog runs a loop of its own, which paints what waits
// to be painted behind it.
void PaintWaiting(Machine& m) {
    const std::vector<Window>& windows = g_device.system.windows;  // by index: a paint may add one
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].alive && windows[i].invalid && !windows[i].dialog)
            Send(m, windows[i].handle, WM_PAINT, 0, 0);
}

// The next step of the script; null (and a fault) when it has ended.
const Input* NextInput(Machine& m, const char* waiting) {
    if (g_device.nextInput < g_device.script.size()) return &g_device.script[g_device.nextInput++];
    Stop(m, std::string(waiting) + " waits for input after the scenario's last step");
    return nullptr;
}

// ---- registry ----

// The registry key behind a handle the program holds; false for one it
// was never given (or has closed).
bool KeyOf(uint32_t handle, RegKey* key) {
    auto it = g_device.system.keys.find(handle);
    bool root = handle == 0x80000002u, known = root || it != g_device.system.keys.end();
    *key = root ? REG_ROOT_LOCAL_MACHINE : known ? it->second : nullptr;
    return known;
}

uint32_t RegOpenKeyExW(Machine& m) {
    RegKey root;
    if (!KeyOf(Arg(m, 0), &root)) return kRegInvalidHandle;  // ERROR_INVALID_HANDLE
    std::u16string path = Arg(m, 1) ? ReadWide(m, Arg(m, 1)) : u"";
    RegKey key;
    long r = RegistryOpenKey(root, path.c_str(), Arg(m, 2), Arg(m, 3), &key);
    if (r == kRegOk) {
        uint32_t handle = g_device.system.nextKey += 0x10;
        g_device.system.keys[handle] = key;
        std::u16string parent =
            Arg(m, 0) == 0x80000002u ? u"HKLM" : g_device.system.keyPaths[Arg(m, 0)];
        g_device.system.keyPaths[handle] = path.empty() ? parent : parent + u"\\" + path;
        Write32(m, Arg(m, 4), handle);
    }
    return uint32_t(r);
}

uint32_t RegEnumKeyExW(Machine& m) {
    RegKey key;
    if (!KeyOf(Arg(m, 0), &key)) return kRegInvalidHandle;
    uint32_t length = Read32(m, Arg(m, 3));
    if (!Plausible(m, 2 * uint64_t(length))) return 0;
    std::u16string name(length + 1, u'\0');
    long r = RegistryEnumKey(key, Arg(m, 1), &name[0], &length);
    if (r == kRegOk) WriteBytes(m, Arg(m, 2), name.data(), 2 * (length + 1));
    Write32(m, Arg(m, 3), length);
    return uint32_t(r);
}

uint32_t RegQueryValueExW(Machine& m) {
    RegKey key;
    if (!KeyOf(Arg(m, 0), &key)) return kRegInvalidHandle;
    std::u16string name = Arg(m, 1) ? ReadWide(m, Arg(m, 1)) : u"";
    uint32_t typeAt = Arg(m, 3), dataAt = Arg(m, 4), countAt = Arg(m, 5);
    uint32_t type = 0, count = countAt ? Read32(m, countAt) : 0, room = count;
    if (!Plausible(m, count)) return 0;
    std::vector<uint8_t> data(count);
    long r = RegistryQueryValue(key, name.c_str(), &type, dataAt ? data.data() : nullptr,
                                countAt ? &count : nullptr);
    if (typeAt && (r == kRegOk || r == kRegMoreData)) Write32(m, typeAt, type);
    if (r == kRegOk && dataAt) WriteBytes(m, dataAt, data.data(), std::min(count, room));
    if (countAt) Write32(m, countAt, count);
    return uint32_t(r);
}

// The key's path in the registry tree ("HKLM\\..." in the record).
std::u16string TreePath(uint32_t handle) {
    const std::u16string& path = g_device.system.keyPaths[handle];
    return u"HKEY_LOCAL_MACHINE" + (path.size() > 4 ? path.substr(4) : u"");
}

uint32_t RegSetValueExW(Machine& m) {
    RegKey key;
    if (!KeyOf(Arg(m, 0), &key)) return kRegInvalidHandle;
    std::u16string name = Arg(m, 1) ? ReadWide(m, Arg(m, 1)) : u"";
    uint32_t type = Arg(m, 3), count = Arg(m, 5);
    std::vector<uint8_t> data = ReadBytes(m, Arg(m, 4), count);
    PendingWrite before{TreePath(Arg(m, 0)), name, false, 0, {}};
    if (const TreeValue* v = RegTreeGetValue(*PortableRegistryTree(), before.key, name))
        before = {before.key, name, true, TreeValueType(*v), TreeValueBytes(*v)};
    long r = RegistrySetValue(key, name.c_str(), Arg(m, 2), type, data.data(), count);
    if (r == kRegOk && !g_device.kind.RegistryInRam()) g_device.pending.push_back(before);
    std::u16string text = WideFromBytes(data);
    if (type == kRegTypeString && !text.empty() && text.back() == 0) text.pop_back();
    Record(SetValueEvent(g_device.system.keyPaths[Arg(m, 0)], name, type, text, count, r));
    return uint32_t(r);
}

// Not bound at load (a COREDLL of CE 3.0 may lack it): the program finds
// it with GetProcAddressW. A hive is flushed whole, whichever key is named.
uint32_t RegFlushKey(Machine& m) {
    RegKey key;
    uint32_t r = !KeyOf(Arg(m, 0), &key)         ? uint32_t(kRegInvalidHandle)
                 : g_device.kind.RegistryInRam() ? uint32_t(kNotSupported)
                                                 : uint32_t(kRegOk);
    if (r == kRegOk) g_device.pending.clear();
    Record(FlushEvent(g_device.system.keyPaths[Arg(m, 0)], r));
    return r;
}

uint32_t RegCloseKey(Machine& m) {
    RegKey key;
    if (!KeyOf(Arg(m, 0), &key)) return kRegInvalidHandle;
    long r = RegistryCloseKey(key);
    g_device.system.keys.erase(Arg(m, 0));
    return uint32_t(r);
}

// ---- resources ----

bool OurModule(Machine& m, uint32_t handle) { return handle == m.base; }

uint32_t FindResourceW(Machine& m) {
    if (!OurModule(m, Arg(m, 0)) || Arg(m, 1) > 0xFFFF || Arg(m, 2) > 0xFFFF) return 0;
    return FindResourceEntry(m, Arg(m, 2), Arg(m, 1));
}

uint32_t LoadResource(Machine& m) {
    if (!OurModule(m, Arg(m, 0)) || !Arg(m, 1)) return 0;
    return ResourceData(m, Arg(m, 1), nullptr);
}

// String `id` of the image's string table: where its characters are and
// how many there are (0: none).
uint32_t FindString(Machine& m, uint32_t id, uint32_t* length) {
    *length = 0;
    uint32_t entry = FindResourceEntry(m, kRtString, id / 16 + 1);
    if (!entry) return 0;
    // A block of 16 strings, each its length then its characters.
    uint32_t at = ResourceData(m, entry, nullptr);
    for (uint32_t i = 0; i < id % 16; ++i) at += 2 + 2 * (Read32(m, at) & 0xFFFF);
    *length = Read32(m, at) & 0xFFFF;
    return at + 2;
}

uint32_t LoadStringW(Machine& m) {
    uint32_t id = Arg(m, 1), buffer = Arg(m, 2), room = Arg(m, 3), length = 0;
    uint32_t at = OurModule(m, Arg(m, 0)) ? FindString(m, id, &length) : 0;
    if (!length || !buffer || !room) return 0;
    uint32_t copied = std::min(length, room - 1);
    std::vector<uint8_t> text = ReadBytes(m, at, 2 * copied);
    text.push_back(0);
    text.push_back(0);
    WriteBytes(m, buffer, text.data(), uint32_t(text.size()));
    return copied;
}

uint32_t LoadIconW(Machine& m) {
    if (!OurModule(m, Arg(m, 0)) || !FindResourceEntry(m, kRtIcon, Arg(m, 1))) return 0;
    return kIcons | Arg(m, 1);
}

// The table as the resource keeps it: 8 bytes an entry (flags, key,
// command, padding), the last entry's flags with 0x80.
enum { kAccelVirtKey = 1, kAccelShift = 4, kAccelControl = 8, kAccelAlt = 0x10, kAccelLast = 0x80 };

uint32_t LoadAcceleratorsW(Machine& m) {
    uint32_t entry = OurModule(m, Arg(m, 0)) ? FindResourceEntry(m, kRtAccelerator, Arg(m, 1)) : 0;
    uint32_t size = 0, table = entry ? ResourceData(m, entry, &size) : 0;
    for (uint32_t e = table; e && e + 8 <= table + size && m.fault.empty(); e += 8) {
        g_device.system.acceleratorCommands.insert(Read32(m, e + 4) & 0xFFFF);
        if (Read32(m, e) & kAccelLast) break;
    }
    return table;
}

// ---- windows and messages ----

uint32_t RegisterClassW(Machine& m) {
    uint32_t wc = Arg(m, 0);
    g_device.system.classes[ReadWide(m, Read32(m, wc + 36))] = Read32(m, wc + 4);
    g_device.system.classStyle = Read32(m, wc);
    g_device.system.classIcon = Read32(m, wc + 20);
    g_device.system.classBrush = Read32(m, wc + 28);
    return 0xC001;
}

uint32_t CreateWindowExW(Machine& m) {
    std::u16string className = ReadWide(m, Arg(m, 1));
    auto found = g_device.system.classes.find(className);
    if (found == g_device.system.classes.end()) return 0;
    Window w;
    w.handle = kFirstWindow + 0x10 * uint32_t(g_device.system.windows.size());
    w.procedure = found->second;
    w.name = g_device.system.windows.empty()
                 ? "main"
                 : "window" + std::to_string(g_device.system.windows.size());
    w.className = className;
    w.title = Arg(m, 2) ? ReadWide(m, Arg(m, 2)) : u"";
    w.style = Arg(m, 3);
    // CW_USEDEFAULT: the system's place, or the system's size.
    const int32_t* work = g_device.kind.screen.workArea;
    memcpy(w.rect, work, sizeof w.rect);
    if (Arg(m, 4) != kUseDefault) {
        w.rect[0] = int32_t(Arg(m, 4));
        w.rect[1] = int32_t(Arg(m, 5));
    }
    bool size = Arg(m, 6) != kUseDefault;
    w.rect[2] = w.rect[0] + (size ? int32_t(Arg(m, 6)) : work[2] - work[0]);
    w.rect[3] = w.rect[1] + (size ? int32_t(Arg(m, 7)) : work[3] - work[1]);
    g_device.system.windows.push_back(w);
    // WM_CREATE's CREATESTRUCTW: the creation arguments in reverse order.
    uint32_t create = HeapAlloc(m, 48);
    for (int i = 0; i < 12; ++i) Write32(m, create + 4 * uint32_t(i), Arg(m, 11 - i));
    uint32_t r = Send(m, w.handle, WM_CREATE, 0, create);
    HeapFree(m, create);
    if (r == 0xFFFFFFFFu) {
        g_device.system.windows.back().alive = false;
        return 0;
    }
    return w.handle;
}

uint32_t Destroy(Machine& m, uint32_t handle) {
    if (handle != kMenuBarWindow && !FindWindow(handle)) return 0;
    Record(DestroyEvent(NameOf(handle)));
    Send(m, handle, WM_DESTROY, 0, 0);
    if (Window* w = FindWindow(handle)) w->alive = false;
    return 1;
}

uint32_t DestroyWindow(Machine& m) { return Destroy(m, Arg(m, 0)); }

uint32_t ShowWindow(Machine&) { return 0; }

uint32_t UpdateWindow(Machine& m) {
    Window* w = FindWindow(Arg(m, 0));
    if (w && w->invalid) Send(m, w->handle, WM_PAINT, 0, 0);
    return w != nullptr;
}

uint32_t GetWindowRect(Machine& m) {
    if (Arg(m, 0) == kMenuBarWindow && g_device.system.menuBar) {
        WriteRect(m, Arg(m, 1), g_device.system.menuBarRect);
        return 1;
    }
    Window* w = FindWindow(Arg(m, 0));
    if (w) WriteRect(m, Arg(m, 1), w->rect);
    return w != nullptr;
}

uint32_t GetClientRect(Machine& m) {
    Window* w = FindWindow(Arg(m, 0));
    if (!w) return 0;
    int32_t r[4] = {0, 0, w->rect[2] - w->rect[0], w->rect[3] - w->rect[1]};
    WriteRect(m, Arg(m, 1), r);
    return 1;
}

uint32_t MoveWindow(Machine& m) {
    Window* w = FindWindow(Arg(m, 0));
    if (!w) return 0;
    int32_t x = int32_t(Arg(m, 1)), y = int32_t(Arg(m, 2));
    int32_t r[4] = {x, y, x + int32_t(Arg(m, 3)), y + int32_t(Arg(m, 4))};
    memcpy(w->rect, r, sizeof r);
    if (Arg(m, 5)) w->invalid = w->erase = true;
    return 1;
}

// The third argument asks for the background to be erased first: without
// it the next paint draws over what the window shows.
uint32_t InvalidateRect(Machine& m) {
    Window* w = FindWindow(Arg(m, 0));
    if (w) {
        w->invalid = true;
        if (Arg(m, 2)) w->erase = true;
    }
    return w != nullptr;
}

uint32_t FindWindowW(Machine& m) {
    std::u16string className = Arg(m, 0) ? ReadWide(m, Arg(m, 0)) : u"";
    std::u16string title = Arg(m, 1) ? ReadWide(m, Arg(m, 1)) : u"";
    return g_device.kind.copyRunning && className == u"PORTMEDIC" && title == u"PORTMEDIC"
               ? kRunningCopyWindow
               : 0;
}

uint32_t SetForegroundWindow(Machine& m) {
    uint32_t h = Arg(m, 0);
    Record(ForegroundEvent(NameOf(h & ~1u), h & 1));
    return 1;
}

uint32_t SendMessageW(Machine& m) { return Send(m, Arg(m, 0), Arg(m, 1), Arg(m, 2), Arg(m, 3)); }

uint32_t DefWindowProcW(Machine& m) {
    if (Arg(m, 1) == WM_CLOSE) Destroy(m, Arg(m, 0));
    if (Arg(m, 1) == WM_PAINT)
        if (Window* w = FindWindow(Arg(m, 0))) w->invalid = false;
    return 0;
}

uint32_t PostQuitMessage(Machine& m) {
    g_device.system.posted.push_back({0, WM_QUIT, Arg(m, 0), 0});
    return 0;
}

// A command the user can give: one of the menu bar's, or one the
// accelerators send (a key, which the device may have even without a bar).
bool Offered(uint32_t command) {
    return g_device.system.menuCommands.count(command) ||
           g_device.system.acceleratorCommands.count(command);
}

// Posted messages first, then a paint that waits, then the scenario's next
// step: the user acts on what the screen shows.
uint32_t GetMessageW(Machine& m) {
    if (++g_device.system.messagesFetched > int(kMaxMessages)) {
        Stop(m, "the message loop does not end");
        return 0;
    }
    Message msg{0, 0, 0, 0};
    Window* invalid = nullptr;
    for (Window& w : g_device.system.windows)
        if (w.alive && w.invalid && !invalid) invalid = &w;
    if (!g_device.system.posted.empty()) {
        msg = g_device.system.posted.front();
        g_device.system.posted.pop_front();
    } else if (invalid) {
        msg = {invalid->handle, WM_PAINT, 0, 0};
    } else {
        const Input* in = NextInput(m, "the message loop");
        if (!in) return 0;
        uint32_t main = g_device.system.windows.empty() ? 0 : g_device.system.windows[0].handle;
        if (in->kind == Input::kDialogCommand) {
            Stop(m, "the scenario commands a dialog, but none is open");
            return 0;
        }
        if (in->kind == Input::kSoftReset) {
            Stop(m, "the scenario soft-resets the device while the program runs");
            return 0;
        }
        if (in->kind == Input::kCommand && !Offered(in->value)) {
            Stop(m, "the scenario sends command " + std::to_string(in->value) +
                        ", which neither the menu bar nor the accelerators offer");
            return 0;
        }
        g_device.system.ctrlDown = in->ctrl;
        uint32_t message = in->kind == Input::kKey             ? WM_KEYDOWN
                           : in->kind == Input::kSettingChange ? WM_SETTINGCHANGE
                                                               : WM_COMMAND;
        msg = {main, message, in->value, 0};
    }
    uint32_t at = Arg(m, 0);
    uint32_t words[7] = {msg.hwnd, msg.message, msg.wParam, msg.lParam, 0, 0, 0};
    for (int i = 0; i < 7; ++i) Write32(m, at + 4 * uint32_t(i), words[i]);
    return msg.message != WM_QUIT;
}

uint32_t TranslateMessage(Machine&) { return 1; }

uint32_t DispatchMessageW(Machine& m) {
    uint32_t at = Arg(m, 0);
    return Send(m, Read32(m, at), Read32(m, at + 4), Read32(m, at + 8), Read32(m, at + 12));
}

uint32_t TranslateAcceleratorW(Machine& m) {
    uint32_t hwnd = Arg(m, 0), table = Arg(m, 1), at = Arg(m, 2);
    if (!table || Read32(m, at + 4) != WM_KEYDOWN) return 0;
    uint32_t key = Read32(m, at + 8);
    for (uint32_t e = table;; e += 8) {
        uint32_t flags = Read32(m, e) & 0xFFFF, entryKey = Read32(m, e) >> 16;
        uint32_t command = Read32(m, e + 4) & 0xFFFF;
        if ((flags & kAccelVirtKey) && entryKey == key && !(flags & (kAccelShift | kAccelAlt)) &&
            ((flags & kAccelControl) != 0) == g_device.system.ctrlDown) {
            Send(m, hwnd, WM_COMMAND, 0x10000u | command, 0);
            return 1;
        }
        if ((flags & kAccelLast) || !m.fault.empty()) return 0;
    }
}

// ---- painting ----

uint32_t BeginPaint(Machine& m) {
    Window* w = FindWindow(Arg(m, 0));
    if (!w) return 0;
    w->invalid = false;
    // The class's brush erases the background where that was asked for
    // (fErase then tells the program it need not).
    g_device.system.paintErased = w->erase && g_device.system.classBrush != 0;
    w->erase = false;
    std::vector<uint8_t> paint(64, 0);
    WriteBytes(m, Arg(m, 1), paint.data(), 64);
    Write32(m, Arg(m, 1), kPaintDc);
    Write32(m, Arg(m, 1) + 4, !g_device.system.paintErased);  // fErase
    int32_t r[4] = {0, 0, w->rect[2] - w->rect[0], w->rect[3] - w->rect[1]};
    WriteRect(m, Arg(m, 1) + 8, r);
    return kPaintDc;
}

uint32_t EndPaint(Machine&) {
    g_device.system.paintErased = false;
    return 1;
}

uint32_t DrawTextW(Machine& m) {
    int32_t count = int32_t(Arg(m, 2));
    std::u16string text = ReadWide(m, Arg(m, 1));
    if (count >= 0 && size_t(count) < text.size()) text.resize(size_t(count));
    g_device.drawn.push_back(text);
    if (!g_device.system.paintErased) g_device.unerased.push_back(text);
    for (int i = 0; i < 4; ++i)
        g_device.drawRect[i] = int32_t(Read32(m, Arg(m, 3) + 4 * uint32_t(i)));
    g_device.drawFormat = Arg(m, 4);
    return 16;
}

uint32_t GetStockObject(Machine& m) { return kStockObjects + Arg(m, 0); }

uint32_t GetDC(Machine&) { return kScreenDc; }
uint32_t ReleaseDC(Machine&) { return 1; }
uint32_t GetDeviceCaps(Machine& m) {
    return Arg(m, 0) == kScreenDc && Arg(m, 1) == kLogPixelsY ? uint32_t(g_device.kind.screen.dpi)
                                                              : 0;
}

// ---- boxes and dialogs ----

uint32_t MessageBoxW(Machine& m) {
    PaintWaiting(m);
    g_device.boxTexts.push_back(ReadWide(m, Arg(m, 1)));
    Record(MessageBoxEvent(NameOf(Arg(m, 0)), ReadWide(m, Arg(m, 2)), Arg(m, 3)));
    return 1;  // IDOK
}

// The dialog's caption, after the header and the menu and class fields.
std::u16string TemplateTitle(Machine& m, uint32_t at) {
    at += 18;
    for (int field = 0; field < 2; ++field) {
        uint32_t first = Read32(m, at) & 0xFFFF;
        at += first == 0 ? 2 : first == 0xFFFF ? 4 : 2 * uint32_t(ReadWide(m, at).size() + 1);
    }
    return ReadWide(m, at);
}

uint32_t DialogBoxIndirectParamW(Machine& m) {
    uint32_t templ = Arg(m, 1), owner = Arg(m, 2), procedure = Arg(m, 3), init = Arg(m, 4);
    uint32_t about = FindResourceEntry(m, kRtDialog, 103);
    std::string which = about && ResourceData(m, about, nullptr) == templ
                            ? "resource 103"
                            : "template " + Hex(templ);
    Window d;
    d.handle = kFirstWindow + 0x10 * uint32_t(g_device.system.windows.size());
    d.procedure = procedure;
    d.name = "dialog";
    d.dialog = true;
    d.invalid = false;
    size_t index = g_device.system.windows.size();
    g_device.system.windows.push_back(d);
    PaintWaiting(m);
    CallGuest(m, procedure, {d.handle, WM_INITDIALOG, 0, init});
    while (m.fault.empty() && !g_device.system.windows[index].ended) {
        const Input* in = NextInput(m, "the dialog");
        if (!in) break;
        if (in->kind != Input::kDialogCommand) {
            Stop(m, "the scenario gives the main window input while a dialog is open");
            break;
        }
        CallGuest(m, procedure, {d.handle, WM_COMMAND, in->value, 0});
    }
    g_device.system.windows[index].alive = false;
    uint32_t result = g_device.system.windows[index].result;
    Record(DialogEvent(which, TemplateTitle(m, templ), NameOf(owner), result));
    return result;
}

uint32_t EndDialog(Machine& m) {
    Window* w = FindWindow(Arg(m, 0));
    if (!w || !w->dialog) return 0;
    w->ended = true;
    w->result = Arg(m, 1);
    return 1;
}

// ---- the process ----

uint32_t TerminateProcess(Machine& m) {
    if (Arg(m, 0) != kCurrentProcess) return 0;
    m.exited = true;
    m.exitCode = Arg(m, 1);
    Stop(m, "the process ended itself with TerminateProcess(" + std::to_string(Arg(m, 1)) + ")");
    return 0;
}

uint32_t GetModuleHandleW(Machine& m) {
    std::u16string name = Arg(m, 0) ? ReadWide(m, Arg(m, 0)) : u"";
    for (char16_t& c : name) c = RegFoldChar(c);
    return name == u"COREDLL.DLL" || name == u"COREDLL" ? uint32_t(kCoredllModule) : 0;
}

// Functions found at run time, called through an import address of their own.
uint32_t GetProcAddressW(Machine& m) {
    std::string label = "COREDLL!" + VisibleText(ReadWide(m, Arg(m, 1)));
    if (Arg(m, 0) != kCoredllModule || label == g_device.missingFunction ||
        (g_device.kind.noFlushFunction && label == "COREDLL!RegFlushKey"))
        return 0;
    if (label != "COREDLL!RegFlushKey") {
        Stop(m, "GetProcAddressW asks for " + label + ", which the runner has no stub for");
        return 0;
    }
    for (size_t i = 0; i < m.imports.size(); ++i)
        if (m.imports[i].label == label) return kImportAddresses + 4 * uint32_t(i);
    m.imports.push_back({label, RegFlushKey});
    return kImportAddresses + 4 * uint32_t(m.imports.size() - 1);
}

uint32_t OutputDebugStringW(Machine& m) {
    Record(DebugOutputEvent(ReadWide(m, Arg(m, 0))));
    return 0;
}

// ---- the shell, by number ----

// The bar from the program's resources, as the shell builds it; a broken
// definition fails the call. It runs along the bottom of the work area, as
// high as the shell's 26 pixels at 96 dpi scaled to the screen.
uint32_t SHCreateMenuBar(Machine& m) {
    uint32_t info = Arg(m, 0);
    uint32_t size = Read32(m, info), menu = Read32(m, info + 12);
    std::string parent = NameOf(Read32(m, info + 4));
    bool ours = OurModule(m, Read32(m, info + 16));
    if (g_device.kind.noMenuBar || !ours) {
        Record(MenuBarEvent(size, parent, menu, ours));
        return 0;
    }
    ResourceLookup resource = [&](uint32_t type, uint32_t id, std::vector<uint8_t>* bytes) {
        uint32_t entry = FindResourceEntry(m, type, id), size = 0;
        if (!entry) return false;
        uint32_t at = ResourceData(m, entry, &size);
        *bytes = ReadBytes(m, at, size);
        return m.fault.empty();
    };
    StringLookup text = [&](uint32_t id) {
        uint32_t length, at = FindString(m, id, &length);
        return WideFromBytes(ReadBytes(m, at, 2 * length));
    };
    MenuBar bar;
    std::string broken = ReadMenuBar(menu, resource, text, &bar);
    Record(MenuBarEvent(size, parent, menu, ours, bar.buttons, broken));
    if (!broken.empty()) return 0;
    g_device.system.menuCommands = bar.commands;
    g_device.system.menuBar = true;
    const int32_t* work = g_device.kind.screen.workArea;
    int32_t height = 26 * g_device.kind.screen.dpi / 96;
    int32_t r[4] = {work[0], work[3] - height, work[2], work[3]};
    memcpy(g_device.system.menuBarRect, r, sizeof r);
    Write32(m, info + 28, kMenuBarWindow);
    return 1;
}

uint32_t SHInitDialog(Machine& m) {
    uint32_t info = Arg(m, 0);
    Record(InitDialogEvent(Read32(m, info), NameOf(Read32(m, info + 4)), Read32(m, info + 8)));
    return 1;
}

uint32_t SHHandleWMSettingChange(Machine& m) {
    Record(ShellHandlerEvent("SHHandleWMSettingChange", NameOf(Arg(m, 0)), Arg(m, 1),
                             Read32(m, Arg(m, 3))));
    return 1;
}

uint32_t SHHandleWMActivate(Machine& m) {
    Record(ShellHandlerEvent("SHHandleWMActivate", NameOf(Arg(m, 0)), Arg(m, 1),
                             Read32(m, Arg(m, 3))));
    return 1;
}

}  // namespace

std::vector<Stub> RuntimeStubs();  // the C library functions, CRuntime.cpp

Device& TheDevice() { return g_device; }

void DeviceReset() { g_device = Device(); }

// What the system keeps for a running program goes; the scenario, the
// registry and the record stay.
void DeviceRestart() {
    g_device.kind.copyRunning = false;  // that copy did not outlive the reset
    g_device.system = SystemState();
}

void DeviceSoftReset() {
    RegTree& tree = *PortableRegistryTree();
    for (size_t i = g_device.pending.size(); i-- > 0;) {
        const PendingWrite& p = g_device.pending[i];
        if (p.existed)
            RegTreeSetValue(tree, p.key, p.name, p.type, p.bytes);
        else
            RegTreeDeleteValue(tree, p.key, p.name);
    }
    g_device.pending.clear();
}

std::vector<Stub> DeviceStubs() {
#define BY_NAME(f) {"COREDLL", #f, 0, f}
    std::vector<Stub> stubs = {
        BY_NAME(RegOpenKeyExW),
        BY_NAME(RegEnumKeyExW),
        BY_NAME(RegQueryValueExW),
        BY_NAME(RegSetValueExW),
        BY_NAME(RegCloseKey),
        BY_NAME(FindResourceW),
        BY_NAME(LoadResource),
        BY_NAME(LoadStringW),
        BY_NAME(LoadIconW),
        BY_NAME(LoadAcceleratorsW),
        BY_NAME(RegisterClassW),
        BY_NAME(CreateWindowExW),
        BY_NAME(DestroyWindow),
        BY_NAME(ShowWindow),
        BY_NAME(UpdateWindow),
        BY_NAME(GetWindowRect),
        BY_NAME(GetClientRect),
        BY_NAME(MoveWindow),
        BY_NAME(InvalidateRect),
        BY_NAME(FindWindowW),
        BY_NAME(SetForegroundWindow),
        BY_NAME(SendMessageW),
        BY_NAME(DefWindowProcW),
        BY_NAME(PostQuitMessage),
        BY_NAME(GetMessageW),
        BY_NAME(TranslateMessage),
        BY_NAME(DispatchMessageW),
        BY_NAME(TranslateAcceleratorW),
        BY_NAME(BeginPaint),
        BY_NAME(EndPaint),
        BY_NAME(DrawTextW),
        BY_NAME(GetStockObject),
        BY_NAME(GetDC),
        BY_NAME(ReleaseDC),
        BY_NAME(GetDeviceCaps),
        BY_NAME(MessageBoxW),
        BY_NAME(DialogBoxIndirectParamW),
        BY_NAME(EndDialog),
        BY_NAME(TerminateProcess),
        BY_NAME(OutputDebugStringW),
        BY_NAME(GetModuleHandleW),
        BY_NAME(GetProcAddressW),
        {"AYGSHELL", nullptr, 34, SHCreateMenuBar},
        {"AYGSHELL", nullptr, 56, SHInitDialog},
        {"AYGSHELL", nullptr, 83, SHHandleWMSettingChange},
        {"AYGSHELL", nullptr, 84, SHHandleWMActivate},
    };
#undef BY_NAME
    for (const Stub& s : RuntimeStubs()) stubs.push_back(s);
    return stubs;
}
