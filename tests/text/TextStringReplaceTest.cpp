#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/AllocCounter.h"
#include "text/TextString.h"

namespace {

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '1' && c <= '9') || c == '_';
}

// The replacement done the slow, obvious way: search the whole text from
// its start after every replacement. Gives up (false) after `maxSteps`.
bool ReplaceSlowly(std::string& text, const std::string& find, const std::string& replacement,
                   bool wholeWord, int& count, int maxSteps) {
    count = 0;
    for (;;) {
        size_t p = text.find(find);
        while (p != std::string::npos && wholeWord &&
               ((p > 0 && IsWordChar(text[p - 1])) ||
                (p + find.size() < text.size() && IsWordChar(text[p + find.size()]))))
            p = text.find(find, p + 1);
        if (p == std::string::npos) return true;
        text = text.substr(0, p) + replacement + text.substr(p + find.size());
        if (++count > maxSteps) return false;
    }
}

}  // namespace

TEST(ReplaceText, Examples) {
    struct Case {
        const char* text;
        const char* find;
        const char* replacement;
        bool wholeWord;
        int32_t expected;
        const char* after;
    } cases[] = {
        {"cat concat cat", "cat", "dog", true, 2, "dog concat dog"},
        {"cat concat cat", "cat", "dog", false, 3, "dog condog dog"},
        {"abb", "ab", "a", false, 2, "a"},         // the replacement forms a new occurrence
        {"a-b-c", "-", nullptr, false, 2, "abc"},  // an absent replacement deletes
        {"abc", "x", "y", false, 0, "abc"},
        {"Cat cat", "cat", "dog", false, 1, "Cat dog"},  // always case-sensitive
        {"cat0", "cat", "dog", true, 1, "dog0"},
        {"xxab", "xab", "ab", false, 2, "ab"},  // formed across the front of the replacement
        {"a-a-", "a-", ".", true, 2, ".."},     // a rejected word counts once its neighbour changes
        {"aaaa", "aa", "b", false, 2, "bb"},
        {"", "a", "b", false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.text << "' '" << c.find << "' -> '"
                     << (c.replacement ? c.replacement : "(null)") << "' word " << c.wholeWord);
        TextString s(c.text);
        EXPECT_EQ(s.ReplaceText(c.find, c.replacement, c.wholeWord), c.expected);
        EXPECT_STREQ(s.CStr(), c.after);
    }
}

TEST(ReplaceText, SameAsSearchingFromTheStartEveryTime) {
    // Random short texts over a few characters, with and without whole words:
    // resuming the search near the last replacement must give exactly the
    // results of searching the whole text again.
    std::mt19937 random(12345);
    const char alphabet[] = "ab- ";
    auto word = [&](int maxLength, int minLength) {
        std::string w;
        int n = minLength + int(random() % unsigned(maxLength - minLength + 1));
        for (int i = 0; i < n; ++i) w += alphabet[random() % 4];
        return w;
    };
    int compared = 0;
    for (int round = 0; round < 8000; ++round) {
        std::string text = word(12, 0), find = word(3, 1), replacement = word(4, 0);
        bool wholeWord = random() % 2;
        std::string expected = text;
        int expectedCount = 0;
        if (!ReplaceSlowly(expected, find, replacement, wholeWord, expectedCount, 100)) continue;
        ++compared;
        TextString s(text.c_str());
        int32_t count = s.ReplaceText(find.c_str(), replacement.c_str(), wholeWord);
        ASSERT_EQ(count, expectedCount)
            << "'" << text << "' '" << find << "' -> '" << replacement << "' word " << wholeWord;
        ASSERT_EQ(std::string(s.CStr()), expected)
            << "'" << text << "' '" << find << "' -> '" << replacement << "' word " << wholeWord;
    }
    EXPECT_GT(compared, 6000);
}

TEST(ReplaceText, CallsThatCouldNeverEnd) {
    // An empty text to find: 0, nothing changes. A replacement that holds the
    // text to find, or one that keeps forming it with its neighbours, runs
    // into the bound on replacements or length: -1, nothing changes.
    struct Case {
        const char* text;
        const char* find;
        const char* replacement;
        bool wholeWord;
        int32_t expected;
    } cases[] = {
        {"abc", "", "x", false, 0},
        {"abc", "", "x", true, 0},
        {"banana", "a", "aa", false, -1},
        {"banana", "an", "an", false, -1},  // replacing a text by itself
        {"a b", "a", "-a", true, -1},       // a whole word again inside the replacement
        {"a b", "a", "a a", true, -1},
        {"aab", "ab", "bbaa", false, -1},  // grows through its neighbours
        {"xyz", "a", "aa", false, 0},      // nothing to replace: ends at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.text << "' '" << c.find << "' -> '"
                                        << c.replacement << "' word " << c.wholeWord);
        TextString s(c.text);
        EXPECT_EQ(s.ReplaceText(c.find, c.replacement, c.wholeWord), c.expected);
        EXPECT_STREQ(s.CStr(), c.text);
    }
}

TEST(ReplaceText, ReplacementsThatOnlyLookLikeLoops) {
    // These hold the text to find but not as a whole word, or form it with
    // their neighbours only a few times: they end, with their usual results.
    TextString word("a b");
    EXPECT_EQ(word.ReplaceText("a", "ba", true), 1);
    EXPECT_STREQ(word.CStr(), "ba b");
    TextString grow("abbbb");
    EXPECT_EQ(grow.ReplaceText("ab", "baaa", false), 40);
    EXPECT_EQ(grow.Length(), 85);
}

TEST(ReplaceText, NullAndAbsentArguments) {
    TextString null;
    EXPECT_EQ(null.ReplaceText("a", "b", false), 0);
    EXPECT_FALSE(null.HasBlock());
    TextString s("abc");
    EXPECT_EQ(s.ReplaceText(nullptr, "b", false), 0);
    EXPECT_STREQ(s.CStr(), "abc");
}

TEST(ReplaceText, ArgumentsFromTheStringItself) {
    // The text to find and the replacement are read as they were before the call.
    TextString s("ab");
    EXPECT_EQ(s.ReplaceText(s.CStr() + 1, s.CStr(), false), -1);  // "b" -> "ab" holds "b"
    TextString t("xy-xy");
    EXPECT_EQ(t.ReplaceText(t.CStr() + 2, t.CStr() + 3, false), 1);  // "-xy" -> "xy"
    EXPECT_STREQ(t.CStr(), "xyxy");
}

TEST(ReplaceText, ManyOccurrencesInALongText) {
    // 1 MiB with 10,000 occurrences, growing and shrinking.
    std::string text;
    for (int i = 0; i < 10000; ++i) text += std::string(100, 'x') + "COM" + std::string(1, 'y');
    text.resize(1 << 20, 'z');
    std::string longer, shorter;
    for (int i = 0; i < 10000; ++i) {
        longer += std::string(100, 'x') + "SERIAL PORT" + "y";
        shorter += std::string(100, 'x') + "y";
    }
    longer += std::string((1 << 20) - 10000 * 104, 'z');
    shorter += std::string((1 << 20) - 10000 * 104, 'z');
    TextString grow(text.c_str());
    EXPECT_EQ(grow.ReplaceText("COM", "SERIAL PORT", false), 10000);
    EXPECT_TRUE(std::string(grow.CStr()) == longer);
    TextString shrink(text.c_str());
    EXPECT_EQ(shrink.ReplaceText("COM", nullptr, true), 0);  // "xCOMy" is no whole word
    EXPECT_EQ(shrink.ReplaceText("COM", nullptr, false), 10000);
    EXPECT_TRUE(std::string(shrink.CStr()) == shorter);
}

TEST(ReplaceText, NoOccurrenceAllocatesNothing) {
    TextString s("a text without the word");
    AllocDelta delta;
    EXPECT_EQ(s.ReplaceText("COM", "PORT", false), 0);
    EXPECT_EQ(s.ReplaceText("word", "x", true), 1);
    EXPECT_EQ(delta.Allocs(), 1);  // the working copy; the block itself is big enough
}
