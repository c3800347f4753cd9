// Loading statements into a registry tree as regedit /S applies them
// (regfile/ only): the reader calls it statement by statement.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "platform/WideChar.h"
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
        // The last key line told below it, up to the parent's end in the
        // document's bytes (QuickKeyBelowParent): a line whose bytes are
        // the same up to there has the same parent.
        const uint8_t* line = nullptr;
        size_t lineBytes = 0;
    };
    Parent parents[4];
    size_t nextParent = 0;
    std::vector<uint8_t> room;  // a value's name and text on their way into the key
};

// The open section ends. Its values were set one by one, their number not
// known before: the key gives back the room they do not use.
void LoaderLeaveKey(TreeLoader& loader);

// Applies one statement, read as an entry of this kind.
void LoaderApply(TreeLoader& loader, RegEntryKind kind, const Statement& st);

// The hashes RegSection keeps of a key's full path (as Statement::path
// holds it) and of its parent's, built a character at a time: the folded
// characters of each name four to a step, and a step for each backslash
// between names. Four characters a step keep the chain of multiplications
// short on long key lines.
const uint64_t kKeyHashStart = 1469598103934665603ull;
struct KeyHash {
    uint64_t h = kKeyHashStart;
    uint64_t above = kKeyHashStart;  // the path up to the last backslash
    uint64_t chunk = 0;
    unsigned filled = 0;

    static uint64_t Mix(uint64_t x) {
        x *= 1099511628211ull;
        return x ^ (x >> 32);
    }
    void Char(char16_t folded) {
        chunk |= uint64_t(folded) << (16 * filled);
        if (++filled == 4) End();
    }
    void End() {
        if (!filled) return;
        h = Mix(h ^ chunk);
        // A step short of four characters also says how many: a U+0000 at
        // a name's end adds no bits to the chunk ("Active" and "Active"
        // with U+0000 after it are two keys).
        if (filled < 4) h = Mix(h ^ filled);
        chunk = 0;
        filled = 0;
    }
    // Eight folded 8-bit characters, the first in the lowest byte, from a
    // step's start (filled == 0): two steps of four.
    void Eight(uint64_t eight) {
        FourBytes(eight & 0xFFFFFFFFu);
        FourBytes(eight >> 32);
    }
    // Four folded 8-bit characters, the first in the lowest byte, from a
    // step's start: one step.
    void FourBytes(uint64_t four) { Four(SpreadFour(uint32_t(four))); }
    // Four folded characters, the first lowest, from a step's start.
    void Four(uint64_t four) { h = Mix(h ^ four); }
    // Fewer than eight folded 8-bit characters, the first in the lowest
    // byte, from a step's start: a step of four, and the rest kept as Char
    // keeps them.
    void Bytes(uint64_t bytes, unsigned count) {
        if (count >= 4) {
            FourBytes(bytes & 0xFFFFFFFFu);
            bytes >>= 32;
            count -= 4;
        }
        if (!count) return;
        chunk = SpreadFour(uint32_t(bytes)) & ((uint64_t(1) << (16 * count)) - 1);
        filled = count;
    }
    // Fewer than four folded 16-bit characters, the first lowest, from a
    // step's start: kept as Char keeps them.
    void Units(uint64_t units, unsigned count) {
        chunk = units & ((uint64_t(1) << (16 * count)) - 1);
        filled = count;
    }
    void Backslash() {
        End();
        above = h;
        h = Mix(h ^ u'\\');
    }
    // Every bit of the state stirred into the 32 kept.
    static uint32_t Final(uint64_t x) {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdull;
        return uint32_t(x ^ (x >> 33));
    }
    uint32_t Key() {
        End();
        return Final(h);
    }
    uint32_t Parent() const { return Final(above); }
};

// The hash of every key the tree holds, marked as added keys (as
// RegKeySetAdd would mark its path); and whether a key's hash is marked.
void RegKeySetAddTree(RegKeySet& set, const RegTree& tree);
bool RegKeySetHasKey(const RegKeySet& set, uint32_t keyHash);
// RegKeySetCovers for the key whose path and parent's path have these hashes.
bool RegKeySetCoversHashes(const RegKeySet& set, uint32_t keyHash, uint32_t parentHash);
