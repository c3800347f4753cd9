#include <gtest/gtest.h>

#include "text/TextString.h"

TEST(Reserve, FirstAllocationAddsThirteen) {
    TextString s("COM");
    EXPECT_EQ(s.Capacity(), 16);
}
