#include "registry/RegTree.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define PORTMEDIC_TREE_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PORTMEDIC_TREE_POISON 1
#endif
#endif
#ifdef PORTMEDIC_TREE_POISON
#include <sanitizer/asan_interface.h>
#endif

#include "platform/WideChar.h"
#include "registry/RegTreeRecords.h"
#include "unicode/TextCoding.h"

namespace {

// Below this many values or sub-keys a key is searched name by name; from it
// on the key keeps an index by name.
const size_t kIndexFrom = 16;

const uint32_t kEmptySlot = ~uint32_t(0), kGoneSlot = kEmptySlot - 1;

[[noreturn]] void AbortWith(const char* what) {
    fprintf(stderr, "portmedic: the registry tree: %s\n", what);
    abort();
}

void* Resize(void* block, size_t size) {
    void* p = realloc(block, size);
    if (!p) AbortWith("out of memory");
    return p;
}

// Calls f(part, length) for each part of a full path, skipping empty ones.
template <typename F> bool ForEachPart(const std::u16string& path, F f) {
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos) end = path.size();
        if (end > start && !f(path.data() + start, end - start)) return false;
        start = end + 1;
    }
    return true;
}

// ---- room ----

// Under AddressSanitizer the pool's room not handed out is marked as not to
// be touched, so a pointer kept to a deleted key or to a value block that
// moved is still caught.
void Poison(void* p, size_t size) {
#ifdef PORTMEDIC_TREE_POISON
    ASAN_POISON_MEMORY_REGION(p, size);
#else
    (void)p, (void)size;
#endif
}

void Unpoison(void* p, size_t size) {
#ifdef PORTMEDIC_TREE_POISON
    ASAN_UNPOISON_MEMORY_REGION(p, size);
#else
    (void)p, (void)size;
#endif
}

size_t RoomSize(size_t size) { return (size + 7) & ~size_t(7); }

bool Alone(size_t size) { return RoomSize(size) > TreePool::kLargest; }

// Gives back a block of `size` bytes; with no pool (the whole tree is going,
// and its chunks with it) only a block allocated alone is freed.
void GiveRoom(TreePool* pool, void* p, size_t size) {
    if (!p) return;
    size = RoomSize(size);
    if (size > TreePool::kLargest) return free(p);
    if (!pool) return;
    void*& list = pool->spare[size / 8];
    std::memcpy(p, &list, sizeof list);
    list = p;
    Poison(p, size);
}

// Room of a rounded size (at most TreePool::kLargest) carved from the end of
// the last chunk, a new chunk when it has too little left.
void* Carve(TreePool& pool, size_t size) {
    if (pool.left < size) {
        // The old chunk's tail is kept with the room given back.
        if (pool.left) {
            Unpoison(pool.next, pool.left);
            GiveRoom(&pool, pool.next, pool.left);
        }
        pool.next = static_cast<uint8_t*>(Resize(nullptr, TreePool::kChunk));
        pool.chunks.push_back(pool.next);
        pool.left = TreePool::kChunk;
        Poison(pool.next, pool.left);
    }
    void* p = pool.next;
    Unpoison(p, size);
    pool.next += size;
    pool.left -= size;
    return p;
}

void* TakeRoom(TreePool& pool, size_t size) {
    size = RoomSize(size);
    if (size > TreePool::kLargest) return Resize(nullptr, size);
    void*& list = pool.spare[size / 8];
    if (void* p = list) {
        Unpoison(p, size);
        std::memcpy(&list, p, sizeof list);
        return p;
    }
    return Carve(pool, size);
}

// Whether a pooled block of `size` bytes ends where the last chunk's room
// not carved yet begins: it can then grow or shrink where it is.
bool AtTail(const TreePool& pool, const void* p, size_t size) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return !Alone(size) && b >= pool.chunks.back() && b + RoomSize(size) == pool.next;
}

// Room for a block that is to grow and then shrink to what it holds (a
// key's values as a file sets them one by one): at the end of the last
// chunk, where both happen without moving it.
void* TakeTail(TreePool& pool, size_t size) {
    if (Alone(size)) return Resize(nullptr, RoomSize(size));
    return Carve(pool, RoomSize(size));
}

// Grows a block at the tail where it is; false when it is not there, or
// the chunk has too little left.
bool GrowAtTail(TreePool& pool, void* p, size_t oldSize, size_t size) {
    size_t more = RoomSize(size) - RoomSize(oldSize);
    if (Alone(size) || !AtTail(pool, p, oldSize) || pool.left < more) return false;
    Unpoison(pool.next, more);
    pool.next += more;
    pool.left -= more;
    return true;
}

// Gives back a pooled block's room past its first `size` bytes, without
// moving it: to the chunk's room not carved yet when the block ends there,
// else with the room given back by size.
void ShrinkPooled(TreePool& pool, void* p, size_t oldSize, size_t size) {
    size_t less = RoomSize(oldSize) - RoomSize(size);
    if (!less) return;
    if (AtTail(pool, p, oldSize)) {
        pool.next -= less;
        pool.left += less;
        Poison(pool.next, less);
        return;
    }
    GiveRoom(&pool, static_cast<uint8_t*>(p) + RoomSize(size), less);
}

// Moves a block to room of another size, keeping its first `keep` bytes.
void* MoveRoom(TreePool& pool, void* old, size_t oldSize, size_t size, size_t keep) {
    if (old && Alone(oldSize) && Alone(size)) return Resize(old, RoomSize(size));
    void* p = TakeRoom(pool, size);
    if (keep) std::memcpy(p, old, keep);
    GiveRoom(&pool, old, oldSize);
    return p;
}

// The pool of the tree a key belongs to: the top's, which every block of
// sub-keys notes.
TreePool& PoolOf(const TreeKey& key) {
    return key.parent ? *key.parent->children->pool : *key.extra->pool;
}

// ---- keys ----

TreeKey** ChildSlots(const TreeKey& key) {
    return key.children ? reinterpret_cast<TreeKey**>(key.children + 1) : nullptr;
}

size_t KeyBytes(size_t nameLength) { return sizeof(TreeKey) + 2 * nameLength; }

size_t ChildBlockBytes(size_t capacity) {
    return sizeof(TreeChildBlock) + capacity * sizeof(TreeKey*);
}

size_t ValueBlockBytes(size_t capacity) { return sizeof(TreeValueBlock) + capacity; }

// The key holds what the pool's chunks do not (see TreeKey::holdsBelow):
// the keys above it are marked.
void Holds(const TreeKey& key) {
    for (TreeKey* k = key.parent; k && !k->holdsBelow; k = k->parent) k->holdsBelow = true;
}

void HoldsIfAlone(const TreeKey& key, size_t size) {
    if (Alone(size)) Holds(key);
}

TreeKey* NewKey(TreeKey& parent, const char16_t* name, size_t length) {
    if (length > 0xFFFF) AbortWith("a key name over 65535 characters");
    void* room = TakeRoom(PoolOf(parent), KeyBytes(length));
    TreeKey* key = new (room) TreeKey;
    if (length) std::memcpy(static_cast<char*>(room) + sizeof(TreeKey), name, 2 * length);
    key->parent = &parent;
    key->nameLength = uint16_t(length);
    HoldsIfAlone(*key, KeyBytes(length));
    return key;
}

TreeKey* NewTop() {
    TreeKey* top = new TreeKey;
    top->extra = std::make_unique<TreeKeyExtra>();
    top->extra->pool = std::make_unique<TreePool>();
    return top;
}

void FreeKey(TreePool* pool, TreeKey* key);

// Frees what the key holds and everything below it (with no pool: the
// whole tree is going, and only what was allocated alone is freed, and
// extra records, found through the keys marked as holding them).
void FreeBelow(TreePool* pool, TreeKey* key) {
    key->extra.reset();
    if (key->values) GiveRoom(pool, key->values, ValueBlockBytes(key->values->capacity));
    if (pool || key->holdsBelow)
        for (size_t i = 0; i < TreeKeyChildCount(*key); ++i) FreeKey(pool, ChildSlots(*key)[i]);
    if (key->children) GiveRoom(pool, key->children, ChildBlockBytes(key->children->capacity));
    key->values = nullptr;
    key->children = nullptr;
}

void FreeKey(TreePool* pool, TreeKey* key) {
    FreeBelow(pool, key);
    size_t bytes = KeyBytes(key->nameLength);
    key->~TreeKey();
    GiveRoom(pool, key, bytes);
}

// Frees the whole tree: what was allocated alone, then the pool's chunks.
void FreeTree(TreeKey* top) {
    std::unique_ptr<TreePool> pool = std::move(top->extra->pool);
    FreeBelow(nullptr, top);
    delete top;
    for (void* chunk : pool->chunks) {
        Unpoison(chunk, TreePool::kChunk);
        free(chunk);
    }
}

TreeKeyExtra& Extra(TreeKey& key) {
    if (!key.extra) {
        key.extra = std::make_unique<TreeKeyExtra>();
        Holds(key);
    }
    return *key.extra;
}

// ---- a key's block of values ----

uint8_t* Records(TreeValueBlock* block) { return reinterpret_cast<uint8_t*>(block + 1); }

// Eight bytes as one word, to test many at once against a mask read the
// same way (so the test is the same on either byte order).
uint64_t Word(const void* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

const uint8_t kOddBytes[8] = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};
const char16_t kHighBytes[4] = {0xFF00, 0xFF00, 0xFF00, 0xFF00};

// Bytes whose every second byte is zero are kept without those zeros.
bool NarrowBytes(const uint8_t* bytes, size_t size) {
    if (size < 2 || size % 2) return false;
    uint64_t odd = Word(kOddBytes), seen = 0;
    size_t k = 0;
    for (; k + 8 <= size; k += 8) seen |= Word(bytes + k) & odd;
    if (seen) return false;
    for (k += 1; k < size; k += 2)
        if (bytes[k]) return false;
    return true;
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const bool kLittleEndian = true;
#else
const bool kLittleEndian = false;
#endif

// Keeps the even bytes of `size` bytes (an even number) while the odd ones
// are zero: eight at a time as one word where the machine is
// little-endian, else one by one. False at the first odd byte that is not
// zero; what was written by then is to be written over.
bool NarrowInto(const uint8_t* from, size_t size, uint8_t* to) {
    size_t k = 0;
    if (kLittleEndian)
        for (; k + 8 <= size; k += 8, to += 4) {
            uint64_t w = Word(from + k);  // a 0 b 0 c 0 d 0
            if (w & 0xFF00FF00FF00FF00ull) return false;
            w = (w | w >> 8) & 0x0000FFFF0000FFFFull;  // a b 0 0 c d 0 0
            uint32_t four = uint32_t(w | w >> 16);     // a b c d
            std::memcpy(to, &four, sizeof four);
        }
    if (kLittleEndian && k + 4 <= size) {  // two more at once
        uint32_t w;
        std::memcpy(&w, from + k, sizeof w);  // a 0 b 0
        if (w & 0xFF00FF00u) return false;
        uint16_t two = uint16_t(w | w >> 8);  // a b
        std::memcpy(to, &two, sizeof two);
        k += 4, to += 2;
    }
    for (; k < size; k += 2) {
        if (from[k + 1]) return false;
        *to++ = from[k];
    }
    return true;
}

// The reverse: `size` bytes, each kept byte followed by a zero.
void Widen(const uint8_t* from, size_t size, uint8_t* to) {
    size_t k = 0;
    if (kLittleEndian) {
        for (; k + 16 <= size; k += 16, from += 8) {
            uint64_t eight = Word(from), low = SpreadFour(uint32_t(eight)),
                     high = SpreadFour(uint32_t(eight >> 32));
            std::memcpy(to + k, &low, sizeof low);
            std::memcpy(to + k + 8, &high, sizeof high);
        }
        if (k + 8 <= size) {
            uint32_t four;
            std::memcpy(&four, from, sizeof four);
            uint64_t w = SpreadFour(four);
            std::memcpy(to + k, &w, sizeof w);
            k += 8, from += 4;
        }
    }
    if (kLittleEndian && k + 4 <= size) {  // two more at once
        uint16_t two;
        std::memcpy(&two, from, sizeof two);                    // a b
        uint32_t w = (two | uint32_t(two) << 8) & 0x00FF00FFu;  // a 0 b 0
        std::memcpy(to + k, &w, sizeof w);
        k += 4, from += 2;
    }
    if (kLittleEndian) {  // the size is even: one character is left at most
        if (k < size) to[k] = *from, to[k + 1] = 0;
        return;
    }
    for (; k < size; k += 2) {
        to[k] = *from++;
        to[k + 1] = 0;
    }
}

size_t KeptSize(size_t size, bool narrow) { return narrow ? size / 2 : size; }

bool NarrowName(const char16_t* name, size_t length) {
    uint64_t high = Word(kHighBytes), seen = 0;
    size_t i = 0;
    for (; i + 4 <= length; i += 4) seen |= Word(name + i) & high;
    if (seen) return false;
    for (; i < length; ++i)
        if (name[i] > 0xFF) return false;
    return true;
}

// A name kept one byte a character while every character allows it; false
// as NarrowInto.
bool NarrowNameInto(const char16_t* name, size_t length, uint8_t* to) {
    if (kLittleEndian)  // each character's low byte comes first
        return NarrowInto(reinterpret_cast<const uint8_t*>(name), 2 * length, to);
    for (size_t i = 0; i < length; ++i) {
        if (name[i] > 0xFF) return false;
        to[i] = uint8_t(name[i]);
    }
    return true;
}

size_t NameBytes(const TreeValue& v) {
    return v.flags & TreeValue::kNarrowName ? v.nameLength : 2 * size_t(v.nameLength);
}

size_t RecordSize(size_t nameBytes, size_t kept) {
    return (sizeof(TreeValue) + nameBytes + kept + 3) & ~size_t(3);
}

size_t RecordSize(const TreeValue& v) {
    return RecordSize(NameBytes(v), KeptSize(v.size, v.flags & TreeValue::kNarrowBytes));
}

bool IsGone(const TreeValue& v) { return v.flags & TreeValue::kGone; }

const uint8_t* StoredName(const TreeValue& v) { return reinterpret_cast<const uint8_t*>(&v + 1); }

const uint8_t* KeptBytes(const TreeValue& v) { return StoredName(v) + NameBytes(v); }

// Calls f with the value's name as it is kept: one byte or two a character.
template <typename F> auto WithName(const TreeValue& v, F f) {
    if (v.flags & TreeValue::kNarrowName) return f(StoredName(v));
    return f(reinterpret_cast<const char16_t*>(StoredName(v)));
}

template <typename A, typename B> bool SameName(const A* a, const B* b, size_t length) {
    size_t i = 0;
    // Names mostly come in the case they were kept in: the characters equal
    // as they are are passed over eight bytes at a time.
    if constexpr (sizeof(A) == sizeof(B)) {
        const size_t n = 8 / sizeof(A);
        while (i + n <= length && Word(a + i) == Word(b + i)) i += n;
        // All equal up to the last few: the last eight bytes tell the rest.
        if (i + n > length && length >= n && Word(a + length - n) == Word(b + length - n))
            return true;
    }
    for (; i < length; ++i)
        if (a[i] != b[i] && RegFoldChar(a[i]) != RegFoldChar(b[i])) return false;
    return true;
}

// (Both kinds of names spelled out: a lambda through WithName costs a call
// and its captures for every value a look-up passes.) The name looked for
// is 16-bit characters, or Latin-1 ones a byte each.
template <typename C> bool ValueNamed(const TreeValue& v, const C* name, size_t length) {
    if (v.nameLength != length) return false;
    if (v.flags & TreeValue::kNarrowName) return SameName(StoredName(v), name, length);
    return SameName(reinterpret_cast<const char16_t*>(StoredName(v)), name, length);
}

TreeValue* ValueAt(TreeValueBlock* block, size_t offset) {
    return reinterpret_cast<TreeValue*>(Records(block) + offset);
}

// ---- indexes ----

// A key keeps two kinds of named entries, each looked up and indexed on its
// own: its sub-keys and its values.
enum Entries { kSubKeys, kValues };

// The hash of a folded name. Names that differ only in the low four bits
// of their last character (numbered keys: "P10", "P11", ...) get hashes,
// and so slots, next to one another: a run of them, made or looked up one
// after the other, reads a cache line or two of the index rather than one
// each. No more than sixteen names share a run that way.
template <typename C> uint32_t HashName(const C* name, size_t length) {
    if (length == 0) return 0;
    uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded name
    for (size_t i = 0; i + 1 < length; ++i) {
        h ^= RegFoldChar(name[i]);
        h *= 1099511628211ull;
    }
    char16_t last = RegFoldChar(name[length - 1]);
    h ^= last >> 4;
    h *= 1099511628211ull;
    // Mixed so that the low bits, which pick the slot, depend on every
    // character as much as the high ones.
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return uint32_t(h ^ (h >> 32)) + (last & 15);
}

// The hash of the name kept at a position.
uint32_t HashAt(const TreeKey& key, Entries entries, uint32_t position) {
    if (entries == kValues) {
        const TreeValue& v = *ValueAt(key.values, 4 * size_t(position));
        return WithName(v, [&](const auto* name) { return HashName(name, v.nameLength); });
    }
    const TreeKey* child = ChildSlots(key)[position];
    return HashName(child->NameData(), child->nameLength);
}

bool NamedAt(const TreeKey& key, Entries entries, uint32_t position, const char16_t* name,
             size_t length) {
    if (entries == kValues)
        return ValueNamed(*ValueAt(key.values, 4 * size_t(position)), name, length);
    const TreeKey* child = ChildSlots(key)[position];
    return RegNamesEqual(child->NameData(), child->nameLength, name, length);
}

// The slot holding the name, or the first free slot of its run.
size_t FindSlot(const TreeKey& key, Entries entries, const TreeIndex& index, const char16_t* name,
                size_t length, uint32_t hash, bool* found) {
    size_t mask = index.slots.size() - 1, slot = hash & mask;
    size_t free = SIZE_MAX;
    for (;; slot = (slot + 1) & mask) {
        const TreeIndexSlot& s = index.slots[slot];
        if (s.position == kEmptySlot) {
            *found = false;
            return free != SIZE_MAX ? free : slot;
        }
        if (s.position == kGoneSlot) {
            if (free == SIZE_MAX) free = slot;
            continue;
        }
        if (s.hash == hash && NamedAt(key, entries, s.position, name, length)) {
            *found = true;
            return slot;
        }
    }
}

void Place(TreeIndex& index, size_t slot, uint32_t position, uint32_t hash) {
    if (index.slots[slot].position == kEmptySlot) ++index.used;
    index.slots[slot] = TreeIndexSlot{position, hash};
}

// Adds a position whose name the index does not hold yet.
void IndexPut(TreeIndex& index, uint32_t position, uint32_t hash) {
    size_t mask = index.slots.size() - 1, slot = hash & mask;
    while (index.slots[slot].position != kEmptySlot && index.slots[slot].position != kGoneSlot)
        slot = (slot + 1) & mask;
    Place(index, slot, position, hash);
}

// Makes the index afresh, empty, for `count` names, under half full; it is
// made again when additions (and deleted names, until then) fill half of it.
void Reset(TreeIndex& index, size_t count) {
    size_t size = 32;
    while (size < 2 * count + 3) size *= 2;
    index.slots.assign(size, TreeIndexSlot{kEmptySlot, 0});
    index.used = 0;
}

// Makes the index afresh for the positions given, from their names.
void Rebuild(const TreeKey& key, Entries entries, TreeIndex& index,
             const std::vector<uint32_t>& positions) {
    Reset(index, positions.size());
    for (uint32_t p : positions) IndexPut(index, p, HashAt(key, entries, p));
}

// Makes the index afresh for the names it holds and one more, from the
// hashes it keeps.
void Regrow(TreeIndex& index) {
    std::vector<TreeIndexSlot> old;
    old.swap(index.slots);
    size_t live = 0;
    for (const TreeIndexSlot& s : old) live += s.position < kGoneSlot;
    Reset(index, live + 1);
    for (const TreeIndexSlot& s : old)
        if (s.position < kGoneSlot) IndexPut(index, s.position, s.hash);
}

std::vector<uint32_t> ValuePositions(const TreeKey& key) {
    std::vector<uint32_t> positions;
    TreeValueBlock* block = key.values;
    if (!block) return positions;
    positions.reserve(block->count);
    for (size_t at = 0; at < block->used; at += RecordSize(*ValueAt(block, at)))
        if (!IsGone(*ValueAt(block, at))) positions.push_back(uint32_t(at / 4));
    return positions;
}

std::vector<uint32_t> ChildPositions(const TreeKey& key) {
    std::vector<uint32_t> positions(TreeKeyChildCount(key));
    for (uint32_t p = 0; p < positions.size(); ++p) positions[p] = p;
    return positions;
}

TreeIndex* IndexOf(const TreeKey& key, Entries entries) {
    if (!key.extra) return nullptr;
    TreeIndex* index = entries == kValues ? &key.extra->values : &key.extra->children;
    return index->slots.empty() ? nullptr : index;
}

// Where a name was looked up in a key's index: its hash, and the slot that
// holds it or would take it (SIZE_MAX when the key had no index).
struct Probe {
    uint32_t hash = 0;
    size_t slot = SIZE_MAX;
};

// The position of a value of a key with no index, or kEmptySlot: the
// values read one after the other.
template <typename C> uint32_t FindValueNamed(const TreeKey& key, const C* name, size_t length) {
    if (TreeValueBlock* block = key.values)
        for (size_t at = 0; at < block->used; at += RecordSize(*ValueAt(block, at))) {
            const TreeValue* v = ValueAt(block, at);
            if (!IsGone(*v) && ValueNamed(*v, name, length)) return uint32_t(at / 4);
        }
    return kEmptySlot;
}

// The position of a value (its offset / 4) or sub-key, or kEmptySlot: a
// function for each kind of entries, as the two are searched differently.
template <Entries entries>
uint32_t Find(const TreeKey& key, const char16_t* name, size_t length, Probe* probe) {
    if (const TreeIndex* index = IndexOf(key, entries)) {
        probe->hash = HashName(name, length);
        bool found;
        probe->slot = FindSlot(key, entries, *index, name, length, probe->hash, &found);
        return found ? index->slots[probe->slot].position : kEmptySlot;
    }
    if constexpr (entries == kSubKeys) {
        TreeKey* const* kids = ChildSlots(key);
        for (uint32_t p = 0, n = uint32_t(TreeKeyChildCount(key)); p < n; ++p)
            if (kids[p]->nameLength == length && SameName(kids[p]->NameData(), name, length))
                return p;
    } else {
        return FindValueNamed(key, name, length);
    }
    return kEmptySlot;
}

// Makes the key's index, or makes it larger, now that `position` was
// added (its hash is in `probe` when the probe had an index to look in).
void IndexGrown(TreeKey& key, Entries entries, uint32_t position, const Probe& probe) {
    TreeIndex* index = IndexOf(key, entries);
    if (!index) {
        TreeKeyExtra& extra = Extra(key);
        return Rebuild(key, entries, entries == kValues ? extra.values : extra.children,
                       entries == kValues ? ValuePositions(key) : ChildPositions(key));
    }
    uint32_t hash = probe.slot != SIZE_MAX ? probe.hash : HashAt(key, entries, position);
    if (2 * (index->used + 1) > index->slots.size()) Regrow(*index);
    IndexPut(*index, position, hash);
}

// Keeps the key's index in step with `position` having just been added
// (count entries now) after `probe` missed it, making one when the key has
// grown enough. Mostly it takes the slot the probe found.
inline void IndexAdded(TreeKey& key, Entries entries, uint32_t position, size_t count,
                       const Probe& probe) {
    TreeIndex* index = IndexOf(key, entries);
    if (!index && count < kIndexFrom) return;
    if (index && 2 * (index->used + 1) <= index->slots.size() && probe.slot != SIZE_MAX)
        return Place(*index, probe.slot, position, probe.hash);
    IndexGrown(key, entries, position, probe);
}

// The slot of a position the index holds.
size_t SlotOf(const TreeKey& key, Entries entries, const TreeIndex& index, uint32_t position) {
    size_t mask = index.slots.size() - 1, slot = HashAt(key, entries, position) & mask;
    while (index.slots[slot].position != position) slot = (slot + 1) & mask;
    return slot;
}

// ---- values ----

uint32_t PositionOf(size_t offset) {
    if (offset / 4 >= kGoneSlot) AbortWith("a key holding over 16 GB of values");
    return uint32_t(offset / 4);
}

// A larger block for the key's values, with room for `more` bytes of
// records after those it holds.
void GrowValues(TreeKey& key, size_t more) {
    TreeValueBlock* block = key.values;
    size_t used = block ? block->used : 0, capacity = block ? block->capacity : 0;
    if (used + more > 0xFFFFFFF0u - sizeof(TreeValueBlock))
        AbortWith("a key holding over 4 GB of values");
    size_t bytes = RoomSize(ValueBlockBytes(std::min(
        std::max({2 * capacity, used + more, size_t(128)}), 0xFFFFFFF0u - sizeof(TreeValueBlock))));
    TreePool& pool = PoolOf(key);
    if (!block) {
        block = static_cast<TreeValueBlock*>(TakeTail(pool, bytes));
        *block = TreeValueBlock{0, 0, 0, 0};
    } else if (!GrowAtTail(pool, block, ValueBlockBytes(capacity), bytes)) {
        block = static_cast<TreeValueBlock*>(
            MoveRoom(pool, block, ValueBlockBytes(capacity), bytes, ValueBlockBytes(used)));
    }
    HoldsIfAlone(key, bytes);
    block->capacity = uint32_t(bytes - sizeof(TreeValueBlock));
    key.values = block;
}

// Room for `more` bytes of records at the end of the key's block.
void MakeRoom(TreeKey& key, size_t more) {
    const TreeValueBlock* block = key.values;
    if (!block || block->used + more > block->capacity) GrowValues(key, more);
}

// Writes type and bytes into a value record whose room fits them as they
// are; kept without their zeros when tryNarrow and they allow it.
void WriteBytes(TreeValue* v, uint32_t type, const uint8_t* bytes, size_t size, bool tryNarrow) {
    uint8_t* to = const_cast<uint8_t*>(KeptBytes(*v));
    bool narrow = tryNarrow && size >= 2 && size % 2 == 0 && NarrowInto(bytes, size, to);
    if (!narrow && size) std::memcpy(to, bytes, size);
    v->type = type;
    v->size = uint32_t(size);
    v->flags =
        uint16_t((v->flags & TreeValue::kNarrowName) | (narrow ? TreeValue::kNarrowBytes : 0));
}

// Writes a value record at the end of the block, which has room for it as
// wide as it may be kept: its name one byte a character when tryName and
// the name allows it, its bytes without their zeros when tryBytes and they
// allow it. Each is tried as it is copied.
void AppendRecord(TreeKey& key, const char16_t* name, size_t nameLength, bool tryName,
                  uint32_t type, const uint8_t* bytes, size_t size, bool tryBytes) {
    TreeValueBlock* block = key.values;
    TreeValue* v = ValueAt(block, block->used);
    v->nameLength = uint16_t(nameLength);
    uint8_t* to = reinterpret_cast<uint8_t*>(v + 1);
    bool narrowName = tryName && NarrowNameInto(name, nameLength, to);
    if (!narrowName && nameLength) std::memcpy(to, name, 2 * nameLength);
    v->flags = narrowName ? TreeValue::kNarrowName : 0;
    WriteBytes(v, type, bytes, size, tryBytes);
    block->used += uint32_t(RecordSize(*v));
}

// A new value's record is made with room for it as wide as it may be kept
// up to this size, and narrowed as it is copied. A larger one is measured
// first, so that the room it takes is only what it keeps.
const size_t kRoomAsWideUpTo = 4096;

// Adds a value the key does not hold, which `probe` missed.
void AddValue(TreeKey& key, const char16_t* name, size_t nameLength, uint32_t type,
              const uint8_t* bytes, size_t size, const Probe& probe) {
    size_t room = RecordSize(2 * nameLength, size);
    bool tryName = true, tryBytes = true;
    if (room > kRoomAsWideUpTo) {
        tryName = NarrowName(name, nameLength);
        tryBytes = NarrowBytes(bytes, size);
        room = RecordSize(tryName ? nameLength : 2 * nameLength, KeptSize(size, tryBytes));
    }
    MakeRoom(key, room);
    size_t at = key.values->used;
    AppendRecord(key, name, nameLength, tryName, type, bytes, size, tryBytes);
    ++key.values->count;
    IndexAdded(key, kValues, PositionOf(at), key.values->count, probe);
}

// Moves the values still there to the front of the block.
void Compact(TreeKey& key) {
    TreeValueBlock* block = key.values;
    size_t to = 0;
    for (size_t at = 0; at < block->used;) {
        size_t n = RecordSize(*ValueAt(block, at));
        if (!IsGone(*ValueAt(block, at))) {
            if (to != at) std::memmove(Records(block) + to, Records(block) + at, n);
            to += n;
        }
        at += n;
    }
    block->used = uint32_t(to);
    block->goneBytes = 0;
    if (IndexOf(key, kValues)) Rebuild(key, kValues, key.extra->values, ValuePositions(key));
}

// A value has gone: its room is taken back once the gone values outweigh
// the others, so the work stays in proportion to what was set.
void MarkValueGone(TreeKey& key, TreeValue* v) {
    TreeValueBlock* block = key.values;
    v->flags |= TreeValue::kGone;
    block->goneBytes += uint32_t(RecordSize(*v));
    if (2 * block->goneBytes > block->used) Compact(key);
}

bool InsideValueBlock(const TreeKey& key, const void* p) {
    const TreeValueBlock* block = key.values;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(block);
    return block && p >= b && p < b + sizeof(TreeValueBlock) + block->capacity;
}

// Whether two backslashes follow one another in the first `length`
// characters: four characters at a time where the machine is
// little-endian, else one by one.
bool TwoBackslashes(const char16_t* path, size_t length) {
    size_t i = 0;
    bool after = false;  // the character before i is a backslash
    if (kLittleEndian)
        for (; i + 4 <= length; i += 4) {
            const uint64_t low = 0x7FFF7FFF7FFF7FFFull;
            uint64_t x = Word(path + i) ^ 0x005C005C005C005Cull;  // backslashes become zero
            uint64_t zero = ~(((x & low) + low) | x | low);       // the top bit of each zero
            if ((zero & zero >> 16) || (after && (zero & 0x8000))) return true;
            after = zero >> 63;
        }
    for (; i < length; after = path[i++] == u'\\')
        if (after && path[i] == u'\\') return true;
    return false;
}

// A sub-key in the making of the enumeration order: its first eight folded
// characters, packed in Words words (one byte a character when one word,
// two when two; the first character highest), and itself.
template <size_t Words> struct SortEntry {
    uint64_t packed[Words];
    TreeKey* key;
};

// Packs the child's first eight folded characters, zeros after a shorter
// name; false when one word is to take one that does not fit in a byte.
template <size_t Words> bool Pack(TreeKey* child, SortEntry<Words>* e) {
    const unsigned bits = 8 * Words, perWord = 64 / bits;
    *e = SortEntry<Words>{{}, child};
    for (size_t k = 0; k < std::min<size_t>(8, child->nameLength); ++k) {
        char16_t c = RegFoldChar(child->NameData()[k]);
        if (Words == 1 && c > 0xFF) return false;
        e->packed[k / perWord] |= uint64_t(c) << (64 - bits * (k % perWord + 1));
    }
    return true;
}

// Orders entries by their packed characters, keeping the order of equal
// ones: a byte at a time from the last, passing over the bytes all
// entries share (most of them for names of ASCII letters and digits).
template <size_t Words> void SortByPacked(std::vector<SortEntry<Words>>& entries) {
    uint64_t any[Words] = {}, all[Words];
    std::fill(all, all + Words, ~uint64_t(0));
    for (const SortEntry<Words>& e : entries)
        for (size_t w = 0; w < Words; ++w) any[w] |= e.packed[w], all[w] &= e.packed[w];
    std::vector<SortEntry<Words>> other(entries.size());
    for (unsigned byte = 0; byte < 8 * Words; ++byte) {
        size_t word = Words - 1 - byte / 8;
        unsigned shift = 8 * (byte % 8);
        if (!((any[word] ^ all[word]) >> shift & 0xFF)) continue;
        auto digit = [&](const SortEntry<Words>& e) { return e.packed[word] >> shift & 0xFF; };
        size_t start[256] = {};
        for (const SortEntry<Words>& e : entries) ++start[digit(e)];
        for (size_t d = 0, sum = 0; d < 256; ++d) sum += std::exchange(start[d], sum);
        for (const SortEntry<Words>& e : entries) other[start[digit(e)]++] = e;
        entries.swap(other);
    }
}

// The order of two names whose first eight folded characters are the same.
bool AfterEight(const TreeKey* a, const TreeKey* b) {
    size_t n = std::min(a->nameLength, b->nameLength);
    for (size_t i = 8; i < n; ++i) {
        char16_t x = RegFoldChar(a->NameData()[i]);
        char16_t y = RegFoldChar(b->NameData()[i]);
        if (x != y) return x < y;
    }
    return a->nameLength < b->nameLength;
}

// The key's sub-keys in folded name order, into `sorted`; false when one
// word per name was asked for and a name's first eight characters need two.
// The packed characters order most names without reading them again (a
// key with many sub-keys has them all over memory); names that share them
// are compared a character at a time.
template <size_t Words> bool SortChildren(const TreeKey& key, std::vector<TreeKey*>& sorted) {
    size_t count = TreeKeyChildCount(key);
    std::vector<SortEntry<Words>> entries(count);
    for (size_t i = 0; i < count; ++i)
        if (!Pack(ChildSlots(key)[i], &entries[i])) return false;
    SortByPacked(entries);
    auto same = [](const SortEntry<Words>& a, const SortEntry<Words>& b) {
        return std::equal(a.packed, a.packed + Words, b.packed);
    };
    for (size_t i = 0, run; i < count; i = run) {
        for (run = i + 1; run < count && same(entries[run], entries[i]); ++run) {
        }
        if (run - i > 1)
            std::sort(entries.begin() + i, entries.begin() + run,
                      [](const SortEntry<Words>& a, const SortEntry<Words>& b) {
                          return AfterEight(a.key, b.key);
                      });
    }
    sorted.resize(count);
    for (size_t i = 0; i < count; ++i) sorted[i] = entries[i].key;
    return true;
}

}  // namespace

// ---- the tree ----

RegTree::RegTree() : top(NewTop()) {}

RegTree::~RegTree() { FreeTree(top); }

void RegTreeClear(RegTree& tree) {
    if (tree.keyDeleted) tree.keyDeleted(*tree.top, tree.keyDeletedContext);
    FreeTree(tree.top);
    tree.top = NewTop();
}

// ---- names ----

std::u16string RegFoldName(const std::u16string& name) {
    std::u16string folded(name);
    for (auto& c : folded) c = RegFoldChar(c);
    return folded;
}

bool RegNamesEqual(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength) {
    return aLength == bLength && SameName(a, b, aLength);
}

KeyPathCheck RegCheckKeyPath(const std::u16string& path, size_t* usedLength) {
    return RegCheckKeyPath(path.data(), path.size(), usedLength);
}

// ---- keys by full path ----

TreeKey* RegTreeFindKey(const RegTree& tree, const std::u16string& path) {
    TreeKey* key = tree.top;
    bool found = ForEachPart(path, [&](const char16_t* part, size_t length) {
        key = TreeKeyChild(*key, part, length);
        return key != nullptr;
    });
    return found ? key : nullptr;
}

TreeKey& RegTreeCreateKey(RegTree& tree, const std::u16string& path) {
    TreeKey* key = tree.top;
    ForEachPart(path, [&](const char16_t* part, size_t length) {
        key = &TreeKeyCreateChild(*key, part, length);
        return true;
    });
    return *key;
}

bool RegTreeDeleteKey(RegTree& tree, const std::u16string& path) {
    TreeKey* key = RegTreeFindKey(tree, path);
    if (!key || !key->parent) return false;
    TreeKeyDelete(tree, *key);
    return true;
}

void RegTreeSetValue(RegTree& tree, const std::u16string& path, const std::u16string& name,
                     uint32_t type, const std::vector<uint8_t>& bytes) {
    TreeKeySetValue(RegTreeCreateKey(tree, path), name.data(), name.size(), type, bytes.data(),
                    bytes.size());
}

void RegTreeSetString(RegTree& tree, const std::u16string& path, const std::u16string& name,
                      const std::u16string& text) {
    RegTreeSetValue(tree, path, name, kTreeTypeString, Utf16LeBytes(text, true));
}

void RegTreeSetDword(RegTree& tree, const std::u16string& path, const std::u16string& name,
                     uint32_t value) {
    std::vector<uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(value >> (8 * i));
    RegTreeSetValue(tree, path, name, kTreeTypeDword, bytes);
}

const TreeValue* RegTreeGetValue(const RegTree& tree, const std::u16string& path,
                                 const std::u16string& name) {
    TreeKey* key = RegTreeFindKey(tree, path);
    return key ? TreeKeyFindValue(*key, name.data(), name.size()) : nullptr;
}

bool RegTreeDeleteValue(RegTree& tree, const std::u16string& path, const std::u16string& name) {
    TreeKey* key = RegTreeFindKey(tree, path);
    return key && TreeKeyDeleteValue(*key, name.data(), name.size());
}

// ---- a key ----

std::u16string TreeKeyName(const TreeKey& key) {
    return std::u16string(key.NameData(), key.nameLength);
}

const char16_t* TreeKeyNameData(const TreeKey& key, size_t* length) {
    *length = key.nameLength;
    return key.NameData();
}

TreeKey* TreeKeyParent(const TreeKey& key) { return key.parent; }

std::u16string TreeKeyPath(const TreeKey& key) {
    size_t length = 0;
    for (const TreeKey* k = &key; k->parent; k = k->parent) length += k->nameLength + 1;
    if (length == 0) return std::u16string();
    std::u16string path(length - 1, u'\\');
    size_t end = path.size();
    for (const TreeKey* k = &key; k->parent; k = k->parent) {
        end -= k->nameLength;
        std::copy(k->NameData(), k->NameData() + k->nameLength, path.begin() + end);
        if (end) --end;
    }
    return path;
}

size_t TreeKeyChildCount(const TreeKey& key) { return key.children ? key.children->count : 0; }

TreeKey* TreeKeyChildAt(const TreeKey& key, size_t index) { return ChildSlots(key)[index]; }

TreeKey* TreeKeyChild(const TreeKey& key, const char16_t* name, size_t nameLength) {
    // A caller that enumerates the sub-keys and opens each by name finds it
    // next in the order, without hashing the name or reading the index (a
    // key of many sub-keys has them all over memory).
    TreeKeyExtra* extra = key.extra.get();
    bool ordered = extra && key.sortedValid && extra->sorted.size() == TreeKeyChildCount(key);
    size_t hint = ordered ? extra->nextSorted.load(std::memory_order_relaxed) : 0;
    if (ordered && hint < extra->sorted.size()) {
        TreeKey* next = extra->sorted[hint];
        if (RegNamesEqual(next->NameData(), next->nameLength, name, nameLength)) {
            extra->nextSorted.store(hint + 1, std::memory_order_relaxed);
            return next;
        }
    }
    Probe probe;
    uint32_t p = Find<kSubKeys>(key, name, nameLength, &probe);
    TreeKey* child = p == kEmptySlot ? nullptr : ChildSlots(key)[p];
    if (ordered && child && child == extra->sorted[0])
        extra->nextSorted.store(1, std::memory_order_relaxed);  // from the start again
    return child;
}

TreeKey* TreeKeyChildAfter(const TreeKey& key, const char16_t* name, size_t nameLength,
                           size_t* made) {
    if (*made < TreeKeyChildCount(key)) {
        TreeKey* next = ChildSlots(key)[*made];
        if (RegNamesEqual(next->NameData(), next->nameLength, name, nameLength)) {
            ++*made;
            return next;
        }
    }
    TreeKey* child = TreeKeyChild(key, name, nameLength);
    if (child) *made = child->position + 1;
    return child;
}

TreeKey& TreeKeyCreateChild(TreeKey& key, const char16_t* name, size_t nameLength) {
    Probe probe;
    uint32_t p = Find<kSubKeys>(key, name, nameLength, &probe);
    if (p != kEmptySlot) return *ChildSlots(key)[p];
    uint32_t count = uint32_t(TreeKeyChildCount(key));
    uint32_t capacity = key.children ? key.children->capacity : 0;
    if (count == capacity) {
        if (capacity >= kGoneSlot / 2) AbortWith("a key with over 2 billion sub-keys");
        uint32_t more = std::max(2u, 2 * capacity);
        TreePool& pool = PoolOf(key);
        key.children = static_cast<TreeChildBlock*>(
            MoveRoom(pool, key.children, ChildBlockBytes(capacity), ChildBlockBytes(more),
                     key.children ? ChildBlockBytes(count) : 0));
        *key.children = TreeChildBlock{count, more, &pool};
        HoldsIfAlone(key, ChildBlockBytes(more));
    }
    TreeKey* child = NewKey(key, name, nameLength);
    child->position = count;
    ChildSlots(key)[count] = child;
    key.children->count = count + 1;
    key.sortedValid = false;
    IndexAdded(key, kSubKeys, count, count + 1, probe);
    return *child;
}

const std::vector<TreeKey*>& TreeKeySortedChildren(TreeKey& key) {
    static const std::vector<TreeKey*> kNone;
    size_t count = TreeKeyChildCount(key);
    if (count == 0) return kNone;
    std::vector<TreeKey*>& sorted = Extra(key).sorted;
    if (!key.sortedValid || sorted.size() != count) {
        // By folded name: a byte a character when every name's first eight
        // characters allow it (smaller entries to move), else two.
        if (!SortChildren<1>(key, sorted)) SortChildren<2>(key, sorted);
        key.sortedValid = true;
        key.extra->nextSorted.store(0, std::memory_order_relaxed);
    }
    return sorted;
}

void TreeKeyDelete(RegTree& tree, TreeKey& key) {
    TreeKey* parent = key.parent;
    if (!parent) return;
    if (tree.keyDeleted) tree.keyDeleted(key, tree.keyDeletedContext);
    TreeKey** kids = ChildSlots(*parent);
    uint32_t position = key.position, last = parent->children->count - 1;
    if (TreeIndex* index = IndexOf(*parent, kSubKeys)) {
        index->slots[SlotOf(*parent, kSubKeys, *index, position)].position = kGoneSlot;
        if (position != last)
            index->slots[SlotOf(*parent, kSubKeys, *index, last)].position = position;
    }
    kids[position] = kids[last];
    kids[position]->position = position;
    --parent->children->count;
    parent->sortedValid = false;
    FreeKey(&PoolOf(*parent), &key);
}

const TreeValue* TreeKeyFindValue(const TreeKey& key, const char16_t* name, size_t nameLength) {
    Probe probe;
    uint32_t p = Find<kValues>(key, name, nameLength, &probe);
    return p == kEmptySlot ? nullptr : ValueAt(key.values, 4 * size_t(p));
}

void TreeKeySetValue(TreeKey& key, const char16_t* name, size_t nameLength, uint32_t type,
                     const uint8_t* bytes, size_t size) {
    if (nameLength > 0xFFFF) AbortWith("a value name over 65535 characters");
    if (size > 0xFFFFFFFFu) AbortWith("a value over 4 GB");
    // Bytes taken from this very key would move as the block grows.
    std::vector<uint8_t> copy;
    if (size && InsideValueBlock(key, bytes)) {
        copy.assign(bytes, bytes + size);
        bytes = copy.data();
    }
    Probe probe;
    uint32_t p = Find<kValues>(key, name, nameLength, &probe);
    if (p == kEmptySlot) return AddValue(key, name, nameLength, type, bytes, size, probe);
    TreeValue* v = ValueAt(key.values, 4 * size_t(p));
    bool narrow = NarrowBytes(bytes, size);
    if (RecordSize(*v) == RecordSize(NameBytes(*v), KeptSize(size, narrow))) {
        WriteBytes(v, type, bytes, size, narrow);  // the same room: written over in place
        return;
    }
    // Keeps the name as first written, as Windows does: the new record
    // takes the old one's name, then the old one goes.
    std::u16string kept = TreeValueName(*v);
    bool keptNarrow = v->flags & TreeValue::kNarrowName;
    size_t old = size_t(reinterpret_cast<uint8_t*>(v) - Records(key.values));
    MakeRoom(key, RecordSize(NameBytes(*v), KeptSize(size, narrow)));
    TreeValueBlock* block = key.values;
    size_t at = block->used;
    AppendRecord(key, kept.data(), kept.size(), keptNarrow, type, bytes, size, narrow);
    if (probe.slot != SIZE_MAX) key.extra->values.slots[probe.slot].position = PositionOf(at);
    MarkValueGone(key, ValueAt(block, old));
}

void TreeKeySetNarrowValue(TreeKey& key, const uint8_t* name, size_t nameLength, uint32_t type,
                           const uint8_t* kept, size_t count) {
    // The common way when the name is to be looked up in an index or is
    // there already (to be replaced), or when the bytes are the key's own.
    if (IndexOf(key, kValues) || nameLength > 0xFFFF || count > 0x7FFFFFFFu ||
        InsideValueBlock(key, name) || InsideValueBlock(key, kept) ||
        FindValueNamed(key, name, nameLength) != kEmptySlot) {
        std::u16string wide(name, name + nameLength);
        std::vector<uint8_t> bytes(2 * count);
        if (count) Widen(kept, bytes.size(), bytes.data());
        return TreeKeySetValue(key, wide.data(), wide.size(), type, bytes.data(), bytes.size());
    }
    // A new value, kept as TreeKeySetValue keeps it: the name a byte a
    // character, and the bytes without their zeros (none for no bytes).
    MakeRoom(key, RecordSize(nameLength, count));
    TreeValueBlock* block = key.values;
    const size_t at = block->used;
    TreeValue* v = ValueAt(block, at);
    const uint16_t flags = uint16_t(TreeValue::kNarrowName | (count ? TreeValue::kNarrowBytes : 0));
    *v = TreeValue{type, uint32_t(2 * count), uint16_t(nameLength), flags};
    uint8_t* to = reinterpret_cast<uint8_t*>(v + 1);
    if (nameLength) std::memcpy(to, name, nameLength);
    if (count) std::memcpy(to + nameLength, kept, count);
    block->used += uint32_t(RecordSize(nameLength, count));
    ++block->count;
    IndexAdded(key, kValues, PositionOf(at), block->count, Probe());
}

bool TreeKeyDeleteValue(TreeKey& key, const char16_t* name, size_t nameLength) {
    Probe probe;
    uint32_t p = Find<kValues>(key, name, nameLength, &probe);
    if (p == kEmptySlot) return false;
    TreeValueBlock* block = key.values;
    if (probe.slot != SIZE_MAX) key.extra->values.slots[probe.slot].position = kGoneSlot;
    --block->count;
    MarkValueGone(key, ValueAt(block, 4 * size_t(p)));
    return true;
}

size_t TreeKeyValueCount(const TreeKey& key) { return key.values ? key.values->count : 0; }

std::vector<const TreeValue*> TreeKeyValues(const TreeKey& key) {
    std::vector<const TreeValue*> values;
    if (TreeValueBlock* block = key.values)
        for (size_t at = 0; at < block->used; at += RecordSize(*ValueAt(block, at)))
            if (!IsGone(*ValueAt(block, at))) values.push_back(ValueAt(block, at));
    return values;
}

void TreeKeyTrimValues(TreeKey& key) {
    TreeValueBlock* block = key.values;
    if (!block) return;
    if (block->goneBytes) Compact(key);
    size_t bytes = ValueBlockBytes(block->capacity);
    if (block->count == 0) {
        GiveRoom(&PoolOf(key), block, bytes);
        key.values = nullptr;
        if (key.extra) key.extra->values = TreeIndex();
        return;
    }
    size_t trimmed = RoomSize(ValueBlockBytes(block->used));
    if (trimmed == RoomSize(bytes)) return;
    if (Alone(bytes))
        block = static_cast<TreeValueBlock*>(
            MoveRoom(PoolOf(key), block, bytes, trimmed, ValueBlockBytes(block->used)));
    else
        ShrinkPooled(PoolOf(key), block, bytes, trimmed);
    block->capacity = uint32_t(trimmed - sizeof(TreeValueBlock));
    key.values = block;
}

// ---- a value ----

std::u16string TreeValueName(const TreeValue& v) {
    return WithName(v, [&](const auto* name) { return std::u16string(name, name + v.nameLength); });
}

uint32_t TreeValueType(const TreeValue& v) { return v.type; }

uint32_t TreeValueSize(const TreeValue& v) { return v.size; }

void TreeValueCopyBytes(const TreeValue& v, uint8_t* out) {
    const uint8_t* kept = KeptBytes(v);
    if (!(v.flags & TreeValue::kNarrowBytes)) {
        if (v.size) std::memcpy(out, kept, v.size);
        return;
    }
    Widen(kept, v.size, out);
}

std::vector<uint8_t> TreeValueBytes(const TreeValue& v) {
    std::vector<uint8_t> bytes(v.size);
    TreeValueCopyBytes(v, bytes.data());
    return bytes;
}

bool TreeValueSameBytes(const TreeValue& v, const uint8_t* bytes, size_t count) {
    if (count != v.size) return false;
    const uint8_t* kept = KeptBytes(v);
    if (!(v.flags & TreeValue::kNarrowBytes))
        return v.size == 0 || std::memcmp(kept, bytes, v.size) == 0;
    for (size_t k = 0; k < v.size; k += 2)
        if (bytes[k] != kept[k / 2] || bytes[k + 1]) return false;
    return true;
}

KeyPathCheck RegCheckKeyPath(const char16_t* path, size_t length, size_t* usedLength) {
    size_t used = length;
    while (used > 0 && path[used - 1] == u'\\') --used;
    if (usedLength) *usedLength = used;
    if (length > 0 && path[0] == u'\\') return kKeyPathBad;
    // No name can be too long in a short path: only an empty one is wrong.
    if (used <= kTreeMaxKeyName) return TwoBackslashes(path, used) ? kKeyPathBad : kKeyPathOk;
    size_t partLength = 0;
    for (size_t i = 0; i < used; ++i) {
        if (path[i] != u'\\') {
            if (++partLength > kTreeMaxKeyName) return kKeyPathNameTooLong;
        } else if (partLength == 0) {
            return kKeyPathBad;  // an empty part between two names
        } else {
            partLength = 0;
        }
    }
    return kKeyPathOk;
}

TreeKey* TreeKeyChildMadeAt(const TreeKey& key, size_t place, const char16_t* name,
                            size_t nameLength) {
    if (place >= TreeKeyChildCount(key)) return nullptr;
    TreeKey* child = ChildSlots(key)[place];
    return RegNamesEqual(child->NameData(), child->nameLength, name, nameLength) ? child : nullptr;
}
