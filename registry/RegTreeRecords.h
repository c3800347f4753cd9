// How a registry tree keeps its keys and values: the records behind
// registry/RegTree.h, for registry/RegTree.cpp alone.
#pragma once

#include <stdint.h>

#include <atomic>
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

struct TreePool;

// A key's sub-keys, which it owns, in no particular order: a count and room,
// then the keys, in one allocation, made when the first sub-key comes.
struct TreeChildBlock {
    uint32_t count;
    uint32_t capacity;
    TreePool* pool;  // the tree's, so that a sub-key finds it in two steps
};

// Positions by name, kept only for keys with many values or sub-keys: an
// open-addressing table, so a lookup allocates nothing.
struct TreeIndexSlot {
    uint32_t position;  // kEmptySlot, kGoneSlot, or a position
    // The name's 32-bit hash: a lookup reads a name only when its whole
    // hash matches (a key with many sub-keys has them all over memory), and
    // the table grows without reading any name.
    uint32_t hash;
};

struct TreeIndex {
    std::vector<TreeIndexSlot> slots;
    size_t used = 0;  // slots holding a position or kGoneSlot
};

// Room for a tree's keys and their small blocks, carved from chunks the
// tree owns: a loaded registry of many small keys costs an allocation per
// chunk rather than several per key, and is given back chunk by chunk.
// Room given back while the tree lives (a deleted key, a block that grew)
// is kept by its size, rounded up to 8 bytes, for the next block of that
// size. Larger blocks are allocated alone.
struct TreePool {
    static const size_t kChunk = 64 * 1024;
    static const size_t kLargest = 2048;
    std::vector<void*> chunks;
    uint8_t* next = nullptr;  // the last chunk's room not carved yet
    size_t left = 0;
    void* spare[kLargest / 8 + 1] = {};  // lists of room given back, by size / 8
};

struct TreeKeyExtra {
    TreeIndex values;    // position: a value's offset in the block / 4
    TreeIndex children;  // position: in the child block
    // Enumeration order, rebuilt when needed; made only for keys whose
    // sub-keys are enumerated.
    std::vector<TreeKey*> sorted;
    // Where in that order a look-up by name most likely finds its name:
    // after the last one found there (callers enumerate, then open each).
    // Only a hint: threads that read the tree side by side may each move
    // it, and a look-up that misses it searches the index.
    std::atomic<size_t> nextSorted{0};
    std::unique_ptr<TreePool> pool;  // the top's: the room of every key below it
};

// A key: this record, then its name (16-bit characters), in one block of
// the tree's pool (the top is allocated alone and holds the pool).
struct TreeKey {
    TreeKey* parent = nullptr;
    TreeChildBlock* children = nullptr;
    TreeValueBlock* values = nullptr;
    std::unique_ptr<TreeKeyExtra> extra;  // for the keys that need lookup tables
    uint32_t position = 0;                // in parent's children
    uint16_t nameLength = 0;
    bool sortedValid = true;
    // Some key below holds what the pool's chunks do not: an extra record,
    // or room allocated alone (set on the way up when it is made, never
    // cleared). Freeing the whole tree walks only the keys so marked.
    bool holdsBelow = false;

    const char16_t* NameData() const { return reinterpret_cast<const char16_t*>(this + 1); }
};
