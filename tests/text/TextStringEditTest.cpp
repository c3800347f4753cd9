#include <gtest/gtest.h>

#include <string>

#include "tests/support/AllocCounter.h"
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
        {"a=b=c", '=', 1, "a"},       // first of two; the position is the new length
        {"a=b=c", 'x', -1, "a=b=c"},  // absent: unchanged
        {"=abc", '=', 0, ""},         // at the first character: empty
        {"abc=", '=', 3, "abc"},
        {"a=b=c", 0, 5, "a=b=c"},  // the character 0: the length, no change
        {"", 0, 0, ""},
        {"", '=', -1, ""},
        {"x\xE9y", '\xE9', 1, "x"},  // bytes above 127
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

TEST(Strip, ResultsAndWhatIsLeft) {
    // All four strips may change the text and still return 0.
    enum Strip { kQuotes, kAngles, kParens, kBrackets };
    struct Case {
        Strip strip;
        const char* text;
        int32_t expected;
        const char* after;
    } cases[] = {
        {kQuotes, "  \"a b\"  ", 1, "a b"},  // spaces inside the quotes stay
        {kQuotes, "abc\"", 0, "abc"},        // the closing quote goes first
        {kQuotes, "\"abc", 0, "\"abc"},
        {kQuotes, "\"", 0, ""},  // a lone quote: both ends at once
        {kQuotes, "\"\"", 1, ""},
        {kQuotes, "   ", 0, ""},  // trimmed even when nothing else happens
        {kQuotes, "", 0, ""},
        {kAngles, " <x> ", 1, "x"},
        {kAngles, "x>", 0, "x"},
        {kAngles, "<x", 0, "<x"},
        {kParens, "(abc)", 1, "abc"},
        {kParens, "(a)b)", 1, "a)b"},  // the last ')' counts
        {kParens, "x(a)", 0, "x(a"},   // cut although no '(' leads
        {kParens, ")", 0, ")"},        // ')' only as first character
        {kParens, "(a)tail", 1, "a"},  // everything after the ')' goes
        {kParens, "", 0, ""},
        {kBrackets, "[a]b]", 1, "a"},  // the first ']' counts
        {kBrackets, "[a", 0, "[a"},
        {kBrackets, "a]", 0, "a"},
        {kBrackets, "]a", 0, "]a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "strip " << int(c.strip) << " of '" << c.text << "'");
        TextString s(c.text);
        int32_t result = 0;
        switch (c.strip) {
        case kQuotes: result = s.StripQuotes(); break;
        case kAngles: result = s.StripAngleBrackets(); break;
        case kParens: result = s.StripParentheses(); break;
        case kBrackets: result = s.StripBrackets(); break;
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_STREQ(s.CStr(), c.after);
    }
}

TEST(Strip, NullTextGivesZero) {
    TextString a, b, c, d;
    EXPECT_EQ(a.StripQuotes(), 0);
    EXPECT_EQ(b.StripAngleBrackets(), 0);
    EXPECT_EQ(c.StripParentheses(), 0);
    EXPECT_EQ(d.StripBrackets(), 0);
    EXPECT_STREQ(a.CStr(), "");
}

TEST(CapitalizeFirst, OnlyAsciiSmallLetters) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"&archivo", "&Archivo"},  // the letter after an ampersand
        {"archivo", "Archivo"},   {"Archivo", "Archivo"},
        {"1abc", "1abc"},         {"&", "&"},
        {"\xE1rbol", "\xE1rbol"},  // accented small letters stay
        {"&&a", "&&a"},           {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        s.CapitalizeFirst();
        EXPECT_STREQ(s.CStr(), c.expected);
    }
    TextString null;
    null.CapitalizeFirst();
    EXPECT_FALSE(null.HasBlock());
}

TEST(Remove, FirstAllAndSets) {
    TextString first("a-b-c");
    EXPECT_EQ(first.RemoveFirstOccurrence('-'), 1);
    EXPECT_STREQ(first.CStr(), "ab-c");
    TextString all("a-b-c");
    EXPECT_EQ(all.RemoveAllOccurrences('-'), 1);
    EXPECT_STREQ(all.CStr(), "abc");
    TextString set("a-b-c");
    EXPECT_EQ(set.RemoveCharsOf("-c"), 1);
    EXPECT_STREQ(set.CStr(), "ab");
    TextString none("abc");
    EXPECT_EQ(none.RemoveFirstOccurrence('-'), 0);
    EXPECT_EQ(none.RemoveAllOccurrences('-'), 1);  // 1 also when there was none
    EXPECT_EQ(none.RemoveCharsOf(""), 1);
    EXPECT_STREQ(none.CStr(), "abc");
    TextString only("----");
    only.RemoveAllOccurrences('-');
    EXPECT_STREQ(only.CStr(), "");
    TextString high("\xE9x\xE9y");
    high.RemoveCharsOf("\xE9");
    EXPECT_STREQ(high.CStr(), "xy");
}

TEST(Remove, CharacterZeroAndAbsentSets) {
    // The character 0 never occurs in a text: nothing is removed, and the
    // call ends. An absent set removes nothing either.
    TextString s("abc");
    EXPECT_EQ(s.RemoveFirstOccurrence(0), 0);
    EXPECT_EQ(s.RemoveAllOccurrences(0), 1);
    EXPECT_EQ(s.RemoveCharsOf(nullptr), 1);
    EXPECT_STREQ(s.CStr(), "abc");
    TextString null;
    EXPECT_EQ(null.RemoveFirstOccurrence('a'), 0);
    EXPECT_EQ(null.RemoveAllOccurrences('a'), 1);
    EXPECT_EQ(null.RemoveCharsOf("a"), 1);
    EXPECT_FALSE(null.HasBlock());
}

TEST(Remove, LongTextInOnePass) {
    // Every other character goes: the result of removing them one at a time.
    std::string text, expected;
    for (int i = 0; i < 100000; ++i) {
        text += (i % 2) ? '-' : char('a' + i % 26);
        if (!(i % 2)) expected += char('a' + i % 26);
    }
    TextString s(text.c_str());
    EXPECT_EQ(s.RemoveAllOccurrences('-'), 1);
    EXPECT_EQ(std::string(s.CStr()), expected);
}

TEST(RemoveAmpersand, OnlyTheFirstGoes) {
    TextString salir("&Salir");
    EXPECT_STREQ(salir.RemoveAmpersand(), "Salir");
    EXPECT_STREQ(salir.CStr(), "Salir");
    TextString twice("a&&b");
    EXPECT_STREQ(twice.RemoveAmpersand(), "a&b");
    TextString null;
    EXPECT_EQ(null.RemoveAmpersand(), kEmptyText);
}

TEST(ReplaceChar, CountsEveryOccurrence) {
    struct Case {
        const char* text;
        char from, to;
        int32_t expected;
        const char* after;
    } cases[] = {
        {"a/b/c", '/', '.', 2, "a.b.c"},
        {"a,b,c", ',', 0, 2, "a"},  // 0 ends the text at the first occurrence
        {"abc", 'x', '.', 0, "abc"},
        {"a/b/c", '/', '/', 2, "a/b/c"},  // equal characters: counted, text unchanged
        {"abc", 0, 'x', 0, "abc"},        // the character 0 is not in the text
        {"abc", 0, 0, 0, "abc"},
        {"\xE9t\xE9", '\xE9', 'e', 2, "ete"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.text << "' " << int(c.from) << " -> " << int(c.to));
        TextString s(c.text);
        EXPECT_EQ(s.ReplaceChar(c.from, c.to), c.expected);
        EXPECT_STREQ(s.CStr(), c.after);
    }
    TextString null;
    EXPECT_EQ(null.ReplaceChar(0, 'x'), 0);  // nothing is written into a null text
    EXPECT_FALSE(null.HasBlock());
}

TEST(Insert, AtEveryPlace) {
    struct Case {
        const char* text;
        const char* inserted;
        int32_t index;
        const char* expected;
    } cases[] = {
        {"abc", "XY", 1, "aXYbc"},  {"abc", "XY", 0, "XYabc"},
        {"abc", "XY", 3, "abcXY"},  // at the length: appended
        {"abc", "XY", 4, "abc"},    // past the length: nothing
        {"abc", "XY", -1, "abc"},   // negative: nothing
        {"abc", nullptr, 1, "abc"}, {"abc", "", 1, "abc"},
        {"", "XY", 0, "XY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' at " << c.index);
        TextString s(c.text);
        s.Insert(c.inserted, c.index);
        EXPECT_STREQ(s.CStr(), c.expected);
    }
    TextString null;
    null.Insert("XY", 0);
    EXPECT_STREQ(null.CStr(), "XY");
}

TEST(Insert, TextFromTheStringItself) {
    // The inserted text is read as it was before the call, even when the
    // block has to grow.
    TextString s("abcdef");
    s.Insert(s.CStr() + 2, 1);
    EXPECT_STREQ(s.CStr(), "acdefbcdef");
    TextString t("xyz");
    for (int i = 0; i < 6; ++i) t.Insert(t.CStr(), t.Length());
    EXPECT_EQ(t.Length(), 3 * 64);
    EXPECT_EQ(t.FindText("xyzxyz"), 0);
}

TEST(WriteBytes, CopiesBytesAtTheOffset) {
    TextString s("abcdef");
    s.WriteBytes(1, "XY", 2);
    EXPECT_STREQ(s.CStr(), "aXYdef");  // inside the text: the rest stays
    s.WriteBytes(4, "1234", 4);
    EXPECT_STREQ(s.CStr(), "aXYd1234");  // over the old end: still terminated
    s.WriteBytes(20, "far", 3);
    EXPECT_STREQ(s.CStr(), "aXYd1234");  // after the end: the text is as it was
    EXPECT_GE(s.Capacity(), 25);
    s.WriteBytes(0, "zz", 0);
    s.WriteBytes(-1, "zz", 2);
    s.WriteBytes(0, nullptr, 2);
    EXPECT_STREQ(s.CStr(), "aXYd1234");
    TextString null;
    null.WriteBytes(0, "hi", 2);
    EXPECT_STREQ(null.CStr(), "hi");
}

TEST(WriteBytes, BytesFromTheStringItself) {
    TextString s("0123456789");
    s.WriteBytes(8, s.CStr(), 10);  // the block grows under the source
    EXPECT_STREQ(s.CStr(), "012345670123456789");
}

TEST(SplitKeyValue, SplitsAtTheFirstEquals) {
    struct Case {
        const char* text;
        int32_t expected;
        const char* key;
        const char* value;
    } cases[] = {
        {"a=b=c", 1, "a", "b=c"},           {"key=", 1, "key", ""},
        {"=b", 0, "old key", "old value"},                                 // outputs untouched
        {"key", 0, "old key", "old value"}, {" k = v ", 1, " k ", " v "},  // nothing trimmed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text), key("old key"), value("old value");
        EXPECT_EQ(s.SplitKeyValue(key, value), c.expected);
        EXPECT_STREQ(key.CStr(), c.key);
        EXPECT_STREQ(value.CStr(), c.value);
        EXPECT_STREQ(s.CStr(), c.text);
    }
}

TEST(SplitKeyValue, IntoTheStringItself) {
    // The value is assigned first, then the key, from the text as it was.
    TextString s("name=COM5:");
    TextString value;
    EXPECT_EQ(s.SplitKeyValue(s, value), 1);
    EXPECT_STREQ(s.CStr(), "name");
    EXPECT_STREQ(value.CStr(), "COM5:");
    TextString t("name=COM5:");
    TextString key;
    EXPECT_EQ(t.SplitKeyValue(key, t), 1);
    EXPECT_STREQ(key.CStr(), "name");
    EXPECT_STREQ(t.CStr(), "COM5:");
}

TEST(Slice, AllThreeForms) {
    TextString s("abcdef");
    EXPECT_STREQ(s.Slice(1, 3).CStr(), "bc");
    EXPECT_STREQ(s.Slice(4, 100).CStr(), "ef");
    EXPECT_STREQ(s.SliceCount(1, 3).CStr(), "bcd");
    EXPECT_STREQ(s.SliceCount(1, 0).CStr(), "");
    EXPECT_STREQ(s.SliceInclusive(1, 3).CStr(), "bcd");
    EXPECT_STREQ(s.SliceInclusive(2, -1).CStr(), "cdef");
    EXPECT_STREQ(s.SliceInclusive(3, 2).CStr(), "");
    EXPECT_STREQ(s.CStr(), "abcdef");
    EXPECT_FALSE(TextString().Slice(0, 3).HasBlock());
}

TEST(Slice, RangesOutsideTheTextStayInside) {
    // Every range is cut to the text; reversed ranges give an empty text.
    struct Case {
        int32_t form, a, b;
        const char* expected;
    } cases[] = {
        {0, -3, 2, "ab"}, {0, 4, 2, ""},      {0, 9, 12, ""},
        {0, 2, -5, ""},   {1, -2, 3, "abc"},  {1, 4, 10, "ef"},
        {1, 2, -1, ""},   {1, 7, 1, ""},      {1, 1, INT32_MAX, "bcdef"},
        {2, 4, 1, ""},    {2, 2, 40, "cdef"}, {2, -2, 0, "a"},
        {2, 0, -7, ""},   {2, 9, -1, ""},
    };
    TextString s("abcdef");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "form " << c.form << " (" << c.a << ", " << c.b << ")");
        TextString part = c.form == 0   ? s.Slice(c.a, c.b)
                          : c.form == 1 ? s.SliceCount(c.a, c.b)
                                        : s.SliceInclusive(c.a, c.b);
        EXPECT_STREQ(part.CStr(), c.expected);
    }
}

TEST(Edit, InPlaceOperationsAllocateNothing) {
    // Trims, strips, cuts and removals work inside the block they have.
    TextString s("  (\"a-b-c\")  ");
    AllocDelta delta;
    s.TrimSpaces();
    s.StripParentheses();
    s.StripQuotes();
    s.RemoveFirstOccurrence('-');
    s.RemoveAllOccurrences('-');
    s.RemoveCharsOf("c");
    s.ReplaceChar('a', 'A');
    s.CutAt('b');
    EXPECT_STREQ(s.CStr(), "A");
    EXPECT_EQ(delta.Allocs(), 0);
}
