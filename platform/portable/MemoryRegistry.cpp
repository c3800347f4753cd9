#include "platform/portable/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

namespace {

// Handles handed out through Registry.h: slot i of the table is the handle
// value kHandleBase + 4 * i. A closed slot is null and goes on the free list.
const uintptr_t kHandleBase = 0x1000;

// Below this many values or sub-keys a key is searched name by name; from it
// on the key keeps an index by folded name.
const size_t kIndexFrom = 16;

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

void SetValueBytes(MemValue& v, const char16_t* name, size_t nameLength, uint32_t type,
                   const uint8_t* bytes, size_t size) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[2 * nameLength + size + 1]);
    if (nameLength) std::memcpy(block.get(), name, 2 * nameLength);
    if (size) std::memcpy(block.get() + 2 * nameLength, bytes, size);
    v.block = std::move(block);
    v.nameLength = uint32_t(nameLength);
    v.size = uint32_t(size);
    v.type = type;
}

const char16_t* NameOf(const MemKey& key, bool values, uint32_t position, size_t* length) {
    if (values) {
        const MemValue& v = key.values[position];
        *length = v.nameLength;
        return reinterpret_cast<const char16_t*>(v.block.get());
    }
    *length = key.children[position]->name.size();
    return key.children[position]->name.data();
}

// A slot holds the name's hash in its upper half and the position in its
// lower half, so most names that only share a slot are told apart without
// reading them.
const uint64_t kEmpty = ~uint64_t(0), kGone = kEmpty - 1;

size_t HashName(const char16_t* name, size_t length) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded name
    for (size_t i = 0; i < length; ++i) {
        h ^= FoldChar(name[i]);
        h *= 1099511628211ull;
    }
    return size_t(h ^ (h >> 29));
}

// The slot holding the name, or the first free slot of its run (kEmpty).
size_t FindSlot(const MemKey& key, bool values, const MemIndex& index, const char16_t* name,
                size_t length, bool* found) {
    size_t hash = HashName(name, length);
    size_t mask = index.slots.size() - 1, slot = hash & mask;
    uint64_t tag = uint64_t(uint32_t(hash >> 16)) << 32;
    size_t free = SIZE_MAX;
    for (;; slot = (slot + 1) & mask) {
        uint64_t s = index.slots[slot];
        if (s == kEmpty) {
            *found = false;
            return free != SIZE_MAX ? free : slot;
        }
        if (s == kGone) {
            if (free == SIZE_MAX) free = slot;
            continue;
        }
        if ((s & ~uint64_t(0xFFFFFFFFu)) != tag) continue;
        size_t n;
        const char16_t* other = NameOf(key, values, uint32_t(s), &n);
        if (MemNamesEqual(other, n, name, length)) {
            *found = true;
            return slot;
        }
    }
}

uint64_t Tagged(const char16_t* name, size_t length, uint32_t position) {
    return (uint64_t(uint32_t(HashName(name, length) >> 16)) << 32) | position;
}

// Builds the index afresh for count entries, with room to grow.
void Rebuild(MemKey& key, bool values, std::unique_ptr<MemIndex>& index, size_t count) {
    if (!index) index = std::make_unique<MemIndex>();
    size_t size = 64;
    while (size < 4 * count) size *= 2;
    index->slots.assign(size, kEmpty);
    index->used = 0;
    for (uint32_t p = 0; p < count; ++p) {
        size_t n;
        const char16_t* name = NameOf(key, values, p, &n);
        bool found;
        index->slots[FindSlot(key, values, *index, name, n, &found)] = Tagged(name, n, p);
        ++index->used;
    }
}

// Keeps the index in step with position `position` having just been added.
void IndexAdded(MemKey& key, bool values, std::unique_ptr<MemIndex>& index, uint32_t position,
                size_t count) {
    if (!index) {
        if (count >= kIndexFrom) Rebuild(key, values, index, count);
        return;
    }
    if (2 * (index->used + 1) > index->slots.size()) return Rebuild(key, values, index, count);
    size_t n;
    const char16_t* name = NameOf(key, values, position, &n);
    bool found;
    size_t slot = FindSlot(key, values, *index, name, n, &found);
    if (index->slots[slot] == kEmpty) ++index->used;
    index->slots[slot] = Tagged(name, n, position);
}

// Looks a name up: its position, or -1.
int64_t IndexFind(const MemKey& key, bool values, const MemIndex& index, const char16_t* name,
                  size_t length) {
    bool found;
    size_t slot = FindSlot(key, values, index, name, length, &found);
    return found ? int64_t(uint32_t(index.slots[slot])) : -1;
}

// Before the entry at `position` goes and the last entry takes its place.
void IndexRemoving(const MemKey& key, bool values, MemIndex& index, uint32_t position,
                   uint32_t last) {
    size_t n;
    const char16_t* name = NameOf(key, values, position, &n);
    bool found;
    index.slots[FindSlot(key, values, index, name, n, &found)] = kGone;
    if (position == last) return;
    name = NameOf(key, values, last, &n);
    index.slots[FindSlot(key, values, index, name, n, &found)] = Tagged(name, n, position);
}

}  // namespace

std::u16string MemValue::Name() const {
    std::u16string name(nameLength, u'\0');
    if (nameLength) std::memcpy(&name[0], block.get(), 2 * size_t(nameLength));
    return name;
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
    s.top.children.clear();
    s.top.childIndex.reset();
    s.top.sorted.reset();
    s.top.sortedValid = true;
    s.handles.clear();
    s.freeSlots.clear();
    s.openCount = 0;
    s.hook = nullptr;
}

MemKey& MemRegTop() { return S().top; }

std::u16string MemKeyPath(const MemKey& key) {
    size_t length = 0;
    for (const MemKey* k = &key; k->parent; k = k->parent) length += k->name.size() + 1;
    if (length == 0) return std::u16string();
    std::u16string path(length - 1, u'\\');
    size_t end = path.size();
    for (const MemKey* k = &key; k->parent; k = k->parent) {
        end -= k->name.size();
        std::copy(k->name.begin(), k->name.end(), path.begin() + end);
        if (end) --end;
    }
    return path;
}

MemKey* MemKeyChild(MemKey& key, const char16_t* name, size_t nameLength) {
    if (key.childIndex) {
        int64_t p = IndexFind(key, false, *key.childIndex, name, nameLength);
        return p < 0 ? nullptr : key.children[size_t(p)].get();
    }
    for (auto& child : key.children)
        if (MemNamesEqual(child->name.data(), child->name.size(), name, nameLength))
            return child.get();
    return nullptr;
}

MemKey& MemKeyCreateChild(MemKey& key, const char16_t* name, size_t nameLength) {
    if (MemKey* child = MemKeyChild(key, name, nameLength)) return *child;
    auto child = std::make_unique<MemKey>();
    child->name.assign(name, nameLength);
    child->parent = &key;
    child->position = uint32_t(key.children.size());
    key.children.push_back(std::move(child));
    key.sortedValid = false;
    IndexAdded(key, false, key.childIndex, uint32_t(key.children.size() - 1), key.children.size());
    return *key.children.back();
}

const std::vector<MemKey*>& MemKeySortedChildren(MemKey& key) {
    static const std::vector<MemKey*> kNone;
    if (key.children.empty()) return kNone;
    if (!key.sorted) {
        key.sorted = std::make_unique<std::vector<MemKey*>>();
        key.sortedValid = false;
    }
    if (!key.sortedValid) {
        std::vector<std::pair<std::u16string, MemKey*>> order;
        order.reserve(key.children.size());
        for (auto& child : key.children) order.emplace_back(MemFoldName(child->name), child.get());
        std::sort(order.begin(), order.end());
        key.sorted->clear();
        for (auto& entry : order) key.sorted->push_back(entry.second);
        key.sortedValid = true;
    }
    return *key.sorted;
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
    auto& kids = parent->children;
    uint32_t position = key.position;
    if (parent->childIndex)
        IndexRemoving(*parent, false, *parent->childIndex, position, uint32_t(kids.size() - 1));
    if (position + 1 != kids.size()) {
        kids[position] = std::move(kids.back());
        kids[position]->position = position;
    }
    kids.pop_back();  // frees the key and everything below it
    parent->sortedValid = false;
}

bool MemRegDelete(const std::u16string& path) {
    MemKey* key = MemRegFind(path);
    if (!key || !key->parent) return false;
    MemKeyDelete(*key);
    return true;
}

MemValue* MemKeyFindValue(MemKey& key, const char16_t* name, size_t nameLength) {
    if (key.valueIndex) {
        int64_t p = IndexFind(key, true, *key.valueIndex, name, nameLength);
        return p < 0 ? nullptr : &key.values[size_t(p)];
    }
    for (auto& v : key.values)
        if (MemNamesEqual(reinterpret_cast<const char16_t*>(v.block.get()), v.nameLength, name,
                          nameLength))
            return &v;
    return nullptr;
}

void MemKeySetValue(MemKey& key, const char16_t* name, size_t nameLength, uint32_t type,
                    const uint8_t* bytes, size_t size) {
    MemValue* v = MemKeyFindValue(key, name, nameLength);
    if (v) {
        // Keeps the name as first written, as Windows does.
        std::u16string kept = v->Name();
        SetValueBytes(*v, kept.data(), kept.size(), type, bytes, size);
        return;
    }
    key.values.emplace_back();
    SetValueBytes(key.values.back(), name, nameLength, type, bytes, size);
    IndexAdded(key, true, key.valueIndex, uint32_t(key.values.size() - 1), key.values.size());
}

void MemKeyReserveValues(MemKey& key, size_t count) {
    size_t size = key.values.size();
    if (size + count <= key.values.capacity()) return;
    // Growing a table that holds values already at least doubles it, so
    // many small reservations on one key still cost linear time.
    key.values.reserve(std::max(size + count, 2 * size));
}

void MemKeyTrimValues(MemKey& key) { key.values.shrink_to_fit(); }

bool MemKeyDeleteValue(MemKey& key, const char16_t* name, size_t nameLength) {
    MemValue* v = MemKeyFindValue(key, name, nameLength);
    if (!v) return false;
    size_t position = size_t(v - key.values.data());
    if (key.valueIndex)
        IndexRemoving(key, true, *key.valueIndex, uint32_t(position),
                      uint32_t(key.values.size() - 1));
    if (position + 1 != key.values.size()) key.values[position] = std::move(key.values.back());
    key.values.pop_back();
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
    const std::u16string& n = kids[index]->name;
    if (n.size() + 1 > *nameLength) return kRegMoreData;
    for (size_t i = 0; i < n.size(); ++i) name[i] = WideChar(n[i]);
    name[n.size()] = 0;
    *nameLength = uint32_t(n.size());
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
        if (size) std::memcpy(data, v->Data(), size);
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
