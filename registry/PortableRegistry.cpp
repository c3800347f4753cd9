#include "registry/PortableRegistry.h"

#include <string.h>

#include <vector>

// The tree's value types are the ones callers of Registry.h pass through.
static_assert(kTreeTypeString == kRegTypeString && kTreeTypeExpandString == kRegTypeExpandString &&
                  kTreeTypeBinary == kRegTypeBinary && kTreeTypeDword == kRegTypeDword &&
                  kTreeTypeMultiString == kRegTypeMultiString,
              "the tree numbers value types as Registry.h does");

namespace {

// Handles handed out through Registry.h: slot i of the table is the handle
// value kHandleBase + 4 * i. A closed slot is null and goes on the free list.
const uintptr_t kHandleBase = 0x1000;

// The scan opens each sub-key it has just enumerated, and key after key
// below one parent ("Drivers\Ports\P1", then "Drivers\Ports\P2" from the same root).
// The parent of the last path opened and the last sub-key enumerated are
// kept, so that neither is looked up again among thousands of siblings.
// Only the same spelling is taken from here: any other takes the long way
// and finds the same key. Deleting any key forgets both (ForgetHandlesBelow).
// A path that is the kept parent's path and one plain name more, or the kept
// sub-key's plain name, is a sound path: it is not checked again.
struct Remembered {
    const TreeKey* base = nullptr;    // the key the path was opened below
    std::u16string parentPath;        // the path without its last name
    TreeKey* parent = nullptr;        // the key parentPath names; null: none kept
    size_t made = 0;                  // where below parent to look first (TreeKeyChildAfter)
    size_t madeBefore = 0;            // where made was before its last jump
    const TreeKey* listed = nullptr;  // the key last enumerated
    TreeKey* child = nullptr;         // the sub-key of it handed out; null: none
    bool childPlain = false;          // its name is a plain one (PlainName)
};

struct OpenKeys {
    RegTree* tree = nullptr;
    TreeKey* machine = nullptr;  // HKEY_LOCAL_MACHINE, once made
    std::u16string name;         // a path or name asked for, the last (Windows)
    std::vector<TreeKey*> handles;
    std::vector<uint32_t> freeSlots;
    int openCount = 0;
    PortableRegistryHook hook = nullptr;
    Remembered remembered;
};

// The open keys of the calling thread (PortableRegistryUse's), and of a
// thread that reads beside it (PortableRegistryReadBeside).
OpenKeys g_main;
thread_local OpenKeys* t_beside = nullptr;

inline OpenKeys& Open() {
    OpenKeys* beside = t_beside;
    return beside ? *beside : g_main;
}

void ForgetHandle(OpenKeys& open, size_t slot) {
    open.handles[slot] = nullptr;
    open.freeSlots.push_back(uint32_t(slot));
    --open.openCount;
}

// Handles to the key or below it would dangle: they go.
void ForgetHandlesBelow(const TreeKey& key, void*) {
    OpenKeys& open = Open();
    open.remembered.parent = nullptr;
    open.remembered.child = nullptr;
    if (open.machine && (&key == open.machine || !TreeKeyParent(key))) open.machine = nullptr;
    for (size_t slot = 0; slot < open.handles.size(); ++slot)
        for (const TreeKey* k = open.handles[slot]; k; k = TreeKeyParent(*k))
            if (k == &key) {
                ForgetHandle(open, slot);
                break;
            }
}

// The slot of a handle from the table, or SIZE_MAX. (The table is empty
// while no tree is in use.)
inline size_t SlotOfHandle(const OpenKeys& open, RegKey handle) {
    uintptr_t v = reinterpret_cast<uintptr_t>(handle) - kHandleBase;  // wraps below the base
    size_t slot = v / 4;
    return v % 4 == 0 && slot < open.handles.size() && open.handles[slot] ? slot : SIZE_MAX;
}

// A thread reading beside only finds the key: the calling thread makes it.
TreeKey* MachineKey(OpenKeys& open) {
    const char16_t* const machine = u"HKEY_LOCAL_MACHINE";
    if (open.tree && !open.machine)
        open.machine = &open == &g_main ? &RegTreeCreateKey(*open.tree, machine)
                                        : RegTreeFindKey(*open.tree, machine);
    return open.machine;
}

inline TreeKey* KeyOfHandle(OpenKeys& open, RegKey handle) {
    if (handle == REG_ROOT_LOCAL_MACHINE) return MachineKey(open);
    size_t slot = SlotOfHandle(open, handle);
    return slot == SIZE_MAX ? nullptr : open.handles[slot];
}

RegKey NewHandle(OpenKeys& open, TreeKey* key) {
    size_t slot;
    if (!open.freeSlots.empty()) {
        slot = open.freeSlots.back();
        open.freeSlots.pop_back();
    } else {
        slot = open.handles.size();
        open.handles.push_back(nullptr);
    }
    open.handles[slot] = key;
    ++open.openCount;
    return reinterpret_cast<RegKey>(kHandleBase + 4 * slot);
}

// A name or path asked for, as the tree takes it: its length, and its
// characters without a copy where WideChar is char16_t (everywhere but
// Windows), else copied into the room kept for it (a scan asks for many
// names: none allocates once the room has grown). Null reads as "".
const char16_t* TreeText(OpenKeys& open, const WideChar* text, size_t* length) {
    *length = WideLength(text);
#ifdef _WIN32
    std::u16string& s = open.name;
    s.assign(text, text + *length);
    return s.data();
#else
    (void)open;
    return text ? text : u"";
#endif
}

// A name that is a sound path of one part: 1 to kTreeMaxKeyName characters,
// none of them a backslash.
bool PlainName(const char16_t* name, size_t length) {
    if (length == 0 || length > kTreeMaxKeyName) return false;
    for (size_t i = 0; i < length; ++i)
        if (name[i] == u'\\') return false;
    return true;
}

// The key the first length characters of a checked path name below key, or
// null.
TreeKey* Walk(TreeKey* key, const char16_t* path, size_t length) {
    for (size_t start = 0; start < length && key;) {
        size_t end = start;
        while (end < length && path[end] != u'\\') ++end;
        key = TreeKeyChild(*key, path + start, end - start);
        start = end + 1;
    }
    return key;
}

// The key a path without its last name names below base (Walk), kept for
// the next path.
TreeKey* ParentBelow(Remembered& kept, TreeKey* base, const char16_t* path, size_t length) {
    if (kept.parent && kept.base == base && kept.parentPath.size() == length &&
        memcmp(kept.parentPath.data(), path, length * sizeof(char16_t)) == 0)
        return kept.parent;
    TreeKey* parent = Walk(base, path, length);
    if (parent) {
        kept.base = base;
        kept.parentPath.assign(path, length);
        kept.parent = parent;
        kept.made = 0;
        kept.madeBefore = 0;
    }
    return parent;
}

// The sub-key of the kept parent with the name. Keys are mostly asked for
// in the order they were made, in runs that the order of enumeration
// interleaves: "P1000", "P10000" to "P10009", "P1001", "P10010" to
// "P10019", "P1002"... So the place after the last key found is tried
// first, then the place left at the last jump, before the name is looked
// up.
TreeKey* ChildInOrder(Remembered& kept, TreeKey& parent, const char16_t* name, size_t length) {
    if (TreeKey* child = TreeKeyChildMadeAt(parent, kept.made, name, length)) {
        ++kept.made;
        return child;
    }
    size_t left = kept.made;
    TreeKey* child = TreeKeyChildMadeAt(parent, kept.madeBefore, name, length);
    if (child) {
        kept.made = kept.madeBefore + 1;
    } else {
        size_t found = SIZE_MAX;  // none to try: the name is looked up
        child = TreeKeyChildAfter(parent, name, length, &found);
        if (child) kept.made = found;
    }
    if (child) kept.madeBefore = left;
    return child;
}

// The sub-key of parent with the name, the last one enumerated if it is
// spelled as that one is.
TreeKey* ChildOf(Remembered& kept, TreeKey& parent, const char16_t* name, size_t length) {
    if (kept.child && kept.listed == &parent) {
        size_t keptLength;
        const char16_t* keptName = TreeKeyNameData(*kept.child, &keptLength);
        if (keptLength == length && memcmp(keptName, name, length * sizeof(char16_t)) == 0)
            return kept.child;
    }
    if (&parent == kept.parent) return ChildInOrder(kept, parent, name, length);
    return TreeKeyChild(parent, name, length);
}

// A path spelled as a kept one (see Remembered): *key is the key it names
// below base, or null, found without checking or walking the path again.
// False: not kept, the path takes the long way.
bool KeptKey(Remembered& kept, const TreeKey* base, const char16_t* path, size_t length,
             TreeKey** key) {
    if (kept.child && kept.listed == base && kept.childPlain) {
        size_t keptLength;
        const char16_t* keptName = TreeKeyNameData(*kept.child, &keptLength);
        if (keptLength == length && memcmp(keptName, path, length * sizeof(char16_t)) == 0) {
            *key = kept.child;
            return true;
        }
    }
    size_t at = kept.parentPath.size() + 1;  // where the last name begins
    if (!kept.parent || kept.base != base || length <= at || path[at - 1] != u'\\' ||
        memcmp(kept.parentPath.data(), path, (at - 1) * sizeof(char16_t)) != 0 ||
        !PlainName(path + at, length - at))
        return false;
    *key = ChildOf(kept, *kept.parent, path + at, length - at);
    return true;
}

// The key a path names below base (null: none), or the path's fault.
long FindKey(Remembered& kept, TreeKey* base, const char16_t* path, size_t length, TreeKey** key) {
    size_t used;
    switch (RegCheckKeyPath(path, length, &used)) {
    case kKeyPathOk: break;
    case kKeyPathBad: return kRegBadPath;
    case kKeyPathNameTooLong: return kRegInvalidParameter;
    }
    size_t last = used;  // where the last name begins
    while (last > 0 && path[last - 1] != u'\\') --last;
    TreeKey* parent = last > 0 ? ParentBelow(kept, base, path, last - 1) : base;
    *key = parent && last < used ? ChildOf(kept, *parent, path + last, used - last) : parent;
    return kRegOk;
}

// The hook's answer about a call on key with a name. Apart from AskHook: the
// name's string is built only here, off the path of every call made
// without a hook.
long CallHook(PortableRegistryHook hook, PortableRegistryCall call, const TreeKey& key,
              const char16_t* name, size_t length) {
    return hook(call, key, std::u16string(name, length), 0);
}

// Asks the hook, when one is set, about a call on key with a name.
inline long AskHook(const OpenKeys& open, PortableRegistryCall call, const TreeKey& key,
                    const char16_t* name, size_t length) {
    PortableRegistryHook hook = open.hook;
    return hook ? CallHook(hook, call, key, name, length) : kRegOk;
}

}  // namespace

void PortableRegistryUse(RegTree* tree) {
    if (g_main.tree) g_main.tree->keyDeleted = nullptr;
    g_main = OpenKeys();
    g_main.tree = tree;
    if (tree) tree->keyDeleted = ForgetHandlesBelow;
}

void PortableRegistryReadBeside() {
    delete t_beside;
    t_beside = new OpenKeys();
    t_beside->tree = g_main.tree;
    t_beside->hook = g_main.hook;
}

void PortableRegistryReadBesideEnd() {
    delete t_beside;
    t_beside = nullptr;
}

RegTree* PortableRegistryTree() { return Open().tree; }

int PortableRegistryOpenHandles() { return Open().openCount; }

void PortableRegistrySetHook(PortableRegistryHook hook) { Open().hook = hook; }

PortableRegistryHook PortableRegistryGetHook() { return Open().hook; }

long RegistryOpenKey(RegKey root, const WideChar* path, uint32_t, uint32_t, RegKey* key) {
    OpenKeys& open = Open();
    TreeKey* base = KeyOfHandle(open, root);
    if (!base || !key) return kRegNotFound;
    size_t length;
    const char16_t* relative = TreeText(open, path, &length);
    if (long r = AskHook(open, kCallOpen, *base, relative, length)) return r;
    TreeKey* target = nullptr;
    if (!KeptKey(open.remembered, base, relative, length, &target))
        if (long r = FindKey(open.remembered, base, relative, length, &target)) return r;
    if (!target) return kRegNotFound;
    *key = NewHandle(open, target);
    return kRegOk;
}

long RegistryEnumKey(RegKey handle, uint32_t index, WideChar* name, uint32_t* nameLength) {
    OpenKeys& open = Open();
    TreeKey* key = KeyOfHandle(open, handle);
    if (!key || !name || !nameLength) return kRegNotFound;
    if (open.hook)
        if (long r = open.hook(kCallEnum, *key, std::u16string(), index)) return r;
    const auto& kids = TreeKeySortedChildren(*key);
    if (index >= kids.size()) return kRegNoMoreItems;
    size_t length;
    const char16_t* n = TreeKeyNameData(*kids[index], &length);
    if (length + 1 > *nameLength) return kRegMoreData;
    for (size_t i = 0; i < length; ++i) name[i] = WideChar(n[i]);
    name[length] = 0;
    *nameLength = uint32_t(length);
    open.remembered.listed = key;
    open.remembered.child = kids[index];
    open.remembered.childPlain = PlainName(n, length);
    return kRegOk;
}

long RegistryQueryValue(RegKey handle, const WideChar* name, uint32_t* type, uint8_t* data,
                        uint32_t* byteCount) {
    // Somewhere to put the bytes but no room given for them: refused before
    // anything else is looked at, as Windows refuses it.
    if (data && !byteCount) return kRegInvalidParameter;
    OpenKeys& open = Open();
    TreeKey* key = KeyOfHandle(open, handle);
    if (!key) return kRegNotFound;
    size_t length;
    const char16_t* valueName = TreeText(open, name, &length);
    if (long r = AskHook(open, kCallQuery, *key, valueName, length)) return r;
    const TreeValue* v = TreeKeyFindValue(*key, valueName, length);
    if (!v) return kRegNotFound;
    if (type) *type = TreeValueType(*v);
    uint32_t size = TreeValueSize(*v);
    if (data) {
        if (size > *byteCount) {
            *byteCount = size;
            return kRegMoreData;
        }
        TreeValueCopyBytes(*v, data);
    }
    if (byteCount) *byteCount = size;
    return kRegOk;
}

long RegistrySetValue(RegKey handle, const WideChar* name, uint32_t, uint32_t type,
                      const uint8_t* data, uint32_t byteCount) {
    OpenKeys& open = Open();
    TreeKey* key = KeyOfHandle(open, handle);
    if (!key) return kRegNotFound;
    size_t length;
    const char16_t* valueName = TreeText(open, name, &length);
    if (length > kTreeMaxValueName) return kRegInvalidParameter;
    if (long r = AskHook(open, kCallSet, *key, valueName, length)) return r;
    TreeKeySetValue(*key, valueName, length, type, data, data ? byteCount : 0);
    return kRegOk;
}

// The tree lives in memory and is saved, if at all, by whoever loaded it:
// there is nothing pending to flush.
long RegistryFlushKey(RegKey handle) {
    return KeyOfHandle(Open(), handle) ? kRegOk : kRegInvalidHandle;
}

long RegistryCloseKey(RegKey handle) {
    if (handle == REG_ROOT_LOCAL_MACHINE) return kRegOk;
    OpenKeys& open = Open();
    size_t slot = SlotOfHandle(open, handle);
    if (slot == SIZE_MAX) return kRegInvalidHandle;
    ForgetHandle(open, slot);
    return kRegOk;
}
