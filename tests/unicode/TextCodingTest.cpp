// UTF-8 both ways, and text shown by the one rule for messages and reports.
#include <gtest/gtest.h>

#include <string>

#include "unicode/TextCoding.h"

// UTF-8 bytes to 16-bit text and back; what is no UTF-8 is refused where it
// starts.
TEST(TextCoding, Utf8BothWays) {
    struct Case {
        std::string utf8;
        std::u16string text;
        size_t badAt;  // SIZE_MAX: valid
    } cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC", u"a\u00e9\u20ac", SIZE_MAX},
        {"\xF0\x9F\x98\x80", u"\U0001F600", SIZE_MAX},        // a surrogate pair
        {"\xDF\xBF\xE0\xA0\x80", u"\u07ff\u0800", SIZE_MAX},  // two bytes, three bytes
        {"ab\xC3", u"", 2},                                   // cut short
        {"\xC3\x28", u"", 0},                                 // no continuation byte
        {"\xC0\xAF", u"", 0},                                 // overlong
        {"\xED\xA0\x80", u"", 0},                             // a surrogate
        {"\xF4\x90\x80\x80", u"", 0},                         // past U+10FFFF
        {"\xFF", u"", 0},
        {"\xF8\x90\x80\x80", u"", 0},  // no lead byte past F7
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::u16string text;
        size_t badAt = SIZE_MAX;
        bool ok = Utf8ToUtf16(reinterpret_cast<const uint8_t*>(c.utf8.data()), c.utf8.size(), &text,
                              &badAt);
        EXPECT_EQ(ok, c.badAt == SIZE_MAX);
        EXPECT_EQ(badAt, c.badAt);
        if (!ok) continue;
        EXPECT_EQ(text, c.text);
        std::string back;
        EXPECT_TRUE(Utf16ToUtf8(text.data(), text.size(), &back));
        EXPECT_EQ(back, c.utf8);
    }
    std::string out;
    EXPECT_FALSE(Utf16ToUtf8(u"a\xD800", 2, &out));  // a lone surrogate has no UTF-8
}

// Control characters (C0, DEL, C1) and lone surrogates are shown escaped,
// the rest as UTF-8; line feeds stay line breaks only where asked.
TEST(TextCoding, VisibleText) {
    struct Case {
        std::u16string text;
        bool keepLineFeeds;
        const char* shown;
    } cases[] = {
        {u"\x1B[31mX\tY", false, "\\x1B[31mX\\x09Y"},
        {u"a\x7F"
         u"b",
         false, "a\\x7Fb"},
        {u"\x80\x85\x9F\xA0\u00e9", false, "\\x80\\x85\\x9F\xC2\xA0\xC3\xA9"},
        {u"\u20ac\U0001F600", false, "\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {u"\xDC00x\xD800", false, "\\uDC00x\\uD800"},
        {u"one\ntwo\r", false, "one\\x0Atwo\\x0D"},
        {u"one\ntwo\r", true, "one\ntwo\\x0D"},
        {std::u16string(u"\0", 1), false, "\\x00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(VisibleText(c.text, SIZE_MAX, c.keepLineFeeds), c.shown);
    }
    EXPECT_EQ(VisibleText(u"abcdef", 4), "abcd...");
    EXPECT_EQ(VisibleText(u"abcd", 4), "abcd");
    // UTF-8 messages: by the same rule; bytes that are no UTF-8 escaped.
    EXPECT_EQ(VisibleUtf8("f\xC3\xA9\xC2\x9B\x7F\xE9\n", true), "f\xC3\xA9\\x9B\\x7F\\xE9\n");
}
