#include <gtest/gtest.h>

#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "text/TextString.h"

namespace {

// The bytes of a string's block from its start: byte data may hold zeros.
std::string Bytes(TextString& s, int32_t count) { return std::string(s.PtrAt(0), size_t(count)); }

}  // namespace

// Every code from 0 to 255 against the folding table.
TEST(FoldAccent, WholeTable) {
    // Each letter with the codes that fold to it; every other code above 127 gives '-'.
    const struct {
        char result;
        std::initializer_list<int> codes;
    } rows[] = {
        {'A', {192, 193, 194, 196}},
        {'E', {200, 201, 202, 203}},
        {'I', {204, 205, 206, 207}},
        {'N', {209}},
        {'O', {210, 211, 212, 214}},
        {'U', {217, 218, 219, 220}},
        {'s', {223}},
        {'a', {224, 225, 226, 228}},
        {'e', {232, 233, 234, 235}},
        {'i', {236, 237, 238, 239}},
        {'n', {241}},
        {'o', {242, 243, 244, 246}},
        {'u', {249, 250, 251, 252}},
    };
    char expected[256];
    for (int code = 0; code < 256; ++code) expected[code] = code < 128 ? char(code) : '-';
    for (const auto& row : rows)
        for (int code : row.codes) expected[code] = row.result;
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        EXPECT_EQ(FoldAccent(char(code)), expected[code]);
    }
}

// Words fold letter by letter; the length never changes.
TEST(FoldAccents, Words) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"Canci\xF3n", "Cancion"},
        {"\xD1"
         "and\xFA",
         "Nandu"},
        {"a\xF1o", "ano"},
        {"stra\xDF"
         "e",
         "strase"},
        {"\xBFQu\xE9?", "-Que?"},
        {"\xC7"
         "a",
         "-a"},
        {"plain ASCII 0-9 ~", "plain ASCII 0-9 ~"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        s.FoldAccents();
        EXPECT_STREQ(s.CStr(), c.expected);
    }
    TextString null;
    null.FoldAccents();
    EXPECT_FALSE(null.HasBlock());
}

// Digit pairs become bytes; odd lengths are refused untouched.
TEST(HexDecode, Texts) {
    struct Case {
        const char* text;
        int32_t result;
        std::string bytes;  // when decoded
    };
    const Case cases[] = {
        {"48656C6C6F", 1, "Hello"},
        {"48656c6c6f", 1, "Hello"},
        {"", 1, ""},
        {"00FF", 1, std::string("\0\xFF", 2)},
        {" 54g", 1, std::string("\x05\x04", 2)},  // " 5" skips the space, "4g" stops at g
        {"zz41", 1, std::string("\0A", 2)},
        {"-1+F", 1, "\xFF\x0F"},
        {"ABC", 0, ""},
        {"0", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        int32_t count = -99;
        EXPECT_EQ(s.HexDecode(count), c.result);
        if (c.result) {
            EXPECT_EQ(count, int32_t(c.bytes.size()));
            EXPECT_EQ(Bytes(s, count + 1), c.bytes + '\0');
        } else {
            EXPECT_EQ(count, -99) << "the count is not written";
            EXPECT_STREQ(s.CStr(), c.text);
        }
    }
    TextString null;
    int32_t count = -1;
    EXPECT_EQ(null.HexDecode(count), 1);
    EXPECT_EQ(count, 0);
}

// Bytes become upper-case digit pairs, zero bytes included.
TEST(HexEncode, Counts) {
    TextString hi("Hi");
    hi.HexEncode(2);
    EXPECT_STREQ(hi.CStr(), "4869");
    TextString none("Hi");
    none.HexEncode(0);
    EXPECT_STREQ(none.CStr(), "");
    TextString part("Hello");
    part.HexEncode(3);
    EXPECT_STREQ(part.CStr(), "48656C");
    TextString null;
    null.HexEncode(0);
    null.HexEncode(5);
    EXPECT_FALSE(null.HasBlock()) << "a null string holds no bytes";
}

// Decoding then encoding with the reported count gives the digits back in upper case.
TEST(HexEncode, RoundTrip) {
    const char* texts[] = {"00FF", "48656c6c6f", "000000", "7F80ff01", ""};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        TextString s(text);
        int32_t count = 0;
        ASSERT_EQ(s.HexDecode(count), 1);
        s.HexEncode(count);
        std::string upper(text);
        for (char& c : upper) c = char(toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(std::string(s.CStr()), upper);
    }
    // All 256 byte values survive.
    TextString all;
    for (int b = 0; b < 256; ++b) {
        char pair[3] = {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15], 0};
        all.Append(pair);
    }
    std::string digits = all.CStr();
    int32_t count = 0;
    all.HexDecode(count);
    EXPECT_EQ(count, 256);
    all.HexEncode(count);
    EXPECT_EQ(std::string(all.CStr()), digits);
}

// A negative count changes nothing; a count past the block reads only the block.
TEST(HexEncode, CountOutsideTheString) {
    TextString negative("Hi");
    negative.HexEncode(-1);
    negative.HexEncode(INT32_MIN);
    EXPECT_STREQ(negative.CStr(), "Hi");

    TextString big("Hi");
    int32_t capacity = big.Capacity();
    big.HexEncode(INT32_MAX);
    EXPECT_EQ(big.Length(), 2 * capacity) << "cut to the block's characters";
    EXPECT_EQ(std::string(big.CStr()).substr(0, 6), "486900");
}

// The fixed classes: ASCII letters, digits and the space stay, all else is %XX.
TEST(PercentEncode, Texts) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"a b&c", "a b%26c"},
        {"100%", "100%25"},
        {"\xE9", "%E9"},
        {"-_.~", "%2D%5F%2E%7E"},
        {"", ""},
        {"AZaz09", "AZaz09"},
        {"\t\r\n/+", "%09%0D%0A%2F%2B"},
        {"\x7F\x80\xFF", "%7F%80%FF"},
        {"@[`{", "%40%5B%60%7B"},  // the neighbours of the letter ranges
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        s.PercentEncode();
        EXPECT_STREQ(s.CStr(), c.expected);
    }
    TextString null;
    null.PercentEncode();
    EXPECT_FALSE(null.HasBlock());
}

// Every byte from 1 to 255 encodes as its fixed class says, and the header survives.
TEST(PercentEncode, AllBytesAndHeader) {
    TextString s;
    std::string expected;
    for (int b = 1; b < 256; ++b) {
        s.Append(char(b));
        bool kept =
            (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == ' ';
        char percent[4];
        snprintf(percent, sizeof percent, "%%%02X", b);
        expected += kept ? std::string(1, char(b)) : std::string(percent);
    }
    s.SetDecimals(5);
    s.TagRef() = 42;
    s.PercentEncode();
    EXPECT_EQ(std::string(s.CStr()), expected);
    EXPECT_EQ(s.DecimalsRef(), 5);
    EXPECT_EQ(s.TagRef(), 42);
}

// The text between the first "<BODY>" and the first "</BODY>" after it.
TEST(ExtractBody, Documents) {
    struct Case {
        const char* text;
        int32_t result;
        const char* expected;  // the text afterwards
    };
    const Case cases[] = {
        {"xx<BODY>\r\nHola\r\n</BODY>yy", 1, "Hola"},
        {"xx<body>\r\nHola\r\n</body>yy", 0, "xx<body>\r\nHola\r\n</body>yy"},
        {"xx<BODY>Hola", 0, "xx<BODY>Hola"},
        {"<BODY></BODY>", 1, ""},
        {"<BODY>one</BODY><BODY>two</BODY>", 1, "one"},
        {"</BODY>x<BODY>y</BODY>", 1, "y"},
        {"<BODY>a<BODY>b</BODY>", 1, "a<BODY>b"},
        {"<BODY>\n\r a \r\n\n</BODY>", 1, " a "},
        {"<Body>a</BODY>", 0, "<Body>a</BODY>"},
        {"<BODY", 0, "<BODY"},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        EXPECT_EQ(s.ExtractBody(), c.result);
        EXPECT_STREQ(s.CStr(), c.expected);
    }
    TextString null;
    EXPECT_EQ(null.ExtractBody(), 0);
    EXPECT_FALSE(null.HasBlock());
}
