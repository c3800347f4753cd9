// The in-memory registry behind platform/Registry.h in the portable build:
// a tree of keys and values plus the table of open handles, nothing more.
//
// One process-wide tree. Its top-level keys are the root names
// ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", ...); the Registry.h calls see
// the tree below "HKEY_LOCAL_MACHINE" through REG_ROOT_LOCAL_MACHINE.
//
//   - Key and value names compare case-insensitively and keep their case.
//   - Values keep their type and raw bytes.
//   - Sub-keys enumerate in case-insensitive name order, as desktop Windows
//     does.
//   - Paths are answered as Windows answers them: a leading backslash or an
//     empty part is a bad path (161), a key name over 255 characters or a
//     value name over 16383 an invalid parameter (87).
//   - Lookup, setting and deletion of values and sub-keys take constant time
//     on average however many a key holds.
//
// Paths below are full paths with the root name first, separated by '\':
// u"HKEY_LOCAL_MACHINE\\Drivers\\Active".
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"

enum : long {
    kRegInvalidParameter = 87,  // ERROR_INVALID_PARAMETER
    kRegBadPath = 161,          // ERROR_BAD_PATHNAME
};

const size_t kMemMaxKeyName = 255;
const size_t kMemMaxValueName = 16383;

// A value as a key keeps it: this record, then the name (16-bit characters),
// then the bytes. A key's values lie one after another in one block, so a
// registry of many small values stays close to the size of what it holds.
struct MemValue {
    enum : uint16_t { kGone = 1, kNarrow = 2, kNarrowName = 4 };
    uint32_t type;
    uint32_t size;        // of the bytes
    uint16_t nameLength;  // in characters (a value name has at most 16383)
    uint16_t flags;       // kGone: deleted or replaced, its room reused later;
                          // kNarrow, kNarrowName: bytes or name kept narrow

    // The name, and the bytes. Names of Latin-1 characters are kept one
    // byte a character, and bytes whose every second byte is zero (16-bit
    // text of Latin-1 characters, the most common data) without those
    // zeros: both are read out through these rather than in place.
    std::u16string Name() const;
    void CopyBytes(uint8_t* out) const;  // size bytes
    std::vector<uint8_t> Bytes() const;
    bool SameBytes(const uint8_t* bytes, size_t count) const;
};

struct MemValueBlock;  // a header, then the values

// A key's values. Iterating visits each value once, in no particular order;
// setting or deleting a value of the key ends an iteration and moves the
// values (pointers to them go stale).
struct MemValues {
    MemValueBlock* block = nullptr;

    struct Iterator {
        const uint8_t* at;
        const uint8_t* end;
        const MemValue& operator*() const { return *reinterpret_cast<const MemValue*>(at); }
        Iterator& operator++();
        bool operator!=(const Iterator& other) const { return at != other.at; }
    };
    Iterator begin() const;
    Iterator end() const;
    size_t size() const;

    MemValues() = default;
    MemValues(const MemValues&) = delete;
    MemValues& operator=(const MemValues&) = delete;
    ~MemValues();
};

struct MemKey;

// A key's sub-keys, which it owns, in no particular order: a count and room,
// then the keys, in one allocation, made when the first sub-key comes.
struct MemChildBlock {
    uint32_t count;
    uint32_t capacity;
};

struct MemChildren {
    MemChildBlock* block = nullptr;

    MemKey** begin() const { return block ? reinterpret_cast<MemKey**>(block + 1) : nullptr; }
    MemKey** end() const { return begin() + size(); }
    size_t size() const { return block ? block->count : 0; }
    bool empty() const { return size() == 0; }
    MemKey*& operator[](size_t i) const { return begin()[i]; }

    MemChildren() = default;
    MemChildren(const MemChildren&) = delete;
    MemChildren& operator=(const MemChildren&) = delete;
    ~MemChildren();
};

struct MemKeyExtra;  // lookup tables and enumeration order, for the keys that need them

// A key: this record, then its name (16-bit characters), in one allocation.
// Keys are made and freed only by the functions below.
struct MemKey {
    MemKey* parent = nullptr;
    MemChildren children;
    MemValues values;
    std::unique_ptr<MemKeyExtra> extra;
    uint32_t position = 0;  // in parent->children
    uint16_t nameLength = 0;
    bool sortedValid = true;

    const char16_t* NameData() const { return reinterpret_cast<const char16_t*>(this + 1); }
    std::u16string Name() const { return std::u16string(NameData(), nameLength); }

    MemKey();
    MemKey(const MemKey&) = delete;
    MemKey& operator=(const MemKey&) = delete;
    ~MemKey();
};

// Case folding used for every name comparison.
std::u16string MemFoldName(const std::u16string& name);
bool MemNamesEqual(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength);

// 0 when Windows would accept `path` as a key path below an open key, else
// kRegBadPath or kRegInvalidParameter. "" names the key itself.
long MemCheckKeyPath(const std::u16string& path);

// Drops every key, every open handle and the call hook.
void MemRegClear();

// The invisible top of the tree; its children are the root keys.
MemKey& MemRegTop();

// Full path of a key, root name first.
std::u16string MemKeyPath(const MemKey& key);

// Finds a key by full path; null when it does not exist.
MemKey* MemRegFind(const std::u16string& path);

// Finds or creates the key and every missing key on the way.
MemKey& MemRegCreate(const std::u16string& path);

// Removes a key with everything below it. Returns false when it was absent.
bool MemRegDelete(const std::u16string& path);
void MemKeyDelete(MemKey& key);

// Sets (adds or replaces) a value; creates the key when needed. A replaced
// value keeps its name as first written, as Windows does.
void MemRegSetValue(const std::u16string& path, const std::u16string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes);
void MemRegSetString(const std::u16string& path, const std::u16string& name,
                     const std::u16string& text);  // REG_SZ with its terminator
void MemRegSetDword(const std::u16string& path, const std::u16string& name, uint32_t value);

// The value, or null when the key or the value is absent.
const MemValue* MemRegGetValue(const std::u16string& path, const std::u16string& name);

// Removes a value. Returns false when it was absent.
bool MemRegDeleteValue(const std::u16string& path, const std::u16string& name);

// The same, directly on a key. Names longer than Windows allows
// (kMemMaxValueName, kMemMaxKeyName) are the callers' to refuse, as
// RegistrySetValue and the file reader do. What no record here can hold (a
// name over 65535 characters, over 4 GB of values in one key) ends the
// process with a message rather than being cut.
void MemKeySetValue(MemKey& key, const char16_t* name, size_t nameLength, uint32_t type,
                    const uint8_t* bytes, size_t size);
MemValue* MemKeyFindValue(MemKey& key, const char16_t* name, size_t nameLength);
bool MemKeyDeleteValue(MemKey& key, const char16_t* name, size_t nameLength);
// Gives back the room the key's values do not use. A caller that sets many
// values on a key one by one (a section of a file) calls it when done, so
// the key keeps no slack.
void MemKeyTrimValues(MemKey& key);
MemKey* MemKeyChild(MemKey& key, const char16_t* name, size_t nameLength);
MemKey& MemKeyCreateChild(MemKey& key, const char16_t* name, size_t nameLength);
const std::vector<MemKey*>& MemKeySortedChildren(MemKey& key);

// Number of handles opened through Registry.h and not closed yet.
int MemRegOpenHandleCount();

// The one place where testing aids reach the Registry.h calls: when a hook is
// set, it is asked before each call on an existing key (for opening: before
// the path is looked up, with the key it is relative to) and a nonzero answer
// is returned instead of doing the call. portmedic-scan never sets one.
enum MemRegCall { kMemRegOpen, kMemRegEnum, kMemRegQuery, kMemRegSet };
typedef long (*MemRegHook)(MemRegCall call, const MemKey& key, const std::u16string& name,
                           uint32_t index);
void MemRegSetHook(MemRegHook hook);
MemRegHook MemRegGetHook();
