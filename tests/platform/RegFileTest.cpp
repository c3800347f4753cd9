#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/RegFile.h"

namespace {

const char* const kLM = "HKEY_LOCAL_MACHINE";

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Utf16File(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list) v.push_back(uint8_t(b));
    return v;
}

std::vector<uint8_t> Text16(const std::u16string& text) {
    std::vector<uint8_t> v;
    for (char16_t c : text) {
        v.push_back(uint8_t(c & 0xFF));
        v.push_back(uint8_t(c >> 8));
    }
    return v;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (uint8_t x : bytes) {
        snprintf(b, sizeof(b), "%02x ", x);
        s += b;
    }
    return s;
}

// The whole tree as text: every key in creation order with its values.
void DumpKey(const MemKey& key, const std::string& path, std::string* out) {
    for (const auto& child : key.children) {
        std::string p = path + (path.empty() ? "" : "\\");
        for (char16_t c : child->name) p += c < 0x80 ? char(c) : '?';
        *out += "[" + p + "]\n";
        for (const auto& v : child->values) {
            std::string n;
            for (char16_t c : v.name) n += c < 0x80 ? char(c) : '?';
            *out += "  " + n + " type " + std::to_string(v.type) + ": " + Hex(v.bytes) + "\n";
        }
        for (const auto& d : child->deletedValues)
            *out += "  -" + std::string(d.begin(), d.end()) + "\n";
        DumpKey(*child, p, out);
    }
}

std::string Dump() {
    std::string out;
    DumpKey(MemRegTop(), "", &out);
    return out;
}

bool Read(const std::string& content, RegFileFormat* format = nullptr,
          std::string* error = nullptr) {
    std::string ignored;
    return RegFileRead(content, "test.reg", format, error ? error : &ignored);
}

// HKLM\k\k... with depth levels below the root.
std::string DeepKey(int depth) {
    std::string path = "HKLM";
    for (int i = 0; i < depth; ++i) path += "\\k";
    return path;
}

const MemValue* Value(const char* key, const char* name) {
    return MemRegGetValue(U(std::string(kLM) + "\\" + key), U(name));
}

// Every value form once, in a version 5 file.
const char kAllForms[] = "Windows Registry Editor Version 5.00\r\n"
                         "\r\n"
                         "; a comment\r\n"
                         "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n"
                         "\"Dll\"=\"OBBTDEV.DLL\"\r\n"
                         "@=\"default\"\r\n"
                         "\"Path\"=\"C:\\\\Mis mapas\\\\ \\\"GPS\\\"\"\r\n"
                         "\"Empty\"=\"\"\r\n"
                         "\"Index\"=dword:00000005\r\n"
                         "\"Short\"=dword:ff\r\n"
                         "\"Blob\"=hex:01,02,ab,CD\r\n"
                         "\"NoBytes\"=hex:\r\n"
                         "\"None\"=hex(0):\r\n"
                         "\"Expand\"=hex(2):41,00,00,00\r\n"
                         "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                         "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                         "\"Spaced\" = \"x\"   ; comment after a value\r\n"
                         "\r\n"
                         "[HKEY_CURRENT_USER\\ControlPanel\\Owner]\r\n"
                         "\"Name\"=\"Owner\"\r\n";

}  // namespace

// Each value form lands in the registry with its type and bytes.
TEST(RegFileRead, EveryValueForm) {
    MemRegClear();
    std::string error;
    ASSERT_TRUE(Read(Utf16File(kAllForms), nullptr, &error)) << error;
    struct Case {
        const char* name;
        uint32_t type;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"Dll", 1, Text16(u"OBBTDEV.DLL" + std::u16string(1, 0))},
        {"", 1, Text16(u"default" + std::u16string(1, 0))},
        {"Path", 1, Text16(u"C:\\Mis mapas\\ \"GPS\"" + std::u16string(1, 0))},
        {"Empty", 1, Bytes({0, 0})},
        {"Index", 4, Bytes({5, 0, 0, 0})},
        {"Short", 4, Bytes({0xff, 0, 0, 0})},
        {"Blob", 3, Bytes({1, 2, 0xab, 0xcd})},
        {"NoBytes", 3, {}},
        {"None", 0, {}},
        {"Expand", 2, Bytes({0x41, 0, 0, 0})},
        {"Multi", 7, Bytes({0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0})},
        {"Qword", 11, Bytes({1, 0, 0, 0, 0, 0, 0, 0})},
        {"Spaced", 1, Text16(u"x" + std::u16string(1, 0))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MemValue* v = Value("Drivers\\BuiltIn\\Serial5", c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(Hex(v->bytes), Hex(c.bytes));
    }
    EXPECT_NE(MemRegGetValue(u"HKEY_CURRENT_USER\\ControlPanel\\Owner", u"Name"), nullptr);
}

// The three encodings of version 5 and the 8-bit REGEDIT4 give the same
// registry, and the format read is reported.
TEST(RegFileRead, DialectsAndEncodings) {
    std::string body = "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Dll\"=\"x\"\r\n";
    struct Case {
        std::string content;
        RegFileVersion version;
        RegFileEncoding encoding;
    } cases[] = {
        {Utf16File("Windows Registry Editor Version 5.00" + body), kRegFileVersion5, kRegFileUtf16},
        {"Windows Registry Editor Version 5.00" + body, kRegFileVersion5, kRegFileUtf8},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00" + body, kRegFileVersion5,
         kRegFileUtf8Bom},
        {"REGEDIT4" + body, kRegFileVersion4, kRegFileAnsi},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"Dll\"=\"x\"\n", kRegFileVersion4, kRegFileAnsi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        MemRegClear();
        RegFileFormat format;
        std::string error;
        ASSERT_TRUE(Read(c.content, &format, &error)) << error;
        EXPECT_EQ(format.version, c.version);
        EXPECT_EQ(format.encoding, c.encoding);
        const MemValue* v = Value("A", "Dll");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(Hex(v->bytes), Hex(Bytes({'x', 0, 0, 0})));
    }
}

// REGEDIT4 text is Windows-1252, and its hex(2)/hex(7) data is 8-bit text
// that the registry keeps as 16-bit text.
TEST(RegFileRead, Regedit4TextIsWindows1252) {
    MemRegClear();
    std::string error;
    ASSERT_TRUE(Read("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
                     "\"Jos\xE9\"=\"\x80 5\"\r\n"
                     "\"Expand\"=hex(2):25,80,00\r\n"
                     "\"Multi\"=hex(7):61,00,e9,00,00\r\n",
                     nullptr, &error))
        << error;
    const MemValue* s = MemRegGetValue(u"HKEY_LOCAL_MACHINE\\A", u"Jos\u00E9");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Hex(s->bytes), Hex(Bytes({0xAC, 0x20, ' ', 0, '5', 0, 0, 0})));
    const MemValue* e = Value("A", "Expand");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Hex(e->bytes), Hex(Bytes({'%', 0, 0xAC, 0x20, 0, 0})));
    const MemValue* m = Value("A", "Multi");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Hex(m->bytes), Hex(Bytes({'a', 0, 0, 0, 0xE9, 0, 0, 0, 0, 0})));
}

// Hex data continues over lines ending in a backslash, with any indent.
TEST(RegFileRead, ContinuationLines) {
    MemRegClear();
    std::string error;
    ASSERT_TRUE(Read("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
                     "\"Blob\"=hex:01,02,\\\r\n"
                     "  03,04,\\\r\n"
                     "\t05 , 06 \\\r\n"
                     "  ,07\r\n"
                     "\"After\"=dword:1\r\n",
                     nullptr, &error))
        << error;
    const MemValue* v = Value("A", "Blob");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Hex(v->bytes), Hex(Bytes({1, 2, 3, 4, 5, 6, 7})));
    EXPECT_NE(Value("A", "After"), nullptr);
}

// Key and value deletions remove what the registry held, a key may come back
// after its deletion, and the deletions are remembered for writing.
TEST(RegFileRead, Deletions) {
    MemRegClear();
    MemRegSetString(u"HKEY_LOCAL_MACHINE\\Old\\Sub", u"x", u"1");
    MemRegSetString(u"HKEY_LOCAL_MACHINE\\Keep", u"Gone", u"1");
    MemRegSetString(u"HKEY_LOCAL_MACHINE\\Keep", u"", u"default");
    std::string error;
    ASSERT_TRUE(Read("REGEDIT4\r\n"
                     "[-HKEY_LOCAL_MACHINE\\Old]\r\n"
                     "[HKEY_LOCAL_MACHINE\\Keep]\r\n"
                     "\"Gone\"=-\r\n"
                     "@=-\r\n"
                     "[HKEY_LOCAL_MACHINE\\Again]\r\n"
                     "\"a\"=\"1\"\r\n"
                     "[-HKEY_LOCAL_MACHINE\\Again]\r\n"
                     "[HKEY_LOCAL_MACHINE\\Again]\r\n"
                     "\"b\"=\"2\"\r\n",
                     nullptr, &error))
        << error;
    EXPECT_EQ(MemRegFind(u"HKEY_LOCAL_MACHINE\\Old"), nullptr);
    EXPECT_EQ(Value("Keep", "Gone"), nullptr);
    EXPECT_EQ(Value("Keep", ""), nullptr);
    EXPECT_EQ(Value("Again", "a"), nullptr);
    EXPECT_NE(Value("Again", "b"), nullptr);

    std::string content;
    ASSERT_TRUE(RegFileWrite(RegFileFormat{kRegFileVersion4, kRegFileAnsi}, &content, &error))
        << error;
    EXPECT_EQ(content, "REGEDIT4\r\n\r\n"
                       "[-HKEY_LOCAL_MACHINE\\Old]\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\Keep]\r\n\"Gone\"=-\r\n@=-\r\n\r\n"
                       "[-HKEY_LOCAL_MACHINE\\Again]\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\Again]\r\n\"b\"=\"2\"\r\n\r\n");
}

// Short root names are accepted and kept in their long form.
TEST(RegFileRead, RootNames) {
    MemRegClear();
    std::string error;
    ASSERT_TRUE(Read("REGEDIT4\r\n[HKLM\\A]\r\n[hkey_current_user\\B]\r\n[HKCR\\.reg]\r\n", nullptr,
                     &error))
        << error;
    EXPECT_NE(MemRegFind(u"HKEY_LOCAL_MACHINE\\A"), nullptr);
    EXPECT_NE(MemRegFind(u"HKEY_CURRENT_USER\\B"), nullptr);
    EXPECT_NE(MemRegFind(u"HKEY_CLASSES_ROOT\\.reg"), nullptr);
    // The deepest key Windows allows is still read.
    ASSERT_TRUE(Read("REGEDIT4\r\n[" + DeepKey(512) + "]\r\n", nullptr, &error)) << error;
}

// Bad input names the file, the line and what was expected, and leaves the
// registry exactly as it was.
TEST(RegFileRead, MalformedInput) {
    const std::string h = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";  // lines 1 and 2
    struct Case {
        std::string content;
        int line;
        const char* expected;
    } cases[] = {
        {"", 1, "unknown header"},
        {"REGEDIT5\r\n", 1, "unknown header 'REGEDIT5'"},
        {"\xFE\xFFxx", 1, "big-endian"},
        {"REGEDIT4\r\n\"a\"=\"1\"\r\n", 2, "value outside a key"},
        {"REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"1\"\r\n", 3, "value outside a key"},
        {h + "\"a\"=\"open\r\n", 3, "unterminated string"},
        {h + "\"open=\"1\"\r\n", 3, "expected '='"},
        {h + "\"a\"=\"x\\\"\r\n", 3, "unterminated string"},
        {h + "\"a\"=\"1\" x\r\n", 3, "after the string"},
        {h + "\"a\"=hex:01,0g\r\n", 3, "bad hex digit 'g'"},
        {h + "\"a\"=hex:01,\\\r\n  02,zz\r\n", 4, "bad hex digit 'z'"},
        {h + "\"a\"=hex:123\r\n", 3, "bad hex byte '123'"},
        {h + "\"a\"=hex:01 02\r\n", 3, "expected ','"},
        {h + "\"a\"=hex:,01\r\n", 3, "expected a hex byte"},
        {h + "\"a\"=hex:01,\\", 3, "past the end of the file"},
        {h + "\"a\"=hex(2x):00\r\n", 3, "bad value type"},
        {h + "\"a\"=hex(2)00\r\n", 3, "expected ':'"},
        {h + "\"a\"=dword:123456789\r\n", 3, "bad dword"},
        {h + "\"a\"=dword:\r\n", 3, "bad dword"},
        {h + "\"a\"=dword:12 x\r\n", 3, "after the dword"},
        {h + "\"a\"=word:1\r\n", 3, "expected a string, dword:"},
        {h + "\"a\"=- x\r\n", 3, "after '-'"},
        {h + "[HKEY_LOCAL_MACHINE\\B\r\n", 3, "expected ']'"},
        {h + "[]\r\n", 3, "expected a key name"},
        {h + "[-HKEY_LOCAL_MACHINE\\]\r\n", 3, "cannot delete the root key"},
        {h + "[HKEY_NOWHERE\\B]\r\n", 3, "unknown root key 'HKEY_NOWHERE'"},
        {h + "garbage\r\n", 3, "expected [KEY]"},
        {h + "[" + DeepKey(600) + "]\r\n", 3, "deeper than 512"},
        {"Windows Registry Editor Version 5.00\r\n\r\n\"a\"=\"\xC3\x28\"\r\n", 3, "invalid UTF-8"},
        {std::string("\xFF\xFEW\0x", 5), 1, "odd number of bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        MemRegClear();
        MemRegSetString(u"HKEY_LOCAL_MACHINE\\A", u"a", u"before");
        std::string before = Dump();
        std::string error;
        EXPECT_FALSE(Read(c.content, nullptr, &error));
        std::string where = "test.reg:" + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.compare(0, where.size(), where), 0) << "error: " << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << "error: " << error;
        EXPECT_EQ(Dump(), before);
        EXPECT_TRUE(MemRegSections().empty());
    }
}

// A file read and written again is the same file, in each dialect and
// encoding; reading the written file gives the same registry.
TEST(RegFileWrite, RoundTrip) {
    std::string v4 = "REGEDIT4\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n"
                     "\"Dll\"=\"OBBTDEV.DLL\"\r\n@=\"d\"\r\n\"Q\"=\"a\\\\b \\\"c\\\" \xE9\x80\"\r\n"
                     "\"Index\"=dword:00000005\r\n\"Blob\"=hex:01,02\r\n\"None\"=hex(0):\r\n"
                     "\"Expand\"=hex(2):25,80,00\r\n\"Multi\"=hex(7):61,00,00\r\n\"Gone\"=-\r\n\r\n"
                     "[-HKEY_LOCAL_MACHINE\\Old]\r\n\r\n"
                     "[HKEY_CURRENT_USER\\Empty]\r\n\r\n";
    std::string v5 = "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\A]\r\n"
                     "\"Expand\"=hex(2):25,00,41,00,00,00\r\n\"Odd\"=hex(1):41,00,42\r\n"
                     "\"Short\"=hex(4):01,02\r\n\r\n";
    struct Case {
        std::string content;
        RegFileFormat format;
    } cases[] = {
        {v4, {kRegFileVersion4, kRegFileAnsi}},
        {Utf16File(v5), {kRegFileVersion5, kRegFileUtf16}},
        {v5, {kRegFileVersion5, kRegFileUtf8}},
        {"\xEF\xBB\xBF" + v5, {kRegFileVersion5, kRegFileUtf8Bom}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        MemRegClear();
        RegFileFormat format;
        std::string error, written;
        ASSERT_TRUE(Read(c.content, &format, &error)) << error;
        EXPECT_EQ(format.version, c.format.version);
        EXPECT_EQ(format.encoding, c.format.encoding);
        std::string tree = Dump();
        ASSERT_TRUE(RegFileWrite(format, &written, &error)) << error;
        EXPECT_EQ(written, c.content);
        MemRegClear();
        ASSERT_TRUE(Read(written, nullptr, &error)) << error;
        EXPECT_EQ(Dump(), tree);
    }
}

// The bundled examples survive a round trip with every key, value, type
// and byte, in the dialect they were read in.
TEST(RegFileWrite, ExamplesRoundTrip) {
    for (const char* name : {"examples/damaged-device.reg", "examples/clean-device.reg"}) {
        SCOPED_TRACE(name);
        MemRegClear();
        RegFileFormat format;
        std::string error, written, again;
        ASSERT_TRUE(RegFileLoad(name, &format, &error)) << error;
        std::string tree = Dump();
        EXPECT_GT(tree.size(), 2000u);
        ASSERT_TRUE(RegFileWrite(format, &written, &error)) << error;
        MemRegClear();
        RegFileFormat format2;
        ASSERT_TRUE(Read(written, &format2, &error)) << error;
        EXPECT_EQ(format2.version, format.version);
        EXPECT_EQ(format2.encoding, format.encoding);
        EXPECT_EQ(Dump(), tree);
        ASSERT_TRUE(RegFileWrite(format2, &again, &error)) << error;
        EXPECT_EQ(again, written);
    }
}

// Keys no file named are written after the sections; long binary values
// are wrapped within 80 columns and read back whole.
TEST(RegFileWrite, UnnamedKeysAndLongValues) {
    MemRegClear();
    ASSERT_TRUE(Read("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"1\"\r\n"));
    std::vector<uint8_t> blob;
    for (int i = 0; i < 100; ++i) blob.push_back(uint8_t(i));
    MemRegSetValue(u"HKEY_LOCAL_MACHINE\\New\\Deep", u"Blob", kRegTypeBinary, blob);
    MemRegCreate(u"HKEY_LOCAL_MACHINE\\New\\EmptyLeaf");
    std::string content, error;
    ASSERT_TRUE(RegFileWrite(RegFileFormat{kRegFileVersion4, kRegFileAnsi}, &content, &error));
    size_t a = content.find("[HKEY_LOCAL_MACHINE\\A]");
    size_t deep = content.find("[HKEY_LOCAL_MACHINE\\New\\Deep]");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(deep, std::string::npos);
    EXPECT_LT(a, deep);
    EXPECT_NE(content.find("[HKEY_LOCAL_MACHINE\\New\\EmptyLeaf]"), std::string::npos);
    EXPECT_EQ(content.find("[HKEY_LOCAL_MACHINE\\New]"), std::string::npos) << content;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        EXPECT_LE(end - start, 80u) << content.substr(start, end - start);
        start = end + 2;
    }
    std::string tree = Dump();
    MemRegClear();
    ASSERT_TRUE(Read(content, nullptr, &error)) << error;
    EXPECT_EQ(Dump(), tree);
}

// What REGEDIT4 cannot spell is refused rather than written wrongly; text
// values it cannot spell are kept as raw bytes.
TEST(RegFileWrite, Regedit4Limits) {
    RegFileFormat v4{kRegFileVersion4, kRegFileAnsi};
    struct Case {
        std::u16string name;
        uint32_t type;
        std::vector<uint8_t> bytes;
        bool ok;
        const char* expected;  // in the file, or in the error
    } cases[] = {
        {u"\u4E2D", kRegTypeString, Bytes({'a', 0, 0, 0}), false, "outside Windows-1252"},
        {u"E", kRegTypeExpandString, Bytes({0x2D, 0x4E, 0, 0}), false, "outside Windows-1252"},
        {u"E", kRegTypeExpandString, Bytes({'a', 0, 0}), false, "odd number of bytes"},
        {u"Line\nBreak", kRegTypeString, Bytes({0, 0}), false, "line break"},
        {u"S", kRegTypeString, Bytes({0x2D, 0x4E, 0, 0}), true, "\"S\"=hex(1):2d,4e,00,00"},
        {u"S", kRegTypeString, Bytes({'a', 0, '\n', 0, 0, 0}), true, "\"S\"=hex(1):61,00,0a"},
        {u"S", kRegTypeString, Bytes({'a', 0}), true, "\"S\"=hex(1):61,00\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        MemRegClear();
        MemRegSetValue(u"HKEY_LOCAL_MACHINE\\A", c.name, c.type, c.bytes);
        std::string content = "untouched", error;
        EXPECT_EQ(RegFileWrite(v4, &content, &error), c.ok);
        if (c.ok) {
            EXPECT_NE(content.find(c.expected), std::string::npos) << content;
        } else {
            EXPECT_EQ(content, "untouched");
            EXPECT_NE(error.find(c.expected), std::string::npos) << "error: " << error;
        }
    }
}

// A file that cannot be opened is an error naming it.
TEST(RegFileLoad, MissingFile) {
    MemRegClear();
    std::string error;
    EXPECT_FALSE(RegFileLoad("no/such/file.reg", nullptr, &error));
    EXPECT_NE(error.find("no/such/file.reg"), std::string::npos) << error;
}
