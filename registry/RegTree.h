// A registry tree in memory: keys and values, as regedit's files describe
// them and as the scan reads them. Nothing about files or handles: the
// reader loads into a tree it is given (regfile/RegDocument.h), and the
// portable Registry.h functions act on a tree they are given
// (registry/PortableRegistry.h). How keys and values are kept is
// private to registry/RegTree.cpp (registry/RegTreeRecords.h).
//
//   - The tree's top is invisible; its sub-keys are the root keys
//     ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", ...).
//   - Key and value names compare case-insensitively (RegFoldChar) and keep
//     their case.
//   - Values keep their type and raw bytes.
//   - Lookup, setting and deletion of values and sub-keys take constant time
//     on average however many a key holds.
//
// Paths are full paths with the root name first, separated by '\':
// u"HKEY_LOCAL_MACHINE\\Drivers\\Active".
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct TreeKey;
struct TreeValue;

// The value types the tree's users name, numbered as Windows numbers them
// (registry/PortableRegistry.cpp checks they agree with Registry.h's). The
// tree keeps any 32-bit type.
const uint32_t kTreeTypeString = 1;  // 16-bit text with its terminator (REG_SZ)
const uint32_t kTreeTypeExpandString = 2;
const uint32_t kTreeTypeBinary = 3;
const uint32_t kTreeTypeDword = 4;
const uint32_t kTreeTypeMultiString = 7;

const size_t kTreeMaxKeyName = 255;      // characters of a key name, as Windows allows
const size_t kTreeMaxValueName = 16383;  // characters of a value name
const size_t kTreeMaxKeyDepth = 512;     // the levels Windows allows below a root

struct RegTree {
    TreeKey* top;
    // Told before a key and everything below it are freed (also, with the
    // top, before RegTreeClear): whoever holds pointers into the tree, as
    // the portable Registry.h does for its open keys, lets them go.
    void (*keyDeleted)(const TreeKey& key, void* context) = nullptr;
    void* keyDeletedContext = nullptr;

    RegTree();
    ~RegTree();
    RegTree(const RegTree&) = delete;
    RegTree& operator=(const RegTree&) = delete;
};

// Drops every key.
void RegTreeClear(RegTree& tree);

// ---- names ----

// The registry's case folding, the one rule for every name comparison:
// ASCII and Latin-1 small letters to capitals (not the division sign
// U+00F7), y with diaeresis to U+0178.
inline char16_t RegFoldChar(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    if (c < 0xE0) return c;
    if (c <= 0xFE && c != 0xF7) return char16_t(c - 32);
    return c == 0xFF ? char16_t(0x178) : c;
}
std::u16string RegFoldName(const std::u16string& name);
bool RegNamesEqual(const char16_t* a, size_t aLength, const char16_t* b, size_t bLength);

// How Windows takes a key path below an open key: a leading backslash or an
// empty part between two names is a bad path, a name over kTreeMaxKeyName
// characters too long; trailing backslashes are ignored (*usedLength, when
// given, is the path's length without them). "" names the key itself.
enum KeyPathCheck { kKeyPathOk, kKeyPathBad, kKeyPathNameTooLong };
KeyPathCheck RegCheckKeyPath(const std::u16string& path, size_t* usedLength = nullptr);

// ---- keys by full path ----

// Null when the key does not exist.
TreeKey* RegTreeFindKey(const RegTree& tree, const std::u16string& path);
// Finds or creates the key and every missing key on the way.
TreeKey& RegTreeCreateKey(RegTree& tree, const std::u16string& path);
// Removes a key with everything below it; false when it was absent.
bool RegTreeDeleteKey(RegTree& tree, const std::u16string& path);

// Sets (adds or replaces) a value; creates the key when needed. A replaced
// value keeps its name as first written, as Windows does.
void RegTreeSetValue(RegTree& tree, const std::u16string& path, const std::u16string& name,
                     uint32_t type, const std::vector<uint8_t>& bytes);
void RegTreeSetString(RegTree& tree, const std::u16string& path, const std::u16string& name,
                      const std::u16string& text);  // REG_SZ with its terminator
void RegTreeSetDword(RegTree& tree, const std::u16string& path, const std::u16string& name,
                     uint32_t value);
// The value, or null when the key or the value is absent.
const TreeValue* RegTreeGetValue(const RegTree& tree, const std::u16string& path,
                                 const std::u16string& name);
// Removes a value; false when it was absent.
bool RegTreeDeleteValue(RegTree& tree, const std::u16string& path, const std::u16string& name);

// ---- a key ----

std::u16string TreeKeyName(const TreeKey& key);
const char16_t* TreeKeyNameData(const TreeKey& key, size_t* length);
TreeKey* TreeKeyParent(const TreeKey& key);  // null for the top
std::u16string TreeKeyPath(const TreeKey& key);

// Sub-keys in no particular order, and in case-insensitive name order as
// desktop Windows enumerates them (kept until the sub-keys change).
size_t TreeKeyChildCount(const TreeKey& key);
TreeKey* TreeKeyChildAt(const TreeKey& key, size_t index);
const std::vector<TreeKey*>& TreeKeySortedChildren(TreeKey& key);
TreeKey* TreeKeyChild(const TreeKey& key, const char16_t* name, size_t nameLength);
// TreeKeyChild that first tries the sub-key made at *made, a place the
// caller keeps (0 to start): keys asked for in the order they were made
// ("P0", "P1", ...) are found without hashing their names. *made is left
// after the key found.
TreeKey* TreeKeyChildAfter(const TreeKey& key, const char16_t* name, size_t nameLength,
                           size_t* made);
TreeKey& TreeKeyCreateChild(TreeKey& key, const char16_t* name, size_t nameLength);
// Removes the key with everything below it (the top stays).
void TreeKeyDelete(RegTree& tree, TreeKey& key);

// Values. Names longer than Windows allows (kTreeMaxValueName) are the
// callers' to refuse. What no record here can hold (a name over 65535
// characters, over 4 GB of values in one key) ends the process with a
// message rather than being cut. Setting or deleting a value may move the
// key's other values: pointers to them go stale.
void TreeKeySetValue(TreeKey& key, const char16_t* name, size_t nameLength, uint32_t type,
                     const uint8_t* bytes, size_t size);
// TreeKeySetValue for a value whose name is Latin-1 characters, given a
// byte each, and whose 2 * count bytes are each followed by a zero (16-bit
// text of Latin-1 characters, as most values are), given without the zeros
// (`kept`): a new value goes into the key as it is given.
void TreeKeySetNarrowValue(TreeKey& key, const uint8_t* name, size_t nameLength, uint32_t type,
                           const uint8_t* kept, size_t count);
const TreeValue* TreeKeyFindValue(const TreeKey& key, const char16_t* name, size_t nameLength);
bool TreeKeyDeleteValue(TreeKey& key, const char16_t* name, size_t nameLength);
size_t TreeKeyValueCount(const TreeKey& key);
// Every value, in no particular order.
std::vector<const TreeValue*> TreeKeyValues(const TreeKey& key);
// Gives back the room the key's values do not use. A caller that sets many
// values on a key one by one (a section of a file) calls it when done, so
// the key keeps no slack.
void TreeKeyTrimValues(TreeKey& key);

// ---- a value ----

std::u16string TreeValueName(const TreeValue& value);
uint32_t TreeValueType(const TreeValue& value);
uint32_t TreeValueSize(const TreeValue& value);                 // of the bytes
void TreeValueCopyBytes(const TreeValue& value, uint8_t* out);  // size bytes
std::vector<uint8_t> TreeValueBytes(const TreeValue& value);
bool TreeValueSameBytes(const TreeValue& value, const uint8_t* bytes, size_t count);

// RegCheckKeyPath for a path given by its characters and length (no copy
// into a string: the portable Registry.h checks every path it opens).
KeyPathCheck RegCheckKeyPath(const char16_t* path, size_t length, size_t* usedLength = nullptr);

// The sub-key made at place (TreeKeyChildAfter's places) when it has the
// name; null when it has another or there is none there.
TreeKey* TreeKeyChildMadeAt(const TreeKey& key, size_t place, const char16_t* name,
                            size_t nameLength);
