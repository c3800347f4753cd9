#include <gtest/gtest.h>

#include "platform/CodePage.h"

TEST(CodePageAnsiToWide, EuroSign) {
    WideChar out[4];
    EXPECT_EQ(CodePageAnsiToWide("\x80", -1, out, 4), 2);
    EXPECT_EQ(out[0], 0x20AC);
}
