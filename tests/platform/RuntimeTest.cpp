// The runtime functions that must agree on every platform.
#include <gtest/gtest.h>

#include <locale.h>

#include <string>

#include "platform/Runtime.h"

namespace {
double Parse(const std::u16string& s, size_t* end = nullptr) {
    std::basic_string<WideChar> w(s.begin(), s.end());
    return RuntimeWideToDouble(w.c_str(), end);
}
}  // namespace

TEST(RuntimeMemICmp, FoldsAsciiLettersOnly) {
    EXPECT_EQ(RuntimeMemICmp("Dll", "DLL", 3), 0);
    EXPECT_LT(RuntimeMemICmp("abc", "ABD", 3), 0);
    EXPECT_GT(RuntimeMemICmp("b", "A", 1), 0);
    EXPECT_NE(RuntimeMemICmp("\xE9", "\xC9", 1), 0);
    EXPECT_EQ(RuntimeMemICmp("ab\0x", "AB\0y", 3), 0);  // only n bytes, zero bytes included
}

TEST(RuntimeCase, HighBytesStayAsTheyAre) {
    for (int c = 128; c < 256; ++c) {
        EXPECT_EQ(RuntimeToUpper(c), c);
        EXPECT_EQ(RuntimeToLower(c), c);
    }
    EXPECT_EQ(RuntimeToUpper('q'), 'Q');
    EXPECT_EQ(RuntimeToLower('Q'), 'q');
}

TEST(RuntimeWideToDouble, ReadsTheLongestNumberPrefix) {
    size_t end = 99;
    EXPECT_DOUBLE_EQ(Parse(u"  -2.5e3xyz", &end), -2500.0);
    EXPECT_EQ(end, 8u);
    EXPECT_DOUBLE_EQ(Parse(u"abc", &end), 0.0);
    EXPECT_EQ(end, 0u);
    EXPECT_DOUBLE_EQ(Parse(u"3.5\u00e9"), 3.5);  // a non-ASCII character ends the number
}

TEST(RuntimeWideToDouble, IgnoresTheProcessLocale) {
    const char* commaLocales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "es_ES.UTF-8", "de_DE"};
    const char* found = nullptr;
    for (const char* name : commaLocales)
        if (setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    if (!found) GTEST_SKIP() << "no decimal-comma locale installed";
    double value = Parse(u"1.5");
    setlocale(LC_NUMERIC, "C");
    EXPECT_DOUBLE_EQ(value, 1.5);
}
