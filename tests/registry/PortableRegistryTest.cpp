// Registry.h over a registry tree: handles, paths and answers as Windows gives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/InjectedFaults.h"

namespace {

const std::u16string kHklm = u"HKEY_LOCAL_MACHINE\\";

std::basic_string<WideChar> W(const std::u16string& s) {
    return std::basic_string<WideChar>(s.begin(), s.end());
}

class PortableRegistryTest : public testing::Test {
protected:
    void SetUp() override { PortableRegistryUse(&tree); }
    void TearDown() override {
        EXPECT_EQ(PortableRegistryOpenHandles(), 0);
        PortableRegistryUse(nullptr);
    }
    RegKey Open(const std::u16string& path) {
        RegKey key = reinterpret_cast<RegKey>(0xDEAD);
        EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(path).c_str(), 0, 1, &key), kRegOk)
            << std::string(path.begin(), path.end());
        return key;
    }
    RegTree tree;
};

}  // namespace

TEST_F(PortableRegistryTest, NamesIgnoreCaseAndKeepIt) {
    RegTreeSetString(tree, kHklm + u"Drivers\\BuiltIn\\Serial", u"Dll", u"a.dll");
    RegKey key = Open(u"DRIVERS\\builtin\\SERIAL");
    uint8_t data[32];
    uint32_t size = sizeof data, type = 99;
    EXPECT_EQ(RegistryQueryValue(key, W(u"DLL").c_str(), &type, data, &size), kRegOk);
    EXPECT_EQ(type, kRegTypeString);
    EXPECT_EQ(size, 12u);
    RegistryCloseKey(key);
    EXPECT_EQ(TreeKeyName(*RegTreeFindKey(tree, kHklm + u"drivers")), u"Drivers");
    // setting a value under another case replaces it, keeping one value
    RegTreeSetDword(tree, kHklm + u"Drivers\\BuiltIn\\Serial", u"dll", 7);
    EXPECT_EQ(TreeKeyValueCount(*RegTreeFindKey(tree, kHklm + u"Drivers\\BuiltIn\\Serial")), 1u);
    EXPECT_EQ(TreeValueName(*RegTreeGetValue(tree, kHklm + u"Drivers\\BuiltIn\\Serial", u"DLL")),
              u"Dll");
}

TEST_F(PortableRegistryTest, EnumeratesInCaseInsensitiveOrder) {
    // Names that share their first characters, differ in case after them,
    // or begin others.
    for (auto name : {u"b", u"C", u"a", u"\u00e9", u"E", u"abcdZ", u"ABCDa", u"abcd", u"Abc",
                      u"abcde\u00e9", u"abcdE", u"abcdefghZ", u"ABCDEFGHa", u"abcdefgh"})
        RegTreeCreateKey(tree, kHklm + u"K\\" + name);
    RegKey key = Open(u"K");
    std::u16string order;
    WideChar name[16];
    uint32_t index = 0;
    for (;; ++index) {
        uint32_t length = 16;
        long r = RegistryEnumKey(key, index, name, &length);
        if (r != kRegOk) {
            EXPECT_EQ(r, kRegNoMoreItems);
            break;
        }
        order += std::u16string(name, name + length) + u" ";
    }
    EXPECT_EQ(order, u"a Abc abcd ABCDa abcdE abcdefgh ABCDEFGHa abcdefghZ abcde\u00e9 abcdZ b C E "
                     u"\u00e9 ");
    // A buffer without room for the terminator is refused and left as it was.
    WideChar tight[2] = {u'x', u'x'};
    uint32_t length = 1;
    EXPECT_EQ(RegistryEnumKey(key, 0, tight, &length), kRegMoreData);
    EXPECT_EQ(tight[1], u'x');
    RegistryCloseKey(key);
}

TEST_F(PortableRegistryTest, QueryReportsSizesLikeWindows) {
    RegTreeSetValue(tree, kHklm + u"K", u"v", kRegTypeBinary, std::vector<uint8_t>(10, 0xAB));
    RegKey key = Open(u"K");
    uint8_t data[16];
    uint32_t size = 9;
    EXPECT_EQ(RegistryQueryValue(key, W(u"v").c_str(), nullptr, data, &size), kRegMoreData);
    EXPECT_EQ(size, 10u);
    size = 0;
    EXPECT_EQ(RegistryQueryValue(key, W(u"v").c_str(), nullptr, nullptr, &size), kRegOk);
    EXPECT_EQ(size, 10u);
    size = 16;
    EXPECT_EQ(RegistryQueryValue(key, W(u"missing").c_str(), nullptr, data, &size), kRegNotFound);
    // Bytes asked for without a count: refused, present value or not.
    for (auto name : {u"v", u"missing"})
        EXPECT_EQ(RegistryQueryValue(key, W(name).c_str(), nullptr, data, nullptr),
                  kRegInvalidParameter);
    RegistryCloseKey(key);
}

TEST_F(PortableRegistryTest, InjectedFaults) {
    LogKeyOpens();
    RegTreeCreateKey(tree, kHklm + u"K\\A");
    RegTreeCreateKey(tree, kHklm + u"K\\B");
    FaultOpenKey(kHklm + u"K\\B");
    FaultEnumKeyFrom(kHklm + u"K", 1);
    FaultWriteKey(kHklm + u"K\\A");
    RegKey k = Open(u"K"), a = Open(u"K\\A"), b = nullptr;
    EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(u"K\\B").c_str(), 0, 1, &b), kRegNotFound);
    WideChar name[8];
    uint32_t length = 8;
    EXPECT_EQ(RegistryEnumKey(k, 0, name, &length), kRegOk);
    length = 8;
    EXPECT_NE(RegistryEnumKey(k, 1, name, &length), kRegOk);
    const uint8_t bytes[2] = {0, 0};
    EXPECT_EQ(RegistrySetValue(a, W(u"Dll").c_str(), 0, 1, bytes, 2), kRegAccessDenied);
    EXPECT_EQ(RegTreeGetValue(tree, kHklm + u"K\\A", u"Dll"), nullptr);
    EXPECT_EQ(PortableRegistryOpenHandles(), 2);
    EXPECT_EQ(RegistryFlushKey(a), kRegOk);  // nothing pending in a tree in memory
    RegistryCloseKey(a);
    RegistryCloseKey(k);
    EXPECT_NE(RegistryCloseKey(k), kRegOk);  // a second close is refused
    EXPECT_EQ(RegistryFlushKey(k), kRegInvalidHandle);
    EXPECT_EQ(KeyOpenLog().back(), kHklm + u"K\\B");
    PortableRegistryUse(&tree);  // takes the faults away with the hook
    RegTreeCreateKey(tree, kHklm + u"K\\B");
    RegistryCloseKey(Open(u"K\\B"));
}

TEST_F(PortableRegistryTest, OpenRelativeToAnOpenKey) {
    RegTreeSetString(tree, kHklm + u"K\\Sub", u"x", u"1");
    RegKey k = Open(u"K");
    RegKey same = nullptr, sub = nullptr;
    EXPECT_EQ(RegistryOpenKey(k, W(u"").c_str(), 0, 1, &same), kRegOk);
    EXPECT_EQ(RegistryOpenKey(k, W(u"sub").c_str(), 0, 1, &sub), kRegOk);
    EXPECT_NE(same, k);  // a new handle to the same key
    const uint8_t v[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegistrySetValue(same, W(u"n").c_str(), 0, kRegTypeDword, v, 4), kRegOk);
    EXPECT_NE(RegTreeGetValue(tree, kHklm + u"K", u"N"), nullptr);
    for (RegKey h : {k, same, sub}) RegistryCloseKey(h);
}

TEST_F(PortableRegistryTest, DeletingAKeyForgetsItsHandles) {
    RegTreeCreateKey(tree, kHklm + u"K\\Sub");
    Open(u"K\\Sub");
    EXPECT_TRUE(RegTreeDeleteKey(tree, kHklm + u"K"));
    EXPECT_EQ(PortableRegistryOpenHandles(), 0);
    EXPECT_EQ(RegTreeFindKey(tree, kHklm + u"K"), nullptr);
    EXPECT_FALSE(RegTreeDeleteKey(tree, kHklm + u"K"));
}

// Paths and names as Windows answers them, also where the path begins as the
// one opened before, or is spelled as the sub-key enumerated last.
TEST_F(PortableRegistryTest, PathsAsWindowsAnswersThem) {
    RegTreeCreateKey(tree, kHklm + u"Drivers\\Active");
    const std::u16string kTooLong(256, u'k');  // a name the tree holds, no path may spell
    RegTreeCreateKey(tree, kHklm + u"Drivers\\" + kTooLong);
    struct Case {
        std::u16string path;
        long result;
    } cases[] = {
        {u"Drivers\\Active", kRegOk},
        {u"Drivers\\Active\\", kRegOk},  // trailing backslashes are ignored
        {u"Drivers\\Active\\\\", kRegOk},
        {u"Drivers\\Active\\\\\\\\", kRegOk},
        {u"\\Drivers\\Active", kRegBadPath},  // a leading backslash
        {u"\\", kRegBadPath},
        {u"Drivers\\\\Active", kRegBadPath},  // an empty part (Wine opens it; Windows does not)
        {std::u16string(255, u'k'), kRegNotFound},  // the longest name: only absent
        {std::u16string(256, u'k'), kRegInvalidParameter},
        {u"Drivers\\Active", kRegOk},
        {u"Drivers\\" + kTooLong, kRegInvalidParameter},
        {u"Drivers\\\\Active", kRegBadPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.path.begin(), c.path.begin() + std::min<size_t>(c.path.size(), 40)));
        RegKey key = nullptr;
        EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(c.path).c_str(), 0, 1, &key), c.result);
        if (c.result == kRegOk) RegistryCloseKey(key);
    }
    // An empty name at every place of a path; a backslash before ']', the
    // character after it, makes none.
    for (size_t at = 1; at <= 12; ++at) {
        SCOPED_TRACE(at);
        std::u16string path(15, u'k');
        path[at] = u'\\';
        RegKey key = nullptr;
        for (char16_t next : {u']', u'\\'}) {
            path[at + 1] = next;
            EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(path).c_str(), 0, 1, &key),
                      next == u']' ? kRegNotFound : kRegBadPath);
        }
    }
    RegKey k = Open(u"Drivers");
    WideChar name[300];
    uint32_t length = 300;
    ASSERT_EQ(RegistryEnumKey(k, 1, name, &length), kRegOk);
    ASSERT_EQ(length, 256u);
    RegKey key = nullptr;
    EXPECT_EQ(RegistryOpenKey(k, name, 0, 1, &key), kRegInvalidParameter);
    const uint8_t bytes[2] = {0, 0};
    EXPECT_EQ(RegistrySetValue(k, W(std::u16string(16383, u'v')).c_str(), 0, 1, bytes, 2), kRegOk);
    EXPECT_EQ(RegistrySetValue(k, W(std::u16string(16384, u'v')).c_str(), 0, 1, bytes, 2),
              kRegInvalidParameter);
    RegistryCloseKey(k);
}

// Opening keeps the parent of the last path and the last sub-key enumerated:
// each later open still finds the key its own path names, below its own base,
// in any spelling, and nothing once that key or its parent is deleted.
TEST_F(PortableRegistryTest, EachOpenFindsItsOwnKeyAfterOthers) {
    for (auto path : {u"A", u"A\\P", u"A\\P\\X", u"A\\P\\Y", u"B", u"B\\A", u"B\\A\\P\\X", u"B\\P"})
        RegTreeSetString(tree, kHklm + path, u"id", path);
    RegKey b = Open(u"B");
    struct Step {
        std::u16string remove;  // a key deleted first
        int enumerate;          // an index of B enumerated first, or -1
        bool belowB;            // opened below B, else below HKEY_LOCAL_MACHINE
        std::u16string path;
        std::u16string id;  // of the key opened; empty: not found
    } steps[] = {
        {u"", -1, false, u"A\\P\\X", u"A\\P\\X"},
        {u"", -1, false, u"A\\P\\Y", u"A\\P\\Y"},
        {u"", -1, true, u"A\\P\\X", u"B\\A\\P\\X"},
        {u"", -1, false, u"a\\p\\y", u"A\\P\\Y"},
        {u"", -1, false, u"a\\p\\z", u""},
        {u"", 0, true, u"A", u"B\\A"},
        {u"", 0, false, u"A", u"A"},
        {u"", 0, true, u"P", u"B\\P"},
        {u"", 1, true, u"p", u"B\\P"},
        {u"A\\P", -1, false, u"a\\p\\x", u""},
        {u"B\\P", 1, true, u"P", u""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::string(s.path.begin(), s.path.end()) + (s.belowB ? " below B" : ""));
        WideChar name[8];
        uint32_t length = 8;
        EXPECT_TRUE(s.enumerate < 0 ||
                    RegistryEnumKey(b, uint32_t(s.enumerate), name, &length) == 0);
        EXPECT_TRUE(s.remove.empty() || RegTreeDeleteKey(tree, kHklm + s.remove));
        RegKey key = nullptr;
        long r =
            RegistryOpenKey(s.belowB ? b : REG_ROOT_LOCAL_MACHINE, W(s.path).c_str(), 0, 1, &key);
        EXPECT_EQ(r, s.id.empty() ? kRegNotFound : kRegOk);
        if (r != kRegOk) continue;
        WideChar id[16] = {};
        uint32_t bytes = sizeof id - 2;
        EXPECT_EQ(RegistryQueryValue(key, W(u"id").c_str(), nullptr, (uint8_t*)id, &bytes), 0);
        EXPECT_EQ(std::u16string(id, id + bytes / 2 - 1), s.id);
        RegistryCloseKey(key);
    }
    RegistryCloseKey(b);
}
