#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Runtime.h"

// The ANSI code page of the test prefix is Windows-1252, like the devices'.
TEST(CodePageAnsiToWide, AnsiCodePageIs1252) {
    WideChar out[3] = {};
    ASSERT_EQ(CodePageAnsiToWide("\x80\xE9", -1, out, 3), 3);
    EXPECT_EQ(out[0], 0x20AC) << std::hex << int(out[0]);
    EXPECT_EQ(out[1], 0x00E9) << std::hex << int(out[1]);
}
