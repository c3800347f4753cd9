#include <gtest/gtest.h>

#include <string>

#include "text/TextString.h"

namespace {

enum Trim { kLineEnds, kSpaces, kBlanks };

void ApplyTrim(TextString& s, Trim trim) {
    switch (trim) {
    case kLineEnds: s.TrimLineEnds(); break;
    case kSpaces: s.TrimSpaces(); break;
    case kBlanks: s.TrimBlanks(); break;
    }
}

}  // namespace

TEST(Trim, RemovesOnlyTheOuterRunsOfItsSet) {
    struct Case {
        Trim trim;
        const char* text;
        const char* expected;
    } cases[] = {
        // Line ends inside the text stay.
        {kLineEnds, "\r\nab\r\ncd\n\n", "ab\r\ncd"},
        {kLineEnds, "\n\r\n", ""},
        {kLineEnds, " ab \n", " ab "},  // spaces are not line ends
        // A tab is not a space.
        {kSpaces, "\t a \t", "\t a \t"},
        {kSpaces, "   ", ""},
        {kSpaces, "  a b  ", "a b"},
        {kSpaces, "a  ", "a"},
        {kSpaces, "  a", "a"},
        {kBlanks, "\t a \t", "a"},
        {kBlanks, " \t\t ", ""},
        {kBlanks, "\tx\ty\t", "x\ty"},
        {kBlanks, "\n a\n", "\n a\n"},  // line ends are not blanks
        // Nothing to trim.
        {kSpaces, "abc", "abc"},
        {kBlanks, "", ""},
        {kLineEnds, "x", "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "trim " << int(c.trim) << " of '" << c.text << "'");
        TextString s(c.text);
        ApplyTrim(s, c.trim);
        EXPECT_STREQ(s.CStr(), c.expected);
    }
}

TEST(Trim, KeepsTheBlockAndItsHeader) {
    // The kept part moves within the block: capacity, tag and decimals stay.
    TextString s("   some words   ");
    s.SetDecimals(4);
    s.TagRef() = 7;
    int32_t capacity = s.Capacity();
    s.TrimSpaces();
    EXPECT_STREQ(s.CStr(), "some words");
    EXPECT_EQ(s.Capacity(), capacity);
    EXPECT_EQ(s.TagRef(), 7);
    EXPECT_EQ(s.DecimalsRef(), 4);
}

TEST(Trim, NullTextStaysNull) {
    for (Trim trim : {kLineEnds, kSpaces, kBlanks}) {
        TextString s;
        ApplyTrim(s, trim);
        EXPECT_FALSE(s.HasBlock()) << "trim " << int(trim);
        EXPECT_STREQ(s.CStr(), "");
    }
}

TEST(Trim, LongTextIsTrimmedWhole) {
    // A long run on both sides: the text in the middle arrives intact.
    std::string middle(5000, 'x');
    middle[2500] = ' ';
    std::string text = std::string(3000, ' ') + middle + std::string(4000, ' ');
    TextString s(text.c_str());
    s.TrimSpaces();
    EXPECT_EQ(std::string(s.CStr()), middle);
}

TEST(CutAt, TruncatesAtTheFirstOccurrence) {
    struct Case {
        const char* text;
        char c;
        int32_t expected;
        const char* after;
    } cases[] = {
        {"a=b=c", '=', 1, "a"},     // first of two; the position is the new length
        {"a=b=c", 'x', -1, "a=b=c"},// absent: unchanged
        {"=abc", '=', 0, ""},       // at the first character: empty
        {"abc=", '=', 3, "abc"},
        {"a=b=c", 0, 5, "a=b=c"},   // the character 0: the length, no change
        {"", 0, 0, ""},
        {"", '=', -1, ""},
        {"x\xE9y", '\xE9', 1, "x"}, // bytes above 127
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' at " << int(c.c));
        TextString s(c.text);
        EXPECT_EQ(s.CutAt(c.c), c.expected);
        EXPECT_STREQ(s.CStr(), c.after);
    }
}

TEST(CutAt, NullText) {
    // The character 0 gives the length 0; any other is not found. Nothing is allocated.
    TextString s;
    EXPECT_EQ(s.CutAt(0), 0);
    EXPECT_EQ(s.CutAt('='), -1);
    EXPECT_FALSE(s.HasBlock());
}
