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

// A value: its name and bytes share one block, so a registry of many small
// values stays close to the size of what it holds.
struct MemValue {
    std::unique_ptr<uint8_t[]> block;  // name (16-bit characters), then the bytes
    uint32_t nameLength = 0;           // in characters
    uint32_t size = 0;                 // of the bytes
    uint32_t type = kRegTypeNone;

    std::u16string Name() const;
    const uint8_t* Data() const { return block.get() + 2 * size_t(nameLength); }
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(Data(), Data() + size); }
};

// Positions by folded name, kept only for keys with many values or sub-keys:
// an open-addressing table of positions, so it costs a few bytes per name
// and a lookup allocates nothing.
struct MemIndex {
    std::vector<uint64_t> slots;  // hash bits above a position, or kEmpty / kGone
    size_t used = 0;              // slots holding a position or kGone
};

struct MemKey {
    std::u16string name;
    MemKey* parent = nullptr;
    uint32_t position = 0;  // in parent->children
    bool sortedValid = true;
    std::vector<MemValue> values;                   // in no particular order
    std::vector<std::unique_ptr<MemKey>> children;  // in no particular order
    std::unique_ptr<MemIndex> valueIndex;
    std::unique_ptr<MemIndex> childIndex;
    // Enumeration order, rebuilt when needed; made only for keys with
    // sub-keys, so the many keys without any stay small.
    std::unique_ptr<std::vector<MemKey*>> sorted;
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

// Sets (adds or replaces) a value; creates the key when needed.
void MemRegSetValue(const std::u16string& path, const std::u16string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes);
void MemRegSetString(const std::u16string& path, const std::u16string& name,
                     const std::u16string& text);  // REG_SZ with its terminator
void MemRegSetDword(const std::u16string& path, const std::u16string& name, uint32_t value);

// The value, or null when the key or the value is absent.
const MemValue* MemRegGetValue(const std::u16string& path, const std::u16string& name);

// Removes a value. Returns false when it was absent.
bool MemRegDeleteValue(const std::u16string& path, const std::u16string& name);

// The same, directly on a key.
void MemKeySetValue(MemKey& key, const char16_t* name, size_t nameLength, uint32_t type,
                    const uint8_t* bytes, size_t size);
MemValue* MemKeyFindValue(MemKey& key, const char16_t* name, size_t nameLength);
bool MemKeyDeleteValue(MemKey& key, const char16_t* name, size_t nameLength);
// Makes room for `count` more values, so a key whose values are all known
// up front (a section of a file) allocates its table once, without slack.
void MemKeyReserveValues(MemKey& key, size_t count);
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
