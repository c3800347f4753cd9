#include "regfile/RegDocument.h"

#include <string.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "regfile/RegLoad.h"
#include "regfile/RegQuickLine.h"

namespace {

// The statements a reading applies to the tree, recorded one after another
// in a batch of bytes for the thread that applies them: a kind byte (a
// RegEntryKind, or kLeaveKey), then for a key or [-KEY] the path's length
// and characters; for a value its type, the name's length, the data's size,
// the name's characters and the data; for a deleted value the name's length
// and characters. Lengths are in characters, 32 bits, in the machine's order.
// A statement the quick reading told (kQuick added to its kind) is read
// again where it is applied, so the reading does not build it: for a key
// line where its path lies in the line (QuickKey's lineStart, root, below
// and used), for a value where its line starts.
const uint8_t kLeaveKey = 4, kQuick = 8;

// A batch's bytes: the room grows (by doubling) and is kept when the batch
// is filled again, so it is neither zeroed nor allocated anew.
struct Batch {
    std::vector<uint8_t> room;
    size_t used = 0;

    uint8_t* Take(size_t size) {
        if (used + size > room.size()) room.resize(std::max(2 * room.size(), used + size));
        uint8_t* at = room.data() + used;
        used += size;
        return at;
    }
};

uint8_t* PutCount(uint8_t* at, size_t count) {
    uint32_t n = uint32_t(count);
    memcpy(at, &n, sizeof n);
    return at + sizeof n;
}

void Record(Batch& batch, RegEntryKind kind, const Statement& st) {
    const bool value = kind == kRegEntryValue;
    const std::u16string& text =
        kind == kRegEntryKey || kind == kRegEntryKeyDeletion ? st.path : st.name;
    const size_t textBytes = text.size() * sizeof(char16_t), dataBytes = value ? st.data.size() : 0;
    uint8_t* at = batch.Take(1 + (value ? 12 : 4) + textBytes + dataBytes);
    *at++ = kind;
    if (value) at = PutCount(at, st.type);
    at = PutCount(at, text.size());
    if (value) at = PutCount(at, dataBytes);
    if (textBytes) memcpy(at, text.data(), textBytes);
    if (dataBytes) memcpy(at + textBytes, st.data.data(), dataBytes);
}

void RecordQuickKey(Batch& batch, RegEntryKind kind, const QuickKey& key) {
    uint8_t* at = batch.Take(1 + 16);
    *at++ = kQuick | kind;
    for (size_t n : {key.lineStart, key.root, key.below, key.used}) at = PutCount(at, n);
}

void RecordQuickValue(Batch& batch, RegEntryKind kind, size_t start) {
    uint8_t* at = batch.Take(1 + 4);
    *at++ = kQuick | kind;
    PutCount(at, start);
}

uint32_t TakeCount(const uint8_t*& at) {
    uint32_t n;
    memcpy(&n, at, sizeof n);
    at += sizeof n;
    return n;
}

void TakeText(const uint8_t*& at, size_t length, std::u16string* text) {
    text->resize(length);
    if (length) memcpy(&(*text)[0], at, length * sizeof(char16_t));
    at += length * sizeof(char16_t);
}

// A statement the quick reading told, read again from the document and
// applied: a key line's path, or a value's name and data (a text value
// goes from its line into the open key).
void TakeQuick(const RegDocument& doc, uint8_t kind, const uint8_t*& at, TreeLoader& loader,
               Statement& st) {
    if (kind == kRegEntryKey || kind == kRegEntryKeyDeletion) {
        QuickKey key;
        key.lineStart = TakeCount(at);
        key.root = TakeCount(at);
        key.below = TakeCount(at);
        key.used = TakeCount(at);
        if (kind == kRegEntryKey && QuickKeyBelowParent(doc, key, loader)) return;
        QuickKeyPathText(doc, key, &st.path);
        return LoaderApply(loader, RegEntryKind(kind), st);
    }
    const size_t start = TakeCount(at);
    if (kind == kRegEntryValue && loader.key && QuickSetText(doc, start, *loader.key, &loader.room))
        return;
    LineFinder lines{doc};
    Statement::Kind told;
    QuickStatement(doc, lines, start, &told, &st.lines, &st.next, nullptr, &st);
    LoaderApply(loader, RegEntryKind(kind), st);
}

// Applies a batch's statements in their order; st is working space.
void ApplyRecorded(const RegDocument& doc, TreeLoader& loader, const Batch& batch, Statement& st) {
    for (const uint8_t *at = batch.room.data(), *end = at + batch.used; at < end;) {
        const uint8_t kind = *at++;
        if (kind == kLeaveKey) {
            LoaderLeaveKey(loader);
            continue;
        }
        if (kind & kQuick) {
            TakeQuick(doc, kind & ~kQuick, at, loader, st);
            continue;
        }
        if (kind == kRegEntryValue) st.type = TakeCount(at);
        const size_t length = TakeCount(at);
        const size_t size = kind == kRegEntryValue ? TakeCount(at) : 0;
        TakeText(at, length,
                 kind == kRegEntryKey || kind == kRegEntryKeyDeletion ? &st.path : &st.name);
        if (kind == kRegEntryValue) {
            st.data.assign(at, at + size);
            at += size;
        }
        LoaderApply(loader, RegEntryKind(kind), st);
    }
}

// Batches between the reading thread and the applying one. At most
// kWaiting full batches wait to be applied, so a reading that runs ahead
// does not fill memory; applied batches come back to be filled again.
struct HandOff {
    static const size_t kWaiting = 4;
    const RegDocument* doc;
    size_t batchBytes;
    Batch filling;  // the reading's
    std::mutex lock;
    std::condition_variable changed;  // a batch came or went, or the reading ended
    std::deque<Batch> full;
    std::vector<Batch> spare;
    bool ended = false;

    // The reading's batch goes over (once it has room), and the reading
    // fills an empty one next.
    void Pass() {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [this] { return full.size() < kWaiting; });
        full.push_back(std::move(filling));
        filling = Batch();
        if (!spare.empty()) {
            filling = std::move(spare.back());
            spare.pop_back();
        } else {
            filling.room.resize(2 * batchBytes);  // once, not grown step by step
        }
        changed.notify_one();
    }
    void Recorded() {
        if (filling.used >= batchBytes) Pass();
    }
    void End() {
        Pass();
        std::lock_guard<std::mutex> held(lock);
        ended = true;
        changed.notify_one();
    }
    // On the applying thread: every batch in turn until the reading ends.
    void ApplyAll(RegTree& tree) {
        TreeLoader loader(&tree);
        Statement st;
        Batch batch;
        for (;;) {
            {
                std::unique_lock<std::mutex> held(lock);
                if (!batch.room.empty()) {
                    batch.used = 0;
                    spare.push_back(std::move(batch));
                }
                changed.wait(held, [this] { return !full.empty() || ended; });
                if (full.empty()) break;
                batch = std::move(full.front());
                full.pop_front();
                changed.notify_one();
            }
            ApplyRecorded(*doc, loader, batch, st);
        }
        LoaderLeaveKey(loader);
    }
};

// What a reading keeps besides the lines skipped.
struct ReadWhat {
    RegTree* tree;  // each statement applied as soon as it is read
    // With a tree: only the sections of the keys this set covers, and
    // every [-KEY], are applied (as RegDocumentLoadSome applies them).
    RegKeySet* only;
    bool entries;
    bool sections;
    const RegValueWatch* watch;
    // With a tree: its statements are handed over here, to be applied on
    // another thread, rather than applied.
    HandOff* handOff;
};

const uint32_t kNoKey = 0xFFFFFFFFu;

// One reading of a document: what it keeps and where it stands.
struct Reading {
    const std::string& fileName;
    bool strict;
    ReadWhat what;
    RegDocument* doc;
    std::string* error;
    TreeLoader loader{what.tree};
    StatementReader& reader;
    uint32_t key = kNoKey;  // the entry of the open key
    uint32_t entryCount = 0;
    bool loading = false;  // the open section's values are applied
    int watched = -1;      // the watched name's number among what.only's (passing values)

    // A statement for the tree: applied, or handed over to be.
    void Apply(RegEntryKind kind, const Statement& st) {
        if (!what.handOff) return LoaderApply(loader, kind, st);
        Record(what.handOff->filling, kind, st);
        what.handOff->Recorded();
    }
    // The open section ends (LoaderLeaveKey).
    void Leave() {
        if (!what.handOff) return LoaderLeaveKey(loader);
        *what.handOff->filling.Take(1) = kLeaveKey;
    }

    // A line regedit skips: listed, or with strict the reading's failure.
    bool Skipped(size_t line, const std::string& why) {
        if (strict) {
            *error = FileLine(fileName, line) + why;
            return false;
        }
        doc->skipped.push_back(RegSkippedLine{uint32_t(line), why});
        return true;
    }

    // The size, the header and a UTF-16 file's lone last byte; *start is
    // where the line after the header starts.
    bool Begin(size_t* start) {
        if (doc->bytes.size() > kRegFileMaxBytes) {
            *error = fileName + ": the file is larger than " +
                     std::to_string(kRegFileMaxBytes >> 20) +
                     " MiB, far more than any registry export";
            return false;
        }
        if (!ReadHeader(doc, fileName, start, error)) return false;
        const size_t size = doc->bytes.size();
        return doc->format.encoding != kRegFileUtf16 || (size - 2) % 2 == 0 ||
               Skipped(LineNumberAt(*doc, size - 1),
                       "a lone byte at the end of a UTF-16 file (is the file cut short?)");
    }

    void AddSection(size_t start, RegSectionKind kind, uint32_t keyHash, uint32_t parentHash) {
        if (what.sections)
            doc->sections.push_back(RegSection{uint32_t(start), keyHash, parentHash, kind, false});
    }

    // Applies a key line to the tree as what.only asks; quickKey tells a
    // key line the quick reading told, whose path is not in st yet.
    void LoadKey(Statement::Kind kind, Statement& st, const QuickKey* quickKey, uint32_t keyHash,
                 uint32_t parentHash) {
        loading = kind == Statement::kKey &&
                  (!what.only || RegKeySetCoversHashes(*what.only, keyHash, parentHash));
        if (kind == Statement::kKey && what.sections) doc->sections.back().loaded = loading;
        if (kind == Statement::kKey && !loading) {
            Leave();
            return;
        }
        const RegEntryKind entry = kind == Statement::kKey ? kRegEntryKey : kRegEntryKeyDeletion;
        if (quickKey && what.handOff) {
            RecordQuickKey(what.handOff->filling, entry, *quickKey);
            return what.handOff->Recorded();
        }
        if (quickKey) QuickKeyPathText(*doc, *quickKey, &st.path);
        Apply(entry, st);
    }

    // A value the open section loads: applied, and told to the watch when
    // of its name (the number of its name among what.only's, when the pass
    // told it: then its name need not be compared); unbuilt (the quick
    // reading told it without building it, and the watch does not want
    // it), handed over to be read again.
    void LoadValue(RegEntryKind kind, Statement& st, size_t start, bool unbuilt, int loadedName) {
        if (unbuilt) {
            RecordQuickValue(what.handOff->filling, kind, start);
            return what.handOff->Recorded();
        }
        Apply(kind, st);
        const RegValueWatch* w = what.watch;
        if (w && kind == kRegEntryValue &&
            (loadedName >= 0
                 ? loadedName == watched
                 : RegNamesEqual(st.name.data(), st.name.size(), w->name.data(), w->name.size())))
            w->loaded(w->context, doc->sections.back(), st.name, st.data, *what.only);
    }

    // A watched value the pass went past, its line at `start`: a plain
    // text is handed over as if built, and told to the watch as the key it
    // names; other data is built and told as usual.
    void LoadWatched(uint32_t start, const QuickText& t, Statement& st) {
        const RegValueWatch& w = *what.watch;
        Batch& batch = what.handOff->filling;
        const size_t used = batch.used, nameUnits = t.nameEnd - t.name;
        if (t.text) {
            uint8_t* at = batch.Take(13 + 2 * (nameUnits + t.textEnd - t.text) + 18);
            RegNamedKey named;
            const size_t name = nameUnits;
            for (size_t i = 0; i < name; ++i)
                Utf16LePut(at + 13 + 2 * i, uint8_t(doc->bytes[t.name + i]));
            const size_t text =
                QuickPlainText(*doc, t.text, t.textEnd, at + 13 + 2 * name, &w.below, &named);
            if (text != kQuickNotPlain) {
                // As Record records a text value built: its terminator after it.
                *at = kRegEntryValue;
                PutCount(PutCount(PutCount(at + 1, kTreeTypeString), name), 2 * text + 2);
                uint8_t* end = at + 13 + 2 * (name + text);
                end[0] = end[1] = 0;
                batch.used = used + (end + 2 - at);
                what.handOff->Recorded();
                return w.named(w.context, doc->sections.back(), named, *what.only);
            }
            batch.used = used;
        }
        Statement::Kind kind;
        uint32_t lines;
        size_t next;
        if (!QuickStatement(*doc, reader.lines, start, &kind, &lines, &next, nullptr, &st))
            kind = ReadStatement(reader, start, &st);
        LoadValue(kind == Statement::kValue ? kRegEntryValue : kRegEntryValueDeletion, st, start,
                  false, watched);
    }

    // Passes over the value lines from `start` (QuickPassValues), counting
    // them, and loads the kept values it went past; returns where it ended.
    size_t PassValues(size_t start, const QuickNames* names, QuickKept* kept, Statement& st,
                      size_t* line, int* loadedName) {
        uint32_t lines, values;
        if (kept) kept->starts.clear();
        if (kept) kept->texts.clear();
        start = QuickPassValues(*doc, start, &lines, &values, names, loadedName, kept);
        for (size_t i = 0, text = 0; kept && i < kept->starts.size(); ++i) {
            const uint32_t at = kept->starts[i];
            if (at & kQuickKeptText)
                LoadWatched(at & ~kQuickKeptText, kept->texts[text++], st);
            else
                LoadValue(at & kQuickKeptDeletion ? kRegEntryValueDeletion : kRegEntryValue, st,
                          at & ~kQuickKeptDeletion, true, -1);
        }
        *line += lines;
        entryCount += values;
        return start;
    }

    // Takes the statement read from `start`, on line number `line`;
    // quickKey holds its key's hashes when the quick reading told it;
    // loadedName: the number of a value's name among those what.only
    // loads, when known, else -1;
    // unbuilt: the quick reading told the value without building it.
    bool Take(Statement::Kind kind, Statement& st, size_t start, size_t line,
              const QuickKey* quickKey, int loadedName, bool unbuilt) {
        RegEntry e{uint32_t(start), entryCount, 0};
        switch (kind) {
        case Statement::kNothing: return true;
        case Statement::kKey: {
            key = e.keyEntry;
            e.kind = kRegEntryKey;
            uint32_t keyHash = 0, parentHash = 0;
            if (what.sections && quickKey) {
                keyHash = quickKey->key;
                parentHash = quickKey->parent;
            } else if (what.sections) {
                RegKeyHashes(st.path, &keyHash, &parentHash);
            }
            AddSection(start, kRegSectionKey, keyHash, parentHash);
            if (what.tree) LoadKey(kind, st, quickKey, keyHash, parentHash);
            break;
        }
        case Statement::kKeyDeletion:
            key = kNoKey;
            e.kind = kRegEntryKeyDeletion;
            doc->deletesKeys = true;
            AddSection(start, kRegSectionDeletion, 0, 0);
            if (what.tree) LoadKey(kind, st, quickKey, 0, 0);
            break;
        case Statement::kValue:
        case Statement::kValueDeletion:
            if (key == kNoKey)
                return Skipped(line, "value outside a key (no [KEY] line before it, or that line "
                                     "was skipped or deleted the key)");
            e.keyEntry = key;
            e.kind = kind == Statement::kValue ? kRegEntryValue : kRegEntryValueDeletion;
            if (loading && (!what.only || loadedName >= 0 ||
                            RegKeySetHasValue(*what.only, st.name.data(), st.name.size())))
                LoadValue(RegEntryKind(e.kind), st, start, unbuilt, loadedName);
            break;
        case Statement::kSkipped:
            key = kNoKey;
            loading = false;
            if (what.tree) Leave();
            AddSection(start, kRegSectionClosed, 0, 0);
            // fall through
        case Statement::kSkippedKeepKey:
            // Everything up to the line at fault goes, that line included.
            return Skipped(line + st.lines - 1, st.why);
        }
        ++entryCount;
        if (what.entries) doc->entries.push_back(e);
        return true;
    }
};

// The number of the watched name among the names the load keeps, or -1.
int WatchedName(const ReadWhat& what) {
    for (size_t i = 0; what.watch && i < what.only->values.size(); ++i) {
        const std::u16string& v = what.only->values[i];
        if (RegNamesEqual(v.data(), v.size(), what.watch->name.data(), what.watch->name.size()))
            return int(i);
    }
    return -1;
}

// Whether the watch is told the plain texts of its name straight from the
// file's bytes: in an 8-bit file, where the code page reads each ASCII
// character as itself.
bool TellsPlainTexts(const ReadWhat& what, const RegDocument& doc) {
    if (!what.watch->named || doc.format.encoding != kRegFileAnsi) return false;
    const char16_t* toWide = Cp1252().toWide;
    for (char16_t c = 0; c < 0x80; ++c)
        if (toWide[c] != c) return false;
    return true;
}

// Reads the document's bytes, line after line. With a tree, every line is
// read in full; without, the common lines are told by the quick reading.
bool Read(const std::string& fileName, bool strict, ReadWhat what, RegDocument* doc,
          std::string* error) {
    std::string ignored;
    StatementReader reader{*doc, what.tree != nullptr};
    Reading reading{fileName, strict, what, doc, error ? error : &ignored, TreeLoader(what.tree),
                    reader};
    size_t start;
    if (!reading.Begin(&start)) return false;
    // At most one entry a line: one allocation, and the pages never used
    // are never touched.
    if (what.entries) doc->entries.reserve(LinesBound(*doc, start));
    // The full reader reads every line in full; else the common lines are
    // told by the quick reading, which builds the values' data only where
    // they are loaded.
    const bool full = what.tree && !what.only;
    // When no entries are kept, the value lines of a section not loaded are
    // only counted: passed over in one loop; so are those of a loaded
    // section whose values the load leaves out. Not in UTF-8, where a
    // character outside ASCII must be decoded (and may be malformed).
    const bool pass =
        !full && !what.entries &&
        (doc->format.encoding == kRegFileAnsi || doc->format.encoding == kRegFileUtf16);
    const bool passLoaded = pass && what.only && !what.only->values.empty();
    const QuickNames names = passLoaded ? QuickNamesOf(*what.only) : QuickNames();
    Statement st;
    // One for the whole reading: a key line's path is hashed on from one
    // of the last two where they start the same.
    QuickKey quickKey;
    quickKey.hashes = what.sections;
    const int watched = reading.watched = passLoaded ? WatchedName(what) : -1;
    // Reading beside, the values a loaded section keeps are passed over too,
    // but those the watch is told of, and built where they are applied.
    QuickKept kept;
    kept.build = watched;
    kept.plain = watched >= 0 && TellsPlainTexts(what, *doc);
    for (size_t line = 2; start < doc->bytes.size(); start = st.next, line += st.lines) {
        int loadedName = -1;  // the pass stopped at a value of the name the load keeps
        if (pass && reading.key != kNoKey && (!reading.loading || passLoaded)) {
            start = reading.PassValues(start, reading.loading ? &names : nullptr,
                                       reading.loading && what.handOff ? &kept : nullptr, st, &line,
                                       &loadedName);
            if (start == doc->bytes.size()) break;
        }
        // A value the watch does not want is built where it is applied.
        const bool unbuilt = what.handOff && loadedName >= 0 && loadedName != watched;
        Statement::Kind kind;
        bool quick =
            !full && QuickStatement(*doc, reader.lines, start, &kind, &st.lines, &st.next,
                                    &quickKey, reading.loading && !unbuilt ? &st : nullptr);
        if (!quick) kind = ReadStatement(reader, start, &st);
        if (!reading.Take(kind, st, start, line, quick ? &quickKey : nullptr, loadedName,
                          quick && unbuilt))
            return false;
    }
    if (what.tree) reading.Leave();
    return true;
}

// A reading on its own thread, handing its statements over to the caller's.
struct ReadingBeside {
    const std::string& fileName;
    bool strict;
    ReadWhat what;
    RegDocument* doc;
    std::string* error;
    HandOff handOff;
    bool read = false;

    static void Run(void* self) {
        ReadingBeside& r = *static_cast<ReadingBeside*>(self);
        r.handOff.filling.room.resize(2 * r.handOff.batchBytes);
        r.read = Read(r.fileName, r.strict, r.what, r.doc, r.error);
        r.handOff.End();
    }
};

// Read, with the reading on a second thread and the tree built on this one.
bool ReadWithTreeBeside(const std::string& fileName, bool strict, ReadWhat what, RegDocument* doc,
                        std::string* error, const RegReadBeside& beside) {
    ReadingBeside r{fileName, strict, what, doc, error, HandOff(), false};
    r.handOff.doc = doc;
    r.handOff.batchBytes = beside.batchBytes;
    r.what.handOff = &r.handOff;
    void* thread = beside.start(ReadingBeside::Run, &r);
    if (!thread) return Read(fileName, strict, what, doc, error);
    r.handOff.ApplyAll(*what.tree);
    beside.wait(thread);
    return r.read;
}

// The document owns its bytes.
void Own(std::string content, RegDocument* doc) {
    *doc = RegDocument();
    doc->owned = std::make_unique<std::string>(std::move(content));
    doc->bytes = *doc->owned;
}

}  // namespace

bool RegDocumentRead(std::string content, const std::string& fileName, bool strict,
                     RegDocument* doc, std::string* error) {
    Own(std::move(content), doc);
    return Read(fileName, strict, ReadWhat{nullptr, nullptr, true, false, nullptr, nullptr}, doc,
                error);
}

bool RegDocumentReadAndLoad(std::string content, const std::string& fileName, bool strict,
                            RegTree& tree, RegDocument* doc, std::string* error) {
    Own(std::move(content), doc);
    return Read(fileName, strict, ReadWhat{&tree, nullptr, true, false, nullptr, nullptr}, doc,
                error);
}

bool RegDocumentReadSections(std::string_view content, const std::string& fileName, bool strict,
                             bool keepEntries, RegKeySet* load, RegTree* tree, RegDocument* doc,
                             std::string* error, const RegValueWatch* watch,
                             const RegReadBeside* beside) {
    *doc = RegDocument();
    doc->bytes = content;
    ReadWhat what{load ? tree : nullptr, load, keepEntries, true, watch, nullptr};
    if (what.tree && beside && beside->start && content.size() >= beside->minBytes)
        return ReadWithTreeBeside(fileName, strict, what, doc, error, *beside);
    return Read(fileName, strict, what, doc, error);
}

void RegEntryLines(const RegDocument& doc, size_t entry, uint32_t* firstLine, uint32_t* lineCount) {
    StatementReader reader{doc, false};
    Statement st;
    ReadStatement(reader, doc.entries[entry].offset, &st);
    *firstLine = LineNumberAt(doc, doc.entries[entry].offset);
    *lineCount = st.lines;
}
