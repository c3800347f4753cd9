// How a registry tree keeps its keys and values: the records behind
// registry/RegTree.h, for registry/RegTree.cpp alone.
#pragma once

#include <stdint.h>

#include <memory>
#include <vector>

#include "registry/RegTree.h"

// A value as a key keeps it: this record, then the name, then the bytes,
// padded to 4 bytes. A key's values lie one after another in one block
// (TreeValueBlock), so a registry of many small values stays close to the
// size of what it holds. Names of Latin-1 characters are kept one byte a
// character, and bytes whose every second byte is zero (16-bit text of
// Latin-1 characters, the most common data) without those zeros.
struct TreeValue {
    enum : uint16_t { kGone = 1, kNarrowBytes = 2, kNarrowName = 4 };
    uint32_t type;
    uint32_t size;        // of the bytes
    uint16_t nameLength;  // in characters (a value name has at most 16383)
    uint16_t flags;       // kGone: deleted or replaced, its room reused later;
                          // kNarrowBytes, kNarrowName: kept without the zeros
};

// The header of a key's block of values; the values follow it.
struct TreeValueBlock {
    uint32_t used;       // bytes of records
    uint32_t capacity;   // bytes of room for records
    uint32_t goneBytes;  // of the records that are gone
    uint32_t count;      // values not gone
};

// A key's sub-keys, which it owns, in no particular order: a count and room,
// then the keys, in one allocation, made when the first sub-key comes.
struct TreeChildBlock {
    uint32_t count;
    uint32_t capacity;
};

// Positions by name, kept only for keys with many values or sub-keys: an
// open-addressing table, so a lookup allocates nothing.
struct TreeIndex {
    std::vector<uint32_t> slots;  // a position, or kEmptySlot / kGoneSlot
    // Eight bits of each slot's name hash: most names that merely share a
    // run of slots are told apart without reading them.
    std::vector<uint8_t> tags;
    size_t used = 0;  // slots holding a position or kGoneSlot
};

struct TreeKeyExtra {
    TreeIndex values;    // position: a value's offset in the block / 4
    TreeIndex children;  // position: in the child block
    // Enumeration order, rebuilt when needed; made only for keys whose
    // sub-keys are enumerated.
    std::vector<TreeKey*> sorted;
};

// A key: this record, then its name (16-bit characters), in one allocation.
struct TreeKey {
    TreeKey* parent = nullptr;
    TreeChildBlock* children = nullptr;
    TreeValueBlock* values = nullptr;
    std::unique_ptr<TreeKeyExtra> extra;  // for the keys that need lookup tables
    uint32_t position = 0;                // in parent's children
    uint16_t nameLength = 0;
    bool sortedValid = true;

    const char16_t* NameData() const { return reinterpret_cast<const char16_t*>(this + 1); }
};
