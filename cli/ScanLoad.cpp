#include "cli/ScanLoad.h"

#include <string.h>

#include "unicode/TextCoding.h"

namespace {

const char16_t kMachine[] = u"HKEY_LOCAL_MACHINE";

// The values ScanSerialDrivers reads: "Name", "PnpId" and "Key" of a
// loaded driver, "Dll" of a driver key (the one a repair writes). The
// others of the same keys are read as every line is, but not kept.
const char16_t* const kScanValues[] = {u"Name", u"PnpId", u"Key", u"Dll"};

// The driver key a loaded driver's "Key" value names, as the scan opens it:
// below HKEY_LOCAL_MACHINE, the value's text (bytes[0..size)) up to its
// first zero, without trailing backslashes; *length is that text's
// characters, 0 when the scan opens no key for it. The scan takes the text
// through the system's 8-bit code page, which may turn a character outside
// ASCII into another (or '?'): the result tells whether one is there.
bool DriverKeyOutsideAscii(const uint8_t* bytes, size_t size, size_t* length) {
    size_t n = 0;
    uint64_t any = 0;  // every character's bits
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Four characters at a time up to the four that hold a zero.
    const uint64_t ones = 0x0001000100010001ull, highs = 0x8000800080008000ull;
    for (uint64_t x; 2 * n + 8 <= size; n += 4) {
        memcpy(&x, bytes + 2 * n, 8);
        if ((x - ones) & ~x & highs) break;
        any |= x;
    }
#endif
    for (char16_t c; 2 * n + 1 < size && (c = Utf16LeAt(bytes + 2 * n)) != 0; ++n) any |= c;
    while (n > 0 && Utf16LeAt(bytes + 2 * (n - 1)) == u'\\') --n;
    *length = n;
    return (any & 0xFF80FF80FF80FF80ull) != 0;
}

// Adds the driver keys the loaded drivers name; for a text outside ASCII
// every key is wanted.
void AddDriverKeys(const RegTree& tree, RegKeySet& wanted) {
    const TreeKey* active = RegTreeFindKey(tree, ScanActivePath());
    const RegKeyPrefix machine = RegKeyPrefixOf(kMachine);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; active && i < TreeKeyChildCount(*active); ++i) {
        const TreeValue* key = TreeKeyFindValue(*TreeKeyChildAt(*active, i), u"Key", 3);
        if (!key) continue;
        bytes = TreeValueBytes(*key);
        size_t length = 0;
        wanted.all = wanted.all || DriverKeyOutsideAscii(bytes.data(), bytes.size(), &length);
        if (length) RegKeySetAddUncoveredBelow(wanted, machine, bytes.data(), length);
    }
}

// The hash of Drivers\Active's path, as its sub-keys' sections keep it.
uint32_t ActiveHash() {
    uint32_t key, parent;
    RegKeyHashes(ScanActivePath(), &key, &parent);
    return key;
}

// What NoteDriverKey keeps from one driver to the next: what tells whether
// the driver keys it noted are those named at the end.
struct Room {
    uint32_t active = ActiveHash();
    RegKeyPrefix machine = RegKeyPrefixOf(kMachine);
    size_t keyValues = 0;   // "Key" values set in loaded drivers
    bool nonAscii = false;  // one named its key outside ASCII
};

// While reading: each "Key" value set in a loaded driver's key adds the driver
// key it names, so a driver key that comes after its driver in the file is
// loaded in the same reading. A driver is told by its parent's hash: a key
// elsewhere of the same hash, rare as it is, is only counted and noted in
// excess, which NotedAsNamedAtTheEnd and ScanLoadRegistry's check of the
// sections loaded then find.
void NoteDriverKey(void* context, const RegSection& section, const std::u16string&,
                   const std::vector<uint8_t>& bytes, RegKeySet& load) {
    Room& room = *static_cast<Room*>(context);
    if (section.parent != room.active) return;
    ++room.keyValues;
    size_t length = 0;
    bool nonAscii = DriverKeyOutsideAscii(bytes.data(), bytes.size(), &length);
    room.nonAscii = room.nonAscii || nonAscii;
    if (length && !nonAscii) RegKeySetAddUncoveredBelow(load, room.machine, bytes.data(), length);
}

// NoteDriverKey for a "Key" value the reading told as a plain text, its
// key hashed below HKEY_LOCAL_MACHINE from the file's bytes.
void NoteNamedDriverKey(void* context, const RegSection& section, const RegNamedKey& named,
                        RegKeySet& load) {
    Room& room = *static_cast<Room*>(context);
    if (section.parent != room.active) return;
    ++room.keyValues;
    if (named.named) RegKeySetAddUncoveredHashes(load, named.key, named.parent);
}

// Whether the driver keys noted while reading are those the loaded drivers
// name at the end: so when each driver's "Key" value was set once and
// stayed (none replaced, none deleted, alone or with its key), all in
// ASCII. Every "Key" value a driver holds at the end was noted when set.
bool NotedAsNamedAtTheEnd(const RegTree& tree, const Room& room) {
    if (room.nonAscii) return false;
    const TreeKey* active = RegTreeFindKey(tree, ScanActivePath());
    size_t held = 0;
    for (size_t i = 0; active && i < TreeKeyChildCount(*active); ++i)
        held += TreeKeyFindValue(*TreeKeyChildAt(*active, i), u"Key", 3) != nullptr;
    return held == room.keyValues;
}

// NotedAsNamedAtTheEnd told on a second thread (for a large file, read
// beside) while the calling thread sorts the loaded drivers for the scan,
// which enumerates them next: two walks over every driver, side by side.
// Neither changes what the other reads: the sort keeps its order in
// Drivers\Active's own record, the check reads the drivers' values.
struct NotedCheck {
    const RegTree* tree;
    const Room* room;
    bool noted;
};

void CheckNoted(void* check) {
    NotedCheck& c = *static_cast<NotedCheck*>(check);
    c.noted = NotedAsNamedAtTheEnd(*c.tree, *c.room);
}

bool NotedWhileSorting(RegTree& tree, const Room& room, size_t bytes, const RegReadBeside* beside) {
    TreeKey* active = RegTreeFindKey(tree, ScanActivePath());
    NotedCheck check{&tree, &room, false};
    void* thread = nullptr;
    if (active && beside && beside->start && bytes >= beside->minBytes)
        thread = beside->start(CheckNoted, &check);
    if (!thread) return NotedAsNamedAtTheEnd(tree, room);
    TreeKeySortedChildren(*active);
    beside->wait(thread);
    return check.noted;
}

}  // namespace

bool ScanLoadRegistry(std::string_view content, const std::string& fileName, bool strict,
                      bool keepEntries, RegTree& tree, RegDocument* doc, std::string* error,
                      const RegReadBeside* beside) {
    RegKeySet wanted;
    wanted.values.assign(std::begin(kScanValues), std::end(kScanValues));
    RegKeySetAddSubKeys(wanted, ScanActivePath());
    RegKeySetAddSubKeys(wanted, std::u16string(kMachine) + u"\\Drivers\\BuiltIn");
    // The loaded drivers, the built-in ports, and the driver keys whose
    // sections come after the drivers that name them, are loaded while
    // reading.
    RegKeySet reading = wanted;
    Room room;
    RegValueWatch keyValues{NoteDriverKey, &room, u"Key", NoteNamedDriverKey, room.machine};
    if (!RegDocumentReadSections(content, fileName, strict, keepEntries, &reading, &tree, doc,
                                 error, &keyValues, beside))
        return false;
    // The driver keys the drivers name once the whole file is read. The
    // reading loaded the right keys when it loaded exactly the sections
    // of these.
    const bool noted = NotedWhileSorting(tree, room, content.size(), beside);
    RegKeySet drivers = noted ? std::move(reading) : wanted;
    if (!noted) AddDriverKeys(tree, drivers);
    bool extra = false, missed = false;
    for (const RegSection& s : doc->sections) {
        // The reading's own set only grew: what it loaded it still covers.
        if (s.kind != kRegSectionKey || (noted && s.loaded)) continue;
        bool want = RegKeySetCoversSection(drivers, s);
        extra = extra || (s.loaded && !want);
        missed = missed || (!s.loaded && want);
    }
    if (!extra && !missed) return true;
    // Driver keys named only after their sections were read are loaded
    // next, on top, where no key is half loaded and the file deletes no
    // key (a deletion applies to both in file order). Else all are loaded
    // again from the start.
    if (!extra && !doc->deletesKeys) {
        RegKeySet loaded, notLoaded;
        for (const RegSection& s : doc->sections) {
            if (s.kind != kRegSectionKey) continue;
            if (s.loaded) RegKeySetAddSection(loaded, s);
            if (!s.loaded && RegKeySetCoversSection(drivers, s)) RegKeySetAddSection(notLoaded, s);
        }
        bool half = false;
        for (const RegSection& s : doc->sections)
            half = half || (s.kind == kRegSectionKey && RegKeySetHasSection(loaded, s) &&
                            RegKeySetHasSection(notLoaded, s));
        if (!half) {
            RegDocumentLoadSome(*doc, drivers, &loaded, tree);
            return true;
        }
    }
    RegTreeClear(tree);
    RegDocumentLoadSome(*doc, drivers, nullptr, tree);
    return true;
}

std::u16string ScanActivePath() { return std::u16string(kMachine) + u"\\Drivers\\Active"; }

bool ScanLoadsValue(const std::u16string& name) {
    static const RegKeySet scan = [] {
        RegKeySet set;
        set.values.assign(std::begin(kScanValues), std::end(kScanValues));
        return set;
    }();
    return RegKeySetHasValue(scan, name.data(), name.size());
}
