#include "platform/portable/MemoryRegistry.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <new>

// The header of a key's block of values; the values follow it, each record
// (MemValue, name, bytes) padded to 4 bytes.
struct MemValueBlock {
    uint32_t used;       // bytes of records
    uint32_t capacity;   // bytes of room for records
    uint32_t goneBytes;  // of the records that are gone
    uint32_t count;      // values not gone
};

// Positions by name, kept only for keys with many values or sub-keys: an
// open-addressing table, so a lookup allocates nothing.
struct MemIndex {
    std::vector<uint32_t> slots;  // a position, or kEmpty / kGone
    // Eight bits of each slot's name hash: most names that merely share a
    // run of slots are told apart without reading them.
    std::vector<uint8_t> tags;
    size_t used = 0;  // slots holding a position or kGone
};

struct MemKeyExtra {
    MemIndex values;    // position: a value's offset in the block / 4
    MemIndex children;  // position: in children
    // Enumeration order, rebuilt when needed; made only for keys whose
    // sub-keys are enumerated.
    std::vector<MemKey*> sorted;
};

namespace {

// Handles handed out through Registry.h: slot i of the table is the handle
// value kHandleBase + 4 * i. A closed slot is null and goes on the free list.
const uintptr_t kHandleBase = 0x1000;

// Below this many values or sub-keys a key is searched name by name; from it
// on the key keeps an index by name.
const size_t kIndexFrom = 16;

const uint32_t kEmpty = ~uint32_t(0), kGone = kEmpty - 1;

struct State {
    MemKey top;
    std::vector<MemKey*> handles;
    std::vector<uint32_t> freeSlots;
    int openCount = 0;
    MemRegHook hook = nullptr;
};

State& S() {
    static State state;
    return state;
}

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "portmedic: the in-memory registry: %s\n", what);
    abort();
}

void* Resize(void* block, size_t size) {
    void* p = realloc(block, size);
    if (!p) Fail("out of memory");
    return p;
}

char16_t FoldChar(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    if (c < 0xE0) return c;
    // Latin-1 small letters (except the division sign) and y with diaeresis.
    if (c <= 0xFE && c != 0xF7) return char16_t(c - 32);
    if (c == 0xFF) return 0x178;
    return c;
}

std::u16string Fold(const char16_t* name, size_t length) {
    std::u16string folded(name, length);
    for (auto& c : folded) c = FoldChar(c);
    return folded;
}

MemKey* KeyOfHandle(RegKey handle) {
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if (v == reinterpret_cast<uintptr_t>(REG_ROOT_LOCAL_MACHINE))
        return &MemRegCreate(u"HKEY_LOCAL_MACHINE");
    if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return nullptr;
    size_t slot = (v - kHandleBase) / 4;
    return slot < S().handles.size() ? S().handles[slot] : nullptr;
}

RegKey NewHandle(MemKey* key) {
    State& s = S();
    size_t slot;
    if (!s.freeSlots.empty()) {
        slot = s.freeSlots.back();
        s.freeSlots.pop_back();
    } else {
        slot = s.handles.size();
        s.handles.push_back(nullptr);
    }
    s.handles[slot] = key;
    ++s.openCount;
    return reinterpret_cast<RegKey>(kHandleBase + 4 * slot);
}

void ForgetHandle(size_t slot) {
    S().handles[slot] = nullptr;
    S().freeSlots.push_back(uint32_t(slot));
    --S().openCount;
}

std::u16string WideToU16(const WideChar* text) {
    std::u16string s;
    for (; text && *text; ++text) s.push_back(char16_t(*text));
    return s;
}

// Calls f(part, length) for each part of a path already checked (or a full
// path of the tree), skipping a trailing backslash.
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

// ---- keys ----

MemKey* NewKey(MemKey* parent, const char16_t* name, size_t length) {
    if (length > 0xFFFF) Fail("a key name over 65535 characters");
    void* room = Resize(nullptr, sizeof(MemKey) + 2 * length);
    MemKey* key = new (room) MemKey;
    if (length) std::memcpy(static_cast<char*>(room) + sizeof(MemKey), name, 2 * length);
    key->parent = parent;
    key->nameLength = uint16_t(length);
    return key;
}

void FreeKey(MemKey* key) {
    key->~MemKey();
    free(key);
}

MemKeyExtra& Extra(MemKey& key) {
    if (!key.extra) key.extra = std::make_unique<MemKeyExtra>();
    return *key.extra;
}

// ---- a key's block of values ----

uint8_t* Records(MemValueBlock* block) { return reinterpret_cast<uint8_t*>(block + 1); }

// The bytes as kept: without the zeros of every second byte, when all of
// those are zero.
bool Narrow(const uint8_t* bytes, size_t size) {
    if (size < 2 || size % 2) return false;
    for (size_t k = 1; k < size; k += 2)
        if (bytes[k]) return false;
    return true;
}

size_t Kept(size_t size, bool narrow) { return narrow ? size / 2 : size; }

bool NarrowName(const char16_t* name, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (name[i] > 0xFF) return false;
    return true;
}

size_t NameBytes(const char16_t* name, size_t length) {
    return NarrowName(name, length) ? length : 2 * length;
}

size_t NameBytes(const MemValue& v) {
    return v.flags & MemValue::kNarrowName ? v.nameLength : 2 * size_t(v.nameLength);
}

size_t RecordSize(size_t nameBytes, size_t kept) {
    return (sizeof(MemValue) + nameBytes + kept + 3) & ~size_t(3);
}

size_t RecordSize(const MemValue& v) {
    return RecordSize(NameBytes(v), Kept(v.size, v.flags & MemValue::kNarrow));
}

bool IsGone(const MemValue& v) { return v.flags & MemValue::kGone; }

const uint8_t* StoredName(const MemValue& v) { return reinterpret_cast<const uint8_t*>(&v + 1); }

const uint8_t* KeptBytes(const MemValue& v) { return StoredName(v) + NameBytes(v); }

// Calls f with the value's name as it is kept: one byte or two a character.
template <typename F> auto WithName(const MemValue& v, F f) {
    if (v.flags & MemValue::kNarrowName) return f(StoredName(v));
    return f(reinterpret_cast<const char16_t*>(StoredName(v)));
}

template <typename A, typename B> bool SameName(const A* a, const B* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

bool ValueNamed(const MemValue& v, const char16_t* name, size_t length) {
    return v.nameLength == length &&
           WithName(v, [&](const auto* stored) { return SameName(stored, name, length); });
}

MemValue* ValueAt(MemValueBlock* block, size_t offset) {
    return reinterpret_cast<MemValue*>(Records(block) + offset);
}

// ---- indexes ----

template <typename C> size_t HashName(const C* name, size_t length) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded name
    for (size_t i = 0; i < length; ++i) {
        h ^= FoldChar(name[i]);
        h *= 1099511628211ull;
    }
    return size_t(h ^ (h >> 29));
}

// The hash of the name kept at a position.
size_t HashAt(const MemKey& key, bool values, uint32_t position) {
    if (values) {
        const MemValue& v = *ValueAt(key.values.block, 4 * size_t(position));
        return WithName(v, [&](const auto* name) { return HashName(name, v.nameLength); });
    }
    const MemKey* child = key.children[position];
    return HashName(child->NameData(), child->nameLength);
}

bool NamedAt(const MemKey& key, bool values, uint32_t position, const char16_t* name,
             size_t length) {
    if (values) return ValueNamed(*ValueAt(key.values.block, 4 * size_t(position)), name, length);
    const MemKey* child = key.children[position];
    return MemNamesEqual(child->NameData(), child->nameLength, name, length);
}

uint8_t Tag(size_t hash) { return uint8_t(hash >> (8 * sizeof(size_t) - 8)); }

// The slot holding the name, or the first free slot of its run (kEmpty).
size_t FindSlot(const MemKey& key, bool values, const MemIndex& index, const char16_t* name,
                size_t length, size_t hash, bool* found) {
    size_t mask = index.slots.size() - 1, slot = hash & mask;
    size_t free = SIZE_MAX;
    uint8_t tag = Tag(hash);
    for (;; slot = (slot + 1) & mask) {
        uint32_t s = index.slots[slot];
        if (s == kEmpty) {
            *found = false;
            return free != SIZE_MAX ? free : slot;
        }
        if (s == kGone) {
            if (free == SIZE_MAX) free = slot;
            continue;
        }
        if (index.tags[slot] == tag && NamedAt(key, values, s, name, length)) {
            *found = true;
            return slot;
        }
    }
}

void Place(MemIndex& index, size_t slot, uint32_t position, size_t hash) {
    if (index.slots[slot] == kEmpty) ++index.used;
    index.slots[slot] = position;
    index.tags[slot] = Tag(hash);
}

// Adds a position whose name the index does not hold yet.
void IndexPut(const MemKey& key, bool values, MemIndex& index, uint32_t position) {
    size_t hash = HashAt(key, values, position), mask = index.slots.size() - 1;
    size_t slot = hash & mask;
    while (index.slots[slot] != kEmpty && index.slots[slot] != kGone) slot = (slot + 1) & mask;
    Place(index, slot, position, hash);
}

// Makes the index afresh for the positions given, under half full; it is
// made again when additions (and deleted names, until then) fill half of it.
void Rebuild(const MemKey& key, bool values, MemIndex& index,
             const std::vector<uint32_t>& positions) {
    size_t size = 32;
    while (size < 2 * positions.size() + 3) size *= 2;
    index.slots.assign(size, kEmpty);
    index.tags.assign(size, 0);
    index.used = 0;
    for (uint32_t p : positions) IndexPut(key, values, index, p);
}

std::vector<uint32_t> ValuePositions(const MemKey& key) {
    std::vector<uint32_t> positions;
    MemValueBlock* block = key.values.block;
    if (!block) return positions;
    positions.reserve(block->count);
    for (size_t at = 0; at < block->used; at += RecordSize(*ValueAt(block, at)))
        if (!IsGone(*ValueAt(block, at))) positions.push_back(uint32_t(at / 4));
    return positions;
}

std::vector<uint32_t> ChildPositions(const MemKey& key) {
    std::vector<uint32_t> positions(key.children.size());
    for (uint32_t p = 0; p < positions.size(); ++p) positions[p] = p;
    return positions;
}

MemIndex* IndexOf(const MemKey& key, bool values) {
    if (!key.extra) return nullptr;
    MemIndex* index = values ? &key.extra->values : &key.extra->children;
    return index->slots.empty() ? nullptr : index;
}

// Where a name was looked up in a key's index: its hash, and the slot that
// holds it or would take it (SIZE_MAX when the key had no index).
struct Probe {
    size_t hash = 0;
    size_t slot = SIZE_MAX;
};

// The position of a value (its offset / 4) or sub-key, or kEmpty.
uint32_t Find(const MemKey& key, bool values, const char16_t* name, size_t length, Probe* probe) {
    if (const MemIndex* index = IndexOf(key, values)) {
        probe->hash = HashName(name, length);
        bool found;
        probe->slot = FindSlot(key, values, *index, name, length, probe->hash, &found);
        return found ? index->slots[probe->slot] : kEmpty;
    }
    if (!values) {
        for (uint32_t p = 0; p < key.children.size(); ++p)
            if (MemNamesEqual(key.children[p]->NameData(), key.children[p]->nameLength, name,
                              length))
                return p;
        return kEmpty;
    }
    if (MemValueBlock* block = key.values.block)
        for (size_t at = 0; at < block->used; at += RecordSize(*ValueAt(block, at))) {
            const MemValue* v = ValueAt(block, at);
            if (!IsGone(*v) && ValueNamed(*v, name, length)) return uint32_t(at / 4);
        }
    return kEmpty;
}

// Keeps the key's index in step with `position` having just been added
// (count entries now) after `probe` missed it, making one when the key has
// grown enough.
void IndexAdded(MemKey& key, bool values, uint32_t position, size_t count, const Probe& probe) {
    MemIndex* index = IndexOf(key, values);
    if (index && 2 * (index->used + 1) <= index->slots.size()) {
        if (probe.slot == SIZE_MAX) return IndexPut(key, values, *index, position);
        return Place(*index, probe.slot, position, probe.hash);
    }
    if (!index && count < kIndexFrom) return;
    MemKeyExtra& extra = Extra(key);
    Rebuild(key, values, values ? extra.values : extra.children,
            values ? ValuePositions(key) : ChildPositions(key));
}

// The slot of a position the index holds.
size_t SlotOf(const MemKey& key, bool values, const MemIndex& index, uint32_t position) {
    size_t mask = index.slots.size() - 1, slot = HashAt(key, values, position) & mask;
    while (index.slots[slot] != position) slot = (slot + 1) & mask;
    return slot;
}

// ---- values ----

uint32_t PositionOf(size_t offset) {
    if (offset / 4 >= kGone) Fail("a key holding over 16 GB of values");
    return uint32_t(offset / 4);
}

// Room for `more` bytes of records at the end of the key's block.
void MakeRoom(MemKey& key, size_t more) {
    MemValueBlock* block = key.values.block;
    size_t used = block ? block->used : 0, capacity = block ? block->capacity : 0;
    if (used + more <= capacity) return;
    if (used + more > 0xFFFFFFF0u - sizeof(MemValueBlock))
        Fail("a key holding over 4 GB of values");
    capacity = std::min(std::max({2 * capacity, used + more, size_t(128)}),
                        0xFFFFFFF0u - sizeof(MemValueBlock));
    block = static_cast<MemValueBlock*>(Resize(block, sizeof(MemValueBlock) + capacity));
    if (!key.values.block) *block = MemValueBlock{0, 0, 0, 0};
    block->capacity = uint32_t(capacity);
    key.values.block = block;
}

// Writes a value record at the end of the block, which has room for it.
void Write(MemValue* v, uint32_t type, const uint8_t* bytes, size_t size, bool narrow) {
    v->type = type;
    v->size = uint32_t(size);
    v->flags = uint16_t((v->flags & MemValue::kNarrowName) | (narrow ? MemValue::kNarrow : 0));
    uint8_t* to = const_cast<uint8_t*>(KeptBytes(*v));
    if (narrow) {
        for (size_t k = 0; k < size; k += 2) *to++ = bytes[k];
    } else if (size) {
        std::memcpy(to, bytes, size);
    }
}

// Writes a value record at the end of the block, which has room for it.
void Append(MemKey& key, const char16_t* name, size_t nameLength, uint32_t type,
            const uint8_t* bytes, size_t size, bool narrow) {
    MemValueBlock* block = key.values.block;
    MemValue* v = ValueAt(block, block->used);
    v->nameLength = uint16_t(nameLength);
    uint8_t* to = reinterpret_cast<uint8_t*>(v + 1);
    if (NarrowName(name, nameLength)) {
        v->flags = MemValue::kNarrowName;
        for (size_t i = 0; i < nameLength; ++i) to[i] = uint8_t(name[i]);
    } else {
        v->flags = 0;
        if (nameLength) std::memcpy(to, name, 2 * nameLength);
    }
    Write(v, type, bytes, size, narrow);
    block->used += uint32_t(RecordSize(NameBytes(*v), Kept(size, narrow)));
}

// Moves the values still there to the front of the block.
void Compact(MemKey& key) {
    MemValueBlock* block = key.values.block;
    size_t to = 0;
    for (size_t at = 0; at < block->used;) {
        size_t n = RecordSize(*ValueAt(block, at));
        if (!IsGone(*ValueAt(block, at))) {
            if (to != at) std::memmove(Records(block) + to, Records(block) + at, n);
            to += n;
        }
        at += n;
    }
    block->used = to;
    block->goneBytes = 0;
    if (IndexOf(key, true)) Rebuild(key, true, key.extra->values, ValuePositions(key));
}

// A value has gone: its room is taken back once the gone values outweigh
// the others, so the work stays in proportion to what was set.
void Gone(MemKey& key, MemValue* v) {
    MemValueBlock* block = key.values.block;
    v->flags |= MemValue::kGone;
    block->goneBytes += uint32_t(RecordSize(*v));
    if (2 * block->goneBytes > block->used) Compact(key);
}

bool Inside(const MemKey& key, const void* p) {
    const MemValueBlock* block = key.values.block;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(block);
    return block && p >= b && p < b + sizeof(MemValueBlock) + block->capacity;
}

}  // namespace

// ---- the records' members ----

MemValues::Iterator& MemValues::Iterator::operator++() {
    do at += RecordSize(*reinterpret_cast<const MemValue*>(at));
    while (at != end && IsGone(*reinterpret_cast<const MemValue*>(at)));
    return *this;
}

MemValues::Iterator MemValues::begin() const {
    if (!block) return Iterator{nullptr, nullptr};
    const uint8_t* first = Records(block);
    Iterator it{first, first + block->used};
    if (it.at != it.end && IsGone(*it)) ++it;
    return it;
}

MemValues::Iterator MemValues::end() const {
    if (!block) return Iterator{nullptr, nullptr};
    const uint8_t* last = Records(block) + block->used;
    return Iterator{last, last};
}

size_t MemValues::size() const { return block ? block->count : 0; }

MemValues::~MemValues() { free(block); }

MemChildren::~MemChildren() {
    for (MemKey* child : *this) FreeKey(child);
    free(block);
}

MemKey::MemKey() = default;
MemKey::~MemKey() = default;

std::u16string MemValue::Name() const {
    return WithName(*this,
                    [&](const auto* name) { return std::u16string(name, name + nameLength); });
}

void MemValue::CopyBytes(uint8_t* out) const {
    const uint8_t* kept = KeptBytes(*this);
    if (!(flags & kNarrow)) {
        if (size) std::memcpy(out, kept, size);
        return;
    }
    for (size_t k = 0; k < size; k += 2) {
        out[k] = kept[k / 2];
        out[k + 1] = 0;
    }
}

std::vector<uint8_t> MemValue::Bytes() const {
    std::vector<uint8_t> bytes(size);
    CopyBytes(bytes.data());
    return bytes;
}

bool MemValue::SameBytes(const uint8_t* bytes, size_t count) const {
    if (count != size) return false;
    const uint8_t* kept = KeptBytes(*this);
    if (!(flags & kNarrow)) return size == 0 || std::memcmp(kept, bytes, size) == 0;
    for (size_t k = 0; k < size; k += 2)
        if (bytes[k] != kept[k / 2] || bytes[k + 1]) return false;
    return true;
}

std::u16string MemFoldName(const std::u16string& name) { return Fold(name.data(), name.size()); }

bool MemNamesEqual(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength) {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i)
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

long MemCheckKeyPath(const std::u16string& path) {
    if (path.empty()) return kRegOk;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos) end = path.size();
        if (end == start) return kRegBadPath;  // a leading backslash, or an empty part
        if (end - start > kMemMaxKeyName) return kRegInvalidParameter;
        start = end + 1;  // one trailing backslash is accepted, as Windows does
    }
    return kRegOk;
}

void MemRegClear() {
    State& s = S();
    s.top.~MemKey();
    new (&s.top) MemKey;
    s.handles.clear();
    s.freeSlots.clear();
    s.openCount = 0;
    s.hook = nullptr;
}

MemKey& MemRegTop() { return S().top; }

std::u16string MemKeyPath(const MemKey& key) {
    size_t length = 0;
    for (const MemKey* k = &key; k->parent; k = k->parent) length += k->nameLength + 1;
    if (length == 0) return std::u16string();
    std::u16string path(length - 1, u'\\');
    size_t end = path.size();
    for (const MemKey* k = &key; k->parent; k = k->parent) {
        end -= k->nameLength;
        std::copy(k->NameData(), k->NameData() + k->nameLength, path.begin() + end);
        if (end) --end;
    }
    return path;
}

MemKey* MemKeyChild(MemKey& key, const char16_t* name, size_t nameLength) {
    Probe probe;
    uint32_t p = Find(key, false, name, nameLength, &probe);
    return p == kEmpty ? nullptr : key.children[p];
}

MemKey& MemKeyCreateChild(MemKey& key, const char16_t* name, size_t nameLength) {
    Probe probe;
    uint32_t p = Find(key, false, name, nameLength, &probe);
    if (p != kEmpty) return *key.children[p];
    MemChildren& kids = key.children;
    uint32_t count = uint32_t(kids.size()), capacity = kids.block ? kids.block->capacity : 0;
    if (count == capacity) {
        if (capacity >= kGone / 2) Fail("a key with over 2 billion sub-keys");
        capacity = std::max(2u, 2 * capacity);
        kids.block = static_cast<MemChildBlock*>(
            Resize(kids.block, sizeof(MemChildBlock) + capacity * sizeof(MemKey*)));
        kids.block->count = count;
        kids.block->capacity = capacity;
    }
    MemKey* child = NewKey(&key, name, nameLength);
    child->position = count;
    kids[count] = child;
    kids.block->count = count + 1;
    key.sortedValid = false;
    IndexAdded(key, false, count, count + 1, probe);
    return *child;
}

const std::vector<MemKey*>& MemKeySortedChildren(MemKey& key) {
    static const std::vector<MemKey*> kNone;
    if (key.children.empty()) return kNone;
    std::vector<MemKey*>& sorted = Extra(key).sorted;
    if (!key.sortedValid || sorted.size() != key.children.size()) {
        sorted.assign(key.children.begin(), key.children.end());
        // By folded name, compared a character at a time: nothing to allocate.
        std::sort(sorted.begin(), sorted.end(), [](const MemKey* a, const MemKey* b) {
            size_t n = std::min(a->nameLength, b->nameLength);
            for (size_t i = 0; i < n; ++i) {
                char16_t x = FoldChar(a->NameData()[i]), y = FoldChar(b->NameData()[i]);
                if (x != y) return x < y;
            }
            return a->nameLength < b->nameLength;
        });
        key.sortedValid = true;
    }
    return sorted;
}

MemKey* MemRegFind(const std::u16string& path) {
    MemKey* key = &S().top;
    bool found = ForEachPart(path, [&](const char16_t* part, size_t length) {
        key = MemKeyChild(*key, part, length);
        return key != nullptr;
    });
    return found ? key : nullptr;
}

MemKey& MemRegCreate(const std::u16string& path) {
    MemKey* key = &S().top;
    ForEachPart(path, [&](const char16_t* part, size_t length) {
        key = &MemKeyCreateChild(*key, part, length);
        return true;
    });
    return *key;
}

void MemKeyDelete(MemKey& key) {
    MemKey* parent = key.parent;
    if (!parent) return;
    // Handles to the key or below it would dangle: forget them.
    auto& handles = S().handles;
    for (size_t slot = 0; slot < handles.size(); ++slot) {
        for (MemKey* k = handles[slot]; k; k = k->parent)
            if (k == &key) {
                ForgetHandle(slot);
                break;
            }
    }
    MemChildren& kids = parent->children;
    uint32_t position = key.position, last = uint32_t(kids.size() - 1);
    if (MemIndex* index = IndexOf(*parent, false)) {
        index->slots[SlotOf(*parent, false, *index, position)] = kGone;
        if (position != last) index->slots[SlotOf(*parent, false, *index, last)] = position;
    }
    kids[position] = kids[last];
    kids[position]->position = position;
    --kids.block->count;
    parent->sortedValid = false;
    FreeKey(&key);  // and everything below it
}

bool MemRegDelete(const std::u16string& path) {
    MemKey* key = MemRegFind(path);
    if (!key || !key->parent) return false;
    MemKeyDelete(*key);
    return true;
}

MemValue* MemKeyFindValue(MemKey& key, const char16_t* name, size_t nameLength) {
    Probe probe;
    uint32_t p = Find(key, true, name, nameLength, &probe);
    return p == kEmpty ? nullptr : ValueAt(key.values.block, 4 * size_t(p));
}

void MemKeySetValue(MemKey& key, const char16_t* name, size_t nameLength, uint32_t type,
                    const uint8_t* bytes, size_t size) {
    if (nameLength > 0xFFFF) Fail("a value name over 65535 characters");
    if (size > 0xFFFFFFFFu) Fail("a value over 4 GB");
    // Bytes taken from this very key would move as the block grows.
    std::vector<uint8_t> copy;
    if (size && Inside(key, bytes)) {
        copy.assign(bytes, bytes + size);
        bytes = copy.data();
    }
    bool narrow = Narrow(bytes, size);
    Probe probe;
    uint32_t p = Find(key, true, name, nameLength, &probe);
    MemValue* v = p == kEmpty ? nullptr : ValueAt(key.values.block, 4 * size_t(p));
    if (v && RecordSize(*v) == RecordSize(NameBytes(*v), Kept(size, narrow))) {
        Write(v, type, bytes, size, narrow);  // the same room: written over in place
        return;
    }
    if (v) {
        // Keeps the name as first written, as Windows does: the new record
        // takes the old one's name, then the old one goes.
        std::u16string kept = v->Name();
        size_t old = size_t(reinterpret_cast<uint8_t*>(v) - Records(key.values.block));
        MakeRoom(key, RecordSize(NameBytes(*v), Kept(size, narrow)));
        MemValueBlock* block = key.values.block;
        size_t at = block->used;
        Append(key, kept.data(), kept.size(), type, bytes, size, narrow);
        if (MemIndex* index = IndexOf(key, true))
            index->slots[SlotOf(key, true, *index, PositionOf(old))] = PositionOf(at);
        Gone(key, ValueAt(block, old));
        return;
    }
    MakeRoom(key, RecordSize(NameBytes(name, nameLength), Kept(size, narrow)));
    size_t at = key.values.block->used;
    Append(key, name, nameLength, type, bytes, size, narrow);
    ++key.values.block->count;
    IndexAdded(key, true, PositionOf(at), key.values.block->count, probe);
}

void MemKeyTrimValues(MemKey& key) {
    MemValueBlock* block = key.values.block;
    if (!block) return;
    if (block->goneBytes) Compact(key);
    if (block->count == 0) {
        free(block);
        key.values.block = nullptr;
        if (key.extra) key.extra->values = MemIndex();
        return;
    }
    if (block->capacity == block->used) return;
    block = static_cast<MemValueBlock*>(Resize(block, sizeof(MemValueBlock) + block->used));
    block->capacity = block->used;
    key.values.block = block;
}

bool MemKeyDeleteValue(MemKey& key, const char16_t* name, size_t nameLength) {
    MemValue* v = MemKeyFindValue(key, name, nameLength);
    if (!v) return false;
    MemValueBlock* block = key.values.block;
    if (MemIndex* index = IndexOf(key, true)) {
        size_t offset = size_t(reinterpret_cast<uint8_t*>(v) - Records(block));
        index->slots[SlotOf(key, true, *index, uint32_t(offset / 4))] = kGone;
    }
    --block->count;
    Gone(key, v);
    return true;
}

void MemRegSetValue(const std::u16string& path, const std::u16string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes) {
    MemKeySetValue(MemRegCreate(path), name.data(), name.size(), type, bytes.data(), bytes.size());
}

void MemRegSetString(const std::u16string& path, const std::u16string& name,
                     const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    MemRegSetValue(path, name, kRegTypeString, bytes);
}

void MemRegSetDword(const std::u16string& path, const std::u16string& name, uint32_t value) {
    std::vector<uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(value >> (8 * i));
    MemRegSetValue(path, name, kRegTypeDword, bytes);
}

const MemValue* MemRegGetValue(const std::u16string& path, const std::u16string& name) {
    MemKey* key = MemRegFind(path);
    return key ? MemKeyFindValue(*key, name.data(), name.size()) : nullptr;
}

bool MemRegDeleteValue(const std::u16string& path, const std::u16string& name) {
    MemKey* key = MemRegFind(path);
    return key && MemKeyDeleteValue(*key, name.data(), name.size());
}

int MemRegOpenHandleCount() { return S().openCount; }

void MemRegSetHook(MemRegHook hook) { S().hook = hook; }

MemRegHook MemRegGetHook() { return S().hook; }

// ---- Registry.h over the tree ----

long RegistryOpenKey(RegKey root, const WideChar* path, uint32_t, uint32_t, RegKey* key) {
    MemKey* base = KeyOfHandle(root);
    if (!base || !key) return kRegNotFound;
    std::u16string relative = WideToU16(path);
    if (S().hook)
        if (long r = S().hook(kMemRegOpen, *base, relative, 0)) return r;
    if (long r = MemCheckKeyPath(relative)) return r;
    MemKey* target = base;
    bool found = ForEachPart(relative, [&](const char16_t* part, size_t length) {
        target = MemKeyChild(*target, part, length);
        return target != nullptr;
    });
    if (!found) return kRegNotFound;
    *key = NewHandle(target);
    return kRegOk;
}

long RegistryEnumKey(RegKey handle, uint32_t index, WideChar* name, uint32_t* nameLength) {
    MemKey* key = KeyOfHandle(handle);
    if (!key || !name || !nameLength) return kRegNotFound;
    if (S().hook)
        if (long r = S().hook(kMemRegEnum, *key, std::u16string(), index)) return r;
    const auto& kids = MemKeySortedChildren(*key);
    if (index >= kids.size()) return kRegNoMoreItems;
    const MemKey* child = kids[index];
    const char16_t* n = child->NameData();
    size_t length = child->nameLength;
    if (length + 1 > *nameLength) return kRegMoreData;
    for (size_t i = 0; i < length; ++i) name[i] = WideChar(n[i]);
    name[length] = 0;
    *nameLength = uint32_t(length);
    return kRegOk;
}

long RegistryQueryValue(RegKey handle, const WideChar* name, uint32_t* type, uint8_t* data,
                        uint32_t* byteCount) {
    MemKey* key = KeyOfHandle(handle);
    if (!key) return kRegNotFound;
    std::u16string valueName = WideToU16(name);
    if (S().hook)
        if (long r = S().hook(kMemRegQuery, *key, valueName, 0)) return r;
    const MemValue* v = MemKeyFindValue(*key, valueName.data(), valueName.size());
    if (!v) return kRegNotFound;
    if (type) *type = v->type;
    uint32_t size = v->size;
    if (data) {
        if (!byteCount) return kRegNotFound;
        if (size > *byteCount) {
            *byteCount = size;
            return kRegMoreData;
        }
        v->CopyBytes(data);
    }
    if (byteCount) *byteCount = size;
    return kRegOk;
}

long RegistrySetValue(RegKey handle, const WideChar* name, uint32_t, uint32_t type,
                      const uint8_t* data, uint32_t byteCount) {
    MemKey* key = KeyOfHandle(handle);
    if (!key) return kRegNotFound;
    std::u16string valueName = WideToU16(name);
    if (valueName.size() > kMemMaxValueName) return kRegInvalidParameter;
    if (S().hook)
        if (long r = S().hook(kMemRegSet, *key, valueName, 0)) return r;
    MemKeySetValue(*key, valueName.data(), valueName.size(), type, data, data ? byteCount : 0);
    return kRegOk;
}

long RegistryCloseKey(RegKey handle) {
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if (v == reinterpret_cast<uintptr_t>(REG_ROOT_LOCAL_MACHINE)) return kRegOk;
    if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return 6;  // ERROR_INVALID_HANDLE
    size_t slot = (v - kHandleBase) / 4;
    if (slot >= S().handles.size() || !S().handles[slot]) return 6;
    ForgetHandle(slot);
    return kRegOk;
}
