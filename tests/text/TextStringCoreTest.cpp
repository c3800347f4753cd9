// The string core: block, growth, construction, assignment, appending,
// comparison and case conversion.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "tests/support/AllocCounter.h"
#include "text/TextString.h"

namespace {

// Fills a string to `text` and returns it, for tests that need a block with
// a given capacity first.
std::string Text(const TextString& s) { return s.CStr(); }

}  // namespace

TEST(Reserve, FollowsTheGrowthRule) {
    struct Case {
        int32_t first;  // Reserve on a null string
        int32_t then;   // a second Reserve
        int32_t capacityAfterFirst;
        int32_t capacityAfterThen;
    } cases[] = {
        {3, 3, 16, 16},      // the constructor from "COM" does Reserve(3)
        {0, 11, 13, 13},     // 11 + 2 fits capacity 13: no growth
        {0, 12, 13, 29},     // (12 + 2) * 1.3 + 11 = 29.2
        {3, 23, 16, 43},     // (23 + 2) * 1.3 + 11 = 43.5
        {16, 100, 29, 143},  // (100 + 2) * 1.3 + 11 = 143.6
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Reserve(" << c.first << ") then " << c.then);
        TextString s;
        s.Reserve(c.first);
        EXPECT_EQ(s.Capacity(), c.capacityAfterFirst);
        s.Reserve(c.then);
        EXPECT_EQ(s.Capacity(), c.capacityAfterThen);
    }
}

TEST(Reserve, GrowthKeepsTextTagAndDecimals) {
    TextString s;
    s.Reserve(0);
    strcpy(s.PtrAt(0), "0123456789a");  // 11 characters, the most capacity 13 holds
    s.TagRef() = 77;
    s.SetDecimals(3);
    s.Reserve(12);
    EXPECT_EQ(s.Capacity(), 29);
    EXPECT_STREQ(s.CStr(), "0123456789a");
    EXPECT_EQ(s.TagRef(), 77);
    EXPECT_EQ(s.DecimalsRef(), 3);
}

TEST(Reserve, NegativeDoesNothing) {
    TextString s;
    AllocDelta d;
    s.Reserve(-1);
    EXPECT_FALSE(s.HasBlock());
    EXPECT_EQ(d.Allocs(), 0);
}

TEST(Reserve, GrowsWithOneAllocationAndOneFree) {
    TextString s("abc");
    AllocDelta d;
    s.Reserve(100);
    EXPECT_EQ(d.Allocs(), 1);
    EXPECT_EQ(d.Frees(), 1);
    s.Reserve(50);  // fits: nothing
    EXPECT_EQ(d.Allocs(), 1);
}

TEST(Reserve, ANewBlockStartsWithDefaultHeader) {
    TextString s;
    s.Reserve(5);
    EXPECT_EQ(s.Capacity(), 18);
    EXPECT_EQ(s.TagRef(), -1);
    EXPECT_EQ(s.DecimalsRef(), 1);
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_EQ(s.IsCapacityNegative(), 0);
}

TEST(TextStringLayout, HeaderEndsRightBeforeTheCharacters) {
    TextString s("x");
    s.TagRef() = 0x11223344;
    s.SetDecimals(-2);
    const char* chars = s.CStr();
    int32_t tag, capacity;
    memcpy(&tag, chars - 4, 4);
    memcpy(&capacity, chars - 8, 4);
    EXPECT_EQ(tag, 0x11223344);
    EXPECT_EQ(capacity, s.Capacity());
    EXPECT_EQ(int8_t(chars[-12]), -2);  // decimals come first, before the padding
}

TEST(Construct, AllocatesOnlyWhenTheTextSaysSo) {
    // default: null, no allocation
    {
        AllocDelta d;
        TextString s;
        EXPECT_FALSE(s.HasBlock());
        EXPECT_EQ(d.Allocs(), 0);
    }
    // from "": a block with empty text, capacity 13
    {
        AllocDelta d;
        TextString s("");
        EXPECT_TRUE(s.HasBlock());
        EXPECT_EQ(s.Capacity(), 13);
        EXPECT_EQ(d.Allocs(), 1);
    }
    // copy of a null string: null
    {
        TextString null;
        AllocDelta d;
        TextString copy(null);
        EXPECT_FALSE(copy.HasBlock());
        EXPECT_EQ(d.Allocs(), 0);
    }
    // copy of a block with empty text: a block too
    {
        TextString empty("");
        TextString copy(empty);
        EXPECT_TRUE(copy.HasBlock());
        EXPECT_EQ(copy.Capacity(), 13);
    }
}

TEST(Construct, CopyOwnsItsCharacters) {
    TextString a("abc");
    TextString b(a);
    EXPECT_NE(a.CStr(), b.CStr());
    b.Append("d");
    EXPECT_STREQ(a.CStr(), "abc");
    EXPECT_EQ(b.Capacity(), 16);  // sized for the copied text, not the original block
}

TEST(Destroy, FreesAndLeavesAUsableEmptyString) {
    TextString s("abc");
    AllocDelta d;
    s.Destroy();
    EXPECT_EQ(d.Frees(), 1);
    EXPECT_FALSE(s.HasBlock());
    EXPECT_STREQ(s.CStr(), "");
    s.Append("again");
    EXPECT_STREQ(s.CStr(), "again");
}

TEST(CStr, EmptyStringsShareTheEmptyText) {
    TextString null, empty("");
    EXPECT_EQ(null.CStr(), kEmptyText);
    EXPECT_EQ(empty.CStr(), kEmptyText);
    TextString full("a");
    EXPECT_NE(full.CStr(), kEmptyText);
}

TEST(CharAt, ReadsSignedBytesAndZeroOutside) {
    TextString s("abc\xE9");
    EXPECT_EQ(s.CharAt(1), 98);
    EXPECT_EQ(s.CharAt(3), -23);  // byte 233
    EXPECT_EQ(s.CharAt(4), 0);    // the terminator
    EXPECT_EQ(s.CharAt(5), 0);    // past the text
    EXPECT_EQ(s.CharAt(-1), 0);   // negative index
    EXPECT_EQ(TextString().CharAt(0), 0);
    EXPECT_EQ(s.LastChar(), -23);
    EXPECT_EQ(TextString().LastChar(), 0);
}

TEST(PtrAt, GivesANullStringABlock) {
    TextString s;
    char* p = s.PtrAt(0);
    EXPECT_EQ(s.Capacity(), 15);
    EXPECT_EQ(*p, 0);
    // a negative index is taken as 0 instead of pointing before the block
    EXPECT_EQ(s.PtrAt(-5), p);
    // a position past the terminator is legal and reserves room for it
    TextString t("ab");
    char* far = t.PtrAt(40);
    EXPECT_GE(t.Capacity(), 42);
    *far = 'x';
    EXPECT_STREQ(t.CStr(), "ab");
}

TEST(PtrToLast, PointsAtTheLastCharacterOrTheTerminator) {
    TextString s("abc");
    EXPECT_EQ(*s.PtrToLast(), 'c');
    TextString empty;
    char* p = empty.PtrToLast();
    EXPECT_TRUE(empty.HasBlock());
    EXPECT_EQ(*p, 0);  // an empty text's last position is its terminator
}

TEST(Assign, FromText) {
    // null text: a null string stays null, a full one is emptied in place
    TextString null;
    null.Assign(static_cast<const char*>(nullptr));
    EXPECT_FALSE(null.HasBlock());
    TextString full("abc");
    const char* block = full.CStr();
    AllocDelta d;
    full.Assign(static_cast<const char*>(nullptr));
    EXPECT_TRUE(full.HasBlock());
    EXPECT_STREQ(full.CStr(), "");
    full.Assign("xyz");
    EXPECT_EQ(full.CStr(), block);  // the block is reused
    EXPECT_EQ(d.Allocs(), 0);
}

TEST(Assign, FromTextInsideTheSameBlock) {
    TextString s("hello world");
    s.Assign(s.CStr() + 6);
    EXPECT_STREQ(s.CStr(), "world");
}

TEST(Assign, FromString) {
    TextString null, empty(""), target("abc"), source("longer text than before");
    TextString nullTarget;
    nullTarget.Assign(empty);  // empty other: a null string stays null
    EXPECT_FALSE(nullTarget.HasBlock());
    target.Assign(null);  // empty other: zero byte, block kept
    EXPECT_TRUE(target.HasBlock());
    EXPECT_STREQ(target.CStr(), "");
    target.Assign(source);
    EXPECT_STREQ(target.CStr(), "longer text than before");
    target.Assign(target);  // itself: unchanged
    EXPECT_STREQ(target.CStr(), "longer text than before");
    TextString copied;
    copied = source;  // operator= copies the characters
    EXPECT_NE(copied.CStr(), source.CStr());
    EXPECT_STREQ(copied.CStr(), source.CStr());
}

TEST(AssignWide, ConvertsThroughTheCodePage) {
    const WideChar wide[] = {'C', 'O', 'M', 0xE9, 0x20AC, 0};
    TextString s;
    EXPECT_EQ(s.AssignWide(wide, -1), 6);  // five bytes and the terminator
    EXPECT_STREQ(s.CStr(), "COM\xE9\x80");
    EXPECT_EQ(s.Capacity(), 5 + 30 + 13);
}

// The count only sizes the room (count + 20 bytes): a text that needs more
// fails and leaves an empty terminated text. ASCII and converted texts meet
// the same bound, and both leave a text that appending goes on from.
TEST(AssignWide, RoomFailureAndAppendingAfter) {
    const std::u16string x20(20, u'x'), x19(19, u'x');
    struct Row {
        std::u16string wide;
        int32_t count;
        int32_t result;
        std::string text;
    } rows[] = {
        {u"COM1:", -1, 6, "COM1:"}, {x20, 1, 21, std::string(20, 'x')},  // exactly the room
        {x20 + u"x", 1, 0, ""},     {x19 + u"\xE9", 1, 21, std::string(19, 'x') + "\xE9"},
        {x20 + u"\xE9", 1, 0, ""},  {std::u16string(100, u'x'), 1, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text + " count " + std::to_string(row.count));
        std::basic_string<WideChar> wide(row.wide.begin(), row.wide.end());
        TextString s;
        EXPECT_EQ(s.AssignWide(wide.c_str(), row.count), row.result);
        EXPECT_EQ(s.Length(), int32_t(row.text.size()));
        s.Append("!");
        EXPECT_EQ(std::string(s.CStr()), row.text + "!");
    }
    TextString s("previous");  // null reads as the empty wide text
    EXPECT_EQ(s.AssignWide(nullptr, -1), 1);
    EXPECT_STREQ(s.CStr(), "");
}

// Into a text that has room already, ASCII up to what Reserve would keep
// stays in that room; one character more, or one outside ASCII, is the
// longer way, which grows the room and converts.
TEST(AssignWide, IntoTheRoomAlreadyMade) {
    struct Row {
        size_t ascii;
        std::u16string after;
        int32_t capacity;
    } rows[] = {
        {49, u"", 81}, {50, u"", 117}, {48, u"\xE9", 81}, {10, u"\x20AC", 81}, {0, u"", 81},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.ascii) + " and " + std::to_string(row.after.size()));
        TextString s;
        s.Reserve(68);  // capacity 81
        s.Assign(std::string(70, 'p').c_str());
        std::u16string text = std::u16string(row.ascii, u'x') + row.after;
        std::basic_string<WideChar> wide(text.begin(), text.end());
        TextString expected;
        expected.AssignWide(wide.c_str(), -1);
        EXPECT_EQ(s.AssignWide(wide.c_str(), -1), expected.Length() + 1);
        EXPECT_STREQ(s.CStr(), expected.CStr());
        EXPECT_EQ(s.Capacity(), row.capacity);
        s.Append("!");
        EXPECT_EQ(s.Length(), expected.Length() + 1);
    }
}

TEST(Format, ReturnsTheCountAndCopiesTheText) {
    TextString s;
    EXPECT_EQ(s.Format("%s-%d", "COM", 5), 5);
    EXPECT_STREQ(s.CStr(), "COM-5");
    EXPECT_STREQ(g_formatBuffer, "COM-5");
}

TEST(Format, ArgumentsMayPointIntoTheString) {
    TextString s("abc");
    s.Format("[%s|%s]", s.CStr(), s.CStr() + 1);
    EXPECT_STREQ(s.CStr(), "[abc|bc]");
}

TEST(Format, ResultsLongerThanTheSharedBufferComeOutWhole) {
    std::string big(25000, 'q');
    TextString s("seed");
    EXPECT_EQ(s.Format("%s%s!", s.CStr(), big.c_str()), 25005);
    EXPECT_EQ(s.Length(), 25005);
    EXPECT_EQ(std::string(s.CStr()), "seed" + big + "!");
}

TEST(Append, Text) {
    TextString s;
    s.Append(static_cast<const char*>(nullptr));
    EXPECT_FALSE(s.HasBlock());  // null text: nothing at all
    s.Append("");
    EXPECT_TRUE(s.HasBlock());  // "" gives the null string a block
    s.Append("COM").Append("5").Append(":");
    EXPECT_STREQ(s.CStr(), "COM5:");
}

TEST(Append, String) {
    TextString s("a"), null, empty("");
    s.Append(null).Append(empty);
    EXPECT_STREQ(s.CStr(), "a");
    TextString target;
    target.Append(empty);  // other has a block: the target gets one too
    EXPECT_TRUE(target.HasBlock());
    TextString other;
    other.Append(null);
    EXPECT_FALSE(other.HasBlock());
}

// The text appended lies in the block that must grow for it: each append
// moves the block (checked), so reading the old one would read freed memory.
TEST(Append, ItselfAndPartsOfItself) {
    TextString s("abcdefghijklmnop");  // capacity 29: twice 16 does not fit
    const char* before = s.CStr();
    s.Append(s);
    ASSERT_NE(s.CStr(), before);
    EXPECT_STREQ(s.CStr(), "abcdefghijklmnopabcdefghijklmnop");
    before = s.CStr();
    s.Append(s.CStr() + 2);  // 30 of its 32 characters: 62 do not fit in 55
    ASSERT_NE(s.CStr(), before);
    EXPECT_STREQ(s.CStr(), "abcdefghijklmnopabcdefghijklmnopcdefghijklmnopabcdefghijklmnop");
}

TEST(Append, OneCharacter) {
    TextString s;
    s.Append('x').Append('\xE9');
    EXPECT_STREQ(s.CStr(), "x\xE9");
    s.Append('\0');  // appends nothing
    EXPECT_STREQ(s.CStr(), "x\xE9");
}

TEST(AppendInt, Decimal) {
    struct Case {
        int32_t value;
        const char* expected;
    } cases[] = {{-5, "COM-5"}, {0, "COM0"}, {123, "COM123"}, {INT32_MIN, "COM-2147483648"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TextString s("COM");
        s.AppendInt(c.value);
        EXPECT_STREQ(s.CStr(), c.expected);
    }
}

TEST(Compare, FollowsTheEmptyRules) {
    TextString null, empty(""), abc("abc"), com("COM5:");
    struct Case {
        const TextString* s;
        const char* text;
        int32_t compare, compareNoCase, compareN3;
    } cases[] = {
        {&null, nullptr, 0, 0, 0},  // text null, string empty
        {&abc, nullptr, 1, 1, 1},   // text null, string not empty
        {&null, "", 0, 0, 1},       // text "", string empty
        {&empty, "", 0, 0, 1},
        {&empty, "abc", 1, 1, 1},  // an empty string against text: positive
        {&com, "COM", 1, -1, 0},   // strcmp positive; lengths differ; first 3 equal
        {&abc, "ABC", 1, 0, 1},
        {&abc, "abc", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.s->CStr() << "' vs " << (c.text ? c.text : "(null)"));
        EXPECT_EQ(c.s->Compare(c.text) > 0, c.compare > 0);
        EXPECT_EQ(c.s->Compare(c.text) == 0, c.compare == 0);
        EXPECT_EQ(c.s->CompareNoCase(c.text), c.compareNoCase);
        EXPECT_EQ(c.s->CompareN(c.text, 3) == 0, c.compareN3 == 0);
    }
    EXPECT_LT(abc.Compare("abd"), 0);
    EXPECT_GT(abc.Compare(""), 0);  // a full string against "" goes to strcmp
}

TEST(TextCompareNoCase, LengthFirstThenBytes) {
    EXPECT_EQ(TextCompareNoCase("Dll", "DLL"), 0);
    EXPECT_EQ(TextCompareNoCase("a", "AB"), -1);
    EXPECT_EQ(TextCompareNoCase("AB", "a"), -1);
    EXPECT_LT(TextCompareNoCase("abc", "ABD"), 0);
    EXPECT_NE(TextCompareNoCase("\xE9", "\xC9"), 0);  // only ASCII letters fold
}

TEST(ToLower, FirstCharacterOptional) {
    TextString a("ABC"), b("ABC");
    a.ToLower(false);
    b.ToLower(true);
    EXPECT_STREQ(a.CStr(), "Abc");
    EXPECT_STREQ(b.CStr(), "abc");
    TextString high("\xC9X");
    high.ToLower(true);
    EXPECT_STREQ(high.CStr(), "\xC9x");
}

TEST(Decimals, NullReadsOneAndSetDecimalsAllocates) {
    TextString s;
    EXPECT_EQ(s.DecimalsRef(), 1);
    EXPECT_FALSE(s.HasBlock());
    s.SetDecimals(3);
    EXPECT_TRUE(s.HasBlock());
    EXPECT_EQ(s.DecimalsRef(), 3);
    s.Reserve(500);
    EXPECT_EQ(s.DecimalsRef(), 3);  // growth keeps it
    s.SetDecimals(200);             // low 8 bits, signed
    EXPECT_EQ(s.DecimalsRef(), -56);
    EXPECT_EQ(Text(s), "");
}

TEST(AppendTracked, KeepsTheLengthAndAgreesWithAppend) {
    TextString tracked(""), plain("");
    int32_t length = 0;
    for (int i = 0; i < 200; ++i) {
        const char* piece = (i % 3) ? "ab" : "\xA1x!";
        tracked.AppendTracked(length, piece);
        plain.Append(piece);
        ASSERT_EQ(tracked.Capacity(), plain.Capacity()) << i;  // grown at the same append
    }
    EXPECT_STREQ(tracked.CStr(), plain.CStr());
    EXPECT_EQ(length, plain.Length());
}

TEST(AppendTracked, AWrongLengthIsMeasuredInstead) {
    TextString s("abcdef");
    int32_t stale = 2;  // does not end the text
    s.AppendTracked(stale, "X");
    EXPECT_STREQ(s.CStr(), "abcdefX");
    EXPECT_EQ(stale, 7);
    int32_t huge = 1 << 30;  // far outside the block: never used as an index
    s.AppendTracked(huge, "Y");
    EXPECT_STREQ(s.CStr(), "abcdefXY");
    TextString null;
    int32_t zero = 0;
    null.AppendTracked(zero, nullptr);  // null text: nothing
    EXPECT_FALSE(null.HasBlock());
    null.AppendTracked(zero, "q");
    EXPECT_STREQ(null.CStr(), "q");
    s.AppendTracked(huge, s.CStr() + 6);  // a part of itself
    EXPECT_STREQ(s.CStr(), "abcdefXYXY");
    EXPECT_EQ(huge, 10);
    // A short text in a block past 16 MiB, its end forgotten: the zero room
    // at the place that means "unknown" is no end.
    TextString big;
    big.Reserve(1 << 25);
    *big.PtrAt(0) = 'a';
    big.AppendTracked(stale, "b");
    EXPECT_STREQ(big.CStr(), "ab");
    EXPECT_EQ(stale, 2);
}
