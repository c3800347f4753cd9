#include "repair/SerialScan.h"

#include <stdint.h>
#include <string.h>

#include "platform/Registry.h"
#include "text/WideText.h"

namespace {

const uint32_t kQueryAccess = 1;  // KEY_QUERY_VALUE: the scan only asks to read

// Values are read into 150 wide characters (300 bytes, as the registry is
// told) plus one more, so that a value of exactly 300 bytes still has room
// for the terminator written after it.
const uint32_t kValueBytes = 300;
const uint32_t kNameChars = 200;
const int32_t kLineChars = 128;             // a report line put together before it is added
const uint32_t kEveryDriver = 0xFFFFFFFFu;  // as the end of the loaded drivers scanned

const WideChar kDllName[] = WIDE("Dll");
const WideChar kRepairValue[] = WIDE("BTCEIF.DLL");
static_assert(sizeof(kRepairValue) == 22, "10 characters and the terminator, 2 bytes each");

// The damage the installer leaves, compared after upper-casing.
const char kDisabledDll[] = "---BTCEIF.DLL";
const char kForeignDll[] = "OBBTDEV.DLL";
const char kDllText[] = "  => Dll: ";  // between a port's label and its "Dll" value

long OpenKey(RegKey base, const WideChar* path, RegKey* key) {
    return RegistryOpenKey(base, path, 0, kQueryAccess, key);
}

// Paths are kept as 8-bit text and opened through the code page.
long OpenKey(RegKey base, const TextString& path, RegKey* key) {
    WideText widePath(path.CStr(), -1);
    return OpenKey(base, widePath.buffer, key);
}

// The length of a text of ASCII characters; -1 when it holds any other.
// room: how many characters may be read from text, its terminator or not
// (the buffer it lies in): four are tested at once while they fit there.
int32_t AsciiLength(const WideChar* text, int32_t room) {
    const uint64_t kHigh = 0xFF80FF80FF80FF80ull;  // set in a character from 0x80 up
    const uint64_t kOnes = 0x0001000100010001ull, kTops = 0x8000800080008000ull;
    int32_t n = 0;
    for (; n + 4 <= room; n += 4) {
        uint64_t four;
        memcpy(&four, text + n, sizeof four);
        // Below 0x80 each, a character less one sets its top bit only if it was zero.
        if ((four & kHigh) || ((four - kOnes) & kTops)) break;
    }
    while (text[n] && text[n] < 0x80) ++n;
    return text[n] ? -1 : n;
}

const int32_t kValueRoom = kValueBytes / 2 + 1;  // the characters of a value's buffer

bool IsAscii(const WideChar* text, int32_t room) { return AsciiLength(text, room) >= 0; }

// Copies a value's characters read into a buffer of kValueRoom (its
// terminator within) to out as 8-bit text with its terminator, upper-cased
// as ToUpper makes them when upper is set, while they are ASCII, which is
// the same bytes in every code page: gives their count, or -1 when another
// character or more than most come first (out then holds part of them).
// Four are told, upper-cased and copied at once while they fit there.
int32_t NarrowAscii(const WideChar* chars, int32_t most, bool upper, char* out) {
    const uint64_t kHigh = 0xFF80FF80FF80FF80ull;  // set in a character from 0x80 up
    const uint64_t kOnes = 0x0001000100010001ull, kTops = 0x8000800080008000ull;
    int32_t n = 0;
    for (; n + 4 <= kValueRoom && n + 4 <= most; n += 4) {
        uint64_t four;
        memcpy(&four, chars + n, sizeof four);
        if ((four & kHigh) || ((four - kOnes) & kTops)) break;
        if (upper) four = FoldAsciiFour(four);
        WideChar each[4];
        memcpy(each, &four, sizeof four);
        for (int32_t i = 0; i < 4; ++i) out[n + i] = char(each[i]);
    }
    for (; chars[n] && chars[n] < 0x80 && n < most; ++n) {
        WideChar c = chars[n];
        out[n] = char(upper && c >= 'a' && c <= 'z' ? c - 0x20 : c);
    }
    out[n] = 0;
    return chars[n] ? -1 : n;
}

// A name or path the registry gave is opened as it reads in 8-bit text
// (text, made from it here when needed), where a character the code page
// lacks becomes another. ASCII reads the same in every code page and is
// opened as it came. room: as AsciiLength takes it.
long OpenKey(RegKey base, const WideChar* wide, int32_t room, TextString& text, RegKey* key) {
    if (IsAscii(wide, room)) return OpenKey(base, wide, key);
    text.AssignWide(wide, -1);
    return OpenKey(base, text, key);
}

// The key a "Key" value names below HKEY_LOCAL_MACHINE, opened as the path
// reads in 8-bit text (see OpenKey above); a path that reads as empty names
// none.
long OpenDriverKey(const WideChar* path, TextString& text, RegKey* key) {
    if (IsAscii(path, kValueRoom))
        return *path ? OpenKey(REG_ROOT_LOCAL_MACHINE, path, key) : kRegNotFound;
    text.AssignWide(path, -1);
    return text.IsEmpty() ? kRegNotFound : OpenKey(REG_ROOT_LOCAL_MACHINE, text, key);
}

typedef WideChar ValueChars[kValueRoom];

// Reads a value's characters into chars. Whatever the registry stores (its
// type is not looked at), the bytes delivered are read as 16-bit characters
// and cut at the delivered count, so a value stored without its terminator,
// or one that is not text at all, is never read past its end. A value that
// cannot be read leaves them empty.
bool ReadChars(RegKey key, const WideChar* name, ValueChars& chars) {
    uint32_t bytes = kValueBytes;
    // A registry that ignored the limit has delivered nothing to read.
    bool read =
        RegistryQueryValue(key, name, nullptr, reinterpret_cast<uint8_t*>(chars), &bytes) == 0 &&
        bytes <= kValueBytes;
    chars[read ? bytes / 2 : 0] = 0;
    return read;
}

// Whether a value is read and reads as a non-empty 8-bit text. ASCII reads
// the same in every code page: only other characters are made into text to
// tell.
bool ReadsNonEmpty(RegKey key, const WideChar* name, TextString& text, ValueChars& chars) {
    if (!ReadChars(key, name, chars) || !chars[0]) return false;
    if (IsAscii(chars, kValueRoom)) return true;
    text.AssignWide(chars, -1);
    return !text.IsEmpty();
}

// Whether an 8-bit text begins "COM" (told without a call: a scan asks once
// a driver).
bool StartsWithCom(const char* c) { return c[0] == 'C' && c[1] == 'O' && c[2] == 'M'; }

struct ScanState {
    TextString& report;
    int32_t reportLength;  // kept so that a long report builds in linear time
    TextString& message;
    bool repair;
    SerialScanResult found;
    SerialRepairWritten written;
    void* context;
    // The texts read for each driver, kept from one driver to the next so
    // that their room is made once; the characters of the last value read,
    // and of the last "Key" (its text is made when a repair is told).
    TextString name{}, pnpId{}, driverPath{}, dll{}, subKeyName{};
    ValueChars value{}, path{};
    // A driver's "Name" and "Dll" values as 8-bit text, when they are ASCII.
    char label[kValueRoom]{}, dllText[kLineChars]{};
    // A report line is put together in line and added in one append: each
    // append finds the report's end and checks its room again, which costs
    // more than the copy of a short part. (Last, so that a write past it
    // leaves the record, where a checked build sees it.)
    int32_t lineUsed = 0;
    char line[kLineChars]{};

    // A report that is full grows by half again before a line is added: the
    // text's own growth, by a third, would copy a long report many times over.
    // count: text's length when it is known (see AppendTracked).
    void Add(const char* text, int32_t count = -1) {
        int64_t want = int64_t(reportLength) * 3 / 2 + kLineChars;
        if (reportLength + kLineChars + 2 > report.Capacity() && want < INT32_MAX / 2)
            report.Reserve(int32_t(want));
        report.AppendTracked(reportLength, text, count);
    }
    // Puts the length characters of text after the line's others. A part
    // that does not fit sends the line first; one longer than the whole room
    // is added on its own.
    void Put(const char* text, int32_t length) {
        if (lineUsed + length >= kLineChars) EndLine();
        if (length >= kLineChars) {
            Add(text);
            return;
        }
        memcpy(line + lineUsed, text, size_t(length));
        lineUsed += length;
    }
    void Put(const TextString& text) { Put(text.CStr(), text.Length()); }
    // Adds the line put together to the report.
    void EndLine() {
        if (!lineUsed) return;
        line[lineUsed] = 0;
        Add(line, lineUsed);
        lineUsed = 0;
    }
};

// Whether the length characters at text are the 8-bit text name (of size
// bytes with its terminator).
bool Names(const char* text, int32_t length, const char* name, size_t size) {
    return size_t(length) + 1 == size && strncmp(text, name, size) == 0;
}

// Puts a port's label and the "Dll" value read into scan.value, upper-cased
// as 8-bit text, in the line, and tells whether the value is the damage. A
// value that reads as an empty text names no driver: false, nothing put. An
// ASCII value that fits the line goes in straight; any other is made 8-bit
// text first.
bool PutDll(ScanState& scan, const char* label, int32_t labelLength, bool* damaged) {
    const WideChar* chars = scan.value;
    const char* text = scan.dllText;
    int32_t ascii = NarrowAscii(chars, kLineChars - 1, true, scan.dllText);
    bool straight = ascii >= 0;
    TextString& dll = scan.dll;
    if (!straight) {
        dll.AssignWide(chars, -1);
        dll.ToUpper();
    }
    if (straight ? ascii == 0 : dll.IsEmpty()) return false;
    scan.Put(label, labelLength);
    scan.Put(kDllText, sizeof(kDllText) - 1);
    if (straight) {
        scan.Put(text, ascii);
        *damaged = Names(text, ascii, kDisabledDll, sizeof(kDisabledDll)) ||
                   Names(text, ascii, kForeignDll, sizeof(kForeignDll));
    } else {
        scan.Put(dll);
        *damaged = dll.Compare(kDisabledDll) == 0 || dll.Compare(kForeignDll) == 0;
    }
    return true;
}

// A port's label: its 8-bit text (terminated), and the text a repair is
// told with, which holds the label or is made from it only then.
struct PortLabel {
    const char* chars;
    int32_t length;
    TextString& text;
};

// Judges the "Dll" value of one driver key, repairs it when asked, and adds
// the port's report line. keyPath is the key's path; when wide is given, it
// is made from wide only to tell a repair.
void ExamineDll(ScanState& scan, RegKey driverKey, TextString& keyPath, const WideChar* wide,
                const PortLabel& label) {
    ReadChars(driverKey, kDllName, scan.value);
    bool damaged = false;
    if (!PutDll(scan, label.chars, label.length, &damaged)) return;  // the damage has a name
    bool repaired = false;
    if (damaged && scan.repair) {
        repaired = RegistrySetValue(driverKey, kDllName, 0, kRegTypeString,
                                    reinterpret_cast<const uint8_t*>(kRepairValue),
                                    sizeof(kRepairValue)) == 0;
        // The user is told to soft-reset next: a hive-based registry would
        // drop the write at that reset unless it is flushed now. The
        // flush's answer is not the repair's: a registry kept in RAM may
        // refuse the flush and still keep the write through the reset.
        if (repaired) RegistryFlushKey(driverKey);
        if (!repaired) ++scan.found.failedWrites;
        if (repaired && scan.written) {
            if (wide) keyPath.AssignWide(wide, -1);
            label.text.Assign(label.chars);  // (the same text when it holds the label)
            scan.written(scan.context, label.text, keyPath);
        }
    }
    ++scan.found.examined;
    if (damaged) ++scan.found.damaged;
    if (repaired) ++scan.found.repaired;

    if (repaired) {
        scan.Put(kFixedMarker);
        scan.message.Assign(kFixedMessage);
    } else if (damaged) {
        scan.Put(kFaultMarker);
    }
    scan.Put("\r\n", 2);
    scan.EndLine();
}

// One loaded driver: the sub-key subKey of Drivers\Active, open as active
// (room: as AsciiLength takes it).
void ExamineLoadedDriver(ScanState& scan, RegKey active, const WideChar* subKey, int32_t room) {
    RegKey entry;
    if (OpenKey(active, subKey, room, scan.subKeyName, &entry) != 0) return;

    // The "Name" is the port's label: ASCII as it came, else made 8-bit text.
    bool read = ReadChars(entry, WIDE("Name"), scan.value);
    PortLabel label{scan.label, NarrowAscii(scan.value, kValueRoom - 1, false, scan.label),
                    scan.name};
    if (label.length < 0) {
        scan.name.AssignWide(scan.value, -1);
        label.chars = scan.name.CStr();
        label.length = scan.name.Length();
    }
    if (read && StartsWithCom(label.chars) &&
        !ReadsNonEmpty(entry, WIDE("PnpId"), scan.pnpId, scan.value)) {
        RegKey driver;
        if (ReadChars(entry, WIDE("Key"), scan.path) &&
            OpenDriverKey(scan.path, scan.driverPath, &driver) == 0) {
            ExamineDll(scan, driver, scan.driverPath, scan.path, label);
            RegistryCloseKey(driver);
        }
    }
    RegistryCloseKey(entry);
}

// The loaded drivers numbered first to end - 1 in the registry's order.
void ScanLoadedDrivers(ScanState& scan, uint32_t first, uint32_t end) {
    RegKey active;
    if (OpenKey(REG_ROOT_LOCAL_MACHINE, WIDE("Drivers\\Active"), &active) != 0) return;
    WideChar subKey[kNameChars] = {};
    for (uint32_t index = first; index < end; ++index) {
        uint32_t length = kNameChars;
        long result = RegistryEnumKey(active, index, subKey, &length);
        // A name too long for the buffer is no driver the scan could open;
        // the drivers after it still are.
        if (result == kRegMoreData) continue;
        if (result != 0) break;
        subKey[kNameChars - 1] = 0;
        // Its room ends at its terminator: only that much is tested at once.
        int32_t room = length < kNameChars ? int32_t(length) + 1 : int32_t(kNameChars);
        ExamineLoadedDriver(scan, active, subKey, room);
    }
    RegistryCloseKey(active);
}

// Waits for the loaded drivers scanned apart and takes their lines and
// counts after those scanned here.
void TakeRest(ScanState& scan, SerialScanRest& rest) {
    rest.wait(rest.context);
    scan.Add(rest.report.CStr());
    scan.found.examined += rest.found.examined;
    scan.found.damaged += rest.found.damaged;
    scan.found.repaired += rest.found.repaired;
    scan.found.failedWrites += rest.found.failedWrites;
}

// Serial0, Serial, Serial2 ... Serial9: the un-numbered key is port 1.
void ScanBuiltInPorts(ScanState& scan) {
    for (int32_t number = 0; number <= 9; ++number) {
        TextString path("Drivers\\BuiltIn\\Serial");
        if (number != 1) path.AppendInt(number);
        TextString label("COM");
        label.AppendInt(number).Append(" - 'BuiltIn'");

        RegKey key;
        if (OpenKey(REG_ROOT_LOCAL_MACHINE, path, &key) != 0) continue;
        ExamineDll(scan, key, path, nullptr, PortLabel{label.CStr(), label.Length(), label});
        RegistryCloseKey(key);
    }
}

}  // namespace

void ScanSerialDriversRest(SerialScanRest& rest) {
    TextString message;  // a scan without repair sets none before its end
    ScanState scan{rest.report, 0, message, false, SerialScanResult{0, 0, 0, 0}, nullptr, nullptr};
    rest.report.Assign("");
    ScanLoadedDrivers(scan, rest.first, kEveryDriver);
    rest.found = scan.found;
}

SerialScanResult ScanSerialDrivers(TextString& report, TextString& message, bool repair,
                                   SerialRepairWritten written, void* context,
                                   SerialScanRest* rest) {
    report.Assign("");
    ScanState scan{report, 0, message, repair, SerialScanResult{0, 0, 0, 0}, written, context};
    // A repair scans every driver here, once the rest has stopped reading.
    if (rest && repair) rest->wait(rest->context);
    ScanLoadedDrivers(scan, 0, rest && !repair ? rest->first : kEveryDriver);
    if (rest && !repair) TakeRest(scan, *rest);
    ScanBuiltInPorts(scan);
    if (scan.found.damaged == 0) {
        report.Append(kAllGoodText);
        message.Assign(kNotFoundMessage);
    }
    return scan.found;
}
