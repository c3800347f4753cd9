// Loading statements into a registry tree as regedit /S applies them
// (regfile/ only): the reader calls it statement by statement.
#pragma once

#include <stddef.h>

#include <string>

#include "regfile/RegStatement.h"

// The tree as loading leaves it, statement after statement.
struct TreeLoader {
    explicit TreeLoader(RegTree* into) : tree(into) {}
    RegTree* tree;
    TreeKey* key = nullptr;  // the key of the open section
    // Sections mostly follow one another below a few parents: the parents
    // met last are kept with their path as written, so a key below one of
    // them is looked up there rather than from the root down. A deletion
    // forgets them all (it may have freed them).
    struct Parent {
        std::u16string path;
        TreeKey* key = nullptr;
    };
    Parent parents[4];
    size_t nextParent = 0;
};

// The open section ends. Its values were set one by one, their number not
// known before: the key gives back the room they do not use.
void LoaderLeaveKey(TreeLoader& loader);

// Applies one statement, read as an entry of this kind.
void LoaderApply(TreeLoader& loader, RegEntryKind kind, const Statement& st);

// The hashes RegSection keeps of a key's full path (as Statement::path
// holds it) and of its parent's: FNV-1a over the folded characters, its
// two halves joined.
const uint64_t kKeyHashStart = 1469598103934665603ull;
inline uint64_t KeyHashStep(uint64_t h, char16_t folded) { return (h ^ folded) * 1099511628211ull; }
inline uint32_t KeyHashOf(uint64_t h) { return uint32_t(h ^ (h >> 32)); }
void RegKeyHashes(const std::u16string& path, uint32_t* key, uint32_t* parent);
