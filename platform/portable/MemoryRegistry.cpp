#include "platform/portable/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

namespace {

// Handles handed out through Registry.h: slot i of the table is the handle
// value kHandleBase + 4 * i. A closed slot is null and may be reused.
const uintptr_t kHandleBase = 0x1000;

struct State {
    MemKey top;
    std::vector<MemKey*> handles;
    int openCount = 0;
    std::vector<std::u16string> openLog;
    bool keepOpenLog = true;
    std::vector<MemSection> sections;
};

State& S() {
    static State state;
    return state;
}

char16_t FoldChar(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    // Latin-1 small letters (except the division sign) and y with diaeresis.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
    if (c == 0xFF) return 0x178;
    return c;
}

std::vector<std::u16string> SplitPath(const std::u16string& path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::u16string FullPath(const MemKey* key) {
    std::u16string path;
    for (; key && key->parent; key = key->parent)
        path = key->name + (path.empty() ? u"" : u"\\" + path);
    return path;
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
    auto& handles = S().handles;
    size_t slot = 0;
    while (slot < handles.size() && handles[slot]) ++slot;
    if (slot == handles.size()) handles.push_back(nullptr);
    handles[slot] = key;
    ++S().openCount;
    return reinterpret_cast<RegKey>(kHandleBase + 4 * slot);
}

MemValue* FindValue(MemKey& key, const std::u16string& name) {
    std::u16string folded = MemFoldName(name);
    for (auto& v : key.values)
        if (MemFoldName(v.name) == folded) return &v;
    return nullptr;
}

std::u16string WideToU16(const WideChar* text) {
    std::u16string s;
    for (; text && *text; ++text) s.push_back(char16_t(*text));
    return s;
}

}  // namespace

std::u16string MemFoldName(const std::u16string& name) {
    std::u16string folded(name);
    for (auto& c : folded) c = FoldChar(c);
    return folded;
}

void MemRegClear() {
    State& s = S();
    s.top.children.clear();
    s.top.byFolded.clear();
    s.top.sorted.clear();
    s.top.sortedValid = true;
    s.handles.clear();
    s.openCount = 0;
    s.openLog.clear();
    s.sections.clear();
}

MemKey& MemRegTop() { return S().top; }

MemKey* MemKeyChild(MemKey& key, const std::u16string& name) {
    auto it = key.byFolded.find(MemFoldName(name));
    return it == key.byFolded.end() ? nullptr : it->second;
}

const std::vector<MemKey*>& MemKeySortedChildren(MemKey& key) {
    if (!key.sortedValid) {
        key.sorted.clear();
        for (auto& child : key.children) key.sorted.push_back(child.get());
        std::stable_sort(key.sorted.begin(), key.sorted.end(),
                         [](MemKey* a, MemKey* b) { return a->folded < b->folded; });
        key.sortedValid = true;
    }
    return key.sorted;
}

MemKey* MemRegFind(const std::u16string& path) {
    MemKey* key = &S().top;
    for (const auto& part : SplitPath(path)) {
        key = MemKeyChild(*key, part);
        if (!key) return nullptr;
    }
    return key;
}

MemKey& MemRegCreate(const std::u16string& path) {
    MemKey* key = &S().top;
    for (const auto& part : SplitPath(path)) {
        MemKey* child = MemKeyChild(*key, part);
        if (!child) {
            key->children.push_back(std::make_unique<MemKey>());
            child = key->children.back().get();
            child->name = part;
            child->folded = MemFoldName(part);
            child->parent = key;
            key->byFolded[child->folded] = child;
            key->sortedValid = false;
        }
        key = child;
    }
    return *key;
}

bool MemRegDelete(const std::u16string& path) {
    MemKey* key = MemRegFind(path);
    if (!key || !key->parent) return false;
    MemKey* parent = key->parent;
    // Handles to the key or below it would dangle: forget them.
    for (auto& h : S().handles) {
        for (MemKey* k = h; k; k = k->parent)
            if (k == key) {
                h = nullptr;
                --S().openCount;
                break;
            }
    }
    parent->byFolded.erase(key->folded);
    auto& kids = parent->children;
    kids.erase(std::remove_if(kids.begin(), kids.end(),
                              [key](const std::unique_ptr<MemKey>& c) { return c.get() == key; }),
               kids.end());
    parent->sortedValid = false;
    return true;
}

void MemKeySetValue(MemKey& key, const std::u16string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes) {
    MemValue* v = FindValue(key, name);
    if (!v) {
        key.values.push_back(MemValue());
        v = &key.values.back();
        v->name = name;
    }
    v->type = type;
    v->bytes = bytes;
    std::u16string folded = MemFoldName(name);
    auto& gone = key.deletedValues;
    gone.erase(std::remove_if(gone.begin(), gone.end(),
                              [&](const std::u16string& n) { return MemFoldName(n) == folded; }),
               gone.end());
}

void MemRegSetValue(const std::u16string& path, const std::u16string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes) {
    MemKeySetValue(MemRegCreate(path), name, type, bytes);
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
    return key ? FindValue(*key, name) : nullptr;
}

bool MemRegDeleteValue(const std::u16string& path, const std::u16string& name) {
    MemKey* key = MemRegFind(path);
    MemValue* v = key ? FindValue(*key, name) : nullptr;
    if (!v) return false;
    key->values.erase(key->values.begin() + (v - key->values.data()));
    return true;
}

const std::vector<MemSection>& MemRegSections() { return S().sections; }

void MemRegAddSection(const std::u16string& path) {
    MemRegCreate(path);
    MemSection section;
    section.path = path;
    S().sections.push_back(section);
}

void MemRegAddKeyDeletion(const std::u16string& path) {
    MemRegDelete(path);
    // Earlier sections of this key or of keys below it describe keys that no
    // longer exist; a later section of the same path re-creates the key.
    std::u16string folded = MemFoldName(path);
    while (!folded.empty() && folded.back() == u'\\') folded.pop_back();
    auto& sections = S().sections;
    sections.erase(std::remove_if(sections.begin(), sections.end(),
                                  [&](const MemSection& s) {
                                      std::u16string f = MemFoldName(s.path);
                                      while (!f.empty() && f.back() == u'\\') f.pop_back();
                                      return f == folded ||
                                             (f.size() > folded.size() &&
                                              f.compare(0, folded.size(), folded) == 0 &&
                                              f[folded.size()] == u'\\');
                                  }),
                   sections.end());
    MemSection section;
    section.path = path;
    section.deletion = true;
    sections.push_back(section);
}

void MemRegAddValueDeletion(const std::u16string& path, const std::u16string& name) {
    MemRegDeleteValue(path, name);
    MemKey& key = MemRegCreate(path);
    std::u16string folded = MemFoldName(name);
    for (const auto& n : key.deletedValues)
        if (MemFoldName(n) == folded) return;
    key.deletedValues.push_back(name);
}

int MemRegOpenHandleCount() { return S().openCount; }

const std::vector<std::u16string>& MemRegOpenLog() { return S().openLog; }

void MemRegKeepOpenLog(bool keep) { S().keepOpenLog = keep; }

void MemRegFailOpen(const std::u16string& path) { MemRegCreate(path).failOpen = true; }

void MemRegFailEnumAt(const std::u16string& path, int64_t index) {
    MemRegCreate(path).failEnumAt = index;
}

void MemRegDenyWrite(const std::u16string& path) { MemRegCreate(path).denyWrite = true; }

void MemRegFailRead(const std::u16string& path, const std::u16string& valueName) {
    MemRegCreate(path).failRead.push_back(MemFoldName(valueName));
}

// ---- Registry.h over the tree ----

long RegistryOpenKey(RegKey root, const WideChar* path, uint32_t, uint32_t, RegKey* key) {
    MemKey* base = KeyOfHandle(root);
    std::u16string relative = WideToU16(path);
    if (S().keepOpenLog) {
        std::u16string full = FullPath(base);
        if (!relative.empty()) full += (full.empty() ? u"" : u"\\") + relative;
        S().openLog.push_back(full);
    }
    if (!base || !key) return kRegNotFound;
    MemKey* target = base;
    for (const auto& part : SplitPath(relative)) {
        target = MemKeyChild(*target, part);
        if (!target) return kRegNotFound;
    }
    if (target->failOpen) return kRegNotFound;
    *key = NewHandle(target);
    return kRegOk;
}

long RegistryEnumKey(RegKey handle, uint32_t index, WideChar* name, uint32_t* nameLength) {
    MemKey* key = KeyOfHandle(handle);
    if (!key || !name || !nameLength) return kRegNotFound;
    if (key->failEnumAt >= 0 && int64_t(index) >= key->failEnumAt) return kRegAccessDenied;
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
    for (const auto& f : key->failRead)
        if (f == MemFoldName(valueName)) return kRegAccessDenied;
    const MemValue* v = FindValue(*key, valueName);
    if (!v) return kRegNotFound;
    if (type) *type = v->type;
    uint32_t size = uint32_t(v->bytes.size());
    if (data) {
        if (!byteCount) return kRegNotFound;
        if (size > *byteCount) {
            *byteCount = size;
            return kRegMoreData;
        }
        if (size) std::memcpy(data, v->bytes.data(), size);
    }
    if (byteCount) *byteCount = size;
    return kRegOk;
}

long RegistrySetValue(RegKey handle, const WideChar* name, uint32_t, uint32_t type,
                      const uint8_t* data, uint32_t byteCount) {
    MemKey* key = KeyOfHandle(handle);
    if (!key) return kRegNotFound;
    if (key->denyWrite) return kRegAccessDenied;
    std::vector<uint8_t> bytes(data, data + (data ? byteCount : 0));
    MemKeySetValue(*key, WideToU16(name), type, bytes);
    return kRegOk;
}

long RegistryCloseKey(RegKey handle) {
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if (v == reinterpret_cast<uintptr_t>(REG_ROOT_LOCAL_MACHINE)) return kRegOk;
    if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return 6;  // ERROR_INVALID_HANDLE
    size_t slot = (v - kHandleBase) / 4;
    auto& handles = S().handles;
    if (slot >= handles.size() || !handles[slot]) return 6;
    handles[slot] = nullptr;
    --S().openCount;
    return kRegOk;
}
