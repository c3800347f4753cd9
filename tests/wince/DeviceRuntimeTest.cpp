// What the device build brings of its own (platform/wince), run on the host:
// C99 formatting over a COREDLL-style _vsnprintf, trunc, the exit list, the
// case mapping and the error stream. cmake/Tests.cmake compiles those files
// against the device's headers and under other names (CeSnprintf, CeTrunc,
// CeCxaAtexit, ...), so the host's C library keeps its own; the COREDLL
// calls they make are played by the Coredll functions below.
#include <gtest/gtest.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/wince/ExitList.h"

extern "C" {
int CeSnprintf(char* buffer, size_t size, const char* format, ...);
double CeTrunc(double x);
int CeCxaAtexit(void (*function)(void*), void* argument, void* module);
int CeAtexit(void (*function)());
int CeFputs(const char* text, void* stream);
extern void* const CeStderr;
}
int RuntimeToUpper(int byteValue);
int RuntimeToLower(int byteValue);

namespace {

bool g_formatFails;
int g_formatCalls;

}  // namespace

// COREDLL's _vsnprintf: a text longer than size gives -1 and the first size
// bytes, unterminated; a text of exactly size bytes gives size, unterminated.
extern "C" int CoredllVsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    ++g_formatCalls;
    if (g_formatFails) return -1;
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size_t(n) + 1, '\0');
    vsnprintf(&text[0], text.size(), format, args);
    if (size_t(n) > size) {
        memcpy(buffer, text.data(), size);
        return -1;
    }
    memcpy(buffer, text.data(), size_t(n) < size ? size_t(n) + 1 : size_t(n));
    return n;
}

TEST(DeviceFormat, GivesTheWholeLengthAndATerminatedPrefix) {
    const std::string longest(size_t(1) << 22, 'x');  // the longest text measured
    struct Case {
        const char* what;
        size_t size;
        std::string text;
        int result;
    } cases[] = {
        {"fits", 16, "abc", 3},
        {"fits with its terminator exactly", 4, "abc", 3},
        {"as long as the buffer", 3, "abc", 3},
        {"longer than the buffer", 3, "abcdef", 6},
        {"no buffer", 0, "abcdef", 6},
        {"past the first measuring blocks", 8, std::string(1000, 'y'), 1000},
        {"past a buffer larger than the first block", 300, std::string(700, 'z'), 700},
        {"past a buffer over half the longest text", 3 << 20, longest.substr(1 << 19),
         int(longest.size()) - (1 << 19)},
        {"the longest text measured, less one", 8, longest.substr(1), int(longest.size()) - 1},
        {"longer than the longest text measured", 8, longest, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<char> buffer(c.size + 16, '#');
        EXPECT_EQ(CeSnprintf(c.size ? buffer.data() : nullptr, c.size, "%s", c.text.c_str()),
                  c.result);
        if (c.size) {
            size_t kept = std::min(c.text.size(), c.size - 1);
            EXPECT_EQ(std::string(buffer.data()), c.text.substr(0, kept));
        }
        EXPECT_EQ(std::string(buffer.data() + c.size, 16), std::string(16, '#'));
    }
}

TEST(DeviceFormat, AFormattingErrorEndsTerminatedAndBounded) {
    g_formatFails = true;
    g_formatCalls = 0;
    char buffer[8 + 4];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CeSnprintf(buffer, 8, "%s", "abc"), -1);
    EXPECT_EQ(buffer[7], 0);
    EXPECT_EQ(std::string(buffer + 8, 4), "####");
    EXPECT_LE(g_formatCalls, 16);  // one try, then blocks of 256 bytes to 4 MiB
    g_formatFails = false;
}

TEST(DeviceTrunc, MatchesTheHostsBitForBit) {
    const double kInf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0,
                             -0.0,
                             0.25,
                             -0.25,
                             0.5,
                             -0.999,
                             1.0,
                             -1.0,
                             2.7,
                             -2.7,
                             1e-310,
                             -1e-310,
                             4503599627370495.5,
                             -4503599627370495.5,
                             9007199254740993.0,
                             1e300,
                             -1e300,
                             kInf,
                             -kInf,
                             123456.789};
    for (double v : values) {
        SCOPED_TRACE(v);
        double got = CeTrunc(v), want = trunc(v);
        EXPECT_EQ(memcmp(&got, &want, sizeof got), 0) << got << " want " << want;
    }
    EXPECT_TRUE(isnan(CeTrunc(std::numeric_limits<double>::quiet_NaN())));
}

namespace {

std::vector<int> g_ran;

void Record(void* index) { g_ran.push_back(int(reinterpret_cast<intptr_t>(index))); }
void RecordPlain() { g_ran.push_back(100); }
void RegisterWhileRunning(void* index) {
    Record(index);
    CeAtexit(RecordPlain);
}

}  // namespace

TEST(DeviceExitList, RunsEveryEntryLastFirstPastTheFixedBlock) {
    // 40 entries: more than the fixed block holds. Entry 5 registers one
    // more while the list runs; it runs next, before entry 4.
    for (intptr_t i = 0; i < 40; ++i)
        ASSERT_EQ(CeCxaAtexit(i == 5 ? RegisterWhileRunning : Record, reinterpret_cast<void*>(i),
                              nullptr),
                  0);
    RunExitList();
    std::vector<int> want;
    for (int i = 39; i >= 5; --i) want.push_back(i);
    want.push_back(100);
    for (int i = 4; i >= 0; --i) want.push_back(i);
    EXPECT_EQ(g_ran, want);

    g_ran.clear();
    RunExitList();  // each entry runs once
    EXPECT_TRUE(g_ran.empty());
}

namespace {

std::vector<std::u16string> g_debugOutput;

}  // namespace

extern "C" void CoredllOutputDebugString(const char16_t* text) { g_debugOutput.push_back(text); }
extern "C" double CoredllWcstod(const char16_t*, char16_t**) { return 0; }
extern "C" int CoredllTerminateProcess(void*, unsigned) { return 0; }

// Only ASCII letters change case, as in CE's one locale.
TEST(DeviceRuntime, CaseMapsAsciiLettersOnly) {
    for (int c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(RuntimeToUpper(c), c >= 'a' && c <= 'z' ? c - 32 : c);
        EXPECT_EQ(RuntimeToLower(c), c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
}

// The error stream reaches the debugger whole, bytes as Latin-1, in pieces
// of at most 64 characters.
TEST(DeviceDebugOutput, WritesWholeTextsInShortPieces) {
    for (size_t length : {1, 64, 65, 130}) {
        SCOPED_TRACE(length);
        std::string text(length, 'a');
        text[0] = '\xE9';
        g_debugOutput.clear();
        EXPECT_EQ(CeFputs(text.c_str(), CeStderr), 0);
        std::u16string joined;
        for (const std::u16string& piece : g_debugOutput) {
            EXPECT_LE(piece.size(), 64u);
            joined += piece;
        }
        EXPECT_EQ(joined, u"\u00e9" + std::u16string(length - 1, u'a'));
    }
}
