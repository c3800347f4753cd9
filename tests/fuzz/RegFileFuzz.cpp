// Registry files from arbitrary bytes, in depth: reading and loading in one
// pass leaves the same document and registry as reading, then loading, a
// document loaded and repaired with nothing changed gives back the very same
// bytes, and a document repaired after every value was rewritten reads back
// to the rewritten registry, each string's lines changed only in its data. What reading alone must
// do (strict against lenient) is RegFileReadFuzz's, which runs many more inputs a second.
#include <stdlib.h>

#include <string>
#include <string_view>
#include <vector>

#include "regfile/RegDocument.h"
#include "tests/support/RegSnapshot.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

// Every value that is a string becomes "BTCEIF.DLL", as a repair would.
void RewriteStrings(TreeKey& key) {
    static const uint8_t kNew[] = {'B', 0,   'T', 0,   'C', 0,   'E', 0,   'I', 0, 'F',
                                   0,   '.', 0,   'D', 0,   'L', 0,   'L', 0,   0, 0};
    std::vector<std::u16string> names;  // setting values moves them: names first
    for (const TreeValue* v : TreeKeyValues(key))
        if (TreeValueType(*v) == 1) names.push_back(TreeValueName(*v));
    for (const auto& name : names)
        TreeKeySetValue(key, name.data(), name.size(), 1, kNew, sizeof kNew);
    for (size_t i = 0; i < TreeKeyChildCount(key); ++i) RewriteStrings(*TreeKeyChildAt(key, i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    std::string error, repaired;
    RegDocument doc;
    if (!RegDocumentRead(content, "fuzz.reg", false, &doc, &error)) return 0;
    RegTree tree, once;
    RegDocumentLoad(doc, tree);
    RegSnapshot loaded = TakeRegSnapshot(tree);
    RegDocument onceDoc;
    Check(RegDocumentReadAndLoad(content, "fuzz.reg", false, once, &onceDoc, &error));
    Check(TakeRegSnapshot(once) == loaded && onceDoc.entries.size() == doc.entries.size() &&
          onceDoc.skipped.size() == doc.skipped.size());
    Check(RegDocumentRepaired(doc, tree, &repaired, &error));
    Check(repaired == content);

    RewriteStrings(*tree.top);
    RegSnapshot rewritten = TakeRegSnapshot(tree);
    if (!RegDocumentRepaired(doc, tree, &repaired, &error)) return 0;
    // A string value spelled in a form that holds the new string keeps
    // every byte of its lines but those of its data.
    std::vector<RegEdit> edits;
    Check(RegDocumentEdits(doc, tree, &edits, &error));
    for (const RegEdit& e : edits) {
        uint32_t type;
        size_t from, to;
        if (!RegValueDataSpan(doc, e.from, &type, &from, &to) || type != 1) continue;
        std::string_view before = std::string_view(content).substr(e.from, from - e.from);
        std::string_view after = std::string_view(content).substr(to, e.to - to);
        Check(e.bytes.size() >= before.size() + after.size() &&
              e.bytes.compare(0, before.size(), before) == 0 &&
              e.bytes.compare(e.bytes.size() - after.size(), after.size(), after) == 0);
    }
    RegDocument again;
    Check(RegDocumentRead(repaired, "fuzz.reg", false, &again, &error));
    RegTree reloaded;
    RegDocumentLoad(again, reloaded);
    Check(TakeRegSnapshot(reloaded) == rewritten);
    return 0;
}
