// Registry files: read as regedit imports them, loaded into a registry
// tree, and written back with only the changed values' lines replaced.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/Registry.h"
#include "regfile/RegDocument.h"
#include "regfile/RegQuickLine.h"
#include "tests/support/RegSnapshot.h"
#include "unicode/TextCoding.h"

namespace {

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n";

std::string Utf16File(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) Utf16LeAppend(&out, char16_t(uint8_t(c)));
    return out;
}

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < size; ++i) {
        snprintf(b, sizeof(b), "%02x ", bytes[i]);
        s += b;
    }
    return s;
}

// "type: bytes" of a value under HKEY_LOCAL_MACHINE\A, or "absent".
std::string ValueOfA(const RegTree& tree, const std::u16string& name) {
    const TreeValue* v = RegTreeGetValue(tree, u"HKEY_LOCAL_MACHINE\\A", name);
    return v ? std::to_string(TreeValueType(*v)) + ": " +
                   Hex(TreeValueBytes(*v).data(), TreeValueSize(*v))
             : "absent";
}

// A key path's levels below a root: "\k" n times.
std::string Levels(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "\\k";
    return s;
}

std::string Skipped(const RegDocument& doc) {
    std::string s;
    for (const auto& k : doc.skipped) s += std::to_string(k.line) + ": " + k.why + "\n";
    return s;
}

// Reads (leniently) and loads into a cleared tree: read, then loaded, and
// in one pass, which must leave the same document and tree.
RegDocument Load(const std::string& content, RegTree& tree) {
    RegDocument doc, once;
    std::string error;
    RegTreeClear(tree);
    EXPECT_TRUE(RegDocumentReadAndLoad(content, "test.reg", false, tree, &once, &error)) << error;
    RegSnapshot loadedOnce = TakeRegSnapshot(tree);
    EXPECT_TRUE(RegDocumentRead(content, "test.reg", false, &doc, &error)) << error;
    RegTreeClear(tree);
    RegDocumentLoad(doc, tree);
    EXPECT_EQ(TakeRegSnapshot(tree), loadedOnce);
    EXPECT_EQ(once.entries.size(), doc.entries.size());
    EXPECT_EQ(Skipped(once), Skipped(doc));
    return doc;
}

// What each value spelling puts in the registry (type: bytes). Where a
// spelling is broken, regedit skips that line alone and so do we.
struct ValueCase {
    std::string content;
    std::u16string name;
    const char* expected;
};

std::vector<ValueCase> ValueCases() {
    const std::string a4 = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";
    const std::string a5 = kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\n";
    return {
        {a4 + "\"v\"=\"x\"\r\n", u"v", "1: 78 00 00 00 "},
        {a4 + "@=\"x\"\r\n", u"", "1: 78 00 00 00 "},
        {a4 + "\"v\" = \"a\\\\b\\\"\\n\\r\" ; note\r\n", u"v",  // escapes, spacing, comment
         "1: 61 00 5c 00 62 00 22 00 0a 00 0d 00 00 00 "},
        {a4 + "\"v\"=\"C:\\Win\"\r\n", u"v", "1: 43 00 3a 00 57 00 69 00 6e 00 00 00 "},
        {a4 + "\"v\"=\"\x80\"\r\n", u"v", "1: ac 20 00 00 "},  // Windows-1252
        {a4 + "\"v\"=dword:1F\r\n", u"v", "4: 1f 00 00 00 "},
        {a4 + "\"v\"=hex:01,ff\r\n", u"v", "3: 01 ff "},
        {a4 + "\"v\"=hex:\r\n", u"v", "3: "},
        {a4 + "\"v\"=hex(0):\r\n", u"v", "0: "},
        {a4 + "\"v\"=hex(b):01,00,00,00,00,00,00,00\r\n", u"v", "11: 01 00 00 00 00 00 00 00 "},
        // REGEDIT4 text types in hex are 8-bit text, ended with a zero
        {a4 + "\"v\"=hex(1):41,80\r\n", u"v", "1: 41 00 ac 20 00 00 "},
        {a4 + "\"v\"=hex(2):25,00\r\n", u"v", "2: 25 00 00 00 "},
        {a4 + "\"v\"=hex(7):61,00,62,00,00\r\n", u"v", "7: 61 00 00 00 62 00 00 00 00 00 "},
        // version 5 UTF-8: the same 8-bit reading; UTF-16: 16-bit, terminated
        {a5 + "\"v\"=hex(1):41,42\r\n", u"v", "1: 41 00 42 00 00 00 "},
        {Utf16File(a5 + "\"v\"=hex(2):41,00\r\n"), u"v", "2: 41 00 00 00 "},
        {Utf16File(a5 + "\"v\"=hex(7):61,00,00,00,00,00\r\n"), u"v", "7: 61 00 00 00 00 00 "},
        {Utf16File(a5 + "\"v\"=hex(3):41,00\r\n"), u"v", "3: 41 00 "},
        // continuations: any indent, blank and comment lines between, and
        // a file that ends after the backslash keeps what was read
        {a4 + "\"v\"=hex:01,\\\r\n  02,\\\r\n\r\n; c\r\n\t03\r\n", u"v", "3: 01 02 03 "},
        {a4 + "\"v\"=hex:01,02, ; c\r\n", u"v", "3: 01 02 "},  // a comment after the last comma
        {a4 + "\"v\"=hex:01,02,\\", u"v", "3: 01 02 "},
        {a4 + "\"v\"=hex:01,\\\r\n[HKEY_LOCAL_MACHINE\\B]\r\n\"w\"=\"1\"\r\n", u"w",
         "1: 31 00 00 00 "},  // the line after a broken continuation goes too
        // broken lines: the value is left out
        {a4 + "\"v\"=\"open\r\n", u"v", "absent"},
        {a4 + "\"v\"=hex:01 02\r\n", u"v", "absent"},
        {a4 + "\"v\"=hex:123\r\n", u"v", "absent"},
        {a4 + "\"v\"=dword:123456789\r\n", u"v", "absent"},
        {a4 + "\"v\"=DWORD:1\r\n", u"v", "absent"},
        {a4 + "\"v\"=\"a\\0\"\r\n", u"v", "absent"},
        {a4 + "\"v\"=\"1\"\r\n\"v\"=-\r\n", u"v", "absent"},
        {a4 + "\"v\"=\"1\"\r\n\"V\"=\"2\"\r\n", u"v", "1: 32 00 00 00 "},  // the last counts
        // a bad key line keeps the key open; a bad root closes it
        {a4 + "[HKEY_LOCAL_MACHINE\\B\r\n\"v\"=\"x\"\r\n", u"v", "1: 78 00 00 00 "},
        {a4 + "[HKLM\\B]\r\n\"v\"=\"x\"\r\n", u"v", "absent"},
        // backslashes ending a key path are ignored, as Windows ignores them
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A\\\\]\r\n\"v\"=\"x\"\r\n", u"v", "1: 78 00 00 00 "},
        {a4 + "\"v\"=\"x\"\r\n[-HKEY_LOCAL_MACHINE\\A\\\\\\]\r\n", u"v", "absent"},
        {a4 + "\"v\"=\"x\"\r\n[-hkey_local_machine\\a]\r\n", u"v", "absent"},  // any case
        {"REGEDIT4\r\r[HKEY_LOCAL_MACHINE\\A]\r\"v\"=\"x\"\r", u"v", "1: 78 00 00 00 "},
        {"REGEDIT4\t\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"", u"v", "1: 78 00 00 00 "},
    };
}

}  // namespace

TEST(RegDocumentRead, ValuesAsRegeditImportsThem) {
    for (const ValueCase& c : ValueCases()) {
        SCOPED_TRACE(c.content);
        RegTree tree;
        Load(c.content, tree);
        EXPECT_EQ(ValueOfA(tree, c.name), c.expected);
    }
}

// Skipped lines are listed with their line number and reason; --strict
// turns the first of them into the error. Line numbers count CR-only line
// ends, and the reason shows control characters visibly.
TEST(RegDocumentRead, SkippedLines) {
    const std::string h = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";  // lines 1 and 2
    struct Case {
        std::string content;
        const char* expected;  // the first skipped line and its reason, in part
    } cases[] = {
        {h + "\"a\"=\"open\r\n", "3: unterminated string"},
        {h + "\"a\"=\"1\" x\r\n", "3: unexpected text 'x' after the string"},
        {h + "garbage\x01\x7F\r\n", "3: unexpected text 'garbage\\x01\\x7F'"},
        {h + std::string("x\0y\r\n", 5), "3: unexpected text 'x\\x00y'"},
        {h + "\"a\"=hex:01,0g\r\n", "3: expected ','"},
        {h + "\"a\"=hex:01,\\\r\n  02,zz\r\n", "4: bad hex byte 'zz'"},
        {h + "\"a\"=hex(2x):00\r\n", "3: bad value type"},
        {h + "\"a\"=word:1\r\n", "3: expected a string, dword:"},
        {h + "\"a\"=- x\r\n", "3: unexpected text after '=-'"},
        {h + "[]\r\n", "3: unknown root key ''"},
        {h + "[HKEY_LOCAL_MACHINE/Drivers\\A]\r\n",
         "3: unknown root key 'HKEY_LOCAL_MACHINE/Drivers'"},
        {h + "[-HKEY_LOCAL_MACHINE]\r\n", "3: cannot delete the root key"},
        {h + "[HKEY_LOCAL_MACHINE\\\\B]\r\n", "3: bad key path"},
        {h + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\r\n", "3: key name longer"},
        {h + "[HKEY_LOCAL_MACHINE" + Levels(512) + "]\r\n[HKEY_LOCAL_MACHINE" + Levels(513) +
             "]\r\n",
         "4: key nested deeper than 512 levels"},
        {"REGEDIT4\r\"a\"=\"1\"\r", "2: value outside a key"},
        {"REGEDIT4\r\r\r[HKEY_LOCAL_MACHINE\\A]\r\"a\r", "5: unterminated string"},
        {kV5 + "\"a\"=\"\xC3\x28\"\r\n", "2: invalid UTF-8"},
        {kV5 + "\"a\"=\"\xED\xB0\x80\"\r\n", "2: invalid UTF-8"},  // a lone low surrogate
        {kV5 + "\"a\"=\"\xC0\xAF\"\r\n", "2: invalid UTF-8"},      // overlong
        {std::string("\xFF\xFER\0E\0G\0E\0D\0I\0T\0"
                     "4\0\n\0x",
                     21),
         "2: a lone byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        RegDocument doc;
        std::string error;
        ASSERT_TRUE(RegDocumentRead(c.content, "t.reg", false, &doc, &error)) << error;
        ASSERT_FALSE(doc.skipped.empty());
        EXPECT_EQ(Skipped(doc).find(c.expected), 0u) << Skipped(doc);
        EXPECT_FALSE(RegDocumentRead(c.content, "t.reg", true, &doc, &error));
        EXPECT_EQ(error.find(std::string("t.reg:") + c.expected), 0u) << error;
    }
}

// The header decides dialect and encoding; a file without one is refused
// as no registry export, whatever its encoding.
TEST(RegDocumentRead, Headers) {
    const std::string body = "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";
    struct Case {
        std::string content;
        int version;  // -1: refused
        RegFileEncoding encoding;
        const char* error;
    } cases[] = {
        {"REGEDIT4" + body, kRegFileVersion4, kRegFileAnsi, ""},
        {"REGEDIT4 \t" + body, kRegFileVersion4, kRegFileAnsi, ""},  // trailing blanks
        {Utf16File(kV5 + body), kRegFileVersion5, kRegFileUtf16, ""},
        {kV5 + body, kRegFileVersion5, kRegFileUtf8, ""},
        {"\xEF\xBB\xBF" + kV5 + body, kRegFileVersion5, kRegFileUtf8Bom, ""},
        {"", -1, kRegFileAnsi, "t.reg:1: not a registry export: the file is empty"},
        {"\xFF\xFE", -1, kRegFileAnsi, "t.reg:1: not a registry export: the file is empty"},
        {"\xEF\xBB\xBF", -1, kRegFileAnsi, "t.reg:1: not a registry export: the file is empty"},
        {"regedit4\r\n\"Jos\xE9\"=\"1\"\r\n", -1, kRegFileAnsi, "unknown header 'regedit4'"},
        // blanks before the header too, as Windows' regedit takes them
        {"  REGEDIT4" + body, kRegFileVersion4, kRegFileAnsi, ""},
        {"\tREGEDIT4" + body, kRegFileVersion4, kRegFileAnsi, ""},
        {" \t" + kV5 + body, kRegFileVersion5, kRegFileUtf8, ""},
        {Utf16File("\t" + kV5 + body), kRegFileVersion5, kRegFileUtf16, ""},
        {" regedit4\r\n\"\xE9\"\r\n", -1, kRegFileAnsi, "unknown header ' regedit4'"},
        {"   ", -1, kRegFileAnsi, "unknown header '   '"},
        {"\r\nREGEDIT4" + body, -1, kRegFileAnsi, "unknown header ''"},
        {"REGEDIT5\x01\r\n", -1, kRegFileAnsi, "unknown header 'REGEDIT5\\x01'"},
        {"\xFE\xFFxx", -1, kRegFileAnsi, "big-endian"},
        {"Jos\xE9\r\n", -1, kRegFileAnsi, "unknown header 'Jos?'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        RegDocument doc;
        std::string error;
        bool ok = RegDocumentRead(c.content, "t.reg", false, &doc, &error);
        EXPECT_EQ(ok, c.version >= 0) << error;
        if (ok) {
            EXPECT_EQ(int(doc.format.version), c.version);
            EXPECT_EQ(doc.format.encoding, c.encoding);
            EXPECT_TRUE(doc.skipped.empty()) << Skipped(doc);
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            EXPECT_NE(error.find("not a registry export"), std::string::npos) << error;
        }
    }
}

// Entries name the lines that spell them; deletions apply in file order,
// deleting a key leaves a sibling whose name only begins the same, and a
// section below a deleted key makes that key anew.
TEST(RegDocumentLoad, EntriesAndDeletions) {
    RegTree tree;
    RegDocument doc = Load("REGEDIT4\r\n"                       // 1
                           "[HKEY_LOCAL_MACHINE\\A\\BC]\r\n"    // 2
                           "\"v\"=hex:01,\\\r\n"                // 3
                           "\r\n"                               // 4
                           "  02\r\n"                           // 5
                           "[HKEY_LOCAL_MACHINE\\A\\B\\C]\r\n"  // 6
                           "\"v\"=\"1\"\r\n"                    // 7
                           "[-HKEY_LOCAL_MACHINE\\A\\B]\r\n"    // 8
                           "[HKEY_LOCAL_MACHINE\\A\\B\\D]\r\n"  // 9
                           "[HKEY_LOCAL_MACHINE\\A]\r\n"        // 10
                           "\"gone\"=\"1\"\r\n"                 // 11
                           "\"gone\"=-\r\n",                    // 12
                           tree);
    struct Expected {
        uint32_t firstLine, lineCount, keyEntry;
        RegEntryKind kind;
    } expected[] = {
        {2, 1, 0, kRegEntryKey},
        {3, 3, 0, kRegEntryValue},
        {6, 1, 2, kRegEntryKey},
        {7, 1, 2, kRegEntryValue},
        {8, 1, 4, kRegEntryKeyDeletion},
        {9, 1, 5, kRegEntryKey},
        {10, 1, 6, kRegEntryKey},
        {11, 1, 6, kRegEntryValue},
        {12, 1, 6, kRegEntryValueDeletion},
    };
    ASSERT_EQ(doc.entries.size(), sizeof(expected) / sizeof(expected[0]));
    for (size_t i = 0; i < doc.entries.size(); ++i) {
        SCOPED_TRACE(i);
        uint32_t firstLine = 0, lineCount = 0;
        RegEntryLines(doc, i, &firstLine, &lineCount);
        EXPECT_EQ(firstLine, expected[i].firstLine);
        EXPECT_EQ(lineCount, expected[i].lineCount);
        EXPECT_EQ(doc.entries[i].keyEntry, expected[i].keyEntry);
        EXPECT_EQ(doc.entries[i].kind, expected[i].kind);
    }
    EXPECT_NE(RegTreeGetValue(tree, u"HKEY_LOCAL_MACHINE\\A\\BC", u"v"), nullptr);
    EXPECT_EQ(RegTreeFindKey(tree, u"HKEY_LOCAL_MACHINE\\A\\B\\C"), nullptr);
    EXPECT_NE(RegTreeFindKey(tree, u"HKEY_LOCAL_MACHINE\\A\\B\\D"), nullptr);
    EXPECT_EQ(ValueOfA(tree, u"gone"), "absent");
}

// A repair changes only the data where the value's old form can hold the
// new data (a quoted string, or hex of the same type), byte for byte, in
// every way regedit reads a value; elsewhere the value's line is written
// anew, its indent and name as they were.
// A driver key's names hashed from a value's UTF-16LE bytes below a kept
// prefix mark the set as the key's section does: four characters a step
// where they are plain ASCII, one at a time elsewhere, folded at the edges
// of 'a'-'z' and outside ASCII.
TEST(RegKeySet, NamesBelowAPrefixMarkAsTheKeysSection) {
    const RegKeyPrefix machine = RegKeyPrefixOf(u"HKEY_LOCAL_MACHINE");
    const char16_t* const rows[] = {u"P",
                                    u"Drivers\\Ports\\P0",
                                    u"drivers\\BLUETOOTHserial\\port",
                                    u"abcdefgh\\ijkl",
                                    u"@`{\\AZaz",
                                    u"caf\u00e9 \u00ff\\\u0100xyz"};
    for (size_t row = 0; row < sizeof rows / sizeof rows[0]; ++row) {
        SCOPED_TRACE(row);
        const std::u16string names(rows[row]);
        std::string bytes, file = Utf16File(kV5 + "[HKEY_LOCAL_MACHINE\\");
        for (char16_t c : names) Utf16LeAppend(&bytes, c);
        file += bytes + Utf16File("]\r\n").substr(2);
        RegDocument doc;
        ASSERT_TRUE(
            RegDocumentReadSections(file, "f.reg", true, false, nullptr, nullptr, &doc, nullptr));
        ASSERT_EQ(doc.sections.size(), 1u);
        RegKeySet below, section;
        RegKeySetAddSection(section, doc.sections[0]);
        EXPECT_TRUE(RegKeySetAddUncoveredBelow(
            below, machine, reinterpret_cast<const uint8_t*>(bytes.data()), names.size()));
        EXPECT_EQ(below.slots, section.slots);
    }
}

// Paths that differ only in the case of letters outside ASCII are one
// key, wherever the letter stands among a name's runs of four characters:
// by their path and by their names below a prefix.
TEST(RegKeySet, CaseOutsideAsciiIsOneKey) {
    const RegKeyPrefix machine = RegKeyPrefixOf(u"HKEY_LOCAL_MACHINE");
    const char16_t* const rows[][2] = {
        {u"caf\u00e9\\x", u"CAF\u00c9\\X"},
        {u"\u00e9tat", u"\u00c9TAT"},
        {u"ab\u00ffcdefg\\h", u"AB\u0178CDEFG\\H"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        SCOPED_TRACE(i);
        const std::u16string lower(rows[i][0]), upper(rows[i][1]);
        uint32_t key[2], parent[2];
        RegKeyHashes(u"HKEY_LOCAL_MACHINE\\" + lower, &key[0], &parent[0]);
        RegKeyHashes(u"HKEY_LOCAL_MACHINE\\" + upper, &key[1], &parent[1]);
        EXPECT_EQ(key[0], key[1]);
        EXPECT_EQ(parent[0], parent[1]);
        std::string bytes;
        for (char16_t c : lower) Utf16LeAppend(&bytes, c);
        RegKeySet below, path;
        RegKeySetAdd(path, u"HKEY_LOCAL_MACHINE\\" + upper);
        RegKeySetAddUncoveredBelow(below, machine, reinterpret_cast<const uint8_t*>(bytes.data()),
                                   lower.size());
        EXPECT_EQ(below.slots, path.slots);
    }
}

// Key lines one after another, 8-bit and UTF-16: each section keeps the
// hashes of its own path, whatever the line before shares with it (up to
// a backslash, up to a letter in place of one, up to a trailing one, or
// what a line before it shares) and whether that line was read in full (a
// letter outside ASCII) or deleted.
TEST(RegDocumentReadSections, KeyHashesFromLineToLine) {
    const struct {
        const char* line;
        const char16_t* path;  // null: no key's section
    } rows[] = {
        {"[HKEY_LOCAL_MACHINE\\Drivers\\Active\\12]", u"HKEY_LOCAL_MACHINE\\Drivers\\Active\\12"},
        {"[HKEY_LOCAL_MACHINE\\Drivers\\Ports\\P12]", u"HKEY_LOCAL_MACHINE\\Drivers\\Ports\\P12"},
        {"[HKEY_CURRENT_USER\\Other]", u"HKEY_CURRENT_USER\\Other"},
        {"[HKEY_LOCAL_MACHINE\\Drivers\\Ports\\P13]", u"HKEY_LOCAL_MACHINE\\Drivers\\Ports\\P13"},
        {"[HKEY_LOCAL_MACHINE\\DriversX\\A]", u"HKEY_LOCAL_MACHINE\\DriversX\\A"},
        {"[HKEY_LOCAL_MACHINE\\DriversX\\]", u"HKEY_LOCAL_MACHINE\\DriversX"},
        {"[HKEY_LOCAL_MACHINE\\DriversX\\Caf\xE9\\B]",
         u"HKEY_LOCAL_MACHINE\\DriversX\\Caf\u00e9\\B"},
        {"[HKEY_LOCAL_MACHINE\\DriversX\\Caf]", u"HKEY_LOCAL_MACHINE\\DriversX\\Caf"},
        {"[-HKEY_LOCAL_MACHINE\\DriversX\\Caf]", nullptr},
        {"[hkey_local_machine\\DriversX\\Caf\\C]", u"HKEY_LOCAL_MACHINE\\DriversX\\Caf\\C"},
        {"[HKEY_LOCAL_MACHINE]", u"HKEY_LOCAL_MACHINE"},
    };
    std::string lines;
    for (const auto& row : rows) lines += std::string(row.line) + "\r\n";
    for (const std::string& file : {"REGEDIT4\r\n" + lines, Utf16File(kV5 + lines)}) {
        RegDocument doc;
        ASSERT_TRUE(
            RegDocumentReadSections(file, "f.reg", true, false, nullptr, nullptr, &doc, nullptr));
        ASSERT_EQ(doc.sections.size(), sizeof rows / sizeof rows[0]);
        for (size_t i = 0; i < doc.sections.size(); ++i) {
            SCOPED_TRACE(rows[i].line);
            uint32_t key = 0, parent = 0;
            if (rows[i].path) RegKeyHashes(rows[i].path, &key, &parent);
            EXPECT_EQ(doc.sections[i].kind, rows[i].path ? kRegSectionKey : kRegSectionDeletion);
            EXPECT_EQ(doc.sections[i].key, key);
            EXPECT_EQ(doc.sections[i].parent, parent);
        }
    }
    // In UTF-16, U+015C shares its low byte with a backslash.
    std::string wide = Utf16File(kV5 + "[HKEY_LOCAL_MACHINE\\A\\B]\r\n");
    for (char16_t c : std::u16string(u"[HKEY_LOCAL_MACHINE\\A\u015cB]\r\n"))
        Utf16LeAppend(&wide, c);
    RegDocument doc;
    ASSERT_TRUE(
        RegDocumentReadSections(wide, "f.reg", true, false, nullptr, nullptr, &doc, nullptr));
    ASSERT_EQ(doc.sections.size(), 2u);
    uint32_t key, parent;
    RegKeyHashes(u"HKEY_LOCAL_MACHINE\\A\u015cB", &key, &parent);
    EXPECT_EQ(doc.sections[1].key, key);
    EXPECT_EQ(doc.sections[1].parent, parent);
}

// A tree built beside the reading, from the statements it hands over (key
// lines made below the parents met last, text values set from their
// lines), is the tree of the full load, in each encoding: keys below roots
// of one length, a parent spelled in another case, names of one length
// below other parents, a key and a value made twice, a deletion between
// (after which the parents met before are made again, or others).
TEST(RegDocumentReadSections, TreeBuiltBesideIsTheFullLoad) {
    const std::string text =
        "[HKEY_CURRENT_USER\\P\\a]\r\n\"n\"=\"1\"\r\n"
        "[HKEY_CLASSES_ROOT\\P\\b]\r\n\"n\"=\"2\"\r\n"
        "[HKEY_CURRENT_USER\\P\\c]\r\n\"n\"=\"3\"\r\n\"N\"=\"33\"\r\n"
        "[HKEY_CURRENT_USER\\p\\d]\r\n\"n\"=\"4\"\r\n"
        "[HKEY_CURRENT_USER\\Q\\e]\r\n\"n\"=\"5\"\r\n"
        "[HKEY_CURRENT_USER\\P\\a]\r\n\"N\"=\"a longer one\"\r\n\"m\"=\"\\\\x\"\r\n"
        "[-HKEY_CURRENT_USER\\P]\r\n"
        "[HKEY_CURRENT_USER\\S\\f]\r\n\"n\"=\"6\"\r\n"
        "[HKEY_CURRENT_USER\\P\\f]\r\n\"n\"=\"9\"\r\n"
        "[HKEY_CURRENT_USER\\P\\f\\g]\r\n\"n\"=\"7\"\r\n"
        "[HKEY_CURRENT_USER]\r\n\"n\"=\"8\"\r\n"
        "[HKEY_CURRENT_USER\\R]\r\n\"n\"=\"caf\xE9\"\r\n\"m\"=dword:1\r\n\"n\"=-\r\n";
    RegReadBeside beside;
    beside.start = [](void (*work)(void*), void* arg) -> void* {
        return new std::thread(work, arg);
    };
    beside.wait = [](void* thread) {
        static_cast<std::thread*>(thread)->join();
        delete static_cast<std::thread*>(thread);
    };
    beside.minBytes = 0;
    beside.batchBytes = 64;
    for (const std::string& content : {"REGEDIT4\r\n" + text, kV5 + text, Utf16File(kV5 + text)}) {
        SCOPED_TRACE(content);
        RegTree full, built;
        RegDocument doc;
        std::string error;
        ASSERT_TRUE(RegDocumentReadAndLoad(content, "f.reg", false, full, &doc, &error));
        RegKeySet all;
        all.all = true;
        all.values = {u"n", u"m"};
        ASSERT_TRUE(RegDocumentReadSections(content, "f.reg", false, false, &all, &built, &doc,
                                            &error, nullptr, &beside));
        EXPECT_EQ(TakeRegSnapshot(built), TakeRegSnapshot(full));
    }
}

// A text value set from its line, in each encoding, leaves in the key what
// the statement read from that line leaves there: names and texts with
// escapes, the default value, blanks and a comment, a name set again in
// another case; a line it does not take (characters a byte cannot keep,
// other data) is left to that reading, the key untouched.
TEST(RegQuickLine, TextValuesSetFromTheirLines) {
    struct Case {
        const char* line;
        bool fromLine8, fromLine16;  // taken in the 8-bit files, in UTF-16
    } cases[] = {
        {"\"Dll\"=\"serial.dll\"", true, true},
        {"\"Key\"=\"Drivers\\\\Ports\\\\P0\"", true, true},
        {"\"n\\\\x\\\"y\"=\"\\\\a\\\"b\\nc\\rd\\qe\" ; note", true, true},
        {"@ = \"x\"  ", true, true},
        {"\"name\"=\"\"", true, true},
        {"\"n\"=\"caf\xE9\"", false, true},
        {"\"\x80\"=\"x\"", false, true},
        {"\"n\"=\"\x80\"", false, true},
        {"\"n\"=dword:1", false, false},
        {"\"n\"=\"a\" b", false, false},
    };
    using Values = std::vector<std::tuple<std::u16string, uint32_t, std::vector<uint8_t>>>;
    auto valuesOf = [](const TreeKey& key) {
        Values values;
        for (const TreeValue* v : TreeKeyValues(key))
            values.emplace_back(TreeValueName(*v), TreeValueType(*v), TreeValueBytes(*v));
        std::sort(values.begin(), values.end());
        return values;
    };
    const std::u16string a = u"HKEY_LOCAL_MACHINE\\A";
    for (const Case& c : cases)
        for (int spelling = 0; spelling < 3; ++spelling) {
            SCOPED_TRACE(std::string(c.line) + " in spelling " + std::to_string(spelling));
            const std::string text =
                "[HKEY_LOCAL_MACHINE\\A]\r\n\"Name\"=\"first\"\r\n" + std::string(c.line) + "\r\n";
            std::string content = spelling == 0   ? "REGEDIT4\r\n" + text
                                  : spelling == 1 ? kV5 + text
                                                  : Utf16File(kV5 + text);
            const size_t unit = spelling == 2 ? 2 : 1;
            const size_t start = content.size() - unit * (strlen(c.line) + 2);
            RegDocument doc;
            std::string error;
            ASSERT_TRUE(RegDocumentRead(content, "f.reg", false, &doc, &error));
            RegTree fromLine, read;
            RegTreeSetString(fromLine, a, u"Name", u"first");
            RegTreeSetString(read, a, u"Name", u"first");
            const Values before = valuesOf(*RegTreeFindKey(fromLine, a));
            std::vector<uint8_t> room;
            const bool taken = QuickSetText(doc, start, *RegTreeFindKey(fromLine, a), &room);
            EXPECT_EQ(taken, spelling == 2 ? c.fromLine16 : c.fromLine8);
            LineFinder lines{doc};
            Statement st;
            Statement::Kind kind;
            uint32_t count;
            size_t next;
            if (QuickStatement(doc, lines, start, &kind, &count, &next, nullptr, &st) &&
                kind == Statement::kValue)
                TreeKeySetValue(*RegTreeFindKey(read, a), st.name.data(), st.name.size(), st.type,
                                st.data.data(), st.data.size());
            EXPECT_EQ(valuesOf(*RegTreeFindKey(fromLine, a)),
                      taken ? valuesOf(*RegTreeFindKey(read, a)) : before);
        }
}

TEST(RegDocumentRepaired, OnlyTheDataChanges) {
    const std::string a4 = "REGEDIT4\r\n\r\n; keep me\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";
    const std::string a5 = kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\n";
    struct Case {
        std::string content, expected;
        std::u16string name = u"Dll";
        uint32_t type = kRegTypeString;
        std::u16string text = u"BTCEIF.DLL";
    } cases[] = {
        // spacing, a comment after the value, other values, escapes and the
        // name's letter case stay as they are
        {a4 + "\"Dll\" = \"OBBTDEV.DLL\"   ; from the installer\r\n",
         a4 + "\"Dll\" = \"BTCEIF.DLL\"   ; from the installer\r\n"},
        {a4 + "\"x\"=\"l1\\nl2\"\r\n \t\"DLL\"\t=  \"O\\\"B\\\\\" ; \"old\"\r\n\"y\"=hex:01,\\\r\n "
              "02\r\n",
         a4 + "\"x\"=\"l1\\nl2\"\r\n \t\"DLL\"\t=  \"BTCEIF.DLL\" ; \"old\"\r\n\"y\"=hex:01,\\\r\n "
              "02\r\n"},
        {a4 + "\"D\\ll\"=\"\"\r\n", a4 + "\"D\\ll\"=\"a\\\"b\\\\\"\r\n", u"Dll", 1, u"a\"b\\"},
        // hex(1) continued over lines with blank and comment lines between:
        // one byte less, dropped from the end; more bytes, added after the last
        {a4 + "\"Dll\"=hex(1):4F,42,\\\r\n\r\n; note\r\n  42,54, 44,45,56,2e,44,4c,4c,00 ; end\r\n"
              "\"z\"=\"1\"\r\n",
         a4 + "\"Dll\"=hex(1):42,54,\\\r\n\r\n; note\r\n  43,45, 49,46,2e,44,4c,4c,00 ; end\r\n"
              "\"z\"=\"1\"\r\n"},
        {a4 + "\"Dll\"= hex(1):4,\\\r\n  0 ;short\r\n",
         a4 + "\"Dll\"= hex(1):42,\\\r\n  54,43,45,49,46,2e,44,4c,4c,00 ;short\r\n"},
        // hex(2) in UTF-16 stays hex(2), LF and CR line ends, no last line end
        {Utf16File(a5 + "\"Dll\"=hex(2):41,00,\\\n  00,00\r@=\"x\""),
         Utf16File(a5 + "\"Dll\"=hex(2):42,00,\\\n  54,00,43,00,45,00,49,00,46,00,2e,00,44,00,4c,"
                        "00,4c,00,00,00\r@=\"x\""),
         u"Dll", kRegTypeExpandString},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"Dll\"=hex(2):41,42,43,00",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"Dll\"=hex(2):78,00", u"Dll", kRegTypeExpandString,
         u"x"},
        // UTF-8 with a name and data outside ASCII; U+0142 differs from 'B'
        // only in its high byte
        {a5 + "\"Dll\"=\"\xC5\x82TCEIF.DLL\"\r\n", a5 + "\"Dll\"=\"BTCEIF.DLL\"\r\n"},
        {kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\"D\xC3\xA9\" = \"\xC5\x82TCEIF\" ;\xC3\xA9\r",
         kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\"D\xC3\xA9\" = \"BTCEIF.DLL\" ;\xC3\xA9\r", u"D\u00e9"},
        // the old form cannot hold it: another type, no hex byte, no quoted
        // text for a line break; written anew
        {a4 + "  \"dll\" = hex(2):41,00 ; c\r\n", a4 + "  \"dll\"=\"BTCEIF.DLL\"\r\n"},
        {a4 + "\"Dll\"=dword:1\r\n", a4 + "\"Dll\"=\"BTCEIF.DLL\"\r\n"},
        {a4 + "\"Dll\"=hex(1):\r\n", a4 + "\"Dll\"=\"BTCEIF.DLL\"\r\n"},
        {a4 + "\"Dll\"=\"x\" ; c\r\n", a4 + "\"Dll\"=hex(1):61,0a,00\r\n", u"Dll", 1, u"a\n"},
        // spelled twice: the later spelling counts and is the one replaced
        {a4 + "\"Dll\"=\"OBBTDEV.DLL\"\r\n\"Dll\"=\"---BTCEIF.DLL\"\r\n",
         a4 + "\"Dll\"=\"OBBTDEV.DLL\"\r\n\"Dll\"=\"BTCEIF.DLL\"\r\n"},
        // a spelling undone by a later deletion of its key is not the one
        {a4 + "\"Dll\"=\"x\"\r\n[-HKEY_LOCAL_MACHINE\\A]\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"="
              "\"y\"",
         a4 + "\"Dll\"=\"x\"\r\n[-HKEY_LOCAL_MACHINE\\A]\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
              "\"Dll\"=\"BTCEIF.DLL\""},
        // deleting A\B does not undo the spelling in its sibling A\BC
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\BC]\n\"Dll\"=\"x\"\n[-HKEY_LOCAL_MACHINE\\A\\B]\n",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\BC]\n\"Dll\"=\"BTCEIF.DLL\"\n[-HKEY_LOCAL_"
         "MACHINE\\A\\B]\n"},
        // CR-only line ends, skipped lines kept as they were
        {"REGEDIT4\r[HKEY_LOCAL_MACHINE\\A]\r\"bad\r@=\"x\"\r\"Dll\"=\"x\"\r",
         "REGEDIT4\r[HKEY_LOCAL_MACHINE\\A]\r\"bad\r@=\"x\"\r\"Dll\"=\"BTCEIF.DLL\"\r"},
        {Utf16File(a5 + "\"Dll\"=\"x\"\r\n"), Utf16File(a5 + "\"Dll\"=\"BTCEIF.DLL\"\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        RegTree tree;
        RegDocument doc = Load(c.content, tree);
        std::vector<uint8_t> bytes;
        for (char16_t ch : c.text + u'\0') Utf16LeAppend(&bytes, ch);
        for (const auto& key : {u"HKEY_LOCAL_MACHINE\\A", u"HKEY_LOCAL_MACHINE\\A\\BC"})
            if (RegTreeGetValue(tree, key, c.name))
                RegTreeSetValue(tree, key, c.name, c.type, bytes);
        std::string content, error;
        ASSERT_TRUE(RegDocumentRepaired(doc, tree, &content, &error)) << error;
        EXPECT_EQ(content, c.expected);
        // Nothing changed: the very same bytes.
        RegDocument again = Load(c.expected, tree);
        ASSERT_TRUE(RegDocumentRepaired(again, tree, &content, &error)) << error;
        EXPECT_EQ(content, c.expected);
    }
}

// New data too long for one line is continued with the file's own line end,
// or CR LF where the value's line has none.
TEST(RegDocumentRepaired, LongDataKeepsTheLineEnds) {
    struct Case {
        std::string content, expected;
    } cases[] = {
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"Blob\"=hex:01\n", ",\\\n  07,"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Blob\"=hex:01", ",\\\r\n  07,"},  // no line end
        // UTF-16, the last line followed by a lone byte that is no line end
        {Utf16File(kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\n\"Blob\"=hex:01") + "x",
         Utf16File(",\\\r\n  07,").substr(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        RegTree tree;
        RegDocument doc = Load(c.content, tree);
        RegTreeSetValue(tree, u"HKEY_LOCAL_MACHINE\\A", u"Blob", kRegTypeBinary,
                        std::vector<uint8_t>(40, 7));
        std::string content, error;
        ASSERT_TRUE(RegDocumentRepaired(doc, tree, &content, &error)) << error;
        EXPECT_NE(content.find(c.expected), std::string::npos) << content;
        if (c.content.find('\r') == std::string::npos) {
            EXPECT_EQ(content.find('\r'), std::string::npos) << content;
        }
    }
}

// How one value is spelled in each format, and what no format spells.
TEST(RegFileSpellValue, Forms) {
    const RegFileFormat v4{kRegFileVersion4, kRegFileAnsi}, v5{kRegFileVersion5, kRegFileUtf16};
    std::vector<uint8_t> long24(24, 0xab);
    struct Case {
        RegFileFormat format;
        uint32_t type;
        std::vector<uint8_t> bytes;
        const char* expected;  // "" when there is no spelling
    } cases[] = {
        {v4, 1, {'a', 0, '"', 0, '\\', 0, 0, 0}, "\"n\"=\"a\\\"\\\\\""},
        {v5,
         1,
         {'a', 0, 0, 0, 'b', 0, 0, 0},
         "\"n\"=hex(1):61,00,00,00,62,00,00,00"},                            // inner zero
        {v5, 1, {'a', 0, '\n', 0, 0, 0}, "\"n\"=hex(1):61,00,0a,00,00,00"},  // line break
        {v5, 1, {'a', 0}, ""},                                  // unterminated: read back longer
        {v5, 1, {0x2d, 0x4e, 0, 0}, "\"n\"=\"\xe4\xb8\xad\""},  // U+4E2D, UTF-16 side
        {v4, 1, {0x2d, 0x4e, 0, 0}, ""},                        // no byte in Windows-1252
        {v4, 1, {'a', 0, 0, 0, 'b', 0, 0, 0}, "\"n\"=hex(1):61,00,62,00"},  // 8-bit text
        {v4, 2, {0xac, 0x20, 0, 0}, "\"n\"=hex(2):80,00"},
        {v4, 4, {1, 2, 3, 4}, "\"n\"=dword:04030201"},
        {v4, 4, {1, 2}, "\"n\"=hex(4):01,02"},
        {v4, 3, long24,
         "\"n\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,"
         "ab,\\\n  ab,ab"},
        {v5, 1, {'a', 0, '\r', 0, 0, 0}, "\"n\"=hex(1):61,00,0d,00,00,00"},  // a CR inside
    };
    cases[10].bytes.push_back(0xab);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        std::u16string line;
        bool ok = RegFileSpellValue(c.format, u"\"n\"", c.type, c.bytes.data(), c.bytes.size(),
                                    u"\n", &line);
        EXPECT_EQ(ok, *c.expected != 0);
        if (!ok) continue;
        std::string utf8;
        for (char16_t ch : line) {
            if (ch < 0x80)
                utf8 += char(ch);
            else
                utf8 += "\xe4\xb8\xad";  // the one non-ASCII character above
        }
        EXPECT_EQ(utf8, c.expected);
        // What is spelled reads back to the same type and bytes.
        std::u16string file =
            (c.format.version == kRegFileVersion4 ? u"REGEDIT4"
                                                  : u"Windows Registry Editor Version 5.00") +
            std::u16string(u"\n[HKEY_LOCAL_MACHINE\\A]\n") + line + u"\n";
        std::string bytes = c.format.encoding == kRegFileUtf16 ? "\xFF\xFE" : "";
        for (char16_t ch : file) {
            if (c.format.encoding == kRegFileUtf16)
                Utf16LeAppend(&bytes, ch);
            else
                bytes += char(ch);
        }
        RegTree tree;
        Load(bytes, tree);
        EXPECT_EQ(ValueOfA(tree, u"n"),
                  std::to_string(c.type) + ": " + Hex(c.bytes.data(), c.bytes.size()));
    }
}

// The fix file: the header, then for each repaired value a comment, its key
// and its line as the repaired file spells it, in the file's own encoding
// and line ends. Imported after the original it gives the repaired
// registry; read alone it holds the repaired values and nothing else.
TEST(RegFixFile, OnlyTheRepairInTheFilesOwnForm) {
    const std::string a4 = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";
    const std::string fix4 = "REGEDIT4\r\n\r\n; c0\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";
    struct Case {
        std::string content, expected;
    } cases[] = {
        // the value's lines as the repaired file has them: a string's data
        // alone changed, a hex(2) written anew as the string the repair sets;
        // the key line names the path as regedit reads it
        {a4 + "  \"DLL\" = \"OBBTDEV.DLL\" ; old\r\n\"x\"=\"1\"\r\n[hkey_local_machine\\B\\]\r\n"
              "\"Dll\"=hex(2):4f,42,00\r\n",
         fix4 + "  \"DLL\" = \"BTCEIF.DLL\" ; old\r\n\r\n; c1\r\n[HKEY_LOCAL_MACHINE\\B]\r\n"
                "\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n"},
        // a key deleted and written again: the section that counts
        {a4 + "\"Dll\"=\"x\"\r\n[-HKEY_LOCAL_MACHINE\\A]\r\n[HKEY_LOCAL_MACHINE\\a]\r\n\"Dll\"="
              "\"y\"",
         "REGEDIT4\r\n\r\n; c0\r\n[HKEY_LOCAL_MACHINE\\a]\r\n\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n"},
        // the header line's line end; UTF-8 without and with byte-order mark
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"x\"\r\n",
         "REGEDIT4\n\n; c0\n[HKEY_LOCAL_MACHINE\\A]\n\"Dll\"=\"BTCEIF.DLL\"\n\n"},
        {kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\"Dll\"=\"x\"\r",
         kV5 + "\r\n; c0\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n"},
        {"\xEF\xBB\xBF" + kV5 + "\r[HKEY_LOCAL_MACHINE\\\xC3\xA9]\r\"Dll\"=\"x\"",
         "\xEF\xBB\xBF" + kV5 +
             "\r\n; c0\r\n[HKEY_LOCAL_MACHINE\\\xC3\xA9]\r\n\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n"},
        {Utf16File("REGEDIT4\r[HKEY_LOCAL_MACHINE\\A]\r\"Dll\"=\"x\"\r"),
         Utf16File("REGEDIT4\r\r; c0\r[HKEY_LOCAL_MACHINE\\A]\r\"Dll\"=\"BTCEIF.DLL\"\r\r")},
        {Utf16File(kV5 + "[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"x\"\r\n"),
         Utf16File(kV5 + "\r\n; c0\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"BTCEIF.DLL\"\r\n\r\n")},
        // nothing repaired: the header alone
        {a4 + "\"Other\"=\"x\"\r\n", "REGEDIT4\r\n\r\n"},
    };
    const std::vector<std::u16string> keys = {u"HKEY_LOCAL_MACHINE\\A", u"HKEY_LOCAL_MACHINE\\B",
                                              u"HKEY_LOCAL_MACHINE\\\u00e9"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        RegTree repaired;
        RegDocument doc = Load(c.content, repaired);
        for (const auto& key : keys)
            if (RegTreeGetValue(repaired, key, u"Dll"))
                RegTreeSetString(repaired, key, u"Dll", u"BTCEIF.DLL");
        std::vector<RegEdit> edits;
        std::string fix, error;
        ASSERT_TRUE(RegDocumentEdits(doc, repaired, &edits, &error)) << error;
        ASSERT_TRUE(RegFixFile(doc, edits, {u"c0", u"c1"}, &fix, &error)) << error;
        EXPECT_EQ(fix, c.expected);

        RegTree viaFix, fixAlone;
        Load(c.content, viaFix);
        RegDocumentLoad(Load(fix, fixAlone), viaFix);
        EXPECT_EQ(TakeRegSnapshot(viaFix), TakeRegSnapshot(repaired));
        // The fix file alone holds the repaired values and no other value.
        RegSnapshot values, expected;
        for (const auto& entry : TakeRegSnapshot(fixAlone))
            if (entry.first.find('|') != std::string::npos) values.insert(entry);
        for (const auto& entry : TakeRegSnapshot(repaired))
            if (entry.second.rfind("1|420054004300", 0) == 0) expected.insert(entry);
        EXPECT_EQ(values, expected);
    }
    // A comment never breaks its line.
    RegTree tree;
    RegDocument doc = Load(a4 + "\"Dll\"=\"x\"\r\n", tree);
    std::string fix, error;
    RegTreeSetString(tree, keys[0], u"Dll", u"BTCEIF.DLL");
    std::vector<RegEdit> edits;
    ASSERT_TRUE(RegDocumentEdits(doc, tree, &edits, &error));
    EXPECT_FALSE(RegFixFile(doc, edits, {u"a\r\n[HKEY_LOCAL_MACHINE\\X]"}, &fix, &error));
}
