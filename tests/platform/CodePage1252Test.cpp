// Windows-1252 conversion, as Windows does it.
#include <gtest/gtest.h>

#include "platform/CodePage.h"

TEST(CodePage1252, EveryByteRoundTrips) {
    // All 256 bytes survive narrow -> wide -> narrow, the five unassigned
    // ones (0x81, 0x8D, 0x8F, 0x90, 0x9D) included.
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        char narrow[2] = {char(b), 0};
        WideChar wide[2];
        ASSERT_EQ(CodePageAnsiToWide(narrow, -1, wide, 2), 2);
        char back[2];
        ASSERT_EQ(CodePageWideToAnsi(wide, -1, back, 2), 2);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), b);
    }
}

TEST(CodePage1252, HighBytesMapLikeWindows) {
    struct Case {
        unsigned char byte;
        unsigned wide;
    } cases[] = {{0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F},
                 {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0x96, 0x2013},
                 {0xA1, 0x00A1}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x7F, 0x007F}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.byte));
        char narrow[2] = {char(c.byte), 0};
        WideChar wide[2] = {0x5555, 0x5555};
        CodePageAnsiToWide(narrow, -1, wide, 2);
        EXPECT_EQ(unsigned(wide[0]), c.wide);
    }
}

TEST(CodePage1252, UnmappableWideBecomesQuestionMark) {
    const WideChar wide[] = {'a', 0x0100, 0x4E2D, 'b', 0};
    char out[8];
    EXPECT_EQ(CodePageWideToAnsi(wide, -1, out, 8), 5);
    EXPECT_STREQ(out, "a??b");
}

TEST(CodePage1252, SizesAndFailures) {
    const WideChar wide[] = {'a', 'b', 'c', 0};
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(CodePageWideToAnsi(wide, -1, nullptr, 0), 4);  // size query
    EXPECT_EQ(CodePageWideToAnsi(wide, -1, out, 3), 0);      // too small: fails
    EXPECT_EQ(CodePageWideToAnsi(wide, 2, out, 4), 2);       // explicit length: no terminator
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[1], 'b');
    EXPECT_EQ(out[2], 'c');  // what the failed call wrote stays; nothing past dstSize
    EXPECT_EQ(out[3], 'x');
    WideChar w[4];
    EXPECT_EQ(CodePageAnsiToWide("abc", -1, w, 3), 0);
    EXPECT_EQ(CodePageAnsiToWide("abc", -1, w, 0), 4);
    EXPECT_EQ(CodePageAnsiToWide(nullptr, -1, w, 4), 0);
    EXPECT_EQ(CodePageAnsiToWide("abc", 0, w, 4), 0);
}
