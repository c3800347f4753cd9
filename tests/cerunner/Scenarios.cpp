// The scenarios: a device, what its user does, and what must come of it.
// The reports and messages drawn are the desktop scan's (Run.cpp); a few
// lines are pinned here as well, built from the program's texts, so that a
// mistake both builds share (the wrong message, a line without its marker)
// still shows.
#include "app/resource.h"
#include "platform/Registry.h"
#include "repair/GlobalTexts.h"
#include "tests/cerunner/Runner.h"

namespace {

enum : uint32_t { kIdOk = 1, kIdCancel = 2 };

Input Command(uint32_t id) { return {Input::kCommand, id, false}; }
Input Key(char vk, bool ctrl) { return {Input::kKey, uint32_t(vk), ctrl}; }
Input DialogCommand(uint32_t id) { return {Input::kDialogCommand, id, false}; }
// SPI_SETSIPINFO: the input panel came up or went down.
Input SipChange() { return {Input::kSettingChange, 0xE0, false}; }
// Once the program has ended: the device's soft reset, then the program
// started again.
Input SoftResetAndStart() { return {Input::kSoftReset, 0, false}; }
const Input kCtrlQ = Key('Q', true);

// The key of serial port `n` as the record names it.
std::u16string BuiltIn(char16_t n) {
    return u"HKLM\\Drivers\\BuiltIn\\Serial" + std::u16string(1, n);
}
std::string Repaired(char16_t n, long result) {
    return SetValueEvent(BuiltIn(n), u"Dll", kRegTypeString, u"BTCEIF.DLL", 22, result);
}
std::string Flushed(char16_t n, uint32_t result) { return FlushEvent(BuiltIn(n), result); }

// A report line: the port, its value and the marker the scan puts after it.
std::u16string Marked(const char16_t* line, const TextString& marker) {
    return line + Shown(marker) + u"\r\n";
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
    const std::string menuBarRefused = MenuBarEvent(36, "main", 102, true);
    const std::string menuBar = MenuBarEvent(36, "main", 102, true, {{40001, u"Herramientas", 0}});
    const std::string box = MessageBoxEvent("main", u"PORTMEDIC", 0);
    const std::string deactivate = ShellHandlerEvent("SHHandleWMActivate", "main", 0, 12);
    const std::string initAbout = InitDialogEvent(1, "dialog", 0x0D);
    const std::string aboutClosed = DialogEvent("resource 103", u"About PORTMEDIC", "main", 1);
    // One start with a menu bar, to the window closed by the user: the bar
    // made, then `middle`, then the window and the bar gone.
    auto started = [&](std::vector<std::string> middle) {
        middle.insert(middle.begin(), menuBar);
        middle.insert(middle.end(), {deactivate, DestroyEvent("main"), DestroyEvent("menubar")});
        return middle;
    };
    const std::vector<std::string> repairFlushed = {Repaired(u'5', 0), Flushed(u'5', 0),
                                                    Repaired(u'6', 0), Flushed(u'6', 0), box};
    const std::vector<Input> repairResetDetect = {Command(IDM_REPAIR), Command(IDM_EXIT),
                                                  SoftResetAndStart(), Command(IDM_DETECT), kCtrlQ};
    const std::u16string allGood = Shown(kAllGoodText), com5Good = u"COM5:  => Dll: BTCEIF.DLL\r\n";

    static const std::vector<Scenario> table = {
        Scenario("start shows the intro; a setting change goes to the shell; Ctrl+Q deactivates, "
                 "closes, ends",
                 "clean-device.reg")
            .Does({SipChange(), kCtrlQ})
            .Records(started({ShellHandlerEvent("SHHandleWMSettingChange", "main", 224, 12)}))
            .Shows({Shown(kIntroText)}),
        Scenario("detect on a damaged device writes nothing", "damaged-device.reg")
            .Does({Command(IDM_DETECT), kCtrlQ})
            .Records(started({}))
            .Shows({Marked(u"COM5:  => Dll: OBBTDEV.DLL", kFaultMarker),
                    Marked(u"COM6:  => Dll: ---BTCEIF.DLL", kFaultMarker),
                    u"COM1:  => Dll: SERIAL.DLL\r\n"})
            .ReadsBack(kSerial5, u"OBBTDEV.DLL"),
        Scenario("repair on a damaged device; Salir ends", "damaged-device.reg")
            .Does({Command(IDM_REPAIR), Command(IDM_EXIT)})
            .Records(started(repairFlushed))
            .Shows({Marked(u"COM5:  => Dll: OBBTDEV.DLL", kFixedMarker),
                    u"COM5 - 'BuiltIn'  => Dll: BTCEIF.DLL\r\n", Shown(kFixedMessage)})
            .ReadsBack(kSerial5, u"BTCEIF.DLL")
            .ReadsBack(kSerial6, u"BTCEIF.DLL")
            .ReadsBack(u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial", u"Serial.dll"),
        Scenario("detect and repair on a clean device", "clean-device.reg")
            .Does({Command(IDM_DETECT), Command(IDM_REPAIR), kCtrlQ})
            .Records(started({box}))
            .Shows({com5Good, allGood, Shown(kNotFoundMessage)})
            .ReadsBack(kSerial5, u"btceif.dll"),
        // Refused for the loaded driver COM5:, then again for the built-in key.
        Scenario("detect and repair on a write-protected device: no box", "refused-device.reg")
            .With(&DeviceKind::writeProtected)
            .Does({Command(IDM_DETECT), Command(IDM_REPAIR), kCtrlQ})
            .Records(started({Repaired(u'5', 5), Repaired(u'5', 5)}))
            .Shows({Marked(u"COM5:  => Dll: OBBTDEV.DLL", kFaultMarker)})
            .ReadsBack(kSerial5, u"OBBTDEV.DLL"),
        Scenario("About from Ctrl+A and from the menu: resource 103; cancel is ignored, OK closes",
                 "clean-device.reg")
            .Does({Key('A', false), Key('A', true), DialogCommand(kIdCancel), DialogCommand(kIdOk),
                   Command(IDM_HELP_ABOUT), DialogCommand(kIdOk), kCtrlQ})
            .Records(started({initAbout, aboutClosed, initAbout, aboutClosed})),
        Scenario("a second start brings the running copy forward and ends", "clean-device.reg")
            .With(&DeviceKind::copyRunning)
            .Records({ForegroundEvent("copy", true)}),
        Scenario("without a menu bar the window keeps the whole work area", "clean-device.reg")
            .With(&DeviceKind::noMenuBar)
            .Does({kCtrlQ})
            .Records({menuBarRefused, deactivate, DestroyEvent("main")}),
        Scenario("on a 192-dpi 480 x 640 screen the window leaves the menu bar its 52 pixels",
                 "clean-device.reg")
            .On(kVgaScreen)
            .Does({kCtrlQ})
            .Records(started({})),
        Scenario("on a 128-dpi 320 x 320 screen the window leaves the menu bar its 34 pixels",
                 "clean-device.reg")
            .On(kSquareScreen)
            .Does({kCtrlQ})
            .Records(started({})),
        // The soft reset the repair's message asks for, then detect again:
        // each kind of registry must still hold the repair.
        Scenario("hive-based registry: repair, soft reset, start again: detect shows the repair",
                 "damaged-device.reg")
            .Does(repairResetDetect)
            .Records(started(repairFlushed))
            .Records(started({}))
            .Shows({com5Good, allGood})
            .ReadsBack(kSerial5, u"BTCEIF.DLL")
            .ReadsBack(kSerial6, u"BTCEIF.DLL"),
        Scenario("registry in RAM, which refuses the flush: repair, soft reset, start again: "
                 "detect shows the repair",
                 "damaged-device.reg")
            .With(&DeviceKind::ramRegistry)
            .Does(repairResetDetect)
            .Records(started(
                {Repaired(u'5', 0), Flushed(u'5', 50), Repaired(u'6', 0), Flushed(u'6', 50), box}))
            .Records(started({}))
            .Shows({com5Good, allGood})
            .ReadsBack(kSerial5, u"BTCEIF.DLL")
            .ReadsBack(kSerial6, u"BTCEIF.DLL"),
        Scenario("a COREDLL without RegFlushKey: the program starts, repairs, and the repair stays",
                 "damaged-device.reg")
            .With(&DeviceKind::noFlushFunction)
            .Does(repairResetDetect)
            .Records(started({Repaired(u'5', 0), Repaired(u'6', 0), box}))
            .Records(started({}))
            .Shows({allGood})
            .ReadsBack(kSerial5, u"BTCEIF.DLL"),
    };
    return table;
}
