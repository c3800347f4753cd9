// Registry files from arbitrary bytes: reading never crashes or reads past
// the input, strict reading fails exactly when lenient reading skips a
// line, reading and loading in one pass leaves the same document and
// registry as reading, then loading, a document loaded and repaired with
// nothing changed gives back the very same bytes, and a document repaired
// after every value was rewritten reads back to the rewritten registry.
#include <stdlib.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/RegFile.h"

namespace {

typedef std::map<std::u16string, std::pair<uint32_t, std::vector<uint8_t>>> Snapshot;

void Walk(MemKey& key, const std::u16string& path, Snapshot& out) {
    out[path] = {0xFFFFFFFFu, {}};  // the key itself, values or not
    for (const MemValue& v : key.values)
        out[path + u"|" + MemFoldName(v.Name())] = {v.type, v.Bytes()};
    for (auto& child : key.children) Walk(*child, path + u"\\" + MemFoldName(child->Name()), out);
}

Snapshot Take() {
    Snapshot s;
    Walk(MemRegTop(), u"", s);
    return s;
}

void Check(bool ok) {
    if (!ok) abort();
}

// Every value that is a string becomes "BTCEIF.DLL", as a repair would.
void RewriteStrings(MemKey& key) {
    static const uint8_t kNew[] = {'B', 0,   'T', 0,   'C', 0,   'E', 0,   'I', 0, 'F',
                                   0,   '.', 0,   'D', 0,   'L', 0,   'L', 0,   0, 0};
    std::vector<std::u16string> names;  // setting values moves them: names first
    for (const MemValue& v : key.values)
        if (v.type == 1) names.push_back(v.Name());
    for (const auto& name : names)
        MemKeySetValue(key, name.data(), name.size(), 1, kNew, sizeof kNew);
    for (auto& child : key.children) RewriteStrings(*child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    std::string error, repaired;
    RegDocument doc, strictDoc;
    bool read = RegDocumentRead(content, "fuzz.reg", false, &doc, &error);
    bool strict = RegDocumentRead(content, "fuzz.reg", true, &strictDoc, &error);
    Check(strict == (read && doc.skipped.empty()));
    if (!read) {
        Check(!error.empty());
        return 0;
    }
    MemRegClear();
    RegDocumentLoad(doc);
    Snapshot loaded = Take();
    RegDocument once;
    MemRegClear();
    Check(RegDocumentReadAndLoad(content, "fuzz.reg", false, &once, &error));
    Check(Take() == loaded && once.entries.size() == doc.entries.size() &&
          once.skipped.size() == doc.skipped.size());
    Check(RegDocumentRepaired(doc, &repaired, &error));
    Check(repaired == content);

    RewriteStrings(MemRegTop());
    Snapshot rewritten = Take();
    if (!RegDocumentRepaired(doc, &repaired, &error)) return 0;
    RegDocument again;
    Check(RegDocumentRead(repaired, "fuzz.reg", false, &again, &error));
    MemRegClear();
    RegDocumentLoad(again);
    Check(Take() == rewritten);
    return 0;
}
