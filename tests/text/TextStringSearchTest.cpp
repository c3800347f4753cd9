#include <gtest/gtest.h>

#include "text/TextString.h"

TEST(FindText, FirstOccurrenceFromTheStart) {
    struct Case {
        const char* text;
        const char* find;
        int32_t expected;
    } cases[] = {
        {"banana", "an", 1},      // first of two
        {"banana", "nab", -1},    // absent
        {"banana", "banana", 0},  // the whole text
        {"banana", "bananas", -1},
        {"banana", "", 0},  // an empty text to find is found at 0
        {"", "", 0},        // also in an empty text that has a block
        {"", "a", -1},
        {"ab\xE9"
         "c",
         "\xE9", 2},      // bytes above 127 compare as bytes
        {"aB", "b", -1},  // exact case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' find '" << c.find << "'");
        TextString s(c.text);
        EXPECT_EQ(s.FindText(c.find), c.expected);
    }
}

TEST(FindText, NullTextOrAbsentFindGivesMinusOne) {
    TextString null;
    EXPECT_EQ(null.FindText("a"), -1);
    EXPECT_EQ(null.FindText(""), -1);  // a null text finds nothing, not even ""
    EXPECT_FALSE(null.HasBlock());
    TextString s("abc");
    EXPECT_EQ(s.FindText(nullptr), -1);
}

TEST(FindChar, PositionsCountFromTheStartOfTheText) {
    struct Case {
        const char* text;
        int32_t start;
        char c;
        int32_t expected;
    } cases[] = {
        {"banana", 2, 'a', 3},
        {"banana", 0, 'x', -1},
        {"banana", 5, 'a', 5},
        {"banana", 6, 'a', -1},  // start at the end: nothing left to find
        {"banana", 0, 0, 6},     // the character 0 is found at the terminator
        {"banana", 6, 0, 6},
        {"", 0, 0, 0},
        {"banana", -3, 'b', 0},   // a negative start is taken as 0
        {"banana", 7, 'a', -1},   // a start past the end finds nothing
        {"banana", 1000, 0, -1},  // not even the terminator
        {"caf\xE9", 0, '\xE9', 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.text << "' from " << c.start << " for " << int(c.c));
        TextString s(c.text);
        EXPECT_EQ(s.FindChar(c.start, c.c), c.expected);
        EXPECT_EQ(s.FindCharFrom(c.start, c.c), c.expected);
    }
}

TEST(FindChar, NullTextFindsNothingNotEvenTheTerminator) {
    TextString s;
    EXPECT_EQ(s.FindChar(0, 'a'), -1);
    EXPECT_EQ(s.FindChar(0, 0), -1);
}

TEST(LastIndexOf, CharacterZeroDiffersBetweenNullAndEmpty) {
    TextString banana("banana");
    EXPECT_EQ(banana.LastIndexOf('a'), 5);
    EXPECT_EQ(banana.LastIndexOf('b'), 0);
    EXPECT_EQ(banana.LastIndexOf('x'), -1);
    EXPECT_EQ(banana.LastIndexOf(0), -1);  // a non-null text: -1
    TextString empty("");
    EXPECT_EQ(empty.LastIndexOf(0), -1);
    TextString null;
    EXPECT_EQ(null.LastIndexOf(0), 0);  // a null text: 0
    EXPECT_EQ(null.LastIndexOf('a'), -1);
}

TEST(CountChar, CountsEqualBytes) {
    EXPECT_EQ(TextString("banana").CountChar('a'), 3);
    EXPECT_EQ(TextString("banana").CountChar('x'), 0);
    EXPECT_EQ(TextString("banana").CountChar(0), 0);
    EXPECT_EQ(TextString("\xE9\xE9"
                         "e")
                  .CountChar('\xE9'),
              2);
    EXPECT_EQ(TextString().CountChar('a'), 0);
}

TEST(FindAnyOf, SmallestPositionOfAnyMember) {
    struct Case {
        const char* text;
        int32_t start;
        const char* set;
        int32_t expected;
    } cases[] = {
        {"a;b,c", 0, ",;", 1},     {"a;b,c", 2, ",;", 3},
        {"a;b,c", 4, ",;", -1},    {"a;b,c", 0, "", -1},  // an empty set
        {"a;b,c", 0, nullptr, -1},                        // an absent set
        {"a;b,c", -1, ";", 1},                            // a negative start is taken as 0
        {"a;b,c", 9, ";", -1},                            // past the end
        {"a;b,c", 0, ";;;", 1},                           // repetitions change nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' from " << c.start << " set "
                                        << (c.set ? c.set : "(null)"));
        TextString s(c.text);
        EXPECT_EQ(s.FindAnyOf(c.start, c.set), c.expected);
    }
    EXPECT_EQ(TextString().FindAnyOf(0, ";"), -1);
}

TEST(FindByte, SearchesTheFirstBytesOfTheStorage) {
    TextString abc("abc");
    EXPECT_EQ(abc.FindByte('c', 2), -1);
    EXPECT_EQ(abc.FindByte('c', 3), 2);
    EXPECT_EQ(abc.FindByte(0, 4), 3);  // the terminator is one of the bytes
    EXPECT_EQ(abc.FindByte(0, 3), -1);
    EXPECT_EQ(abc.FindByte('a', 0), -1);
    EXPECT_EQ(abc.FindByte('a', -5), -1);
    EXPECT_EQ(TextString().FindByte(0, 1), -1);
}

TEST(FindByte, NeverLooksPastTheTerminator) {
    // Bytes that stay in the block after a cut are not part of the text, even
    // when the count reaches them.
    TextString s("abcxyz");
    s.CutAt('x');
    EXPECT_EQ(s.FindByte('y', 6), -1);
    EXPECT_EQ(s.FindByte('y', 1000), -1);
    EXPECT_EQ(s.FindByte(0, 1000), 3);
}

TEST(IsIdentChar, DigitZeroIsNotOne) {
    for (char c : {'a', 'z', 'A', 'Z', '1', '9', '_'}) EXPECT_EQ(IsIdentChar(c), 1) << c;
    for (char c : {'0', '-', ' ', '@', '[', '`', '{', '/', ':', '\0', '\xE9', '\xFF'})
        EXPECT_EQ(IsIdentChar(c), 0) << int(c);
}

TEST(Search, WholeWordAndIgnoreCase) {
    struct Case {
        const char* text;
        const char* find;
        int32_t start;
        bool wholeWord;
        bool ignoreCase;
        int32_t expected;
    } cases[] = {
        {"concat cat", "cat", 0, true, false, 7},
        {"cat1", "cat", 0, true, false, -1},
        {"cat0", "cat", 0, true, false, 0},  // '0' is not an identifier character
        {"cat_", "cat", 0, true, false, -1},
        {"_cat", "cat", 0, true, false, -1},
        {"(cat)", "cat", 0, true, false, 1},
        {"cat", "cat", 0, true, false, 0},  // both ends of the text are boundaries
        {"a cat", "CAT", 0, false, true, 2},
        {"a cat", "CAT", 0, false, false, -1},
        {"Concat CAT", "cat", 0, true, true, 7},
        {"abab", "ab", 1, false, false, 2},  // counted from the start of the text
        {"abab", "ab", 1, false, true, 2},
        {"abab", "ab", 1, true, false, -1},
        {"x ab ab", "ab", 3, true, false, 5},
        {"abc", "abcd", 0, false, true, -1},    // longer than the text
        {"abc", "bc", 2, false, true, -1},      // start past the last candidate
        {"a\xE9", "A\xE9", 0, false, true, 0},  // only ASCII letters fold
        {"\xE9", "\xC9", 0, false, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.text << "' find '" << c.find << "' from " << c.start << " word "
                     << c.wholeWord << " case " << c.ignoreCase);
        TextString s(c.text);
        EXPECT_EQ(s.Search(c.find, c.start, c.wholeWord, c.ignoreCase), c.expected);
    }
}

TEST(Search, EmptyTextToFind) {
    // Plain: the start index. With a flag: the length, unless whole words are
    // asked for and the text ends in an identifier character.
    TextString s("ab-");
    EXPECT_EQ(s.Search("", 1, false, false), 1);
    EXPECT_EQ(s.Search("", 1, false, true), 3);
    EXPECT_EQ(s.Search("", 1, true, false), 3);
    TextString word("ab");
    EXPECT_EQ(word.Search("", 0, true, false), -1);
    EXPECT_EQ(word.Search("", 0, false, true), 2);
}

TEST(Search, OutsideTheLimits) {
    TextString s("abab");
    EXPECT_EQ(s.Search(nullptr, 0, false, false), -1);  // absent text to find
    EXPECT_EQ(s.Search("ab", -4, false, false), 0);     // negative start as 0
    EXPECT_EQ(s.Search("ab", -4, true, true), -1);      // "abab" has no whole word "ab"
    EXPECT_EQ(s.Search("b", 5, false, false), -1);      // start past the end
    EXPECT_EQ(s.Search("", 5, false, false), -1);
    EXPECT_EQ(s.Search("", 5, true, false), -1);
    EXPECT_EQ(TextString().Search("", 0, false, false), -1);
}

TEST(IsBracketed, NeedsSomethingBetween) {
    EXPECT_EQ(TextString("[a]").IsBracketed(), 1);
    EXPECT_EQ(TextString("[]").IsBracketed(), 0);
    EXPECT_EQ(TextString("[ab").IsBracketed(), 0);
    EXPECT_EQ(TextString("a[b]").IsBracketed(), 0);
    EXPECT_EQ(TextString().IsBracketed(), 0);
}

TEST(FindInnermostParens, LastOpeningAndTheClosingAfterIt) {
    struct Case {
        const char* text;
        int32_t result, opening, closing;
    } cases[] = {
        {"f(a(b)c)", 1, 3, 5}, {"(a)(b)", 1, 3, 5},  // the last pair, not the first
        {"(a(b", 0, 77, 77},                         // no ')' after the last '(': outputs untouched
        {"(a", 0, 77, 77},     {"a)", 1, -1, 1},     // a ')' without '(': opening -1
        {"a)b)", 1, -1, 1},    {"", 0, 77, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t opening = 77, closing = 77;
        EXPECT_EQ(TextString(c.text).FindInnermostParens(opening, closing), c.result);
        EXPECT_EQ(opening, c.opening);
        EXPECT_EQ(closing, c.closing);
    }
}

TEST(NextFieldStart, SkipsQuotedSeparators) {
    struct Case {
        const char* text;
        const char* separators;
        int32_t expected;
    } cases[] = {
        {"a, b", ", ", 3},       {"ab,", ", ", -1},  // nothing after the separators
        {"\"a,b\"", ", ", -1},                       // the only separator is quoted
        {"\"a,b\", c", ", ", 7}, {"a\"b", "\"", 2},  // a quote in the set separates
        {"abc", "", -1},                             // an empty set
        {"abc", nullptr, -1},                        // an absent set
        {",,x", ",", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
        EXPECT_EQ(TextString(c.text).NextFieldStart(c.separators), c.expected);
    }
    EXPECT_EQ(TextString().NextFieldStart(","), -1);
}
