#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/support/AllocCounter.h"
#include "tests/text/ListElements.h"
#include "tests/text/ListErrors.h"
#include "tests/text/SplitModel.h"
#include "text/TextString.h"
#include "text/TextStringList.h"

namespace {

std::string Show(const Pieces& pieces) {
    std::string shown = "[";
    for (size_t i = 0; i < pieces.size(); ++i) shown += (i ? ", '" : "'") + pieces[i] + "'";
    return shown + "]";
}

}  // namespace

// The split matrix: separators, maxima and the keep-empty choice.
TEST(SplitInto, Matrix) {
    struct Case {
        const char* text;
        const char* separators;
        int32_t maximum;
        bool keepEmpty;
        Pieces expected;
    };
    const Case cases[] = {
        {"a,b,c", ",", -1, false, {"a", "b", "c"}},
        {"a,,b", ",", -1, false, {"a", "b"}},
        {"a,,b", ",", -1, true, {"a", "", "b"}},
        {",a,b", ",", -1, false, {",a", "b"}},
        {",a,b", ",", -1, true, {"", "a", "b"}},
        {"a,b,", ",", -1, false, {"a", "b"}},
        {"a,b,", ",", -1, true, {"a", "b"}},
        {"a,b,c,d", ",", 2, false, {"a", "b,c,d"}},
        {"a,b,c,d", ",", 1, false, {"a,b,c,d"}},
        {"a,b,c,d", ",", 3, false, {"a", "b", "c,d"}},
        {"a,b,c,d", ",", 4, false, {"a", "b", "c", "d"}},
        {"a,b,c,d", ",", 9, false, {"a", "b", "c", "d"}},
        {"a,b,", ",", 2, false, {"a", "b"}},
        {"a,,b", ",", 2, true, {"a", ",b"}},
        {",a", ",", 1, true, {",a"}},
        {"a,,,b", ",", 2, false, {"a", "b"}},
        {"a,b,,c", ",", 2, false, {"a", "b,,c"}},
        {"abc", "", -1, false, {"abc"}},
        {"abc", ";", 1, true, {"abc"}},
        {"abc", nullptr, -1, false, {"abc"}},
        {"a;b,c", ";,", -1, false, {"a", "b", "c"}},
        {",,,", ",", -1, false, {","}},
        {",,,", ",", -1, true, {"", "", ""}},
        {"a\tb c", " ", -1, false, {"a\tb", "c"}},
        {"a\xE9"
         "b",
         "\xE9",
         -1,
         false,
         {"a", "b"}},
        {"", ",", -1, true, {}},
        {"", ",", 0, true, {}},
        // A maximum of 0 allows no element at all.
        {"a,b", ",", 0, false, {}},
        {"a,b", ",", 0, true, {}},
        {"abc", ",", 0, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.text << "' at '" << (c.separators ? c.separators : "(null)")
                     << "', maximum " << c.maximum << (c.keepEmpty ? ", keep empty" : ""));
        TextStringList list;
        list.InsertNew(-1)->Assign("left over");
        ListErrorsSeen().clear();
        EXPECT_EQ(TextString(c.text).SplitInto(c.separators, list, c.maximum, c.keepEmpty), 1);
        Pieces got = Elements(list);
        EXPECT_EQ(got, c.expected) << Show(got);
        EXPECT_TRUE(ListErrorsSeen().empty()) << "first code " << ListErrorsSeen().front();
    }
}

// Every short text over a small alphabet splits as the model, written another way, says.
TEST(SplitInto, AgreesWithCharacterByCharacterRules) {
    const char alphabet[] = {'a', ',', ';'};
    TextStringList list(2);
    for (int length = 0; length <= 6; ++length) {
        int combinations = 1;
        for (int i = 0; i < length; ++i) combinations *= 3;
        for (int n = 0; n < combinations; ++n) {
            std::string text;
            for (int i = 0, rest = n; i < length; ++i, rest /= 3) text += alphabet[rest % 3];
            for (int32_t maximum = -1; maximum <= 5; ++maximum)
                for (bool keepEmpty : {false, true}) {
                    TextString(text.c_str()).SplitInto(",;", list, maximum, keepEmpty);
                    Pieces expected = SplitModel(text, ",;", maximum, keepEmpty);
                    Pieces got = Elements(list);
                    if (got != expected)
                        ADD_FAILURE() << "'" << text << "' maximum " << maximum
                                      << (keepEmpty ? " keep empty" : "") << ": got " << Show(got)
                                      << ", expected " << Show(expected);
                }
        }
    }
}

// A null text gives an empty list; the text itself never changes.
TEST(SplitInto, LeavesTextAndClearsList) {
    TextStringList list;
    list.InsertNew(-1);
    TextString null;
    null.SplitInto(",", list, -1, true);
    EXPECT_EQ(list.Size(), 0);
    EXPECT_FALSE(null.HasBlock());
    TextString text("a,b");
    text.SplitInto(",", list, -1, false);
    EXPECT_STREQ(text.CStr(), "a,b");
    // Empty pieces kept are null strings, as if nothing had been appended.
    TextString("a,,b").SplitInto(",", list, -1, true);
    EXPECT_FALSE(list.At(1)->HasBlock());
}

// An owning list frees its old elements; a non-owning one only forgets them.
TEST(SplitInto, OldElementsFollowOwnership) {
    TextStringList owning;
    owning.InsertNew(-1)->Assign("old");
    owning.InsertNew(-1)->Assign("old");
    AllocDelta freed;
    TextString("x").SplitInto(",", owning, -1, false);
    EXPECT_GE(freed.Frees(), 4) << "two elements and their blocks";

    TextStringList borrowing;
    borrowing.ownsElements = false;
    TextString elsewhere("kept");
    borrowing.InsertNew(-1);  // a fresh element, freed below by hand
    TextString* fresh = borrowing.items[0];
    TextString("x,y").SplitInto(",", borrowing, -1, false);
    EXPECT_EQ(Elements(borrowing), (Pieces{"x", "y"}));
    EXPECT_FALSE(fresh->HasBlock()) << "the forgotten element is still there to free";
    delete fresh;
    for (int32_t p = 0; p < borrowing.Size(); ++p) delete borrowing.items[p];
    borrowing.Clear(false);
}

// Splitting an element of the target list into that list works on a copy.
TEST(SplitInto, TextThatIsAnElementOfTheList) {
    TextStringList list;
    list.InsertNew(-1)->Assign("zero");
    list.InsertNew(-1)->Assign("p,q,r");
    list.At(1)->SplitInto(",", list, -1, false);
    EXPECT_EQ(Elements(list), (Pieces{"p", "q", "r"}));
}

// The splitter works on slots, whatever the list's baseIndex.
TEST(SplitInto, AnyBaseIndex) {
    TextStringList list;
    list.baseIndex = 5;
    TextString("a,b,c,d").SplitInto(",", list, 2, false);
    EXPECT_EQ(Elements(list), (Pieces{"a", "b,c,d"}));
    EXPECT_STREQ(list.At(5)->CStr(), "a");
}

// The array is enlarged once for many pieces, and each piece costs two allocations.
TEST(SplitInto, OneArrayGrowthForManyPieces) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "ab,";
    TextString source(text.c_str());
    TextStringList list(4);
    AllocDelta delta;
    source.SplitInto(",", list, -1, false);
    EXPECT_EQ(list.Size(), 1000);
    EXPECT_EQ(delta.Allocs(), 1 + 2 * 1000);
    EXPECT_EQ(list.capacity, 4 + 1000 + 2);
    EXPECT_STREQ(list.At(999)->CStr(), "ab");
}

// A megabyte of text in 100,000 pieces.
TEST(SplitInto, MegabyteText) {
    std::string text;
    text.reserve(1 << 20);
    for (int i = 0; i < 100000; ++i) text += "piece" + std::to_string(i % 10000) + ";";
    text.resize(1 << 20, 'x');
    TextStringList list;
    TextString(text.c_str()).SplitInto(";", list, -1, false);
    ASSERT_EQ(list.Size(), 100001);
    EXPECT_STREQ(list.At(99999)->CStr(), "piece9999");
    EXPECT_EQ(list.At(100000)->Length(), (1 << 20) - int32_t(text.find_last_of(';')) - 1);
}

// A list whose array cannot grow keeps what it has; the splitter still returns 1.
TEST(SplitInto, OutOfMemoryForTheArray) {
    TextStringList list;
    TextString source("a,b");
    ListErrorsSeen().clear();
    FailNothrowAllocations(2);  // the one-step growth and the first insertion's growth
    EXPECT_EQ(source.SplitInto(",", list, -1, false), 1);
    FailNothrowAllocations(0);
    EXPECT_EQ(ListErrorsSeen(), (std::vector<uint32_t>{15, 15}));
    EXPECT_EQ(Elements(list), (Pieces{"b"}));
}

// SplitTrimmed skips empty pieces, then trims spaces (only spaces) from each.
TEST(SplitTrimmed, Texts) {
    struct Case {
        const char* text;
        const char* separators;
        int32_t maximum;
        Pieces expected;
    };
    const Case cases[] = {
        {"a = b ; c", ";", -1, {"a = b", "c"}},
        {"a, ,b", ",", -1, {"a", "", "b"}},
        {" a , b , c ", ",", 2, {"a", "b , c"}},
        {"\ta\t; b", ";", -1, {"\ta\t", "b"}},
        {"   ", ",", -1, {""}},
        {"a,b", ",", 0, {}},
        {"", ",", -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' maximum " << c.maximum);
        TextStringList list;
        EXPECT_EQ(TextString(c.text).SplitTrimmed(c.separators, list, c.maximum), 1);
        Pieces got = Elements(list);
        EXPECT_EQ(got, c.expected) << Show(got);
    }
}
