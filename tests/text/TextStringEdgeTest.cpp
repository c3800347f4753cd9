// Edge cases by kind: arguments that alias what is written, counts and
// indices near the 32-bit limit, the process locale, the kept end of the
// text, byte writes, and the case mapping of every byte.
#include <gtest/gtest.h>

#include <ctype.h>
#include <locale.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/text/ListElements.h"
#include "text/TextString.h"
#include "text/TextStringList.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

// Sets a decimal-comma locale for its lifetime, and the old one back after.
struct CommaLocale {
    std::string old = setlocale(LC_ALL, nullptr);
    const char* name = nullptr;
    CommaLocale() {
        for (const char* n : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8",
                              "German_Germany.1252", "German", "de-DE"})
            if (setlocale(LC_ALL, n) && strcmp(localeconv()->decimal_point, ",") == 0) {
                name = n;
                return;
            }
    }
    ~CommaLocale() { setlocale(LC_ALL, old.c_str()); }
};

}  // namespace

// The separators may lie in an element of the list being filled, and the
// text may be another element: both are read before the list is cleared.
TEST(Aliasing, SeparatorsInsideTheTargetList) {
    for (bool textInList : {false, true})
        for (bool trimmed : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "text in list " << textInList << ", trimmed " << trimmed);
            TextStringList list;
            list.InsertNew(-1)->Assign(";,");
            list.InsertNew(-1)->Assign("a; b,c");
            TextString outside("a; b,c");
            const TextString& text = textInList ? *list.At(1) : outside;
            const char* separators = list.At(0)->CStr();
            if (trimmed)
                text.SplitTrimmed(separators, list, -1);
            else
                text.SplitInto(separators, list, -1, false);
            EXPECT_EQ(Elements(list), trimmed ? (Pieces{"a", "b", "c"}) : (Pieces{"a", " b", "c"}));
        }
}

// Indices and counts near INT32_MAX are answered like any index past the text.
TEST(Limits, IndicesAndCountsNearInt32Max) {
    TextString s("abcdef");
    EXPECT_STREQ(s.SliceInclusive(2, INT32_MAX).CStr(), "cdef");  // last + 1 overflowed
    EXPECT_STREQ(s.SliceInclusive(2, INT32_MAX - 1).CStr(), "cdef");
    EXPECT_STREQ(s.SliceCount(2, INT32_MAX).CStr(), "cdef");
    EXPECT_STREQ(s.Slice(2, INT32_MAX).CStr(), "cdef");
    EXPECT_EQ(s.FindChar(INT32_MAX, 'a'), -1);
    EXPECT_EQ(s.FindAnyOf(INT32_MAX, "a"), -1);
    EXPECT_EQ(s.Search("a", INT32_MAX, true, true), -1);
    s.Insert("x", INT32_MAX);
    EXPECT_STREQ(s.CStr(), "abcdef");
}

// AssignWide's count only sizes the room: a huge one converts the text as
// any count that is large enough, on a null string and on one with a block.
TEST(Limits, AssignWideWithAHugeCount) {
    const WideChar wide[] = {'C', 'O', 'M', '5', ':', 0};
    for (int32_t count : {INT32_MAX, INT32_MAX - 20, INT32_MAX - 30, 1 << 30, 10})
        for (bool null : {true, false}) {
            SCOPED_TRACE(testing::Message() << "count " << count << (null ? ", null" : ""));
            TextString s;
            if (!null) s.Assign("previous text");
            EXPECT_EQ(s.AssignWide(wide, count), 6);
            EXPECT_STREQ(s.CStr(), "COM5:");
            EXPECT_LT(s.Capacity(), 100) << "no room beyond what the text needs";
        }
}

// CompareN with any count answers as strncmp with the count converted to an
// unsigned size: a negative count compares the whole texts.
TEST(Limits, CompareNAsStrncmp) {
    struct Case {
        const char* a;
        const char* b;
        int32_t n;
    } cases[] = {
        {"COM", "XYZ", -1},         {"XYZ", "COM", -1},   {"abc", "abc", -5},
        {"abcd", "abc", INT32_MIN}, {"abc", "abcd", -1},  {"COM5:", "COM", 3},
        {"COM5:", "COM", 0},        {"COM5:", "COM9", 4}, {"a", "b", INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b << " n " << c.n);
        EXPECT_EQ(Sign(TextString(c.a).CompareN(c.b, c.n)),
                  Sign(strncmp(c.a, c.b, size_t(int64_t(c.n)))));
    }
}

// Sizes past the longest text end the process with a message instead of
// wrapping around to a negative size that reserves nothing.
TEST(Limits, SizesPastTheLongestTextEndTheProcess) {
#if GTEST_HAS_DEATH_TEST
    EXPECT_DEATH(TextString("ab").PtrAt(INT32_MAX - 1), "text too long");
    EXPECT_DEATH(TextString().WriteBytes(INT32_MAX - 1, "xy", 2), "text too long");
    EXPECT_DEATH(TextString("ab").Reserve(INT32_MAX), "text too long");
#endif
}

// ReplaceText ends however many replacements a call takes, up to
// kMaxReplacements; past that it gives -1 and leaves the text as it was.
TEST(Limits, ReplaceTextUpToItsBound) {
    std::string a21b = std::string(21, 'a') + "b";
    TextString s(a21b.c_str());
    EXPECT_EQ(s.ReplaceText("ab", "bba", false), (1 << 21) - 1);
    EXPECT_EQ(std::string(s.CStr()), std::string(1 << 21, 'b') + std::string(21, 'a'));

    std::string atBound(kMaxReplacements, 'a');
    TextString most(atBound.c_str());
    EXPECT_EQ(most.ReplaceText("a", "b", false), kMaxReplacements);
    atBound += 'a';
    TextString over(atBound.c_str());
    EXPECT_EQ(over.ReplaceText("a", "b", false), -1);
    EXPECT_EQ(std::string(over.CStr()), atBound);
}

// Numbers are written and read with a full stop whatever the process locale.
TEST(Locale, NumbersWrittenAndReadWithAFullStop) {
    struct Case {
        double value;
        int32_t decimals;
    } cases[] = {{2.5, 2}, {-1234567.125, 3}, {0.1, -1}, {3.7, 0}, {1e300, 1}, {-0.5, 1}};
    std::vector<std::string> expected;  // the "C" locale's texts and their values
    std::vector<double> values;
    for (const Case& c : cases) {
        char text[512];
        snprintf(text, sizeof text, "%.*f", c.decimals < 0 ? 6 : int(c.decimals), c.value);
        expected.push_back(text);
        values.push_back(strtod(text, nullptr));
    }
    CommaLocale comma;
    if (!comma.name) GTEST_SKIP() << "no decimal-comma locale (make deps generates de_DE.UTF-8)";
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << comma.name << ": " << expected[i]);
        TextString d;
        d.SetDecimals(cases[i].decimals);
        EXPECT_STREQ(d.AppendDouble(cases[i].value).CStr(), expected[i].c_str());
        EXPECT_EQ(d.DoubleValue(), values[i]);
    }
    TextString f;
    f.SetDecimals(2);
    EXPECT_STREQ(f.AppendFloat(1.5f).CStr(), "1.50");
    TextString width;
    width.AssignDoubleToWidth(-2.5, 4);
    EXPECT_STREQ(width.CStr(), "-2.50");
    EXPECT_EQ(ParseDouble("2,5"), 2.0);  // the comma ends the number
    EXPECT_EQ(TextString(" 1234").IntValue(), 1234);
}

// Appends find the end from where the text is known to end. Every other
// edit must leave that right: after each, an append lands at the real end.
TEST(KnownEnd, AppendAfterEveryKindOfEdit) {
    struct Case {
        const char* name;
        std::function<void(TextString&)> edit;
        const char* expected;
    } cases[] = {
        {"CutAt", [](TextString& s) { s.CutAt(','); }, "ab"},
        {"ReplaceChar to 0", [](TextString& s) { s.ReplaceChar(',', 0); }, "ab"},
        {"RemoveFirstOccurrence", [](TextString& s) { s.RemoveFirstOccurrence(','); }, "abcd ef "},
        {"RemoveAllOccurrences", [](TextString& s) { s.RemoveAllOccurrences(' '); }, "ab,cdef"},
        {"RemoveCharsOf", [](TextString& s) { s.RemoveCharsOf(", "); }, "abcdef"},
        {"TrimSpaces", [](TextString& s) { s.TrimSpaces(); }, "ab,cd ef"},
        {"StripQuotes", [](TextString& s) { s.StripQuotes(); }, "ab,cd ef"},
        {"ReplaceText", [](TextString& s) { s.ReplaceText("cd ef", "", false); }, "ab, "},
        {"ExtractToken",
         [](TextString& s) {
             TextString token;
             s.ExtractToken(token);
         },
         "ef "},
        {"ExtractBool",
         [](TextString& s) {
             bool b;
             s.ExtractBool(b);
         },
         "ef "},
        {"ExtractChar",
         [](TextString& s) {
             char c;
             s.ExtractChar(c);
         },
         ""},
        {"Fill with 0", [](TextString& s) { s.Fill(0, 3); }, ""},
        {"WriteBytes of 0", [](TextString& s) { s.WriteBytes(2, "", 1); }, "ab"},
        {"through PtrAt", [](TextString& s) { *s.PtrAt(2) = 0; }, "ab"},
        {"through PtrToLast", [](TextString& s) { *s.PtrToLast() = 0; }, "ab,cd ef"},
        {"HexEncode", [](TextString& s) { s.HexEncode(1); }, "61"},
        {"AssignInt", [](TextString& s) { s.AssignInt(7); }, "7"},
        {"Assign", [](TextString& s) { s.Assign("q"); }, "q"},
        {"Format", [](TextString& s) { s.Format("%d", 5); }, "5"},
        {"AssignWide",
         [](TextString& s) {
             const WideChar w[] = {'w', 0};
             s.AssignWide(w, -1);
         },
         "w"},
        {"Insert", [](TextString& s) { s.Insert("X", 0); }, "Xab,cd ef "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextString s;
        s.Append("ab,").Append("cd ").Append("ef ");
        c.edit(s);
        s.Append("!");
        EXPECT_EQ(std::string(s.CStr()), std::string(c.expected) + "!");
        EXPECT_EQ(s.Length(), int32_t(strlen(c.expected)) + 1);
    }
}

// AppendTracked never trusts the caller's length: a stale one that once was
// right (old bytes still behind the terminator) is measured, not used.
TEST(KnownEnd, AppendTrackedWithAStaleLength) {
    TextString s("abcdef");
    int32_t length = 6;
    s.Assign("a");
    s.AppendTracked(length, "X");
    EXPECT_STREQ(s.CStr(), "aX");
    EXPECT_EQ(length, 2);
}

// WriteBytes changes exactly the bytes of its range and nothing else, before,
// at and after the terminator of a text cut short (its old bytes still there).
TEST(WriteBytes, ChangesOnlyItsRange) {
    struct Case {
        int32_t offset;
        std::string bytes;
    } cases[] = {
        {0, "XY"},                   // before the terminator
        {1, "XY"},                   // up to it
        {2, "XY"},                   // at it: the old bytes behind it come back
        {3, "XY"},                   // after it: the text stays "ab"
        {5, "XYZW"},                 // over the old bytes' own terminator
        {9, "XY"},                   // past every byte written so far
        {1, std::string("\0Y", 2)},  // a zero byte is written like any other
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " " << c.bytes);
        TextString s("abcdef");
        s.CutAt('c');
        std::string model = std::string("ab\0def", 6) + std::string(10, '\0');
        model.replace(size_t(c.offset), c.bytes.size(), c.bytes);
        s.WriteBytes(c.offset, c.bytes.data(), int32_t(c.bytes.size()));
        EXPECT_EQ(std::string(s.CStr()), std::string(model.c_str()));
        EXPECT_EQ(std::string(s.PtrAt(0), 16), model.substr(0, 16));
    }
    // Writes into a fresh string in any order: no terminator is added.
    TextString fresh;
    fresh.WriteBytes(4, "EF", 2);
    fresh.WriteBytes(0, "ABCD", 4);
    EXPECT_STREQ(fresh.CStr(), "ABCDEF");
}

// Byte data past the text reads as written: fresh room is zero, never
// whatever the allocator left there.
TEST(HexEncode, FreshRoomReadsAsZero) {
    {
        TextString junk;
        junk.Fill('\xAB', 300);
    }  // leaves its bytes in freed memory
    TextString s("Hi");
    s.Reserve(300);
    s.HexEncode(5);
    EXPECT_STREQ(s.CStr(), "4869000000");
}

// The case mapping over every byte: ASCII letters as the "C" locale's toupper
// and tolower map them, every byte above 127 unchanged, on every platform.
TEST(CaseMapping, EveryByte) {
    TextString null;
    null.ToUpper();
    null.ToLower(true);
    EXPECT_FALSE(null.HasBlock());
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(testing::Message() << "byte " << b);
        int upper = b < 128 ? toupper(b) : b, lower = b < 128 ? tolower(b) : b;
        const char text[] = {char(b), 0}, upperText[] = {char(upper), 0};
        TextString up(text), down(text);
        up.ToUpper();
        down.ToLower(true);
        EXPECT_EQ(up.CharAt(0), char(upper));
        EXPECT_EQ(down.CharAt(0), char(lower));
        EXPECT_EQ(TextCompareNoCase(text, upperText), 0);
        EXPECT_EQ(TextString(text).Search(upperText, 0, false, true), 0);
        // The byte that differs in the letter-case bit matches only for letters.
        const char other[] = {char(b ^ 0x20), 0};
        bool letter = b < 128 && isalpha(b);
        if (b ^ 0x20) {
            EXPECT_EQ(TextString(text).Search(other, 0, false, true), letter ? 0 : -1);
            EXPECT_EQ(TextCompareNoCase(text, other) == 0, letter);
        }
    }
}
