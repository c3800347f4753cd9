// Wide copies of 8-bit texts for one platform call.
#include <gtest/gtest.h>

#include <string>

#include "text/WideText.h"

namespace {
bool SameAsNarrow(const WideText& w, const char* narrow) {
    for (int i = 0;; ++i) {
        if (w.buffer[i] != WideChar(static_cast<unsigned char>(narrow[i]))) return false;
        if (!narrow[i]) return true;
    }
}
}  // namespace

TEST(WideText, FromNarrowSizesLengthPlusTwenty) {
    WideText empty("", -1);
    EXPECT_EQ(empty.capacity, 20);
    EXPECT_EQ(empty.Length(), 0);
    WideText path("Drivers\\BuiltIn\\Serial", -1);
    EXPECT_EQ(path.capacity, 42);
    EXPECT_EQ(path.Length(), 22);
    EXPECT_TRUE(SameAsNarrow(path, "Drivers\\BuiltIn\\Serial"));
}

TEST(WideText, LatinOneBytesWidenToTheirCodePoints) {
    WideText w("a\xE9\xFF", -1);
    EXPECT_EQ(w.buffer[1], 233);
    EXPECT_EQ(w.buffer[2], 255);
    WideText euro("\x80", -1);  // Windows-1252's euro sign
    EXPECT_EQ(euro.buffer[0], 0x20AC);
}

TEST(WideText, CountOtherThanTheLengthNeverReadsPastTheText) {
    WideText shorter("abcdef", 3);  // the first three characters, terminated
    EXPECT_EQ(shorter.Length(), 3);
    EXPECT_EQ(shorter.capacity, 23);
    WideText longer("ab", 50);  // clamped to the text's own length
    EXPECT_EQ(longer.Length(), 2);
    WideText null(nullptr, -1);  // null reads as ""
    EXPECT_EQ(null.Length(), 0);
}

TEST(WideText, AssignCutsToCapacity) {
    WideText five(5);
    five.Assign("0123456789");
    EXPECT_EQ(five.Length(), 4);
    EXPECT_TRUE(SameAsNarrow(five, "0123"));
    WideText eleven(11);
    eleven.Assign("0123456789");
    EXPECT_EQ(eleven.Length(), 10);
    WideText one(1);
    EXPECT_EQ(one.Length(), 0);
    one.Assign("anything");
    EXPECT_EQ(one.Length(), 0);
    WideText zero(0);  // below 1 is taken as 1: still a terminated text
    EXPECT_EQ(zero.capacity, 1);
    zero.Assign("x");
    EXPECT_EQ(zero.Length(), 0);
}

// Short texts are kept in the WideText itself, longer ones allocated: both
// sides of that edge hold and cut the same text. ASCII is copied, anything
// else converted, also after an ASCII start and in a prefix.
TEST(WideText, ShortAndLongTextsAndTheirPrefixes) {
    const std::string x44(44, 'x'), x45(45, 'x'), x100(100, 'x');
    struct Row {
        std::string text;
        int32_t count;
        std::u16string wide;
    } rows[] = {
        {x44, -1, std::u16string(44, u'x')},  // capacity 64: kept inside
        {x45, -1, std::u16string(45, u'x')},  // 65: allocated
        {"abc\x80rest", 3, u"abc"},
        {"abc\x80rest", 4, u"abc\u20AC"},
        {"\x80"
         "abc",
         -1,
         u"\u20AC"
         "abc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text + " count " + std::to_string(row.count));
        WideText w(row.text.c_str(), row.count);
        EXPECT_EQ(std::u16string(w.buffer, w.buffer + w.Length()), row.wide);
    }
    for (int32_t capacity : {63, 64, 65, 128}) {
        SCOPED_TRACE(capacity);
        WideText w(capacity);
        w.Assign(x100.c_str());
        EXPECT_TRUE(SameAsNarrow(w, x100.substr(0, size_t(capacity - 1)).c_str()));
    }
}
