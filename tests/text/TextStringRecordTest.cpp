#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "text/TextString.h"

namespace {

// A temporary file, closed (and so deleted) at the end of the test.
struct TempFile {
    FILE* f = tmpfile();
    ~TempFile() {
        if (f) fclose(f);
    }
    std::vector<unsigned char> Bytes() {
        fflush(f);
        long end = ftell(f);
        std::vector<unsigned char> bytes(size_t(end > 0 ? end : 0));
        rewind(f);
        size_t got = fread(bytes.data(), 1, bytes.size(), f);
        bytes.resize(got);
        return bytes;
    }
    void Put(const std::vector<unsigned char>& bytes) {
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        rewind(f);
    }
};

}  // namespace

TEST(Operators, Concatenation) {
    TextString com("COM"), five("5");
    EXPECT_STREQ((com + five).CStr(), "COM5");
    EXPECT_STREQ((com + ':').CStr(), "COM:");
    EXPECT_STREQ((com + "5:").CStr(), "COM5:");
    EXPECT_STREQ((com + com).CStr(), "COMCOM");
    EXPECT_STREQ(com.CStr(), "COM");  // the left operand never changes
    EXPECT_STREQ((com + '\0').CStr(), "COM");
    EXPECT_STREQ((com + static_cast<const char*>(nullptr)).CStr(), "COM");
    TextString null;
    EXPECT_FALSE((null + static_cast<const char*>(nullptr)).HasBlock());
    EXPECT_FALSE((null + null).HasBlock());
    EXPECT_STREQ((null + 'A').CStr(), "A");
}

TEST(Operators, OrderFollowsCompare) {
    // An empty string against a non-empty text: Compare gives 1, so it is greater.
    struct Case {
        const char* left;  // null: a string without a block
        const char* right;
        bool less, greater;
    } cases[] = {
        {"abc", "abd", true, false},  {"abd", "abc", false, true},
        {"abc", "abc", false, false}, {nullptr, "abc", false, true},
        {"", "abc", false, true},     {"abc", nullptr, false, true},
        {"abc", "", false, true},     {nullptr, nullptr, false, false},
        {nullptr, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.left ? c.left : "(null)") << " vs " << (c.right ? c.right : "(null)"));
        TextString left;
        if (c.left) left.Assign(c.left);
        EXPECT_EQ(left < c.right, c.less);
        EXPECT_EQ(left > c.right, c.greater);
        TextString right;
        if (c.right) right.Assign(c.right);
        EXPECT_EQ(left < right, c.less);
        EXPECT_EQ(left > right, c.greater);
    }
}

TEST(Fill, WritesTheFirstPositions) {
    TextString s("abcdef");
    EXPECT_EQ(s.Fill('x', 3), 3);
    EXPECT_STREQ(s.CStr(), "xxxdef");  // the rest of the text stays
    EXPECT_EQ(s.Fill('y', 0), 0);
    EXPECT_EQ(s.Fill('y', -2), 0);
    EXPECT_STREQ(s.CStr(), "xxxdef");
    EXPECT_EQ(s.Fill('z', 6), 6);
    EXPECT_STREQ(s.CStr(), "zzzzzz");
}

TEST(Fill, PastTheOldEndTheCopiesAreTheText) {
    TextString s("ab");
    s.CutAt('b');  // leaves a stale 'b' behind the terminator
    EXPECT_EQ(s.Fill('-', 40), 40);
    EXPECT_EQ(std::string(s.CStr()), std::string(40, '-'));
    TextString null;
    EXPECT_EQ(null.Fill('q', 3), 3);
    EXPECT_STREQ(null.CStr(), "qqq");
}

TEST(Extract, AllAndFirstCharacter) {
    TextString s("COM5:"), destination("old");
    EXPECT_EQ(&s.ExtractAll(destination), &s);
    EXPECT_STREQ(destination.CStr(), "COM5:");
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_TRUE(s.HasBlock());

    TextString abc("abc");
    char c = 'q';
    abc.ExtractChar(c);
    EXPECT_EQ(c, 'a');
    EXPECT_STREQ(abc.CStr(), "");  // the rest is discarded
    abc.ExtractChar(c);
    EXPECT_EQ(c, 0);
    TextString high("\xE9");
    high.ExtractChar(c);
    EXPECT_EQ(c, -23);
}

TEST(Extract, AllIntoItselfKeepsTheText) {
    TextString s("keep");
    s.ExtractAll(s);
    EXPECT_STREQ(s.CStr(), "keep");
}

TEST(Record, WritesLengthTextAndNewline) {
    TempFile file;
    ASSERT_NE(file.f, nullptr);
    TextString com("COM5:"), empty(""), null;
    EXPECT_EQ(com.WriteRecord(file.f), 10);
    EXPECT_EQ(empty.WriteRecord(file.f), 10);
    EXPECT_EQ(null.WriteRecord(file.f), 10);
    std::vector<unsigned char> expected = {5, 0, 'C', 'O', 'M', '5', ':', 10, 0, 0, 10, 0, 0, 10};
    EXPECT_EQ(file.Bytes(), expected);
}

TEST(Record, RoundTrips) {
    // Lengths around the byte boundary and the largest a record can hold.
    TempFile file;
    ASSERT_NE(file.f, nullptr);
    std::vector<std::string> texts = {
        "",         "x", std::string(255, 'a'), std::string(256, 'b'), std::string(32767, 'c'),
        "\xE9t\xE9"};
    for (const std::string& t : texts) EXPECT_EQ(TextString(t.c_str()).WriteRecord(file.f), 10);
    rewind(file.f);
    for (const std::string& t : texts) {
        SCOPED_TRACE(t.size());
        TextString s("previous");
        EXPECT_EQ(s.ReadRecord(file.f, 32767), 1);
        EXPECT_TRUE(std::string(s.CStr()) == t) << "read " << s.Length() << " characters";
    }
    TextString after("unchanged");
    EXPECT_EQ(after.ReadRecord(file.f, 100), 0);  // the end of the stream: no record
    EXPECT_STREQ(after.CStr(), "unchanged");
}

TEST(Record, NullStringReadsBackEmptyWithABlock) {
    TempFile file;
    TextString null;
    null.WriteRecord(file.f);
    rewind(file.f);
    TextString back;
    EXPECT_EQ(back.ReadRecord(file.f, 0), 1);
    EXPECT_TRUE(back.HasBlock());
    EXPECT_STREQ(back.CStr(), "");
}

TEST(Record, OverLongRecordIsRefusedAfterTheLengthField) {
    TempFile file;
    TextString("COM5:").WriteRecord(file.f);
    rewind(file.f);
    TextString s("old");
    EXPECT_EQ(s.ReadRecord(file.f, 4), 0);
    EXPECT_STREQ(s.CStr(), "old");
    EXPECT_EQ(ftell(file.f), 2);  // just after the length field
    rewind(file.f);
    EXPECT_EQ(s.ReadRecord(file.f, 5), 1);
    EXPECT_STREQ(s.CStr(), "COM5:");
}

TEST(Record, TooLongToWriteIsRefused) {
    // More than 32767 characters: EOF and nothing written.
    TempFile file;
    std::string text(32768, 'x');
    EXPECT_EQ(TextString(text.c_str()).WriteRecord(file.f), EOF);
    EXPECT_TRUE(file.Bytes().empty());
    EXPECT_EQ(TextString("a").WriteRecord(nullptr), EOF);
}

TEST(Record, HostileAndTruncatedFiles) {
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        int32_t maximum;
        int32_t expected;
        const char* text;  // the string afterwards; it held "old"
        long position;     // where the stream stands afterwards
    } cases[] = {
        {"negative length 65535", {0xFF, 0xFF, 'a', 10}, 100000, 0, "old", 2},
        {"negative length 32768", {0x00, 0x80, 'a', 10}, 100000, 0, "old", 2},
        {"no length field", {}, 10, 0, "old", 0},
        {"half a length field", {3}, 10, 0, "old", 1},
        {"text cut short", {5, 0, 'a', 'b'}, 10, 0, "ab", 4},
        {"no end byte", {2, 0, 'a', 'b'}, 10, 0, "ab", 4},
        {"wrong end byte", {2, 0, 'a', 'b', 'c'}, 10, 1, "ab", 5},
        {"newline inside", {3, 0, 'a', 10, 'b', 10}, 10, 1, "a", 6},
        {"empty record", {0, 0, 10}, 0, 1, "", 3},
        {"negative maximum", {0, 0, 10}, -1, 0, "old", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFile file;
        file.Put(c.bytes);
        TextString s("old");
        EXPECT_EQ(s.ReadRecord(file.f, c.maximum), c.expected);
        EXPECT_STREQ(s.CStr(), c.text);
        EXPECT_LT(s.Length(), s.Capacity());  // terminated within the block
        EXPECT_EQ(ftell(file.f), c.position);
    }
    TextString s("old");
    EXPECT_EQ(s.ReadRecord(nullptr, 10), 0);
}

TEST(FillBytes, LowByteOfTheValue) {
    unsigned char bytes[6] = {1, 2, 3, 4, 5, 6};
    FillBytes(bytes + 1, 3, 0x1AB);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 0xAB);
    EXPECT_EQ(bytes[3], 0xAB);
    EXPECT_EQ(bytes[4], 5);
    ZeroBytes(bytes, 2);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 0xAB);
    FillBytes(bytes, 0, 9);
    FillBytes(bytes, -4, 9);
    FillBytes(nullptr, 4, 9);
    EXPECT_EQ(bytes[0], 0);
}
