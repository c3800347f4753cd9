// The registry tree: names in any case, many values and sub-keys, and a
// key's values against a model.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "registry/RegTree.h"
#include "tests/support/EmulatedCpu.h"

namespace {

const std::u16string kLocalMachine = u"HKEY_LOCAL_MACHINE\\";

// A value as the model keeps it, by its folded name.
struct Value {
    std::u16string name;  // as first set
    uint32_t type;
    std::vector<uint8_t> bytes;
};
using ModelValues = std::map<std::u16string, Value>;

// Every value of the key against the model: the same names, types and bytes.
void ExpectValuesAsModel(const TreeKey& key, const ModelValues& model) {
    size_t seen = 0;
    for (const TreeValue* v : TreeKeyValues(key)) {
        auto it = model.find(RegFoldName(TreeValueName(*v)));
        ASSERT_NE(it, model.end());
        EXPECT_EQ(TreeValueName(*v), it->second.name);
        EXPECT_EQ(TreeValueType(*v), it->second.type);
        EXPECT_EQ(TreeValueBytes(*v), it->second.bytes);
        EXPECT_TRUE(TreeValueSameBytes(*v, it->second.bytes.data(), it->second.bytes.size()));
        ++seen;
    }
    ASSERT_EQ(seen, model.size());
}

}  // namespace

// Names compare as the registry folds them: ASCII and Latin-1 letters,
// whatever case a key or value was first given, and nothing else.
TEST(RegTree, NamesFoldAsTheRegistryFoldsThem) {
    struct Case {
        std::u16string first, second;
        bool same;
    } cases[] = {
        {u"dll", u"DLL", true},
        {u"caf\u00e9", u"CAF\u00c9", true},
        {u"\u00fe", u"\u00de", true},   // thorn
        {u"\u00ff", u"\u0178", true},   // y with diaeresis
        {u"\u00f7", u"\u00d7", false},  // division and multiplication signs
        {u"\u00df", u"SS", false},      // sharp s has no capital here
        {u"\u0142", u"\u0141", false},  // beyond Latin-1: as it is
        {u"Drivers", u"DRIVERS", true},
        {u"Drivers", u"Drivern", false},
        {u"HKEY_LOCAL_MACHINE", u"HKEY_LOCAL_MACHINe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first.begin(), c.first.end()));
        RegTree tree;
        RegTreeSetDword(tree, kLocalMachine + c.first, c.first, 1);
        EXPECT_EQ(RegTreeGetValue(tree, kLocalMachine + c.first, c.second) != nullptr, c.same);
        EXPECT_EQ(RegTreeFindKey(tree, kLocalMachine + c.second) != nullptr, c.same);
        EXPECT_EQ(RegNamesEqual(c.first.data(), c.first.size(), c.second.data(), c.second.size()),
                  c.same);
        // Kept in the case first given.
        EXPECT_EQ(TreeKeyName(*RegTreeFindKey(tree, kLocalMachine + c.first)), c.first);
    }
}

// Many values and sub-keys in one key: every one found, replaced and deleted
// by name in any case, whichever way the key keeps them.
TEST(RegTree, ManyValuesAndKeys) {
    RegTree tree;
    const std::u16string key = kLocalMachine + u"Big";
    auto name = [](int i) {
        return u"N" + std::u16string(1, char16_t(u'a' + i % 26)) + std::u16string(i / 26 + 1, u'x');
    };
    const int n = 200;
    for (int i = 0; i < n; ++i) {
        RegTreeSetDword(tree, key, name(i), uint32_t(i));
        RegTreeCreateKey(tree, key + u"\\" + name(i));
    }
    for (int i = 0; i < n; i += 2) {  // every other one goes, upper-cased
        std::u16string upper = RegFoldName(name(i));
        EXPECT_TRUE(RegTreeDeleteValue(tree, key, upper));
        EXPECT_TRUE(RegTreeDeleteKey(tree, key + u"\\" + upper));
    }
    RegTreeSetDword(tree, key, name(1), 7000);  // replaced, not added
    TreeKey* big = RegTreeFindKey(tree, key);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(TreeKeyValueCount(*big), size_t(n / 2));
    EXPECT_EQ(TreeKeySortedChildren(*big).size(), size_t(n / 2));
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const TreeValue* v = RegTreeGetValue(tree, key, name(i));
        EXPECT_EQ(v != nullptr, i % 2 == 1);
        EXPECT_EQ(RegTreeFindKey(tree, key + u"\\" + name(i)) != nullptr, i % 2 == 1);
        if (v) {
            EXPECT_EQ(TreeValueBytes(*v)[0] | (TreeValueBytes(*v)[1] << 8), i == 1 ? 7000 : i);
        }
    }
    // A delete then an add leaves the count as it was: the order is made anew.
    RegTreeDeleteKey(tree, key + u"\\" + name(1));
    RegTreeCreateKey(tree, key + u"\\Zz");
    EXPECT_EQ(TreeKeyName(*TreeKeySortedChildren(*big).back()), u"Zz");
    // Two names of the same 32-bit hash, as the index hashes them (found by
    // trying names; another hash makes this an ordinary case): still two.
    size_t keys = TreeKeyChildCount(*big), values = TreeKeyValueCount(*big);
    for (uint32_t i : {46637, 195120}) {
        std::string same = "k" + std::to_string(i);
        RegTreeSetDword(tree, key, std::u16string(same.begin(), same.end()), i);
        RegTreeCreateKey(tree, key + u"\\" + std::u16string(same.begin(), same.end()));
    }
    EXPECT_EQ(TreeKeyChildCount(*big), keys + 2);
    EXPECT_EQ(TreeKeyValueCount(*big), values + 2);
    EXPECT_EQ(TreeValueBytes(*RegTreeGetValue(tree, key, u"K46637"))[1], (46637 >> 8) & 0xFF);
}

namespace {

// Sets a value, given its bytes without their zeros when `narrow` asks it
// and the name and bytes allow it.
void SetValue(TreeKey& key, const std::u16string& name, uint32_t type, const uint8_t* bytes,
              size_t size, bool narrow) {
    if (narrow && size % 2 == 0 && name.find(u'\u0416') == std::u16string::npos) {
        std::vector<uint8_t> kept(size / 2), narrowName(name.size());
        for (size_t k = 0; k < kept.size(); ++k) kept[k] = bytes[2 * k];
        for (size_t k = 0; k < name.size(); ++k) narrowName[k] = uint8_t(name[k]);
        TreeKeySetNarrowValue(key, narrowName.data(), name.size(), type, kept.data(), kept.size());
    } else {
        TreeKeySetValue(key, name.data(), name.size(), type, bytes, size);
    }
}

}  // namespace

// A key's values against a std::map, through random settings (sizes that
// change, bytes kept at half size or not, given without their zeros or
// not, a name taken from the key itself),
// deletions and trims, in a key small enough to search and one large enough
// to index.
TEST(RegTree, ValuesAgainstAModel) {
    for (int names : {6, 60}) {
        SCOPED_TRACE(names);
        RegTree tree;
        TreeKey& key = RegTreeCreateKey(tree, kLocalMachine + u"M");
        ModelValues model;
        std::mt19937 random(names);
        for (int step = 0; step < 3000; ++step) {
            // Names in either case, of one byte a character or two, short
            // and long.
            const char16_t* first[] = {u"v", u"V", u"\u00e9", u"\u00c9", u"\u0416"};
            const char16_t* last[] = {u"", u"bcd\u0416", u"bcde"};
            unsigned number = random() % names;
            std::string n = std::to_string(number);
            std::u16string name =
                first[random() % 5] + std::u16string(n.begin(), n.end()) + last[number % 3];
            std::u16string folded = RegFoldName(name);
            unsigned what = random() % 10;
            if (what == 8) {
                EXPECT_EQ(TreeKeyDeleteValue(key, name.data(), name.size()),
                          model.erase(folded) == 1);
            } else if (what == 9) {
                TreeKeyTrimValues(key);
            } else {
                std::vector<uint8_t> bytes(random() % 24);
                bool narrow = random() % 2;
                for (size_t k = 0; k < bytes.size(); ++k)
                    bytes[k] = narrow && k % 2 ? 0 : uint8_t(random());
                uint32_t type = random() % 5;
                const TreeValue* own = TreeKeyFindValue(key, name.data(), name.size());
                const uint8_t* from = bytes.data();
                if (own && what == 7) {  // bytes from the key itself: the value's record
                    from = reinterpret_cast<const uint8_t*>(own);
                    bytes.assign(from, from + 12 + random() % 4);
                }
                SetValue(key, name, type, from, bytes.size(),
                         narrow && from == bytes.data() && random() % 2);
                auto it = model.find(folded);
                if (it == model.end()) it = model.emplace(folded, Value{name, 0, {}}).first;
                it->second.type = type;
                it->second.bytes = bytes;
            }
            ASSERT_EQ(TreeKeyValueCount(key), model.size()) << "step " << step;
            // Every value against the model after each step; on an emulated
            // CPU after every tenth and the last.
            if (kEmulatedCpu && step % 10 != 9) continue;
            SCOPED_TRACE(testing::Message() << "step " << step);
            ExpectValuesAsModel(key, model);
            if (testing::Test::HasFatalFailure()) return;
            EXPECT_EQ(TreeKeyFindValue(key, folded.data(), folded.size()) != nullptr,
                      model.count(folded) == 1);
        }
    }
}

// Keys against a model through random creations, deletions of whole
// branches and values set on them: room a deleted key gives back is used
// again for keys and values of every size, and nothing set elsewhere may
// change with it.
TEST(RegTree, KeysAgainstAModel) {
    RegTree tree;
    std::map<std::u16string, ModelValues> model;  // by folded path
    std::mt19937 random(24);
    auto path = [&] {
        std::u16string p = u"HKEY_LOCAL_MACHINE";
        for (unsigned depth = 1 + random() % 3; depth; --depth)
            p += u"\\" + std::u16string(1 + random() % 12, char16_t(u'a' + random() % 3));
        return p;
    };
    for (int step = 0; step < 2000; ++step) {
        std::u16string p = path();
        if (random() % 4 == 0) {
            RegTreeDeleteKey(tree, p);
            std::u16string folded = RegFoldName(p);
            for (auto it = model.lower_bound(folded);
                 it != model.end() && it->first.compare(0, folded.size(), folded) == 0;)
                it = it->first.size() == folded.size() || it->first[folded.size()] == u'\\'
                         ? model.erase(it)
                         : std::next(it);
            continue;
        }
        TreeKey& key = RegTreeCreateKey(tree, p);
        for (size_t at = p.find(u'\\'); at != std::u16string::npos; at = p.find(u'\\', at + 1))
            model[RegFoldName(p.substr(0, at))];  // the keys on the way
        std::u16string name(1 + random() % 3, u'v');
        std::vector<uint8_t> bytes(random() % 40, uint8_t(step));
        TreeKeySetValue(key, name.data(), name.size(), kTreeTypeBinary, bytes.data(), bytes.size());
        model[RegFoldName(p)][RegFoldName(name)] = Value{name, kTreeTypeBinary, bytes};
        if (random() % 2) TreeKeyTrimValues(key);
        if (kEmulatedCpu && step % 50 != 49) continue;
        SCOPED_TRACE(testing::Message() << "step " << step);
        size_t keys = 0;
        std::vector<const TreeKey*> todo{tree.top};
        for (; !todo.empty(); ++keys) {
            const TreeKey* k = todo.back();
            todo.pop_back();
            for (size_t i = 0; i < TreeKeyChildCount(*k); ++i)
                todo.push_back(TreeKeyChildAt(*k, i));
        }
        ASSERT_EQ(keys, model.size() + 1);  // and the top
        for (const auto& [folded, values] : model) {
            const TreeKey* k = RegTreeFindKey(tree, folded);
            ASSERT_NE(k, nullptr);
            ExpectValuesAsModel(*k, values);
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

// Sub-keys enumerate in the order of their folded names, whatever their
// characters (ASCII, Latin-1, beyond) and lengths, against std::sort.
TEST(RegTree, SubKeysInFoldedOrder) {
    const char16_t letters[] = {u'a', u'B', u'0', u'9', u'\u00e9', u'\u00c9', u'\u0416', u'\u00ff'};
    // Names of the first six letters fold to one byte a character; of the
    // first two, many share their first seven.
    struct Case {
        size_t count, longest, kinds;
    } cases[] = {{30, 4, 8}, {40, 11, 8}, {400, 11, 8}, {40, 4, 6}, {400, 11, 6}, {400, 11, 2}};
    for (const auto& [count, longest, kinds] : cases) {
        SCOPED_TRACE(testing::Message() << count << " names, " << kinds << " letters");
        RegTree tree;
        TreeKey& key = RegTreeCreateKey(tree, kLocalMachine + u"K");
        std::map<std::u16string, std::u16string> model;  // by folded name
        std::mt19937 random{unsigned(count)};
        while (model.size() < count) {
            std::u16string name(1 + random() % longest, u'a');
            for (char16_t& c : name) c = letters[random() % kinds];
            if (model.emplace(RegFoldName(name), name).second)
                TreeKeyCreateChild(key, name.data(), name.size());
        }
        std::vector<std::u16string> order;
        for (const TreeKey* child : TreeKeySortedChildren(key))
            order.push_back(TreeKeyName(*child));
        std::vector<std::u16string> expected;
        for (const auto& [folded, name] : model) expected.push_back(name);
        EXPECT_EQ(order, expected);
    }
}

// Sub-keys looked up by name in the enumeration order, as the scan opens
// them, and in every other order, and after the sub-keys change: always
// the key of that name, or none.
TEST(RegTree, SubKeysFoundInAnyOrder) {
    RegTree tree;
    TreeKey& key = RegTreeCreateKey(tree, kLocalMachine + u"K");
    auto name = [](size_t i) {
        std::string n = "n" + std::to_string(i);
        return std::u16string(n.begin(), n.end());
    };
    for (size_t i = 0; i < 40; ++i) TreeKeyCreateChild(key, name(i).data(), name(i).size());
    // In the order the keys were made, the caller keeping its place.
    std::vector<size_t> made, madeWithAbsent, reversedMade;
    for (size_t i = 0; i < 40; ++i) made.push_back(i);
    for (size_t i : made) madeWithAbsent.insert(madeWithAbsent.end(), {i + 100, i});
    reversedMade.assign(made.rbegin(), made.rend());
    size_t place = 0;
    for (const auto* order : {&made, &madeWithAbsent, &reversedMade}) {
        for (size_t i : *order) {
            SCOPED_TRACE(i);
            TreeKey* found = TreeKeyChildAfter(key, name(i).data(), name(i).size(), &place);
            ASSERT_EQ(found != nullptr, i < 40);
            if (found) {
                EXPECT_EQ(TreeKeyName(*found), name(i));
            }
        }
    }
    std::vector<size_t> inOrder, reversed, withAbsent;
    for (const TreeKey* child : TreeKeySortedChildren(key)) {
        std::u16string n = TreeKeyName(*child);
        inOrder.push_back(std::stoul(std::string(n.begin() + 1, n.end())));
    }
    reversed.assign(inOrder.rbegin(), inOrder.rend());
    for (size_t i : inOrder) withAbsent.insert(withAbsent.end(), {i, i + 100});
    for (const auto* order : {&inOrder, &inOrder, &reversed, &withAbsent}) {
        for (size_t i : *order) {
            SCOPED_TRACE(i);
            std::u16string n = i % 2 ? RegFoldName(name(i)) : name(i);
            TreeKey* found = TreeKeyChild(key, n.data(), n.size());
            ASSERT_EQ(found != nullptr, i < 40);
            if (found) {
                EXPECT_EQ(TreeKeyName(*found), name(i));
            }
        }
        TreeKeySortedChildren(key);
    }
    // A sub-key gone and another made, as many as before: the order the
    // look-ups followed is gone with them.
    RegTreeDeleteKey(tree, kLocalMachine + u"K\\" + name(inOrder[1]));
    TreeKeyCreateChild(key, u"a-longer-name", 13);
    for (size_t i : {inOrder[0], inOrder[1]})
        EXPECT_EQ(TreeKeyChild(key, name(i).data(), name(i).size()) != nullptr, i != inOrder[1]);
    EXPECT_EQ(TreeKeyName(*TreeKeyChild(key, u"A-LONGER-NAME", 13)), u"a-longer-name");
    // The last key made, found and then deleted: the place kept is past the
    // sub-keys left.
    std::u16string lastName = TreeKeyName(*TreeKeyChildAt(key, TreeKeyChildCount(key) - 1));
    ASSERT_NE(TreeKeyChildAfter(key, lastName.data(), lastName.size(), &place), nullptr);
    RegTreeDeleteKey(tree, kLocalMachine + u"K\\" + lastName);
    EXPECT_EQ(TreeKeyChildAfter(key, lastName.data(), lastName.size(), &place), nullptr);
    EXPECT_EQ(TreeKeyName(*TreeKeyChildAfter(key, u"n0", 2, &place)), u"n0");
}

// Keys made one after the other with their values set one by one, as a
// file is loaded: a key's room grows past the end of the pool's chunks and
// is trimmed, and a key met again later grows and shrinks where other keys
// lie after it. Every value is checked at the end.
TEST(RegTree, KeysLoadedInTurn) {
    RegTree tree;
    std::vector<ModelValues> model(400);
    for (size_t turn = 0; turn < 3 * model.size(); ++turn) {
        size_t k = turn < model.size() ? turn : (turn * 7) % model.size();  // then met again
        std::string n = std::to_string(k);
        TreeKey& key = RegTreeCreateKey(tree, kLocalMachine + std::u16string(n.begin(), n.end()));
        for (size_t v = 0; v < 1 + (turn * 5) % 9; ++v) {
            std::u16string name(1, char16_t(u'a' + (turn + v) % 12));
            std::vector<uint8_t> bytes(1 + (turn + 3 * v) % 90, uint8_t(turn));
            TreeKeySetValue(key, name.data(), name.size(), kTreeTypeBinary, bytes.data(),
                            bytes.size());
            model[k][RegFoldName(name)] = Value{name, kTreeTypeBinary, bytes};
        }
        TreeKeyTrimValues(key);
    }
    for (size_t k = 0; k < model.size(); ++k) {
        SCOPED_TRACE(k);
        std::string n = std::to_string(k);
        ExpectValuesAsModel(
            *RegTreeFindKey(tree, kLocalMachine + std::u16string(n.begin(), n.end())), model[k]);
        if (testing::Test::HasFatalFailure()) return;
    }
}

// A value's name and bytes are kept one byte a character as they are
// copied, until a character or byte says they cannot be: then as they are.
// Each row goes to a key of its own, made in turn as a load makes them, so
// a record written wider than its room would run into the next key's.
TEST(RegTree, ValuesNarrowedAsTheyAreCopied) {
    const size_t kAll = SIZE_MAX;
    // Latin-1 text of `chars` characters, the one at `wide` with a high byte.
    auto text = [](size_t chars, size_t wide) {
        std::vector<uint8_t> bytes(2 * chars);
        for (size_t i = 0; i < chars; ++i) bytes[2 * i] = uint8_t(0xE0 + i % 31);
        if (wide < chars) bytes[2 * wide + 1] = 1;
        return bytes;
    };
    struct Case {
        std::u16string name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {u"text", text(20, kAll)},
        {u"first wide", text(20, 0)},
        {u"wide in a word", text(8, 3)},
        {u"wide in the last two", text(6, 4)},
        {u"wide last of three", text(3, 2)},
        {u"wide last, past the first room", text(150, 149)},
        {u"odd size", {1, 0, 2}},
        {u"\u0416 first", text(4, kAll)},
        {u"nam\u0416", text(4, kAll)},
        {u"last of a long name: \u0416", text(4, kAll)},
        {u"ab\u0416", text(4, kAll)},
        {u"large", text(3000, kAll)},
        {u"large, wide last", text(3000, 2999)},
    };
    RegTree tree;
    auto path = [](size_t i) { return kLocalMachine + u"K" + char16_t(u'a' + i); };
    for (size_t i = 0; i < std::size(cases); ++i) {
        TreeKey& key = RegTreeCreateKey(tree, path(i));
        const Case& c = cases[i];
        TreeKeySetValue(key, c.name.data(), c.name.size(), kTreeTypeBinary, c.bytes.data(),
                        c.bytes.size());
        TreeKeyTrimValues(key);
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        ExpectValuesAsModel(*RegTreeFindKey(tree, path(i)),
                            {{RegFoldName(c.name), Value{c.name, kTreeTypeBinary, c.bytes}}});
    }
}

// A tree going as a whole frees its chunks without visiting the keys that
// hold nothing else: what a key deep down holds alone (a long name, a large
// block of values) must still be given back. The leak checkers (valgrind,
// AddressSanitizer) tell.
TEST(RegTree, RoomHeldAloneDeepDownIsGivenBack) {
    struct Case {
        std::u16string below;
        size_t valueBytes;
    } cases[] = {
        {u"A\\B\\" + std::u16string(1100, u'n'), 0},
        {u"C\\D", 3000},
    };
    for (const Case& c : cases) {
        RegTree tree;
        RegTreeSetValue(tree, kLocalMachine + c.below, u"v", kTreeTypeBinary,
                        std::vector<uint8_t>(c.valueBytes, 1));
        EXPECT_NE(RegTreeFindKey(tree, kLocalMachine + c.below), nullptr);
    }
}
