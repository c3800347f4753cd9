#include <gtest/gtest.h>

#include "text/TextStringArray.h"

TEST(TextStringArray, EveryStringHasItsBlockAndTag) {
    TextStringArray array(2, 10);
    ASSERT_EQ(array.count, 2);
    for (int32_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(array.strings[i].CStr(), "");
        EXPECT_EQ(array.strings[i].Capacity(), 23);
        EXPECT_EQ(array.strings[i].TagRef(), 10);
    }
    // The tag survives growth.
    array.strings[1].Assign("a text longer than the twenty-three characters reserved");
    EXPECT_EQ(array.strings[1].TagRef(), 10);
}

TEST(TextStringArray, PointersAreTheStringsOwnCharacters) {
    // Empty strings with a block give their own characters, not kEmptyText;
    // a string without a block gives kEmptyText.
    TextStringArray array(3, 4);
    array.strings[0].Assign("COM1:");
    array.strings[2].Destroy();
    const char** table = array.RefreshPointers();
    ASSERT_EQ(table, array.pointers);
    EXPECT_STREQ(table[0], "COM1:");
    EXPECT_EQ(table[1], array.strings[1].PtrAt(0));
    EXPECT_NE(table[1], kEmptyText);
    EXPECT_EQ(table[2], kEmptyText);
}

TEST(TextStringArray, PointersBeforeTheFirstRefreshAreEmptyTexts) {
    TextStringArray array(2, 0);
    EXPECT_STREQ(array.pointers[0], "");
    EXPECT_STREQ(array.pointers[1], "");
}

TEST(TextStringArray, ClearKeepsTheBlocks) {
    TextStringArray array(2, 5);
    array.strings[0].Assign("abc");
    array.strings[1].Destroy();
    int32_t capacity = array.strings[0].Capacity();
    array.Clear();
    EXPECT_STREQ(array.strings[0].CStr(), "");
    EXPECT_EQ(array.strings[0].Capacity(), capacity);
    EXPECT_TRUE(array.strings[1].HasBlock());  // a destroyed string gets one back
}

TEST(TextStringArray, AssignCopiesTheCommonPart) {
    TextStringArray small(2, 0), large(5, 0);
    const char* texts[] = {"a", "b", "c", "d", "e"};
    for (int32_t i = 0; i < 5; ++i) large.strings[i].Assign(texts[i]);
    small.strings[0].Assign("x");
    small.strings[1].Assign("y");
    large.Assign(small);  // strings 0 and 1 only
    EXPECT_STREQ(large.strings[0].CStr(), "x");
    EXPECT_STREQ(large.strings[1].CStr(), "y");
    EXPECT_STREQ(large.strings[2].CStr(), "c");
    EXPECT_STREQ(large.strings[4].CStr(), "e");
    TextStringArray other(5, 0);
    other.Assign(large);
    small.Assign(other);  // the smaller array takes two of five
    EXPECT_STREQ(small.strings[1].CStr(), "y");
}

TEST(TextStringArray, NegativeSizesAndCounts) {
    // A negative count makes an empty array; a negative size counts as 0.
    TextStringArray none(-3, 10);
    EXPECT_EQ(none.count, 0);
    none.Clear();
    none.RefreshPointers();
    TextStringArray zero(1, -5);
    EXPECT_EQ(zero.strings[0].Capacity(), 13);
    EXPECT_EQ(zero.strings[0].TagRef(), 0);
}
