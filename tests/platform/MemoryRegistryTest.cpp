// The in-memory registry behind the Registry.h calls.
#include <gtest/gtest.h>

#include <string>

#include "platform/portable/MemoryRegistry.h"

namespace {

const std::u16string kHklm = u"HKEY_LOCAL_MACHINE\\";

std::basic_string<WideChar> W(const std::u16string& s) {
    return std::basic_string<WideChar>(s.begin(), s.end());
}

class MemoryRegistryTest : public testing::Test {
protected:
    void SetUp() override { MemRegClear(); }
    void TearDown() override { EXPECT_EQ(MemRegOpenHandleCount(), 0); }
    RegKey Open(const std::u16string& path) {
        RegKey key = reinterpret_cast<RegKey>(0xDEAD);
        EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(path).c_str(), 0, 1, &key), kRegOk)
            << std::string(path.begin(), path.end());
        return key;
    }
};

}  // namespace

TEST_F(MemoryRegistryTest, NamesIgnoreCaseAndKeepIt) {
    MemRegSetString(kHklm + u"Drivers\\BuiltIn\\Serial", u"Dll", u"a.dll");
    RegKey key = Open(u"DRIVERS\\builtin\\SERIAL");
    uint8_t data[32];
    uint32_t size = sizeof data, type = 99;
    EXPECT_EQ(RegistryQueryValue(key, W(u"DLL").c_str(), &type, data, &size), kRegOk);
    EXPECT_EQ(type, kRegTypeString);
    EXPECT_EQ(size, 12u);
    RegistryCloseKey(key);
    EXPECT_EQ(MemRegFind(kHklm + u"drivers")->name, u"Drivers");
    // setting a value under another case replaces it, keeping one value
    MemRegSetDword(kHklm + u"Drivers\\BuiltIn\\Serial", u"dll", 7);
    EXPECT_EQ(MemRegFind(kHklm + u"Drivers\\BuiltIn\\Serial")->values.size(), 1u);
}

TEST_F(MemoryRegistryTest, EnumeratesInCaseInsensitiveOrder) {
    for (auto name : {u"b", u"C", u"a", u"\u00e9", u"E"}) MemRegCreate(kHklm + u"K\\" + name);
    RegKey key = Open(u"K");
    std::u16string order;
    WideChar name[8];
    uint32_t index = 0;
    for (;; ++index) {
        uint32_t length = 8;
        long r = RegistryEnumKey(key, index, name, &length);
        if (r != kRegOk) {
            EXPECT_EQ(r, kRegNoMoreItems);
            break;
        }
        order += char16_t(name[0]);
    }
    EXPECT_EQ(order, u"abCE\u00e9");
    RegistryCloseKey(key);
}

TEST_F(MemoryRegistryTest, QueryReportsSizesLikeWindows) {
    MemRegSetValue(kHklm + u"K", u"v", kRegTypeBinary, std::vector<uint8_t>(10, 0xAB));
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
    RegistryCloseKey(key);
}

TEST_F(MemoryRegistryTest, InjectedFaults) {
    MemRegCreate(kHklm + u"K\\A");
    MemRegCreate(kHklm + u"K\\B");
    MemRegFailOpen(kHklm + u"K\\B");
    MemRegFailEnumAt(kHklm + u"K", 1);
    MemRegDenyWrite(kHklm + u"K\\A");
    RegKey k = Open(u"K"), a = Open(u"K\\A"), b = nullptr;
    EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(u"K\\B").c_str(), 0, 1, &b), kRegNotFound);
    WideChar name[8];
    uint32_t length = 8;
    EXPECT_EQ(RegistryEnumKey(k, 0, name, &length), kRegOk);
    length = 8;
    EXPECT_NE(RegistryEnumKey(k, 1, name, &length), kRegOk);
    const uint8_t bytes[2] = {0, 0};
    EXPECT_EQ(RegistrySetValue(a, W(u"Dll").c_str(), 0, 1, bytes, 2), kRegAccessDenied);
    EXPECT_EQ(MemRegGetValue(kHklm + u"K\\A", u"Dll"), nullptr);
    EXPECT_EQ(MemRegOpenHandleCount(), 2);
    RegistryCloseKey(a);
    RegistryCloseKey(k);
    EXPECT_NE(RegistryCloseKey(k), kRegOk);  // a second close is refused
}

TEST_F(MemoryRegistryTest, OpenRelativeToAnOpenKey) {
    MemRegSetString(kHklm + u"K\\Sub", u"x", u"1");
    RegKey k = Open(u"K");
    RegKey same = nullptr, sub = nullptr;
    EXPECT_EQ(RegistryOpenKey(k, W(u"").c_str(), 0, 1, &same), kRegOk);
    EXPECT_EQ(RegistryOpenKey(k, W(u"sub").c_str(), 0, 1, &sub), kRegOk);
    EXPECT_NE(same, k);  // a new handle to the same key
    const uint8_t v[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegistrySetValue(same, W(u"n").c_str(), 0, kRegTypeDword, v, 4), kRegOk);
    EXPECT_NE(MemRegGetValue(kHklm + u"K", u"N"), nullptr);
    for (RegKey h : {k, same, sub}) RegistryCloseKey(h);
    EXPECT_EQ(MemRegOpenLog().back(), kHklm + u"K\\sub");
}

TEST_F(MemoryRegistryTest, DeletingAKeyForgetsItsHandles) {
    MemRegCreate(kHklm + u"K\\Sub");
    Open(u"K\\Sub");
    EXPECT_TRUE(MemRegDelete(kHklm + u"K"));
    EXPECT_EQ(MemRegOpenHandleCount(), 0);
    EXPECT_EQ(MemRegFind(kHklm + u"K"), nullptr);
    EXPECT_FALSE(MemRegDelete(kHklm + u"K"));
}
