// The serial driver scan against a registry tree: whole reports byte
// for byte, the message, and the registry afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regfile/RegDocument.h"
#include "repair/GlobalTexts.h"
#include "repair/SerialScan.h"
#include "tests/support/InjectedFaults.h"
#include "tests/support/RegSnapshot.h"
#include "unicode/TextCoding.h"

namespace {

const std::u16string kHklm = u"HKEY_LOCAL_MACHINE\\";

// The tree the scan reads through Registry.h (each test sets its own).
RegTree& Tree() { return *PortableRegistryTree(); }
const std::u16string kActive = kHklm + u"Drivers\\Active\\";
const std::u16string kBuiltIn = kHklm + u"Drivers\\BuiltIn\\";

std::string Line(const std::string& label, const std::string& dll, const std::string& marker = "") {
    return label + "  => Dll: " + dll + marker + "\r\n";
}

// What a scan found: examined, damaged, repaired, failed writes.
std::vector<int> Found(int examined, int damaged, int repaired, int failedWrites) {
    return {examined, damaged, repaired, failedWrites};
}

// A loaded driver: Drivers\Active\<sub> with Name, Key and maybe PnpId.
void AddLoaded(const std::u16string& sub, const std::u16string& name,
               const std::u16string& driverKey, const std::u16string* pnpId = nullptr) {
    RegTreeSetString(Tree(), kActive + sub, u"Name", name);
    if (pnpId) RegTreeSetString(Tree(), kActive + sub, u"PnpId", *pnpId);
    RegTreeSetString(Tree(), kActive + sub, u"Key", driverKey);
}

void SetDll(const std::u16string& keyBelowHklm, const std::u16string& dll) {
    RegTreeSetString(Tree(), kHklm + keyBelowHklm, u"Dll", dll);
}

// Every key and value under HKLM, by "HKLM\\path|value name".
RegSnapshot TakeSnapshot() {
    TreeKey* hklm = RegTreeFindKey(Tree(), u"HKEY_LOCAL_MACHINE");
    return hklm ? TakeRegSnapshot(*hklm, "HKLM") : RegSnapshot();
}

// The values that differ between two snapshots.
std::vector<std::string> Changed(const RegSnapshot& before, const RegSnapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [name, value] : after) {
        auto it = before.find(name);
        if (it == before.end() || it->second != value) changed.push_back(name);
    }
    for (const auto& [name, value] : before)
        if (!after.count(name)) changed.push_back(name);
    return changed;
}

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

class ScanTest : public testing::Test {
protected:
    void SetUp() override { PortableRegistryUse(&tree_); }
    // An empty registry, without the faults injected before.
    void Fresh() {
        RegTreeClear(tree_);
        PortableRegistryUse(&tree_);
    }
    void TearDown() override {
        EXPECT_EQ(PortableRegistryOpenHandles(), 0) << "a registry key was left open";
        PortableRegistryUse(nullptr);
    }

    // Runs one scan; report and message are poisoned first so the test proves
    // what the scan wrote.
    void Scan(bool repair, const char* messageBefore = "") {
        before_ = TakeSnapshot();
        TextString reportString("poison");
        TextString messageString(messageBefore);
        written.clear();
        SerialScanResult r =
            ScanSerialDrivers(reportString, messageString, repair, NoteWritten, &written);
        found = Found(r.examined, r.damaged, r.repaired, r.failedWrites);
        report = reportString.CStr();
        message = messageString.CStr();
        after_ = TakeSnapshot();
    }

    std::vector<std::string> ChangedValues() const { return Changed(before_, after_); }

    // "label|key path" of each write the scan told of.
    static void NoteWritten(void* context, const TextString& label, const TextString& keyPath) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::string(label.CStr()) + "|" +
                                                                   keyPath.CStr());
    }

    // The device of most tests: a damaged Bluetooth port (OBBTDEV.DLL) loaded
    // as COM5:, a disabled one (---BTCEIF.DLL) as COM6:, and a healthy COM1.
    void DamagedDevice() {
        AddLoaded(u"01", u"COM1:", u"Drivers\\BuiltIn\\Serial");
        AddLoaded(u"02", u"COM5:", u"Drivers\\BuiltIn\\BTSerial5");
        AddLoaded(u"03", u"COM6:", u"Drivers\\BuiltIn\\BTSerial6");
        AddLoaded(u"04", u"SDC1:", u"Drivers\\BuiltIn\\SDCard");  // not a serial port
        SetDll(u"Drivers\\BuiltIn\\Serial", u"serial.dll");
        SetDll(u"Drivers\\BuiltIn\\BTSerial5", u"OBBTDEV.DLL");
        SetDll(u"Drivers\\BuiltIn\\BTSerial6", u"---BTCEIF.DLL");
        SetDll(u"Drivers\\BuiltIn\\SDCard", u"OBBTDEV.DLL");
    }

    std::string report, message;
    std::vector<int> found;
    std::vector<std::string> written;
    RegTree tree_;
    RegSnapshot before_, after_;
};

const std::string kRepairedBytesKey5 = "HKLM\\Drivers\\BuiltIn\\BTSerial5|Dll";
const std::string kRepairedBytesKey6 = "HKLM\\Drivers\\BuiltIn\\BTSerial6|Dll";

}  // namespace

// ---- the outcome table ----

TEST_F(ScanTest, CleanDeviceDetect) {
    AddLoaded(u"01", u"COM1:", u"Drivers\\BuiltIn\\Serial");
    SetDll(u"Drivers\\BuiltIn\\Serial", u"serial.dll");
    Scan(false);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") + Line("COM1 - 'BuiltIn'", "SERIAL.DLL") +
                          kAllGoodText.CStr());
    EXPECT_EQ(message,
              kNotFoundMessage.CStr());  // filled even in detect mode; the window ignores it
    EXPECT_EQ(found, Found(2, 0, 0, 0));
    EXPECT_TRUE(ChangedValues().empty());
}

TEST_F(ScanTest, CleanDeviceRepairWritesNothing) {
    AddLoaded(u"01", u"COM8:", u"Drivers\\BuiltIn\\BT");
    SetDll(u"Drivers\\BuiltIn\\BT", u"btceif.dll");  // healthy, in lower case
    Scan(true);
    EXPECT_EQ(report, Line("COM8:", "BTCEIF.DLL") + kAllGoodText.CStr());
    EXPECT_EQ(message, kNotFoundMessage.CStr());
    EXPECT_TRUE(ChangedValues().empty());
}

TEST_F(ScanTest, DamagedDeviceDetectMarksAndWritesNothing) {
    DamagedDevice();
    Scan(false);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") +
                          Line("COM5:", "OBBTDEV.DLL", kFaultMarker.CStr()) +
                          Line("COM6:", "---BTCEIF.DLL", kFaultMarker.CStr()) +
                          Line("COM1 - 'BuiltIn'", "SERIAL.DLL"));
    EXPECT_EQ(message, "");
    EXPECT_EQ(found, Found(4, 2, 0, 0));
    EXPECT_TRUE(ChangedValues().empty());
    EXPECT_TRUE(written.empty());
}

TEST_F(ScanTest, DetectLeavesAMessageItWasGiven) {
    DamagedDevice();
    Scan(false, "keep me");
    EXPECT_EQ(message, "keep me");
}

TEST_F(ScanTest, DamagedDeviceRepairFixesExactlyTheDamagedValues) {
    DamagedDevice();
    Scan(true);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") +
                          Line("COM5:", "OBBTDEV.DLL", kFixedMarker.CStr()) +
                          Line("COM6:", "---BTCEIF.DLL", kFixedMarker.CStr()) +
                          Line("COM1 - 'BuiltIn'", "SERIAL.DLL"));
    EXPECT_EQ(message, kFixedMessage.CStr());
    EXPECT_EQ(found, Found(4, 2, 2, 0));
    std::vector<std::string> expected = {kRepairedBytesKey5, kRepairedBytesKey6};
    EXPECT_EQ(ChangedValues(), expected);
    std::vector<std::string> told = {"COM5:|Drivers\\BuiltIn\\BTSerial5",
                                     "COM6:|Drivers\\BuiltIn\\BTSerial6"};
    EXPECT_EQ(written, told);
    for (const auto& key : {u"Drivers\\BuiltIn\\BTSerial5", u"Drivers\\BuiltIn\\BTSerial6"}) {
        const TreeValue* v = RegTreeGetValue(Tree(), kHklm + key, u"Dll");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(TreeValueType(*v), kRegTypeString);
        EXPECT_EQ(TreeValueBytes(*v),
                  Utf16LeBytes(u"BTCEIF.DLL", true));  // 22 bytes with the terminator
    }
    // a second run finds nothing left to repair
    Scan(true);
    EXPECT_EQ(message, kNotFoundMessage.CStr());
    EXPECT_EQ(found, Found(4, 0, 0, 0));
}

TEST_F(ScanTest, RepairWhereEveryWriteFails) {
    DamagedDevice();
    FaultWriteKey(kHklm + u"Drivers\\BuiltIn\\BTSerial5");
    FaultWriteKey(kHklm + u"Drivers\\BuiltIn\\BTSerial6");
    Scan(true);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") +
                          Line("COM5:", "OBBTDEV.DLL", kFaultMarker.CStr()) +
                          Line("COM6:", "---BTCEIF.DLL", kFaultMarker.CStr()) +
                          Line("COM1 - 'BuiltIn'", "SERIAL.DLL"));
    EXPECT_EQ(message, "");
    EXPECT_EQ(found, Found(4, 2, 0, 2));
    EXPECT_TRUE(ChangedValues().empty());
}

TEST_F(ScanTest, RepairWhereOneWriteFails) {
    DamagedDevice();
    FaultWriteKey(kHklm + u"Drivers\\BuiltIn\\BTSerial6");
    Scan(true);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") +
                          Line("COM5:", "OBBTDEV.DLL", kFixedMarker.CStr()) +
                          Line("COM6:", "---BTCEIF.DLL", kFaultMarker.CStr()) +
                          Line("COM1 - 'BuiltIn'", "SERIAL.DLL"));
    EXPECT_EQ(message, kFixedMessage.CStr());
    EXPECT_EQ(found, Found(4, 2, 1, 1));
    std::vector<std::string> expected = {kRepairedBytesKey5};
    EXPECT_EQ(ChangedValues(), expected);
    EXPECT_EQ(written, std::vector<std::string>{"COM5:|Drivers\\BuiltIn\\BTSerial5"});
}

// ---- which loaded drivers are examined ----

TEST_F(ScanTest, OnlyUpperCaseComNamesWithoutPnpIdAreExamined) {
    std::u16string pnp = u"BTH\\0001", emptyPnp = u"";
    AddLoaded(u"01", u"com3:", u"Drivers\\A");             // lower-case name: skipped
    AddLoaded(u"02", u"COM4:", u"Drivers\\B", &pnp);       // plug and play: skipped
    AddLoaded(u"03", u"COM7:", u"Drivers\\C", &emptyPnp);  // empty PnpId counts as none
    AddLoaded(u"04", u"Com9:", u"Drivers\\D");             // mixed case: skipped
    AddLoaded(u"05", u"COX1:", u"Drivers\\D");             // the third letter differs
    AddLoaded(u"06", u"CO", u"Drivers\\D");                // too short
    for (auto key : {u"Drivers\\A", u"Drivers\\B", u"Drivers\\C", u"Drivers\\D"})
        SetDll(key, u"OBBTDEV.DLL");
    Scan(false);
    EXPECT_EQ(report, Line("COM7:", "OBBTDEV.DLL", kFaultMarker.CStr()));
}

TEST_F(ScanTest, DamageHiddenBehindPnpIdIsNotFound) {
    std::u16string pnp = u"BTH\\0001";
    AddLoaded(u"01", u"COM4:", u"Drivers\\B", &pnp);
    SetDll(u"Drivers\\B", u"OBBTDEV.DLL");
    Scan(true);
    EXPECT_EQ(report, kAllGoodText.CStr());
    EXPECT_EQ(message, kNotFoundMessage.CStr());
    EXPECT_TRUE(ChangedValues().empty());
}

TEST_F(ScanTest, EntriesWithoutAUsableDriverKeyAreSkipped) {
    AddLoaded(u"01", u"COM2:", u"");                               // empty Key
    RegTreeSetString(Tree(), kActive + u"02", u"Name", u"COM3:");  // no Key at all
    AddLoaded(u"03", u"COM4:", u"Drivers\\Missing");               // Key names no key
    AddLoaded(u"04", u"COM5:", u"Drivers\\NoDll");                 // driver key without Dll
    RegTreeCreateKey(Tree(), kHklm + u"Drivers\\NoDll");
    AddLoaded(u"05", u"COM6:", u"Drivers\\EmptyDll");  // empty Dll
    SetDll(u"Drivers\\EmptyDll", u"");
    RegTreeSetString(Tree(), kActive + u"06", u"Key", u"Drivers\\X");  // no Name
    Scan(false);
    EXPECT_EQ(report, kAllGoodText.CStr());
    EXPECT_EQ(found, Found(0, 0, 0, 0));
}

TEST_F(ScanTest, LetterCaseOfTheDamageDoesNotMatter) {
    AddLoaded(u"01", u"COM5:", u"Drivers\\A");
    AddLoaded(u"02", u"COM6:", u"Drivers\\B");
    SetDll(u"Drivers\\A", u"ObBtDev.dll");
    SetDll(u"Drivers\\B", u"---btceif.DLL");
    Scan(false);
    EXPECT_EQ(report, Line("COM5:", "OBBTDEV.DLL", kFaultMarker.CStr()) +
                          Line("COM6:", "---BTCEIF.DLL", kFaultMarker.CStr()));
}

TEST_F(ScanTest, LoadedDriversComeInCaseInsensitiveNameOrder) {
    AddLoaded(u"b", u"COM2:", u"Drivers\\X");
    AddLoaded(u"A", u"COM1:", u"Drivers\\X");
    AddLoaded(u"C", u"COM3:", u"Drivers\\X");
    SetDll(u"Drivers\\X", u"x.dll");
    Scan(false);
    EXPECT_EQ(report, Line("COM1:", "X.DLL") + Line("COM2:", "X.DLL") + Line("COM3:", "X.DLL") +
                          kAllGoodText.CStr());
}

// ---- the built-in pass ----

TEST_F(ScanTest, BuiltInPassProbesTenKeysAndNeverSerial1) {
    for (auto name : {u"Serial0", u"Serial", u"Serial1", u"Serial2", u"Serial9"})
        SetDll(std::u16string(u"Drivers\\BuiltIn\\") + name, std::u16string(name) + u".dll");
    Scan(false);
    EXPECT_EQ(report, Line("COM0 - 'BuiltIn'", "SERIAL0.DLL") +
                          Line("COM1 - 'BuiltIn'", "SERIAL.DLL") +
                          Line("COM2 - 'BuiltIn'", "SERIAL2.DLL") +
                          Line("COM9 - 'BuiltIn'", "SERIAL9.DLL") + kAllGoodText.CStr());
    LogKeyOpens();
    Scan(false);
    std::vector<std::string> probed;
    for (const auto& path : KeyOpenLog()) probed.push_back(Narrow(path));
    std::vector<std::string> expected = {"HKEY_LOCAL_MACHINE\\Drivers\\Active"};
    for (const char* n : {"0", "", "2", "3", "4", "5", "6", "7", "8", "9"})
        expected.push_back(std::string("HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial") + n);
    EXPECT_EQ(probed, expected);
}

TEST_F(ScanTest, NoActiveKeyStillRunsTheBuiltInPass) {
    SetDll(u"Drivers\\BuiltIn\\Serial3", u"OBBTDEV.DLL");
    Scan(false);
    EXPECT_EQ(report, Line("COM3 - 'BuiltIn'", "OBBTDEV.DLL", kFaultMarker.CStr()));
}

TEST_F(ScanTest, SharedDriverKeyShowsRepairedOnItsSecondAppearance) {
    AddLoaded(u"01", u"COM5:", u"Drivers\\BuiltIn\\Serial");
    SetDll(u"Drivers\\BuiltIn\\Serial", u"OBBTDEV.DLL");
    Scan(true);
    EXPECT_EQ(report, Line("COM5:", "OBBTDEV.DLL", kFixedMarker.CStr()) +
                          Line("COM1 - 'BuiltIn'", "BTCEIF.DLL"));
    EXPECT_EQ(message, kFixedMessage.CStr());
    EXPECT_EQ(found, Found(2, 1, 1, 0));
    EXPECT_EQ(written, std::vector<std::string>{"COM5:|Drivers\\BuiltIn\\Serial"});
}

// ---- registry failures drop entries silently ----

TEST_F(ScanTest, FailuresDropOnlyTheirEntry) {
    DamagedDevice();
    FaultOpenKey(kActive + u"02");  // COM5:'s entry cannot be opened
    FaultReadValue(kHklm + u"Drivers\\BuiltIn\\BTSerial6", u"Dll");  // COM6:'s Dll unreadable
    Scan(true);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") + Line("COM1 - 'BuiltIn'", "SERIAL.DLL") +
                          kAllGoodText.CStr());
    EXPECT_EQ(message, kNotFoundMessage.CStr());
    EXPECT_TRUE(ChangedValues().empty());
}

TEST_F(ScanTest, FailedEnumerationEndsThePassButNotTheScan) {
    DamagedDevice();
    SetDll(u"Drivers\\BuiltIn\\Serial2", u"OBBTDEV.DLL");
    FaultEnumKeyFrom(kHklm + u"Drivers\\Active", 1);  // only "01" is delivered
    Scan(false);
    EXPECT_EQ(report, Line("COM1:", "SERIAL.DLL") + Line("COM1 - 'BuiltIn'", "SERIAL.DLL") +
                          Line("COM2 - 'BuiltIn'", "OBBTDEV.DLL", kFaultMarker.CStr()));
}

// A sub-key name longer than the 200-character buffer (234 from the
// enumeration) is passed over; the damaged port listed after it still counts.
TEST_F(ScanTest, OverLongSubKeyNameIsPassedOver) {
    DamagedDevice();
    Scan(false);
    std::string expected = report;
    AddLoaded(u"02" + std::u16string(220, u'x'), u"COM7:", u"Drivers\\BuiltIn\\Serial");
    Scan(false);
    EXPECT_EQ(report, expected);
    EXPECT_NE(report.find(Line("COM6:", "---BTCEIF.DLL", kFaultMarker.CStr())), std::string::npos);
}

// An export cut short in its last line still shows the damage before the
// break: only the half-written line is lost.
TEST_F(ScanTest, CutOffExportReportsTheDamageBeforeTheBreak) {
    RegDocument doc;
    std::string error;
    ASSERT_TRUE(RegDocumentRead(
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n"
        "\"Dll\"=\"OBBTDEV.DLL\"\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial8]\r\n"
        "\"Dll\"=\"OBBT",
        "cut.reg", false, &doc, &error))
        << error;
    ASSERT_EQ(doc.skipped.size(), 1u);
    EXPECT_EQ(doc.skipped[0].line, 5u);
    RegDocumentLoad(doc, Tree());
    Scan(false);
    EXPECT_EQ(report, Line("COM5 - 'BuiltIn'", "OBBTDEV.DLL", kFaultMarker.CStr()));
}

TEST_F(ScanTest, UnopenableActiveKeySkipsToTheBuiltInPass) {
    DamagedDevice();
    FaultOpenKey(kHklm + u"Drivers\\Active");
    Scan(false);
    EXPECT_EQ(report, Line("COM1 - 'BuiltIn'", "SERIAL.DLL") + kAllGoodText.CStr());
}

// ---- values of awkward sizes and types ----

TEST_F(ScanTest, ValueSizesAroundTheReadAndLineBuffers) {
    struct Case {
        size_t chars;  // characters stored, without terminator
        bool terminator;
        bool listed;
    } cases[] = {
        {102, true, true},    // the line's room filled by its label and this
        {128, true, true},    // as long as the line's room: added on its own
        {148, true, true},    // 298 bytes: fits
        {149, true, true},    // 300 bytes with terminator: fits exactly
        {150, false, true},   // 300 bytes without terminator: fits, terminated by the scan
        {150, true, false},   // 302 bytes: too large, unreadable
        {151, false, false},  // 302 bytes: too large
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chars << " chars, terminator " << c.terminator);
        Fresh();
        std::u16string dll(c.chars, u'x');
        RegTreeSetValue(Tree(), kHklm + u"Drivers\\BuiltIn\\Serial4", u"Dll", kRegTypeString,
                        Utf16LeBytes(dll, c.terminator));
        Scan(false);
        std::string expected = c.listed ? Line("COM4 - 'BuiltIn'", std::string(c.chars, 'X')) : "";
        EXPECT_EQ(report, expected + kAllGoodText.CStr());
    }
}

TEST_F(ScanTest, TextsStoredWithoutTerminatorEndAtTheirByteCount) {
    RegTreeSetValue(Tree(), kActive + u"01", u"Name", kRegTypeString,
                    Utf16LeBytes(u"COM5:", false));
    RegTreeSetValue(Tree(), kActive + u"01", u"Key", kRegTypeString,
                    Utf16LeBytes(u"Drivers\\A", false));
    RegTreeSetValue(Tree(), kHklm + u"Drivers\\A", u"Dll", kRegTypeString,
                    Utf16LeBytes(u"OBBTDEV.DLL", false));
    Scan(false);
    EXPECT_EQ(report, Line("COM5:", "OBBTDEV.DLL", kFaultMarker.CStr()));
}

TEST_F(ScanTest, ValuesThatAreNotTextAreReadAsTheirBytes) {
    // A DWORD "Name" reads as two odd characters: not a COM name, no line.
    RegTreeSetDword(Tree(), kActive + u"01", u"Name", 0x4F43);
    RegTreeSetString(Tree(), kActive + u"01", u"Key", u"Drivers\\A");
    // An odd byte count keeps only whole characters.
    RegTreeSetValue(Tree(), kHklm + u"Drivers\\BuiltIn\\Serial5", u"Dll", kRegTypeBinary,
                    {'a', 0, 'b', 0, 'c'});
    // An empty binary value counts as empty.
    RegTreeSetValue(Tree(), kHklm + u"Drivers\\BuiltIn\\Serial6", u"Dll", kRegTypeBinary, {});
    SetDll(u"Drivers\\A", u"OBBTDEV.DLL");
    Scan(false);
    EXPECT_EQ(report, Line("COM5 - 'BuiltIn'", "AB") + kAllGoodText.CStr());
}

// Values read one after another into the same buffer, shorter after longer,
// with characters beyond ASCII at either side of each group of four that
// the scan tests at once: each ends at its own terminator and is folded as
// its 8-bit text reads (only the small ASCII letters, whether they come in
// a group of four or after the last).
TEST_F(ScanTest, ValuesEndAtTheirOwnTerminatorWhateverCameBefore) {
    struct Case {
        const char16_t* dll;
        const char* listed;  // the value as the report shows it; null: no line
    } cases[] = {
        {u"a-much-longer-library-name.dll", "A-MUCH-LONGER-LIBRARY-NAME.DLL"},
        {u"abc", "ABC"},
        {u"abcdefgh", "ABCDEFGH"},
        {u"ab\u4e00d.dll", "AB?D.DLL"},
        {u"abcd\u4e00", "ABCD?"},
        {u"abc\u00e9", "ABC\xE9"},
        {u"`az{@AZ[a", "`AZ{@AZ[A"},  // the letters' edges, four at once and alone
        {u"z{`", "Z{`"},
        {u"", nullptr},
        {u"x", "X"},
    };
    std::string expected;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        // Each "Name", read into the same buffer just before, is longer still,
        // with a character beyond ASCII in the second group of four.
        std::string name = "COM" + std::to_string(i) + ":-\xE9" + std::string(40, '-');
        std::u16string wideName;
        for (unsigned char c : name) wideName += char16_t(c);
        std::u16string port = u"Drivers\\P" + std::u16string(1, char16_t(u'a' + i));
        AddLoaded(std::u16string(1, char16_t(u'a' + i)), wideName, port);
        SetDll(port, cases[i].dll);
        if (cases[i].listed) expected += Line(name, cases[i].listed);
    }
    Scan(false);
    EXPECT_EQ(report, expected + kAllGoodText.CStr());
}

TEST_F(ScanTest, AccentedLibraryNamesComeOutInTheCodePage) {
    SetDll(u"Drivers\\BuiltIn\\Serial7", u"caf\u00e9.dll");
    Scan(false);
    EXPECT_EQ(report,
              Line("COM7 - 'BuiltIn'", "CAF\xE9.DLL") + kAllGoodText.CStr());  // only ASCII folds
}

// Entry names and driver paths are opened as they read in 8-bit text: a
// character the code page lacks becomes '?' (the key so named, if any, is
// the one read), one it has comes back as it was.
TEST_F(ScanTest, NamesAndPathsAreOpenedAsTheyReadInTheCodePage) {
    AddLoaded(u"\u00e9", u"COM2:", u"Drivers\\P\u00e9");
    AddLoaded(u"\u4e00", u"COM3:", u"Drivers\\A");    // opened as "?": absent
    AddLoaded(u"04", u"COM4:", u"Drivers\\P\u4e00");  // opened as Drivers\P?
    for (auto key : {u"Drivers\\P\u00e9", u"Drivers\\A", u"Drivers\\P\u4e00"})
        SetDll(key, u"OBBTDEV.DLL");
    SetDll(u"Drivers\\P?", u"other.dll");
    Scan(false);
    EXPECT_EQ(report,
              Line("COM4:", "OTHER.DLL") + Line("COM2:", "OBBTDEV.DLL", kFaultMarker.CStr()));
}

TEST_F(ScanTest, EachInjectedFaultGivesItsReportAndChangesNothingElse) {
    const std::u16string entry = kActive + u"02";  // COM5:, damaged (OBBTDEV.DLL)
    const std::u16string driver = kHklm + u"Drivers\\BuiltIn\\BTSerial5";
    const std::string com1 = Line("COM1:", "SERIAL.DLL");
    const std::string com6 = Line("COM6:", "---BTCEIF.DLL", kFixedMarker.CStr());
    const std::string builtIn = Line("COM1 - 'BuiltIn'", "SERIAL.DLL");
    struct Case {
        const char* what;
        void (*inject)(const std::u16string& entry, const std::u16string& driver);
        std::string com5;  // COM5:'s line after a repair run, "" when dropped
    } cases[] = {
        {"entry key cannot be opened",
         [](const std::u16string& e, const std::u16string&) { FaultOpenKey(e); }, ""},
        {"Name unreadable",
         [](const std::u16string& e, const std::u16string&) { FaultReadValue(e, u"Name"); }, ""},
        {"PnpId unreadable: the entry counts as having none",
         [](const std::u16string& e, const std::u16string&) { FaultReadValue(e, u"PnpId"); },
         Line("COM5:", "OBBTDEV.DLL", kFixedMarker.CStr())},
        {"Key unreadable",
         [](const std::u16string& e, const std::u16string&) { FaultReadValue(e, u"Key"); }, ""},
        {"driver key cannot be opened",
         [](const std::u16string&, const std::u16string& d) { FaultOpenKey(d); }, ""},
        {"Dll unreadable",
         [](const std::u16string&, const std::u16string& d) { FaultReadValue(d, u"Dll"); }, ""},
        {"Dll write refused",
         [](const std::u16string&, const std::u16string& d) { FaultWriteKey(d); },
         Line("COM5:", "OBBTDEV.DLL", kFaultMarker.CStr())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        DamagedDevice();
        c.inject(entry, driver);
        Scan(true);
        EXPECT_EQ(report, com1 + c.com5 + com6 + builtIn);
        EXPECT_EQ(message, kFixedMessage.CStr());  // COM6: is still repaired
        bool listed = !c.com5.empty(),
             fixed = c.com5.find(kFixedMarker.CStr()) != std::string::npos;
        EXPECT_EQ(found, Found(3 + listed, 1 + listed, 1 + fixed, listed && !fixed));
        std::vector<std::string> expected;
        if (fixed) expected.push_back(kRepairedBytesKey5);
        expected.push_back(kRepairedBytesKey6);
        EXPECT_EQ(ChangedValues(), expected);
    }
}
