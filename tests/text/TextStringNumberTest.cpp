#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>

#include "text/TextString.h"

namespace {

struct DoubleCase {
    int32_t decimals;
    double value;
    const char* expected;
};

struct WidthCase {
    double value;
    int32_t width;
    const char* expected;
};

struct IntCase {
    const char* text;
    int32_t expected;
};

struct HexCase {
    const char* text;
    uint32_t expected;
};

}  // namespace

// The decimals setting chooses the precision; a negative one means six digits.
TEST(AppendDouble, FollowsDecimalsSetting) {
    const DoubleCase cases[] = {
        {1, 3.14159, "3.1"},
        {2, 3.14159, "3.14"},
        {0, 3.7, "4"},
        {-1, 3.14159, "3.141590"},
        {-128, 2.5, "2.500000"},
        {3, -0.0005, "-0.001"},
        {1, -2.26, "-2.3"},
        {5, 1e6, "1000000.00000"},
        // 200 keeps its low 8 bits: -56, a negative setting.
        {200, 1.5, "1.500000"},
    };
    for (const DoubleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "decimals " << c.decimals << ", value " << c.value);
        TextString s("x=");
        s.SetDecimals(c.decimals);
        s.AppendDouble(c.value);
        EXPECT_EQ(std::string(s.CStr()), std::string("x=") + c.expected);
    }
}

// A new string and a null string both append with one decimal.
TEST(AppendDouble, NewAndNullStringsUseOneDecimal) {
    TextString fresh("");
    TextString null;
    EXPECT_STREQ(fresh.AppendDouble(3.14159).CStr(), "3.1");
    EXPECT_STREQ(null.AppendDouble(3.14159).CStr(), "3.1");
}

// 127 decimals of the largest double are produced whole.
TEST(AppendDouble, LongestTextIsWhole) {
    TextString s;
    s.SetDecimals(127);
    s.AppendDouble(-DBL_MAX);
    EXPECT_EQ(s.Length(), 1 + 309 + 1 + 127) << s.CStr();
    EXPECT_EQ(s.CharAt(0), '-');
}

// Infinities and NaN read the same on every platform.
TEST(AppendDouble, NonFiniteValues) {
    TextString s;
    s.AppendDouble(HUGE_VAL).Append(' ').AppendDouble(-HUGE_VAL).Append(' ').AppendDouble(NAN);
    s.Append(' ').AppendFloat(-NAN);
    EXPECT_STREQ(s.CStr(), "inf -inf nan nan");
}

// A float is widened exactly before formatting.
TEST(AppendFloat, WidensExactly) {
    TextString six;
    six.SetDecimals(-1);
    EXPECT_STREQ(six.AppendFloat(0.1f).CStr(), "0.100000");
    TextString nine;
    nine.SetDecimals(9);
    EXPECT_STREQ(nine.AppendFloat(0.1f).CStr(), "0.100000001");
    TextString same;
    same.AppendFloat(2.75f).Append('/').AppendDouble(2.75);
    EXPECT_STREQ(same.CStr(), "2.8/2.8");
}

// Each integer kind narrows and formats as its own type.
TEST(AppendIntegers, NarrowAndFormat) {
    struct Case {
        std::string got;
        const char* expected;
    };
    const Case cases[] = {
        {TextString("n=").AppendByte('\xE9').CStr(), "n=233"},
        {TextString("n=").AppendByte(0).CStr(), "n=0"},
        {TextString("n=").AppendShort(-5).CStr(), "n=-5"},
        {TextString("n=").AppendShort(70000).CStr(), "n=4464"},
        {TextString("n=").AppendShort(0x18000).CStr(), "n=-32768"},
        {TextString("n=").AppendUnsigned(UINT32_MAX).CStr(), "n=4294967295"},
        {TextString("n=").AppendUnsignedLong(UINT32_MAX).CStr(), "n=4294967295"},
        {TextString("n=").AppendLong(-1).CStr(), "n=-1"},
        {TextString("n=").AppendLong(INT32_MIN).CStr(), "n=-2147483648"},
        {TextString("n=").AppendLong(INT32_MAX).CStr(), "n=2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.got, c.expected);
    }
}

// Appends chain in stream style, each returning the string itself.
TEST(AppendIntegers, Chain) {
    TextString s;
    s.Append("COM").AppendUnsigned(5).Append(':').AppendLong(-2).AppendByte('A');
    EXPECT_STREQ(s.CStr(), "COM5:-265");
}

// The width counts sign and digits; the decimals fill what the integer part leaves.
TEST(AssignDoubleToWidth, Widths) {
    const WidthCase cases[] = {
        {3.14159, 6, "3.14159"},
        {123.456, 6, "123.456"},
        {-2.5, 4, "-2.50"},
        {12345.6, 3, "12345.600000"},
        {0.25, 1, "0"},
        {9.99, 2, "10.0"},
        {-0.5, 3, "-0.50"},
        {7.0, 300, "7.0000000000000000000000000000000000000000000"},  // 299 -> 43 decimals
        {7.0, INT32_MIN, "7.000000"},
        // Integer parts outside 32 bits count all their digits.
        {1e10, 12, "10000000000.0"},
        {-1e10, 13, "-10000000000.0"},
        {2147483648.0, 11, "2147483648.0"},
        {-2147483648.5, 12, "-2147483648.5"},
        {-2147483649.0, 12, "-2147483649.0"},
        // Non-finite values.
        {HUGE_VAL, 5, "inf"},
        {-HUGE_VAL, 5, "-inf"},
        {NAN, 5, "nan"},
    };
    for (const WidthCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.value << ", width " << c.width);
        TextString s("old text");
        s.AssignDoubleToWidth(c.value, c.width);
        EXPECT_STREQ(s.CStr(), c.expected);
    }
}

// Huge values keep their every digit, and the string's own setting is untouched.
TEST(AssignDoubleToWidth, HugeValueAndOwnDecimals) {
    TextString s;
    s.SetDecimals(4);
    s.AssignDoubleToWidth(1e300, 5);
    EXPECT_EQ(s.Length(), 301 + 7) << s.CStr();  // 5 - 301 reads as -40: six decimals
    EXPECT_EQ(s.DecimalsRef(), 4);
}

// The whole text becomes the decimal number.
TEST(AssignInt, Values) {
    const IntCase cases[] = {
        {"0", 0}, {"42", 42}, {"-7", -7}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.text);
        TextString null;
        null.AssignInt(c.expected);
        EXPECT_STREQ(null.CStr(), c.text);
        TextString longer("a much longer text than any number");
        longer.AssignInt(c.expected);
        EXPECT_STREQ(longer.CStr(), c.text);
    }
}

// atoi's reading, clamped to 32 bits outside the range.
TEST(IntValue, Texts) {
    const IntCase cases[] = {
        {"42abc", 42},
        {" -7", -7},
        {"", 0},
        {"abc", 0},
        {"+15", 15},
        {"\t\r\n12", 12},
        {"- 5", 0},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"4294967296", INT32_MAX},
        {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextString(c.text).IntValue(), c.expected);
    }
    EXPECT_EQ(TextString().IntValue(), 0);
}

// scanf("%X")'s reading, 0xFFFFFFFF past 32 bits.
TEST(HexValue, Texts) {
    const HexCase cases[] = {
        {"1F", 31},
        {"ff", 255},
        {"0x1A", 26},
        {"0X1a", 26},
        {"", 0},
        {"zz", 0},
        {" 5", 5},
        {"4g", 4},
        {"+A", 10},
        {"0x", 0},
        {"0xg", 0},
        {"FFFFFFFF", UINT32_MAX},
        {"100000000", UINT32_MAX},
        {"-1", UINT32_MAX},
        {"-10", 0xFFFFFFF0u},
        {"123456789ABCDEF", UINT32_MAX},
    };
    for (const HexCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextString(c.text).HexValue(), c.expected);
    }
    EXPECT_EQ(TextString().HexValue(), 0u);
}

// wcstod's reading through a wide copy.
TEST(DoubleValue, Texts) {
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"2.5e3", 2500.0}, {"abc", 0.0}, {"", 0.0},     {" -1.25x", -1.25},
        {"3,5", 3.0},      {"0.1", 0.1}, {"\xE9", 0.0}, {"1e-3", 0.001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        EXPECT_EQ(s.DoubleValue(), c.expected);
        EXPECT_EQ(s.AsDouble(), c.expected);
        EXPECT_EQ(ParseDouble(c.text), c.expected);
    }
    EXPECT_EQ(TextString().DoubleValue(), 0.0);
}

// Tokens come off the front one at a time.
TEST(Extract, StreamOfTokens) {
    TextString s("12 3.5 x");
    int32_t i = -1;
    double d = -1;
    s.ExtractInt(i);
    EXPECT_EQ(i, 12);
    EXPECT_STREQ(s.CStr(), "3.5 x");
    s.ExtractDouble(d);
    EXPECT_EQ(d, 3.5);
    EXPECT_STREQ(s.CStr(), "x");
    s.ExtractInt(i);
    EXPECT_EQ(i, 0);
    EXPECT_STREQ(s.CStr(), "");
    s.ExtractInt(i);
    EXPECT_EQ(i, 0) << "an empty string stores 0";
}

// Extractions chain.
TEST(Extract, Chains) {
    TextString s("1 -2 3");
    int32_t a = 0, b = 0, c = 0;
    s.ExtractInt(a).ExtractLong(b).ExtractInt(c);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(c, 3);
    EXPECT_TRUE(s.IsEmpty());
}

// Two spaces between tokens lose the second token.
TEST(Extract, TwoSpacesLoseSecondToken) {
    TextString s("12  34");
    int32_t i = -1;
    s.ExtractInt(i);
    EXPECT_EQ(i, 12);
    EXPECT_STREQ(s.CStr(), " 34");
    s.ExtractInt(i);
    EXPECT_EQ(i, 0);
    EXPECT_STREQ(s.CStr(), "");
}

// Only the space separates: tabs and line ends belong to the token.
TEST(Extract, OnlySpaceSeparates) {
    TextString s("a\tb\r\n c");
    TextString token;
    s.ExtractToken(token);
    EXPECT_STREQ(token.CStr(), "a\tb\r\n");
    EXPECT_STREQ(s.CStr(), "c");
    TextString n("1\t2 3");
    int32_t i = 0;
    n.ExtractInt(i);
    EXPECT_EQ(i, 1);
    EXPECT_STREQ(n.CStr(), "3");
}

// A leading space: the int token is empty, the bool reads the number after it.
TEST(Extract, LeadingSpace) {
    TextString forInt(" 5");
    int32_t i = -1;
    forInt.ExtractInt(i);
    EXPECT_EQ(i, 0);
    EXPECT_STREQ(forInt.CStr(), "");
    TextString forBool(" 5");
    bool b = false;
    forBool.ExtractBool(b);
    EXPECT_TRUE(b);
    EXPECT_STREQ(forBool.CStr(), "");
}

// ExtractBool reads the front number, then cuts the token.
TEST(ExtractBool, ReadsThenCuts) {
    TextString s("0 1");
    bool b = true;
    s.ExtractBool(b);
    EXPECT_FALSE(b);
    EXPECT_STREQ(s.CStr(), "1");
    s.ExtractBool(b);
    EXPECT_TRUE(b);
    EXPECT_STREQ(s.CStr(), "");
    s.ExtractBool(b);
    EXPECT_FALSE(b) << "nothing left reads as 0";
    TextString null;
    b = true;
    null.ExtractBool(b);
    EXPECT_FALSE(b);
    EXPECT_FALSE(null.HasBlock());
}

// Narrowing extractions: the short keeps the low 16 bits, the float saturates to infinity.
TEST(Extract, Narrowing) {
    struct ShortCase {
        const char* text;
        int16_t expected;
    };
    const ShortCase shorts[] = {
        {"70000", 4464}, {"-1", -1}, {"32768", -32768}, {"99999999999", -1}, {"x", 0},
    };
    for (const ShortCase& c : shorts) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        int16_t v = 123;
        s.ExtractShort(v);
        EXPECT_EQ(v, c.expected);
    }
    struct FloatCase {
        const char* text;
        float expected;
    };
    const FloatCase floats[] = {
        {"0.1", 0.1f},   {"1e300", HUGE_VALF}, {"-1e300", -HUGE_VALF}, {"3.4028235e38", FLT_MAX},
        {"1e-50", 0.0f}, {"", 0.0f},
    };
    for (const FloatCase& c : floats) {
        SCOPED_TRACE(c.text);
        TextString s(c.text);
        float v = 123;
        s.ExtractFloat(v);
        EXPECT_EQ(v, c.expected);
    }
    TextString s("-99999999999 x");
    int32_t l = 0;
    s.ExtractLong(l);
    EXPECT_EQ(l, INT32_MIN);
}

// ExtractToken leaves the destination alone when there is nothing to read.
TEST(ExtractToken, EmptySourceKeepsDestination) {
    TextString empty("");
    TextString null;
    TextString destination("keep");
    empty.ExtractToken(destination);
    null.ExtractToken(destination);
    EXPECT_STREQ(destination.CStr(), "keep");
    EXPECT_FALSE(null.HasBlock());
}

// The last token, a leading space, and a string extracting into itself.
TEST(ExtractToken, Shapes) {
    TextString whole("abc");
    TextString destination("old");
    whole.ExtractToken(destination);
    EXPECT_STREQ(destination.CStr(), "abc");
    EXPECT_STREQ(whole.CStr(), "");

    TextString leading(" abc def");
    leading.ExtractToken(destination);
    EXPECT_STREQ(destination.CStr(), "");
    EXPECT_STREQ(leading.CStr(), "");

    TextString self("first second");
    self.ExtractToken(self);
    EXPECT_STREQ(self.CStr(), "first");
}
