#include "regfile/RegLoad.h"

#include <cstring>

#include "regfile/RegQuickLine.h"

void LoaderLeaveKey(TreeLoader& l) {
    if (l.key) TreeKeyTrimValues(*l.key);
    l.key = nullptr;
}

void LoaderApply(TreeLoader& l, RegEntryKind kind, const Statement& st) {
    switch (kind) {
    case kRegEntryKey: {
        LoaderLeaveKey(l);
        size_t slash = st.path.rfind(u'\\');
        for (TreeLoader::Parent& parent : l.parents) {
            // Equal characters are equal bytes: memcmp is the quickest test.
            if (slash == std::u16string::npos || !parent.key || parent.path.size() != slash ||
                std::memcmp(st.path.data(), parent.path.data(), slash * sizeof(char16_t)) != 0)
                continue;
            l.key = &TreeKeyCreateChild(*parent.key, st.path.data() + slash + 1,
                                        st.path.size() - slash - 1);
            break;
        }
        if (!l.key) {
            l.key = &RegTreeCreateKey(*l.tree, st.path);
            if (slash != std::u16string::npos) {
                TreeLoader::Parent& parent = l.parents[l.nextParent++ % 4];
                parent.path.assign(st.path, 0, slash);
                parent.key = TreeKeyParent(*l.key);
                parent.line = nullptr;
            }
        }
        break;
    }
    case kRegEntryKeyDeletion:
        LoaderLeaveKey(l);
        RegTreeDeleteKey(*l.tree, st.path);
        for (TreeLoader::Parent& parent : l.parents) parent.key = nullptr;  // may be gone
        break;
    case kRegEntryValue:
        if (l.key)
            TreeKeySetValue(*l.key, st.name.data(), st.name.size(), st.type, st.data.data(),
                            st.data.size());
        break;
    case kRegEntryValueDeletion:
        if (l.key) TreeKeyDeleteValue(*l.key, st.name.data(), st.name.size());
        break;
    }
}

void RegDocumentLoad(const RegDocument& doc, RegTree& tree) {
    StatementReader reader{doc, true};
    Statement st;
    TreeLoader loader{&tree};
    for (const RegEntry& e : doc.entries) {
        ReadStatement(reader, e.offset, &st);
        LoaderApply(loader, RegEntryKind(e.kind), st);
    }
    LoaderLeaveKey(loader);
}

namespace {

// How many of four 16-bit characters (the first lowest) lead before the
// first one outside ASCII or a backslash, with the four folded (*folded):
// four make a step of a name's hash at once, fewer the start of one.
unsigned PlainLead(uint64_t x, uint64_t* folded) {
    const uint64_t ones = 0x0001000100010001ull, lows = 0x0080008000800080ull;
    const uint64_t highs = lows << 8;
    uint64_t t = x ^ (ones * '\\');
    // The top bit of a unit outside ASCII, and of a backslash: the lowest
    // one set is exact (a borrow reaches only above a backslash).
    uint64_t out = (((x >> 7) & (ones * 0x1FF)) + ones * 0x7FFF) & highs;
    out |= (t - ones) & ~t & highs;
    // The lowest bit set is 1 << (16 * n + 15); shifted down to 1 << (16 * n),
    // it moves the units of 0x0000000100020003 up by n, so n is the top one.
    const unsigned n = out ? unsigned(((out & (~out + 1)) >> 15) * 0x0000000100020003ull >> 48) : 4;
    *folded = FoldAsciiFour(x);
    return n;
}

// Hashes a path's characters (or those below what `hash` holds): At(i) is
// the character at i, FourAt(i) the four from i, the first lowest.
template <typename CharAt, typename FourCharsAt>
void HashPath(KeyHash& hash, size_t size, CharAt At, FourCharsAt FourAt) {
    for (size_t i = 0; i < size; ++i) {
        for (uint64_t four; hash.filled == 0 && i + 4 <= size;) {
            unsigned lead = PlainLead(FourAt(i), &four);
            if (lead < 4) {
                // The plain characters before a backslash end the step.
                hash.Units(four, lead);
                i += lead;
                break;
            }
            hash.Four(four);
            i += 4;
        }
        if (i == size) break;
        char16_t c = At(i);
        if (c == u'\\')
            hash.Backslash();
        else
            hash.Char(RegFoldChar(c));
    }
}

void HashPath(KeyHash& hash, const char16_t* p, size_t size) {
    HashPath(
        hash, size, [p](size_t i) { return p[i]; },
        [p](size_t i) {
            return uint64_t(p[i]) | uint64_t(p[i + 1]) << 16 | uint64_t(p[i + 2]) << 32 |
                   uint64_t(p[i + 3]) << 48;
        });
}

}  // namespace

void RegKeyHashes(const std::u16string& path, uint32_t* key, uint32_t* parent) {
    KeyHash hash;
    HashPath(hash, path.data(), path.size());
    *key = hash.Key();
    *parent = hash.Parent();
}

namespace {

const uint32_t kKeyAdded = 1, kSubKeysAdded = 2, kFlags = 3;

// The slot of a hash in the set (its bits above the two flags): where it
// is, or the empty slot it would take.
uint32_t& SlotOf(const RegKeySet& set, uint32_t h) {
    h &= ~kFlags;
    size_t mask = set.slots.size() - 1;
    size_t i = size_t(h >> 2) & mask;
    while (set.slots[i] && (set.slots[i] & ~kFlags) != h) i = (i + 1) & mask;
    return const_cast<uint32_t&>(set.slots[i]);
}

// Room for one more slot used: the table doubles when half full.
void Grow(RegKeySet& set) {
    if (2 * (set.used + 1) <= set.slots.size()) return;
    std::vector<uint32_t> old;
    old.swap(set.slots);
    set.slots.assign(old.empty() ? 64 : 2 * old.size(), 0);
    for (uint32_t v : old)
        if (v) SlotOf(set, v) = v;
}

void Mark(RegKeySet& set, uint32_t h, uint32_t flag) {
    Grow(set);
    uint32_t& slot = SlotOf(set, h);
    if (!slot) ++set.used;
    slot |= (h & ~kFlags) | flag;
}

bool Has(const RegKeySet& set, uint32_t h, uint32_t flag) {
    return !set.slots.empty() && (SlotOf(set, h) & flag);
}

// The parent first: where a set covers the sub-keys of a few keys, most
// keys it covers are told by a slot met again and again (in the cache),
// not by a slot of their own.
bool Covers(const RegKeySet& set, uint32_t key, uint32_t parent) {
    return set.all || Has(set, parent, kSubKeysAdded) || Has(set, key, kKeyAdded);
}

// Marks the key whose path up to its name is hashed in `hash` and every
// key below it.
void MarkTree(RegKeySet& set, const TreeKey& key, KeyHash hash) {
    size_t length;
    const char16_t* name = TreeKeyNameData(key, &length);
    for (size_t i = 0; i < length; ++i) hash.Char(RegFoldChar(name[i]));
    Mark(set, hash.Key(), kKeyAdded);
    hash.Backslash();
    for (size_t i = 0; i < TreeKeyChildCount(key); ++i)
        MarkTree(set, *TreeKeyChildAt(key, i), hash);
}

}  // namespace

void RegKeySetAddTree(RegKeySet& set, const RegTree& tree) {
    // The roots are the top's sub-keys: their paths start with their names.
    for (size_t i = 0; i < TreeKeyChildCount(*tree.top); ++i)
        MarkTree(set, *TreeKeyChildAt(*tree.top, i), KeyHash());
}

bool RegKeySetCoversSection(const RegKeySet& set, const RegSection& section) {
    return Covers(set, section.key, section.parent);
}

void RegKeySetAddSection(RegKeySet& set, const RegSection& section) {
    Mark(set, section.key, kKeyAdded);
}

bool RegKeySetHasSection(const RegKeySet& set, const RegSection& section) {
    return Has(set, section.key, kKeyAdded);
}

bool RegKeySetCoversHashes(const RegKeySet& set, uint32_t keyHash, uint32_t parentHash) {
    return Covers(set, keyHash, parentHash);
}

bool RegKeySetHasKey(const RegKeySet& set, uint32_t keyHash) {
    return Has(set, keyHash, kKeyAdded);
}

bool RegKeySetAddUncovered(RegKeySet& set, const std::u16string& path) {
    uint32_t key, parent;
    RegKeyHashes(path, &key, &parent);
    if (Covers(set, key, parent)) return false;
    Mark(set, key, kKeyAdded);
    return true;
}

RegKeyPrefix RegKeyPrefixOf(const std::u16string& path) {
    KeyHash hash;
    HashPath(hash, path.data(), path.size());
    hash.Backslash();
    return RegKeyPrefix{hash.h, hash.above};
}

bool RegKeySetAddUncoveredBelow(RegKeySet& set, const RegKeyPrefix& prefix, const uint8_t* names,
                                size_t length) {
    KeyHash hash;
    hash.h = prefix.hash;
    hash.above = prefix.above;
    HashPath(
        hash, length, [names](size_t i) { return Utf16LeAt(names + 2 * i); },
        [names](size_t i) {
            uint64_t four;
            std::memcpy(&four, names + 2 * i, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            four = __builtin_bswap64(four);
#endif
            return four;
        });
    return RegKeySetAddUncoveredHashes(set, hash.Key(), hash.Parent());
}

bool RegKeySetAddUncoveredHashes(RegKeySet& set, uint32_t key, uint32_t parent) {
    if (set.all || Has(set, parent, kSubKeysAdded)) return false;
    // The key's own slot is found once, to tell and to mark.
    Grow(set);
    uint32_t& slot = SlotOf(set, key);
    if (slot & kKeyAdded) return false;
    if (!slot) ++set.used;
    slot |= (key & ~kFlags) | kKeyAdded;
    return true;
}

void RegKeySetAdd(RegKeySet& set, const std::u16string& path) {
    uint32_t key, parent;
    RegKeyHashes(path, &key, &parent);
    Mark(set, key, kKeyAdded);
}

void RegKeySetAddSubKeys(RegKeySet& set, const std::u16string& path) {
    uint32_t key, parent;
    RegKeyHashes(path, &key, &parent);
    Mark(set, key, kSubKeysAdded);
}

bool RegKeySetCovers(const RegKeySet& set, const std::u16string& path) {
    uint32_t key, parent;
    RegKeyHashes(path, &key, &parent);
    return Covers(set, key, parent);
}

bool RegKeySetHasValue(const RegKeySet& set, const char16_t* name, size_t length) {
    if (set.values.empty()) return true;
    for (const std::u16string& v : set.values) {
        if (v.size() != length) continue;
        size_t k = 0;
        while (k < length && RegFoldChar(v[k]) == RegFoldChar(name[k])) ++k;
        if (k == length) return true;
    }
    return false;
}

void RegDocumentLoadSome(const RegDocument& doc, const RegKeySet& wanted, const RegKeySet* loaded,
                         RegTree& tree) {
    StatementReader reader{doc, true};
    Statement st;
    TreeLoader loader{&tree};
    for (size_t s = 0; s < doc.sections.size(); ++s) {
        const RegSection& section = doc.sections[s];
        size_t stop = s + 1 < doc.sections.size() ? doc.sections[s + 1].offset : doc.bytes.size();
        if (section.kind == kRegSectionClosed ||
            (section.kind == kRegSectionKey &&
             (!Covers(wanted, section.key, section.parent) ||
              (loaded && Covers(*loaded, section.key, section.parent))))) {
            LoaderLeaveKey(loader);
            continue;
        }
        Statement::Kind kind;
        QuickKey key;
        key.path = &st.path;
        if (!QuickStatement(doc, reader.lines, section.offset, &kind, &st.lines, &st.next, &key))
            kind = ReadStatement(reader, section.offset, &st);
        if (kind == Statement::kKeyDeletion) {
            LoaderApply(loader, kRegEntryKeyDeletion, st);
            continue;
        }
        LoaderApply(loader, kRegEntryKey, st);
        // The section's values, with their data.
        for (size_t start = st.next; start < stop; start = st.next) {
            if (!QuickStatement(doc, reader.lines, start, &kind, &st.lines, &st.next, nullptr, &st))
                kind = ReadStatement(reader, start, &st);
            bool value = kind == Statement::kValue || kind == Statement::kValueDeletion;
            if (value && RegKeySetHasValue(wanted, st.name.data(), st.name.size()))
                LoaderApply(loader,
                            kind == Statement::kValue ? kRegEntryValue : kRegEntryValueDeletion,
                            st);
        }
    }
    LoaderLeaveKey(loader);
}
