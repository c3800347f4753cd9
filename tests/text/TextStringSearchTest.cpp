#include <gtest/gtest.h>

#include "text/TextString.h"

TEST(FindText, FirstOccurrenceFromTheStart) {
    struct Case {
        const char* text;
        const char* find;
        int32_t expected;
    } cases[] = {
        {"banana", "an", 1},     // first of two
        {"banana", "nab", -1},   // absent
        {"banana", "banana", 0}, // the whole text
        {"banana", "bananas", -1},
        {"banana", "", 0},       // an empty text to find is found at 0
        {"", "", 0},             // also in an empty text that has a block
        {"", "a", -1},
        {"ab\xE9" "c", "\xE9", 2}, // bytes above 127 compare as bytes
        {"aB", "b", -1},           // exact case
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
