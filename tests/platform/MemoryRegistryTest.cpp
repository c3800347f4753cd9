// The in-memory registry behind the Registry.h calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "platform/portable/InjectedFaults.h"

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
    EXPECT_EQ(MemRegFind(kHklm + u"drivers")->Name(), u"Drivers");
    // setting a value under another case replaces it, keeping one value
    MemRegSetDword(kHklm + u"Drivers\\BuiltIn\\Serial", u"dll", 7);
    EXPECT_EQ(MemRegFind(kHklm + u"Drivers\\BuiltIn\\Serial")->values.size(), 1u);
    EXPECT_EQ(MemRegGetValue(kHklm + u"Drivers\\BuiltIn\\Serial", u"DLL")->Name(), u"Dll");
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
    MemRegLogOpens();
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
    EXPECT_EQ(MemRegOpenLog().back(), kHklm + u"K\\B");
    MemRegClear();  // takes the faults away with the hook
    MemRegCreate(kHklm + u"K\\B");
    RegistryCloseKey(Open(u"K\\B"));
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
}

TEST_F(MemoryRegistryTest, DeletingAKeyForgetsItsHandles) {
    MemRegCreate(kHklm + u"K\\Sub");
    Open(u"K\\Sub");
    EXPECT_TRUE(MemRegDelete(kHklm + u"K"));
    EXPECT_EQ(MemRegOpenHandleCount(), 0);
    EXPECT_EQ(MemRegFind(kHklm + u"K"), nullptr);
    EXPECT_FALSE(MemRegDelete(kHklm + u"K"));
}

// Paths and names as Windows answers them.
TEST_F(MemoryRegistryTest, PathsAsWindowsAnswersThem) {
    MemRegCreate(kHklm + u"Drivers\\Active");
    struct Case {
        std::u16string path;
        long result;
    } cases[] = {
        {u"Drivers\\Active", kRegOk},
        {u"Drivers\\Active\\", kRegOk},       // one trailing backslash is accepted
        {u"\\Drivers\\Active", kRegBadPath},  // a leading backslash
        {u"\\", kRegBadPath},
        {u"Drivers\\\\Active", kRegBadPath},  // an empty part (Wine opens it; Windows does not)
        {u"Drivers\\Active\\\\", kRegBadPath},
        {std::u16string(255, u'k'), kRegNotFound},  // the longest name: only absent
        {std::u16string(256, u'k'), kRegInvalidParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.path.begin(), c.path.begin() + std::min<size_t>(c.path.size(), 40)));
        RegKey key = nullptr;
        EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, W(c.path).c_str(), 0, 1, &key), c.result);
        if (c.result == kRegOk) RegistryCloseKey(key);
    }
    RegKey k = Open(u"Drivers");
    const uint8_t bytes[2] = {0, 0};
    EXPECT_EQ(RegistrySetValue(k, W(std::u16string(16383, u'v')).c_str(), 0, 1, bytes, 2), kRegOk);
    EXPECT_EQ(RegistrySetValue(k, W(std::u16string(16384, u'v')).c_str(), 0, 1, bytes, 2),
              kRegInvalidParameter);
    RegistryCloseKey(k);
}

// Many values and sub-keys in one key: every one found, replaced and deleted
// by name in any case, whichever way the key keeps them.
TEST_F(MemoryRegistryTest, ManyValuesAndKeys) {
    const std::u16string key = kHklm + u"Big";
    auto name = [](int i) {
        return u"N" + std::u16string(1, char16_t(u'a' + i % 26)) + std::u16string(i / 26 + 1, u'x');
    };
    const int n = 200;
    for (int i = 0; i < n; ++i) {
        MemRegSetDword(key, name(i), uint32_t(i));
        MemRegCreate(key + u"\\" + name(i));
    }
    for (int i = 0; i < n; i += 2) {  // every other one goes, upper-cased
        std::u16string upper = MemFoldName(name(i));
        EXPECT_TRUE(MemRegDeleteValue(key, upper));
        EXPECT_TRUE(MemRegDelete(key + u"\\" + upper));
    }
    MemRegSetDword(key, name(1), 7000);  // replaced, not added
    MemKey* big = MemRegFind(key);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->values.size(), size_t(n / 2));
    EXPECT_EQ(MemKeySortedChildren(*big).size(), size_t(n / 2));
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const MemValue* v = MemRegGetValue(key, name(i));
        EXPECT_EQ(v != nullptr, i % 2 == 1);
        EXPECT_EQ(MemRegFind(key + u"\\" + name(i)) != nullptr, i % 2 == 1);
        if (v) {
            EXPECT_EQ(v->Bytes()[0] | (v->Bytes()[1] << 8), i == 1 ? 7000 : i);
        }
    }
}

// A key's values against a std::map, through random settings (sizes that
// change, bytes kept at half size or not, a name taken from the key itself),
// deletions and trims, in a key small enough to search and one large enough
// to index.
TEST_F(MemoryRegistryTest, ValuesAgainstAModel) {
    struct Value {
        std::u16string name;  // as first set
        uint32_t type;
        std::vector<uint8_t> bytes;
    };
    for (int names : {6, 60}) {
        SCOPED_TRACE(names);
        MemRegClear();
        MemKey& key = MemRegCreate(kHklm + u"M");
        std::map<std::u16string, Value> model;  // by folded name
        std::mt19937 random(names);
        for (int step = 0; step < 3000; ++step) {
            // Names in either case, of one byte a character or two.
            const char16_t* first[] = {u"v", u"V", u"\u00e9", u"\u00c9", u"\u0416"};
            std::string n = std::to_string(random() % names);
            std::u16string name = first[random() % 5] + std::u16string(n.begin(), n.end());
            std::u16string folded = MemFoldName(name);
            unsigned what = random() % 10;
            if (what == 8) {
                EXPECT_EQ(MemKeyDeleteValue(key, name.data(), name.size()),
                          model.erase(folded) == 1);
            } else if (what == 9) {
                MemKeyTrimValues(key);
            } else {
                std::vector<uint8_t> bytes(random() % 24);
                bool narrow = random() % 2;
                for (size_t k = 0; k < bytes.size(); ++k)
                    bytes[k] = narrow && k % 2 ? 0 : uint8_t(random());
                uint32_t type = random() % 5;
                const MemValue* own = MemKeyFindValue(key, name.data(), name.size());
                const uint8_t* from = bytes.data();
                if (own && what == 7) {  // bytes from the key itself: the value's record
                    from = reinterpret_cast<const uint8_t*>(own);
                    bytes.assign(from, from + sizeof(MemValue) + random() % 4);
                }
                MemKeySetValue(key, name.data(), name.size(), type, from, bytes.size());
                auto it = model.find(folded);
                if (it == model.end()) it = model.emplace(folded, Value{name, 0, {}}).first;
                it->second.type = type;
                it->second.bytes = bytes;
            }
            ASSERT_EQ(key.values.size(), model.size()) << "step " << step;
            size_t seen = 0;
            for (const MemValue& v : key.values) {
                auto it = model.find(MemFoldName(v.Name()));
                ASSERT_NE(it, model.end()) << "step " << step;
                EXPECT_EQ(v.Name(), it->second.name);
                EXPECT_EQ(v.type, it->second.type);
                EXPECT_EQ(v.Bytes(), it->second.bytes);
                EXPECT_TRUE(v.SameBytes(it->second.bytes.data(), it->second.bytes.size()));
                ++seen;
            }
            ASSERT_EQ(seen, model.size()) << "step " << step;
            EXPECT_EQ(MemKeyFindValue(key, folded.data(), folded.size()) != nullptr,
                      model.count(folded) == 1);
        }
    }
}
