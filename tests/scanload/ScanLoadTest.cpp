// The scan's load (only the keys the scan reads, the common lines told
// without decoding) against the full reader, on every registry file the
// project holds and on generated files that put deletions, continued hex
// data, every encoding and line end around the driver keys.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/support/EmulatedCpu.h"
#include "tests/support/ScanDifferential.h"
#include "unicode/TextCoding.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::string content;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return content;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) content.append(buffer, n);
    fclose(f);
    return content;
}

// The files of a folder (the suite runs in the source folder).
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') files.push_back(folder + "/" + e->d_name);
        closedir(d);
    }
    return files;
}

TEST(ScanLoad, EveryFileTheProjectHolds) {
    size_t count = 0;
    for (const char* folder :
         {"examples", "tests/e2e", "tests/interop/corpus", "tests/fuzz/corpus/RegFileFuzz",
          "tests/fuzz/corpus/ScanFuzz", "tests/fuzz/corpus/ScanLoadFuzz"})
        for (const std::string& file : FilesIn(folder)) {
            SCOPED_TRACE(file);
            EXPECT_EQ(ScanLoadDifference(ReadFile(file)), "");
            ++count;
        }
    EXPECT_GT(count, 50u);  // the folders were found
}

// Where no second thread can be started the file is read, and scanned, on
// one, to the same outcome.
TEST(ScanLoad, ReadAloneWhereNoSecondThreadStarts) {
    const RegReadBeside failing = ScanLoadBeside(true);
    for (const std::string& file : FilesIn("examples"))
        for (bool repair : {false, true}) {
            SCOPED_TRACE(file + (repair ? " repair" : ""));
            std::string content = ReadFile(file);
            EXPECT_EQ(ScanOutcomeText(ScanOutcomeOf(content, false, false, repair, &failing)),
                      ScanOutcomeText(ScanOutcomeOf(content, false, false, repair)));
        }
}

// A device's drivers: port 1 built in, port 2 loaded from elsewhere
// (damaged), port 3 sharing port 2's driver key.
const char kDrivers[] =
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\01]\r\n\"Name\"=\"COM1:\"\r\n"
    "\"Key\"=\"Drivers\\\\BuiltIn\\\\Serial\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\02]\r\n\"Name\"=\"COM2:\"\r\n"
    "\"Key\"=\"Drivers\\\\USB\\\\Port\\\\\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\03]\r\n\"Name\"=\"COM3:\"\r\n"
    "\"Key\"=\"drivers\\\\usb\\\\port\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n\"Dll\"=\"---BTCEIF.DLL\"\r\n";
const char kPort[] = "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n";

// What may stand before or after the drivers: deletions of every key the
// scan reads or of one above, values deleted, continued hex data, the
// driver key spelled again, lines regedit skips.
const char* const kAround[] = {
    "",
    "[-HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n",
    "[-HKEY_LOCAL_MACHINE\\Drivers\\USB]\r\n",
    "[-HKEY_LOCAL_MACHINE\\Drivers]\r\n",
    "[-HKEY_LOCAL_MACHINE\\Drivers\\Active\\02]\r\n",
    "[-HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n",
    "[-hkey_local_machine\\drivers\\usb\\port\\]\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n\"Dll\"=-\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\02]\r\n\"Key\"=-\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\02]\r\n\"Key\"=\"Drivers\\\\Other\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Other]\r\n\"Dll\"=\"obbtdev.dll\"\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n\"Dll\"=hex(1):4f,42,42,54,44,45,56,\\\r\n"
    "; between\r\n  2e,44,4c,4c,00\r\n\"Blob\"=hex:01,\\\r\n\r\n  02\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port\\Sub]\r\n\"Dll\"=\"x\"\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n\"Dll\"=\"serial.dll\"\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\nstray text\r\n\"Dll\"=dword:1\r\n",
    "[HKEY_NOWHERE\\Drivers]\r\n\"Dll\"=\"x\"\r\n",
    "[-HKEY_LOCAL_MACHINE]\r\n[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n\"Dll\"=\"OBBTDEV.DLL\"\\\r\n",
    "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n@=hex(7):00,\\\r\n",
    // a driver key with sections before and after the driver naming it
    "[HKEY_LOCAL_MACHINE\\Drivers\\Later]\r\n\"A\"=\"1\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\02]\r\n\"Key\"=\"Drivers\\\\Later\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Later]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n",
    // a driver key of long names, spelled in another case by its driver
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\04]\r\n\"Name\"=\"COM4:\"\r\n"
    "\"Key\"=\"Drivers\\\\BLUETOOTHSerial\\\\Port\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\BluetoothSerial\\Port]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n",
    // keys that are there only as the parents of others
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\09\\Sub]\r\n\"Name\"=\"COM9:\"\r\n",
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\08]\r\n\"Name\"=\"COM8:\"\r\n\"Key\"="
    "\"Drivers\\\\Only\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\Only\\Below]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n",
    // a driver key outside ASCII, which the scan takes through the code page
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\07]\r\n\"Name\"=\"COM7:\"\r\n\"Key\"=\"Caf\xE9\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Caf\xE9]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n",
    // (in UTF-16, U+0080, which Windows-1252 lacks: the scan opens "P?rt")
    "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\06]\r\n\"Name\"=\"COM6:\"\r\n\"Key\"=\"P\x80rt\"\r\n"
    "[HKEY_LOCAL_MACHINE\\P?rt]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n",
};

// The file in each encoding and with each line end.
std::vector<std::string> Spellings(const std::string& body) {
    std::vector<std::string> files;
    for (const char* end : {"\r\n", "\n", "\r"}) {
        std::string text;
        for (size_t i = 0; i < body.size(); ++i) {
            if (body.compare(i, 2, "\r\n") == 0) {
                text += end;
                ++i;
            } else {
                text += body[i];
            }
        }
        files.push_back("REGEDIT4" + std::string(end) + text);
        std::string v5 = "Windows Registry Editor Version 5.00" + std::string(end) + text;
        files.push_back(v5);  // UTF-8
        std::string wide = "\xFF\xFE";
        for (char c : v5) Utf16LeAppend(&wide, char16_t(uint8_t(c)));
        files.push_back(wide);
    }
    return files;
}

// On an emulated CPU each pair takes every third spelling, a different
// third for the next pair: every pair and every spelling is still read, not
// every pair in every spelling.
const size_t kSpellingStep = kEmulatedCpu ? 3 : 1;

// Every other pair has the driver key after the drivers that name it, so
// its sections are loaded as they are read.
TEST(ScanLoad, DeletionsAndDataAroundTheDrivers) {
    size_t pair = 0;
    for (const char* before : kAround)
        for (const char* after : kAround) {
            const size_t n = pair++;
            std::string drivers =
                n % 2 ? std::string(kDrivers) + kPort : kPort + std::string(kDrivers);
            std::vector<std::string> files = Spellings(before + drivers + after);
            for (size_t i = n % kSpellingStep; i < files.size(); i += kSpellingStep) {
                SCOPED_TRACE(files[i]);
                ASSERT_EQ(ScanLoadDifference(files[i]), "");
            }
        }
}

// A driver's "Key" in the forms the reading tells straight from the file's
// bytes and in those it builds: other escapes, no text, names of every
// length around eight letters; before its driver key or last in the file.
TEST(ScanLoad, DriverKeyInEveryForm) {
    const char* const keys[] = {
        "\"Drivers\\\\USB\\\\Port\"",
        "\"\\\\Drivers\\\\USB\\\\Port\\\\\\\\\"",
        "\"Drivers\\\\USB\\\\P\\\"ort\"",
        "\"Drivers\\\\USB\\\\Port\\n\"",
        "\"drivers\\\\usb\\\\port\" ",
        "hex(1):50,00,00,00",
        "\"\\\\\\\\\"",
        "\"\"",
        "\"\tP\"",
    };
    std::vector<std::string> bodies;
    for (const char* key : keys)
        for (const std::string name : {"Port", "PortPort", "PortPortP", "P"}) {
            std::string k = key;
            if (size_t at = k.find("Port\""); at != std::string::npos) k.replace(at, 4, name);
            std::string driver =
                "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\02]\r\n\"Name\"=\"COM2:\"\r\n\"kEY\"=" + k;
            std::string port =
                "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\" + name + "]\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n";
            bodies.push_back(driver + "\r\n" + port);
            bodies.push_back(port + driver);
        }
    for (const std::string& body : bodies)
        for (const std::string& file : Spellings(body)) {
            SCOPED_TRACE(file);
            ASSERT_EQ(ScanLoadDifference(file), "");
        }
}

// Lines at the edges of what the quick reading takes, inside the driver
// key, before and after its "Dll", and in a loaded driver's key.
const char* const kLines[] = {
    "\"n\"=dword:12345678",
    "\"n\"=dword:123456789",
    "\"n\"=dword: 0 ; note",
    "\"n\"=dword:",
    "\"n\"=hex:0ff,00ff,100",
    "\"n\"=hex:ff ,01",
    "\"n\"=hex:01,,02",
    "\"n\"=hex(ffffffff):01",
    "\"n\"=hex(100000000):01",
    "\"n\"=hex():",
    "\"n\"=hex(2:01",
    "\"n\"=hex:01,\\ x",
    "\"n\"=hex:01,\\\r\nx",
    "\"n\"=\"a\\\"b\\\\\" ; c",
    "\"n\"=\"a\\0\"",
    "\"n\"=\"a\\",
    "\"n\"=\"a\" b",
    "\"n\\\"x\"=-",
    "\"n\"=- x",
    "\"n\"  =  \"x\"  ",
    "\"n\"\"x\"",
    "@=\"x\"",
    "@ =-",
    "\"DLL\"=\"OBBTDEV.DLL\"",
    "\"Dll\"=\"caf\xE9.dll\"",
    "\t; comment \xFF",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port\\\\Sub]",
    "[HKEY_LOCAL_MACHINE\\\\Drivers]",
    "[ HKEY_LOCAL_MACHINE\\X]",
    "[HKEY_LOCAL_MACHINEX]",
    "[HKEY_XOCAL_MACHINE\\Drivers\\USB\\Port]",
    "[HKEY_LXCAL_MACHINE\\Drivers\\USB\\Port]",
    "[HKEY_LOCAX_MACHINE\\Drivers\\USB\\Port]",
    "[HKEY_LOCAL_MACHINX\\Drivers\\USB\\Port]",
    "[HKEY_CURRENT_USEX\\Drivers\\USB\\Port]",
    "[HKEY_Current_User\\Drivers\\USB\\Port]",
    "[hkey_local_machine\\Drivers\\USB\\Port]",
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port] trailing ] text",
    "[-]",
    "[-X]",
    "[-HKEY_LOCAL_MACHINE\\]",
    "[HKEY_LOCAL_MACHINE\\Drivers\\Caf\xE9]",
    "[HKEY_LOCAL_MACHINE\\Drivers\\ActiveX\\05]\r\n\"Name\"=\"COM5:\"",
    // data as the load builds it: escapes, text in hex form, bounds
    "\"n\\\\x\\\"y\\n\\r\\q\"=\"\\\\a\\\"b\\nc\\rd\\qe\"",
    "\"n\"=\"\\\\a\\\"b\\nc\\rd\\qe\x80\"",
    "\"\xE9\"=\"\xE9\x80\"",
    "\"n\"=\"\"",
    "\"n\"=dword:FfFfFfFf",
    "\"n\"=hex(2):41,42,e9",
    "\"n\"=hex(7):41,00,00",
    "\"n\"=hex(1):",
    "\"n\"=hex:",
    "\"n\"=hex(2):41,\\\r\n  42,00",
    "\"n\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,1f",
    // the common forms the lines of keys not loaded are passed over in
    "\"n\"=dword:1234567",
    "\"n\"=dword:123456789 ",
    "\"n\"=hex(12345678):01",
    "\"n\"=hex(123456789):01",
    "\"n\"=hex(7) :01",
    "\"n\"=hex(7)",
    "\"n\"=hex:01,02,",
    "\"n\"=hex:01,0",
    "\"n\"=hex:01;",
    "\"n\"=hex:01,\\",
    "\"n\"=hex:01,\\ 02",
    "\"n\"=hex:01,02\\\r\n  03",
    "\"n\"=hex:01,\\\r\n\t02,\\\r\n  03,04",
    "\"n\"=hex:01,\\\r\n  0x",
    "\"n\"=\"a\\\"\"",
    "\"n\"=\"a\\\"",
    "\"n\"=\"\\r\\\\\"",
    "\"n\"=\"a\"\"",
    "\"n\"=\"a\r\nb\"",
    "\"n\"=-;",
    "\"n\"x=-",
    "\"n\"x-",
    "\"n=-",
    "@=\"a\"",
    "@=",
    " \"n\"=-",
    ";",
    "",
};

// Hex bytes in a run of twenty-one, the last one ending the line.
std::string HexRun() {
    std::string run = "\"n\"=hex:";
    for (int k = 0; k < 20; ++k) run += "0a,";
    return run + "0b";
}

// kLines and the edge lines made by rule.
std::vector<std::string> EdgeLines() {
    const std::string longName(256, 'k');
    std::vector<std::string> lines(std::begin(kLines), std::end(kLines));
    lines.push_back("[HKEY_LOCAL_MACHINE\\" + longName + "]");
    lines.push_back("[HKEY_LOCAL_MACHINE\\" + longName.substr(1) + "]");
    // value names of the longest length kept, and one more
    lines.push_back("\"" + std::string(16383, 'v') + "\"=-");
    lines.push_back("\"" + std::string(16384, 'v') + "\"=-");
    // Hex bytes in runs the reading takes five at a time, each run spoiled
    // once: a digit or a comma, first, inside and last of the five.
    lines.push_back(HexRun());
    for (size_t at : {8, 27, 55, 67})
        for (char bad : {'/', ':', '@', 'G', '`', 'g', ' ', '\x8a'}) {
            lines.push_back(HexRun());
            lines.back()[at] = bad;
        }
    // Hex runs of every length over three compares of sixteen bytes: then
    // continued, ended by a comma, or spoiled after the last whole byte.
    std::string bytes = "\"n\"=hex:";
    for (int k = 0; k < 12; ++k, bytes += "0a,")
        for (const char* end : {"\\", "\\ x", "", "0", "0b", "0g", "0b,\\"})
            lines.push_back(bytes + end);
    // Texts with their escapes at every place of a sixteen-byte compare.
    for (size_t k = 0; k < 18; ++k)
        for (const char* end : {"\\\"", "\\0\"", "\\", "\\\\\"", "\\\\\\\""})
            lines.push_back("\"n\"=\"" + std::string(k, 'a') + end);
    // Dwords of eight digits but one, first or last.
    for (const char* bad : {"g", "G", "/", ":", "@", "`", "\xB0"})
        for (size_t at : {0, 7}) {
            std::string digits = "12345678";
            lines.push_back("\"n\"=dword:" + digits.replace(at, 1, bad));
        }
    return lines;
}

// The line inside the driver key, before and after its "Dll", in a loaded
// driver's key, and in keys not loaded (the last one at the file's end).
std::string BodyAround(const std::string& line) {
    // After the driver's "Dll", the line names the "Dll" instead: a
    // value the scan reads, whose data the load builds.
    std::string dll = line;
    if (dll.compare(0, 3, "\"n\"") == 0) dll.replace(0, 3, "\"Dll\"");
    std::string other = "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"a\"=\"1\"\r\n" + line;
    return other + "\r\n\"b\"=dword:00000001\r\n" + "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\Port]\r\n" +
           line + "\r\n\"Dll\"=\"OBBTDEV.DLL\"\r\n" + dll + "\r\n" + kDrivers +
           "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\05]\r\n" + line + "\r\n" + other;
}

TEST(ScanLoad, LinesAtTheEdges) {
    size_t count = 0;
    for (const std::string& line : EdgeLines()) {
        // On an emulated CPU, every third spelling, a different third for
        // the next line, as the deletions grid takes them.
        std::vector<std::string> files = Spellings(BodyAround(line));
        for (size_t i = count++ % kSpellingStep; i < files.size(); i += kSpellingStep) {
            SCOPED_TRACE(files[i]);
            ASSERT_EQ(ScanLoadDifference(files[i]), "");
        }
    }
}

// In UTF-16, units above 0xFF whose low byte reads as a comma (1) or a
// digit (2), inside a run of hex bytes.
TEST(ScanLoad, WideUnitsInsideHexRuns) {
    std::string odd = "Windows Registry Editor Version 5.00\r\n"
                      "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n" +
                      HexRun() + "\r\n";
    odd[odd.find("hex:") + 4 + 17] = 1;
    odd[odd.find("hex:") + 4 + 21] = 2;
    std::string wide = "\xFF\xFE";
    for (char c : odd) Utf16LeAppend(&wide, c == 1 ? u'\x12C' : c == 2 ? u'\x130' : uint8_t(c));
    EXPECT_EQ(ScanLoadDifference(wide), "");
}

}  // namespace
