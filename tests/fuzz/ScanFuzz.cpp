// The scan over a random device registry: random keys, names, value types
// and sizes (around the 300-byte read limit too), random registry faults,
// repair on and off. Whatever the registry holds, the scan must close every
// key it opened, change nothing but damaged "Dll" values (and only into
// "BTCEIF.DLL"), and give a report and message that agree with each other.
#include <stdlib.h>

#include <string>
#include <vector>

#include "repair/GlobalTexts.h"
#include "repair/SerialScan.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/support/InjectedFaults.h"
#include "tests/support/RegSnapshot.h"
#include "unicode/TextCoding.h"

namespace {

const std::u16string kHklm = u"HKEY_LOCAL_MACHINE\\";

RegTree g_tree;  // the registry of one run, through Registry.h

std::u16string Widen(const std::string& s) {
    std::u16string w;
    for (unsigned char c : s) w.push_back(c);
    return w;
}

// A value as a driver registry might hold it, or something stranger.
std::vector<uint8_t> RandomText(FuzzInput& in, const std::u16string& likely, uint32_t* type) {
    static const uint32_t kTypes[] = {1, 1, 1, 2, 3, 4, 7, 0};
    *type = kTypes[in.Below(8)];
    switch (in.Below(6)) {
    case 0:  // the likely text, terminated
        return Utf16LeBytes(likely, true);
    case 1:  // the likely text without its terminator
        return Utf16LeBytes(likely, false);
    case 2: {  // a long text near the read limit: 296 to 304 bytes
        size_t bytes = 296 + in.Below(9);
        std::vector<uint8_t> v = Utf16LeBytes(likely, false);
        while (v.size() < bytes) v.push_back(in.Flag() ? 'X' : 0);
        v.resize(bytes);
        return v;
    }
    case 3: {  // raw bytes, any length up to 40
        std::string raw = in.Bytes(40);
        return std::vector<uint8_t>(raw.begin(), raw.end());
    }
    case 4:  // a DWORD
        return {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
    default:  // random Latin-1 text
        return Utf16LeBytes(Widen(in.Bytes(12)), in.Flag());
    }
}

const char16_t* const kDlls[] = {u"BTCEIF.DLL",
                                 u"---BTCEIF.DLL",
                                 u"---btceif.dll",
                                 u"OBBTDEV.DLL",
                                 u"obBTdev.dll",
                                 u"serial.dll",
                                 u"",
                                 u"OBBTDEV.DLL "};

std::u16string DriverKey(uint32_t k) {
    if (k < 5) return u"Drivers\\D" + std::u16string(1, char16_t(u'0' + k));
    static const char16_t* const kBuiltIn[] = {u"Serial", u"Serial0", u"Serial1", u"Serial2",
                                               u"Serial9"};
    return u"Drivers\\BuiltIn\\" + std::u16string(kBuiltIn[(k - 5) % 5]);
}

void SetRandomValue(FuzzInput& in, const std::u16string& key, const std::u16string& name,
                    const std::u16string& likely) {
    uint32_t type;
    std::vector<uint8_t> bytes = RandomText(in, likely, &type);
    RegTreeSetValue(g_tree, key, name, type, bytes);
}

void BuildRegistry(FuzzInput& in) {
    RegTreeClear(g_tree);
    PortableRegistryUse(&g_tree);
    uint32_t type;
    for (uint32_t k = 0; k < 10; ++k) {
        if (!in.Flag()) continue;
        std::u16string key = kHklm + DriverKey(k);
        std::vector<uint8_t> dll = RandomText(in, kDlls[in.Below(8)], &type);
        RegTreeSetValue(g_tree, key, in.Flag() ? u"Dll" : u"DLL", type, dll);
        if (in.Below(8) == 0) FaultWriteKey(key);
        if (in.Below(16) == 0) FaultOpenKey(key);
        if (in.Below(16) == 0) FaultReadValue(key, u"Dll");
    }
    uint32_t entries = in.Below(8);
    for (uint32_t e = 0; e < entries; ++e) {
        std::u16string entry =
            kHklm + u"Drivers\\Active\\" + Widen(in.Bytes(3)) + char16_t(u'a' + e);
        std::u16string port =
            (in.Flag() ? u"COM" : u"com") + std::u16string(1, u'0' + in.Below(10)) + u":";
        if (in.Below(4)) SetRandomValue(in, entry, u"Name", port);
        if (in.Below(3) == 0) SetRandomValue(in, entry, u"PnpId", u"BTH\\1");
        if (in.Below(6)) SetRandomValue(in, entry, u"Key", DriverKey(in.Below(10)));
        if (in.Below(16) == 0) FaultOpenKey(entry);
    }
    RegTreeCreateKey(g_tree, kHklm + u"Drivers\\Active");
    if (in.Below(8) == 0) FaultEnumKeyFrom(kHklm + u"Drivers\\Active", in.Below(entries + 1));
}

// The "Dll" text the scan reads from a value ("type|hex bytes"): at most
// 300 bytes, whole characters, up to the first zero, ASCII letters
// upper-cased.
std::u16string AsScanReadsIt(const std::string& value) {
    std::string hex = value.substr(value.find('|') + 1);
    std::u16string text;
    if (hex.size() > 600) return text;
    for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
        char16_t c =
            char16_t(strtoul((hex.substr(i + 2, 2) + hex.substr(i, 2)).c_str(), nullptr, 16));
        if (!c) break;
        text.push_back(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
    }
    return text;
}

void Check(bool ok) {
    if (!ok) abort();
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size()))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    bool repair = in.Flag();
    BuildRegistry(in);
    RegSnapshot before = TakeRegSnapshot(g_tree);

    TextString report("poison"), message;
    SerialScanResult found = ScanSerialDrivers(report, message, repair);

    Check(PortableRegistryOpenHandles() == 0);
    RegSnapshot after = TakeRegSnapshot(g_tree);
    Check(before.size() == after.size());
    const std::string repaired = "1|4200540043004500490046002e0044004c004c000000";  // BTCEIF.DLL
    int changed = 0;
    for (const auto& [name, value] : after) {
        auto old = before.find(name);
        Check(old != before.end());
        if (old->second == value) continue;
        ++changed;
        Check(repair);
        Check(name.size() > 4 && RegFoldName(Widen(name.substr(name.size() - 4))) == u"|DLL");
        Check(value == repaired);
        std::u16string was = AsScanReadsIt(old->second);
        Check(was == u"---BTCEIF.DLL" || was == u"OBBTDEV.DLL");
    }

    std::string r = report.CStr(), m = message.CStr();
    bool anyFixed = r.find(kFixedMarker.CStr()) != std::string::npos;
    bool anyFault = r.find(kFaultMarker.CStr()) != std::string::npos;
    if (EndsWith(r, kAllGoodText.CStr())) {
        Check(!anyFixed && !anyFault && m == kNotFoundMessage.CStr());
    } else {
        Check(r.empty() || EndsWith(r, "\r\n"));
        Check(m == (anyFixed ? kFixedMessage.CStr() : ""));
        Check(repair || !anyFixed);
    }

    // The counts agree with the report and with what was written (a driver
    // key that two ports share is written once). A value may hold a line
    // end, so texts are counted, not lines: "  => Dll: " (a value read is
    // upper-cased), the fault marker (longer than any value here) and the
    // fixed marker with its line end.
    int fixes = Count(r, kFixedMarker.CStr() + std::string("\r\n"));
    int faults = Count(r, kFaultMarker.CStr() + std::string("\r\n"));
    Check(found.examined == Count(r, "  => Dll: ") && found.damaged == fixes + faults &&
          found.repaired == fixes && found.failedWrites == (repair ? faults : 0));
    Check(changed <= found.repaired && (changed > 0) == (found.repaired > 0));
    return 0;
}
