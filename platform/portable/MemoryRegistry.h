// The in-memory registry behind platform/Registry.h in the portable build.
//
// One process-wide tree. Its top-level keys are the root names
// ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", ...); the Registry.h calls see
// the tree below "HKEY_LOCAL_MACHINE" through REG_ROOT_LOCAL_MACHINE.
//
//   - Key and value names compare case-insensitively and keep their case.
//   - Values keep their type and raw bytes.
//   - Sub-keys enumerate in case-insensitive name order, as desktop Windows
//     does; `children` keeps them in the order they were created, which is
//     the order a registry file lists them in.
//
// Paths below are full paths with the root name first, separated by '\':
// u"HKEY_LOCAL_MACHINE\\Drivers\\Active". Tests use the fault switches to
// make single calls fail the way a real device registry can.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"

struct MemValue {
    std::u16string name;  // "" is the key's default value (@ in a .reg file)
    uint32_t type = kRegTypeNone;
    std::vector<uint8_t> bytes;
};

struct MemKey {
    std::u16string name;
    std::u16string folded;  // MemFoldName(name), the key of the parent's index
    MemKey* parent = nullptr;
    std::vector<MemValue> values;                          // in the order they were set
    std::vector<std::unique_ptr<MemKey>> children;         // in the order they were created
    std::unordered_map<std::u16string, MemKey*> byFolded;  // children by folded name
    std::vector<MemKey*> sorted;                           // enumeration order, rebuilt lazily
    bool sortedValid = true;

    // Fault switches.
    bool failOpen = false;                 // opening this key fails (kRegNotFound)
    int64_t failEnumAt = -1;               // enumerating index >= this fails
    bool denyWrite = false;                // writing a value fails (kRegAccessDenied)
    std::vector<std::u16string> failRead;  // reading these values fails

    // Value deletions ("name"=- in a registry file) listed under this key,
    // in the order read; kept so that writing the file back keeps them.
    std::vector<std::u16string> deletedValues;
};

// One [KEY] or [-KEY] line of a registry file, in the order of the file.
struct MemSection {
    std::u16string path;  // full path, root name first
    bool deletion = false;
};

// Case folding used for every name comparison.
std::u16string MemFoldName(const std::u16string& name);

// Drops every key, every open handle, every fault switch, the open log and
// the section list.
void MemRegClear();

// The invisible top of the tree; its children are the root keys.
MemKey& MemRegTop();

// Finds a key by full path; null when it does not exist.
MemKey* MemRegFind(const std::u16string& path);

// Finds or creates the key and every missing key on the way.
MemKey& MemRegCreate(const std::u16string& path);

// Removes a key with everything below it. Returns false when it was absent.
bool MemRegDelete(const std::u16string& path);

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

// Adds or replaces a value directly on a key.
void MemKeySetValue(MemKey& key, const std::u16string& name, uint32_t type,
                    const std::vector<uint8_t>& bytes);
MemKey* MemKeyChild(MemKey& key, const std::u16string& name);
const std::vector<MemKey*>& MemKeySortedChildren(MemKey& key);

// The sections of the registry files read so far, in file order. A key
// deletion drops the earlier sections of that key and of the keys below it,
// so the list never names a key before its own deletion.
const std::vector<MemSection>& MemRegSections();
void MemRegAddSection(const std::u16string& path);
void MemRegAddKeyDeletion(const std::u16string& path);
// Removes the value and remembers its deletion on the key (created if needed);
// setting the value again forgets the deletion.
void MemRegAddValueDeletion(const std::u16string& path, const std::u16string& name);

// Number of handles opened through Registry.h and not closed yet.
int MemRegOpenHandleCount();

// Every path RegistryOpenKey was asked for, as full paths, in call order,
// whether the open succeeded or not. Kept unless switched off (benchmarks
// open millions of keys).
const std::vector<std::u16string>& MemRegOpenLog();
void MemRegKeepOpenLog(bool keep);

// Fault switches on existing keys (the key is created if it does not exist).
void MemRegFailOpen(const std::u16string& path);
void MemRegFailEnumAt(const std::u16string& path, int64_t index);
void MemRegDenyWrite(const std::u16string& path);
void MemRegFailRead(const std::u16string& path, const std::u16string& valueName);
