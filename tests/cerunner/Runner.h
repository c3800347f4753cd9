// The CE runner's parts: the scenarios (Scenarios.cpp), running one of them
// (Run.cpp), and the checks of the runner itself (SelfTest.cpp).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/cerunner/Device.h"
#include "text/TextString.h"

const char16_t kSerial5[] = u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5";
const char16_t kSerial6[] = u"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial6";

struct ReadBack {
    std::u16string key;
    std::u16string dll;  // the "Dll" value after the run
};

// A scenario, written as the chain of what it gives and what it expects:
//   Scenario("what it shows", "damaged-device.reg").With(&DeviceKind::ramRegistry)
//       .Does({...}).Records({...}).Shows({...}).ReadsBack(kSerial5, u"BTCEIF.DLL")
// The text drawn and the message boxes are not written here: they are what
// the desktop build's scan gives for the same device.
struct Scenario {
    std::string name;
    std::string fixture;  // in FIXTURE_DIR
    DeviceKind device;
    std::vector<Input> script;
    std::vector<std::string> events;    // in order
    std::vector<std::u16string> shown;  // each in some drawn text or box
    std::vector<ReadBack> after;
    uint32_t exitCode = 0;

    Scenario(const char* n, const char* f) : name(n), fixture(f) {}
    Scenario& With(bool DeviceKind::*quirk) { return Set(device.*quirk, true); }
    Scenario& On(const Screen& screen) { return Set(device.screen, screen); }
    Scenario& Does(const std::vector<Input>& steps) { return Set(script, steps); }
    Scenario& Shows(const std::vector<std::u16string>& texts) { return Set(shown, texts); }
    Scenario& Records(const std::vector<std::string>& more) { return Add(events, more); }
    Scenario& ReadsBack(const char16_t* key, const char16_t* dll) {
        return Add(after, {{key, dll}});
    }

    template <typename T> Scenario& Set(T& field, const T& value) {
        field = value;
        return *this;
    }
    template <typename T> Scenario& Add(std::vector<T>& list, const std::vector<T>& more) {
        list.insert(list.end(), more.begin(), more.end());
        return *this;
    }
};

const std::vector<Scenario>& Scenarios();

// A text of the program as the desktop build shows it: Windows-1252
// through the code page.
std::u16string Shown(const TextString& text);

// Runs one scenario; returns its failures (none: passed).
std::vector<std::string> RunScenario(const Scenario& s, const std::string& exe,
                                     const std::string& fixtureDir, const LoadOptions& options);

// The runner's own checks; with the program, of its loaded image too.
// Returns the number that failed.
int SelfTest(const std::string& exe);
