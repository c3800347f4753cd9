// The common statements of a registry file told straight from its bytes,
// without decoding a line into 16-bit text (regfile/ only): blank and
// comment lines, [KEY] and [-KEY] lines, and values whose data is a quoted
// text, a dword, hex bytes (continued or not) or a deletion. Whatever this
// reading accepts, ReadStatement reads the same way; anything else (a line
// regedit skips, text outside ASCII where a key is named or in UTF-8) it
// leaves to ReadStatement.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "regfile/RegStatement.h"

// What a caller wants of a key line's path: the path as Statement::path
// holds it, or only its hashes (RegKeyHashes), or nothing.
struct QuickKey {
    std::u16string* path = nullptr;
    bool hashes = false;
    uint32_t key = 0, parent = 0;
    // Where the path was told, for QuickKeyPathText: the root's number and
    // the units of the names below it, [below, used) from the line's start.
    size_t lineStart = 0, root = 0, below = 0, used = 0;
    // With hashes, what the paths hashed last leave for the next one:
    // sections mostly follow one another below the same few keys, so a
    // path that starts with the same units as one of the last two goes on
    // from the last backslash they share. Kept for a reading of one
    // document.
    struct Step {
        uint32_t at;     // the backslash's units from the path's start
        uint32_t depth;  // the names up to the one after it
        uint64_t hash, above;
    };
    struct Path {
        const uint8_t* start = nullptr;  // its first unit in the document
        size_t root = 0, steps = 0;
        Step step[4];
    };
    Path last[2];
    size_t older = 0;  // the one a path that shares with neither replaces
};

// The path of a key line QuickStatement told (as Statement::path holds
// it), without reading the line again.
void QuickKeyPathText(const RegDocument& doc, const QuickKey& key, std::u16string* path);

// The statement that starts at `start` (a line start, before the end of the
// bytes): true with its kind, line count and next line's start, for a key
// line what `key` (when given) asks, and for a value line, when `values`
// is given, its name, type and data there as ReadStatement gives them.
// False when ReadStatement must read it.
bool QuickStatement(const RegDocument& doc, LineFinder& lines, size_t start, Statement::Kind* kind,
                    uint32_t* lineCount, size_t* next, QuickKey* key, Statement* values = nullptr);

// A key line QuickStatement told (not a deletion): made in the tree as
// LoaderApply makes it when the loader kept its parent, without its path
// written out. False when the loader is to make it from its path.
struct TreeLoader;
bool QuickKeyBelowParent(const RegDocument& doc, const QuickKey& key, TreeLoader& loader);

// A value line at `start` whose data is a quoted text, when QuickStatement
// tells it and its name and text are characters each kept in a byte: set
// in the key as LoaderApply sets what QuickStatement builds, straight from
// the line (`room` is working space). False for any other line, which is
// the caller's to read.
bool QuickSetText(const RegDocument& doc, size_t start, TreeKey& key, std::vector<uint8_t>* room);

// The value names a set loads, made once for a reading (the set's names do
// not change while it reads): names of up to eight ASCII letters are each
// kept folded in a word, the first letter lowest, so a line's name is told
// from its bytes; any other name leaves the set's own names to compare.
struct QuickNames {
    const RegKeySet* set = nullptr;
    bool inWords = false;  // every name is one of word[0, count)
    size_t count = 0;
    uint32_t lengths = 0;  // bit n set: a name n letters long
    uint32_t firsts = 0;   // bit n set: a name whose first letter's low five bits are n
    uint64_t word[4] = {};
    uint8_t length[4] = {};
};
QuickNames QuickNamesOf(const RegKeySet& set);

// The values of the names a load keeps that a pass over a loaded section's
// lines goes past rather than stops at (all but those of name number
// `build`, which the reading builds): where their lines start, with
// kQuickKeptDeletion added for a deletion. For a reading that builds them
// elsewhere, later.
// With `plain` (8-bit files only), the values of name `build` are passed
// too: their starts go to `starts` with kQuickKeptText added, and where
// their names and texts lie to `texts`.
struct QuickText {
    uint32_t name, nameEnd;  // the name's bytes between its quotes: ASCII, as the set's names
    uint32_t text, textEnd;  // the text's bytes between its quotes; 0, 0: the data is no text
};
struct QuickKept {
    int build = -1;
    bool plain = false;
    std::vector<uint32_t> starts;
    std::vector<QuickText> texts;
};
const uint32_t kQuickKeptDeletion = 0x80000000u, kQuickKeptText = 0x40000000u;

// The told text in an 8-bit file's bytes [from, to), when it is plain
// (RegNamedKey): its characters, written as UTF-16LE at `out`, which has
// room for 2 * (to - from) + 16 bytes (those after the text are
// scratch); with `below`, *named as RegNamedKey tells it. kQuickNotPlain
// for any other text.
const size_t kQuickNotPlain = ~size_t(0);
size_t QuickPlainText(const RegDocument& doc, uint32_t from, uint32_t to, uint8_t* out,
                      const RegKeyPrefix* below = nullptr, RegNamedKey* named = nullptr);

// From `start`, a line start inside a key's section of a REGEDIT4 or UTF-16
// file (not UTF-8, whose characters outside ASCII must be decoded):
// past the blank, comment and value lines that follow in their common
// forms (no blanks around the name, '=' or data, nothing after the data),
// each told exactly as QuickStatement tells it, up to the first line it
// leaves to QuickStatement. *lineCount: the lines passed; *valueCount: the
// value statements among them. Nothing is built: for sections not loaded,
// or, with `stopAt`, for the values of a loaded section whose names are
// not among its names (a value it loads ends the pass, as any line left to
// QuickStatement does; *loadedName, when given, tells which: the number of
// its name among the set's names, or -1 for any other line). With `kept`,
// a value it loads in the common forms is passed too, and added to kept's
// starts, unless of the name kept says to build.
size_t QuickPassValues(const RegDocument& doc, size_t start, uint32_t* lineCount,
                       uint32_t* valueCount, const QuickNames* stopAt = nullptr,
                       int* loadedName = nullptr, QuickKept* kept = nullptr);
