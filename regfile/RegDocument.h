// Registry export files (.reg) as documents.
//
// Two dialects, as regedit writes them:
//   REGEDIT4                              8-bit text in Windows-1252
//   Windows Registry Editor Version 5.00  UTF-16LE with a byte-order mark
//                                         (also accepted as UTF-8)
// Lines end in CR LF, LF or CR alone. (The Windows 3.1 REGEDIT format is
// another thing and is not read.)
//
// Reading gives a document: the file's bytes as read and, for every key
// section and value, where the lines that spell it start. Lines are read as
// Windows' regedit reads them: what regedit would skip is skipped and listed
// with the reason, everything else is kept. Loading a document into a
// registry tree is a separate step (or done while reading, in one pass over
// the lines), and so is making the repaired file: the original bytes with
// only the changed values' data spelled anew.
//
// The code behind it, by job: regfile/RegText (the file's lines as text),
// regfile/RegStatement (regedit's rules for what a line says),
// regfile/RegRead and regfile/RegLoad (reading, loading into a tree),
// regfile/RegRepair (the repair's edits, values spelled as a file spells
// them).
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegTree.h"

// The most a registry export may hold; larger files are refused unread.
const size_t kRegFileMaxBytes = size_t(256) << 20;

enum RegFileVersion { kRegFileVersion4, kRegFileVersion5 };

enum RegFileEncoding {
    kRegFileAnsi,     // Windows-1252, the REGEDIT4 way
    kRegFileUtf16,    // UTF-16LE with byte-order mark, the version 5 way
    kRegFileUtf8,     // UTF-8 without byte-order mark
    kRegFileUtf8Bom,  // UTF-8 with byte-order mark
};

struct RegFileFormat {
    RegFileVersion version = kRegFileVersion5;
    RegFileEncoding encoding = kRegFileUtf16;
};

enum RegEntryKind : uint8_t {
    kRegEntryKey,            // [KEY]
    kRegEntryKeyDeletion,    // [-KEY]
    kRegEntryValue,          // "name"=data or @=data
    kRegEntryValueDeletion,  // "name"=-
};

// One key section or value of the file, in file order. Eight bytes, as a
// large file has an entry for most of its lines: which lines an entry spans
// is found again by reading it (RegEntryLines).
struct RegEntry {
    uint32_t offset;  // in the document's bytes, where the entry's first line starts
    // The [KEY] entry a value belongs to (a key or a deletion: itself). 30
    // bits are enough: files over kRegFileMaxBytes are refused, and every
    // entry takes at least 4 bytes ("@=-" and a line end).
    uint32_t keyEntry : 30;
    uint32_t kind : 2;  // a RegEntryKind
};

enum RegSectionKind : uint8_t {
    kRegSectionKey,       // [KEY]
    kRegSectionDeletion,  // [-KEY]
    kRegSectionClosed,    // a key line regedit skips: no section is open after it
};

// Where a section starts and, for [KEY], hashes of its key's folded path
// and of the path of the key above it: a partial load finds the keys it
// wants without reading the lines again.
struct RegSection {
    uint32_t offset;
    uint32_t key;
    uint32_t parent;
    RegSectionKind kind;
    bool loaded;  // its values were loaded while reading
};

struct RegSkippedLine {
    uint32_t line;    // 1-based
    std::string why;  // what was wrong, in UTF-8 with control characters escaped
};

struct RegDocument {
    RegFileFormat format;
    // The file as read: the document's own copy (owned), or bytes its
    // reader's caller keeps alive for as long as the document (a mapped file).
    std::string_view bytes;
    std::unique_ptr<std::string> owned;
    std::vector<RegEntry> entries;
    std::vector<RegSkippedLine> skipped;
    // Each statement that opens or closes a section, in file order: kept
    // only by RegDocumentReadSections, for RegDocumentLoadSome.
    std::vector<RegSection> sections;
    bool deletesKeys = false;  // a [-KEY] was read (RegDocumentReadSections)
};

// Reads file content into a document. Fails only when the content is no
// registry export at all (header, encoding, size), or, with strict, at the
// first line regedit would skip; *error is then "FILE:LINE: what was wrong".
bool RegDocumentRead(std::string content, const std::string& fileName, bool strict,
                     RegDocument* doc, std::string* error);

// Applies the document to the tree in file order, as regedit /S would:
// sections create keys, deletions remove keys and values, values are set
// with their type and bytes.
void RegDocumentLoad(const RegDocument& doc, RegTree& tree);

// RegDocumentRead, then RegDocumentLoad, reading each line once: every
// statement is applied as soon as it is read. On failure the tree may hold
// what was read before the failure.
bool RegDocumentReadAndLoad(std::string content, const std::string& fileName, bool strict,
                            RegTree& tree, RegDocument* doc, std::string* error);

// Keys of a partial load: keys named, and the keys right below keys named
// (or all). Names compare as the registry compares them; keys are told
// apart by a hash of their folded path, so a set may cover a few more keys
// than were added (which loads them to no harm), never fewer.
struct RegKeySet {
    bool all = false;
    // Open addressing by a key's 32-bit hash: its upper 30 bits, with bit 0
    // set when the key itself was added and bit 1 when its sub-keys were;
    // 0: empty. Four bytes a slot keep more of a large set in the cache.
    std::vector<uint32_t> slots;
    size_t used = 0;
    // The values loaded in the keys covered, by name (ASCII names, compared
    // as the registry compares them): a value of another name is neither
    // set nor deleted. Empty: every value.
    std::vector<std::u16string> values;
};
void RegKeySetAdd(RegKeySet& set, const std::u16string& path);
// RegKeySetAdd for a key the set does not cover yet; false when it did.
bool RegKeySetAddUncovered(RegKeySet& set, const std::u16string& path);
// A key's path hashed as the set hashes it, with the backslash after it:
// where the names of keys below it go on from (RegKeySetAddUncoveredBelow).
struct RegKeyPrefix {
    uint64_t hash, above;
};
RegKeyPrefix RegKeyPrefixOf(const std::u16string& path);
// RegKeySetAddUncovered for the path PREFIX\NAMES, NAMES being `length`
// characters of UTF-16LE text at `names`, without trailing backslashes:
// no path is built, and the prefix is not hashed again.
bool RegKeySetAddUncoveredBelow(RegKeySet& set, const RegKeyPrefix& prefix, const uint8_t* names,
                                size_t length);
// RegKeySetAddUncovered for the key whose path and parent's path have these
// hashes (RegKeyHashes).
bool RegKeySetAddUncoveredHashes(RegKeySet& set, uint32_t key, uint32_t parent);
void RegKeySetAddSubKeys(RegKeySet& set, const std::u16string& path);
bool RegKeySetCovers(const RegKeySet& set, const std::u16string& path);
// Whether a value of this name is loaded in the keys the set covers.
bool RegKeySetHasValue(const RegKeySet& set, const char16_t* name, size_t length);

// The hashes a section of the key at this path keeps (RegSection::key and
// ::parent): of the path as Statement::path holds it, and of its parent's.
void RegKeyHashes(const std::u16string& path, uint32_t* key, uint32_t* parent);

// Told, while a document is read and loaded, of each value of one name
// (`name`, compared as the registry compares names) set in the tree: the
// section of its key, the value's name and the bytes it was set to. It may
// add keys to the set being loaded; their sections from there on are
// loaded too. It does not change the set's value names.
typedef void (*RegValueLoaded)(void* context, const RegSection& section, const std::u16string& name,
                               const std::vector<uint8_t>& bytes, RegKeySet& load);
// A value of the watched name whose data is a plain text: characters from
// U+0001 to U+007F, written between quotes with no escape but "\\" for a
// backslash. Such a value may be told to `named` rather than `loaded`:
// whether the text, without its trailing backslashes, is empty, and the
// hashes (RegKeyHashes) of the key path BELOW\TEXT, BELOW the watch's.
struct RegNamedKey {
    bool named;  // the text is not empty
    uint32_t key, parent;
};
typedef void (*RegKeyNamed)(void* context, const RegSection& section, const RegNamedKey& named,
                            RegKeySet& load);
struct RegValueWatch {
    RegValueLoaded loaded = nullptr;
    void* context = nullptr;
    std::u16string name;
    // When set, a reading that tells a plain text straight from the file's
    // bytes (without building the value) calls it instead of `loaded`.
    RegKeyNamed named = nullptr;
    RegKeyPrefix below{0, 0};
};

// Reading a large file on a second thread while the calling one applies
// what it reads to the tree, statement after statement in file order (the
// reading does not need the tree, the tree does not need the lines): for a
// machine with more than one core. start runs work(arg) on a new thread
// and gives back its handle, or nullptr when it cannot start one (the
// reading then does both in turn); wait waits for that thread to end.
// Files smaller than minBytes are read on the calling thread alone; the
// statements go over batchBytes at a time.
struct RegReadBeside {
    void* (*start)(void (*work)(void*), void* arg) = nullptr;
    void (*wait)(void* thread) = nullptr;
    size_t minBytes = size_t(4) << 20;
    size_t batchBytes = size_t(64) << 10;
};

// Reading for a load of a few keys out of a large file: the same reading as
// RegDocumentRead (the same failures, the same lines skipped), of bytes the
// caller keeps alive and unchanged while the document lives, not copied.
// Keeps the sections' starts, and the entries only when asked (a repair
// needs them, a scan alone does not). With `load`, loads into the tree
// while reading what RegDocumentLoadSome(doc, *load, nullptr, tree) would,
// for the keys the set covers when their sections are read (each section
// says whether it was loaded); on failure the tree may hold what was read
// before. With `beside` (and a load), a large file is read on a second
// thread; `watch` is then told on that thread.
bool RegDocumentReadSections(std::string_view content, const std::string& fileName, bool strict,
                             bool keepEntries, RegKeySet* load, RegTree* tree, RegDocument* doc,
                             std::string* error, const RegValueWatch* watch = nullptr,
                             const RegReadBeside* beside = nullptr);

// Whether a section of the key whose hashes these are would be loaded for
// the set (RegKeySetCovers by a section's hashes).
bool RegKeySetCoversSection(const RegKeySet& set, const RegSection& section);
// Marks the key of the section, as RegKeySetAdd marks its path.
void RegKeySetAddSection(RegKeySet& set, const RegSection& section);
bool RegKeySetHasSection(const RegKeySet& set, const RegSection& section);

// RegDocumentLoad for the keys `wanted` covers alone: each key that has a
// section of its own is left in the tree exactly as the whole load leaves
// it (created, deleted, its values), and nothing else is loaded but the
// keys above them. The document must
// come from RegDocumentReadSections. Keys `loaded` covers (when given) are
// in the tree already, from a load of the same document, and are not
// loaded again: only for a document that deletes no key, where the keys'
// loads do not depend on one another's order.
void RegDocumentLoadSome(const RegDocument& doc, const RegKeySet& wanted, const RegKeySet* loaded,
                         RegTree& tree);

// The lines entry number `entry` (< entries.size()) spans: *firstLine is the
// 1-based number of its first line, as skipped lines are numbered, and
// *lineCount counts the lines up to its last, blank and comment lines
// between continued data included. Counts from the file's start: for
// messages and checks, not for every entry of a large file.
void RegEntryLines(const RegDocument& doc, size_t entry, uint32_t* firstLine, uint32_t* lineCount);

// The changes that make the document's bytes the file for the tree as it
// is now, one for each value that differs from the tree (only the spelling
// regedit applies last, the one that counts): its lines, without the last
// line end. Where the value's form holds the new data (a quoted string, hex
// of the same type), only the data's bytes change in them: spacing,
// comments and the lines between continued hex stay; else the value's line
// is written anew, its indent and name as they were. In file order and none
// overlapping: bytes [from, to) become `bytes`. Fails, with *edits empty,
// when a changed value has no spelling in the file's format.
struct RegEdit {
    size_t from;
    size_t to;
    std::string bytes;
};
bool RegDocumentEdits(const RegDocument& doc, const RegTree& tree, std::vector<RegEdit>* edits,
                      std::string* error);

// Where the data of the value whose entry starts at `start` is written, in
// the forms a repair changes in place (a quoted string, hex with at least
// one byte): from the first byte of the data to the end of its last, other
// lines between included; *type is the type this spelling gives. For the
// checks that a repair changes nothing else.
bool RegValueDataSpan(const RegDocument& doc, size_t start, uint32_t* type, size_t* from,
                      size_t* to);

// The repaired file as pieces to write one after another: the original's
// bytes between the edits and the edits' own (views into both, which must
// outlive them). A large file is written without a whole copy.
std::vector<std::string_view> RegEditedPieces(std::string_view original,
                                              const std::vector<RegEdit>& edits);

// The repaired file whole: RegDocumentEdits joined with the document's bytes,
// in one string. For the tests and fuzzers, which compare it whole;
// portmedic-scan writes the pieces of RegEditedPieces instead.
bool RegDocumentRepaired(const RegDocument& doc, const RegTree& tree, std::string* content,
                         std::string* error);

// One value line as this format spells it, without the line end:
// nameAsWritten (the name between its quotes as the file writes it, quotes
// included, or @), '=' and the data. Long hex data is continued after
// lineEnd. False when the format has no spelling that reads back the same.
bool RegFileSpellValue(const RegFileFormat& format, const std::u16string& nameAsWritten,
                       uint32_t type, const uint8_t* bytes, size_t size,
                       const std::u16string& lineEnd, std::u16string* line);

// The key an edit's value belongs to (one of RegDocumentEdits' edits for
// this document): the path its section's [KEY] line names, root first in
// its long form.
std::u16string RegEditKeyPath(const RegDocument& doc, const RegEdit& edit);

// A file that carries only the edits: imported after the document, it
// leaves the registry as importing the edited document would. It is in the
// document's format (header, encoding, byte-order mark, and the header
// line's line end) and holds the header, then for each edit a comment line
// ("; " and comments[k], which must hold no line break), the [KEY] line of
// its key and the edit's value lines, each group ended by a blank line, as
// regedit writes its exports. False (with *error) when a comment breaks a
// line or a text has no spelling in the file's encoding.
bool RegFixFile(const RegDocument& doc, const std::vector<RegEdit>& edits,
                const std::vector<std::u16string>& comments, std::string* content,
                std::string* error);
