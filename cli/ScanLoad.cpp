#include "cli/ScanLoad.h"

#include "unicode/TextCoding.h"

namespace {

const char16_t kMachine[] = u"HKEY_LOCAL_MACHINE";

// Adds the driver keys the loaded drivers name, as the scan opens them:
// below HKEY_LOCAL_MACHINE, the value's text up to its first zero, without
// trailing backslashes. The scan takes the text through the system's 8-bit
// code page, which may turn a character outside ASCII into another (or
// '?'): for such a text every key is wanted. True when a key was added that
// was not covered yet.
bool AddDriverKeys(const RegTree& tree, RegKeySet& wanted) {
    const TreeKey* active = RegTreeFindKey(tree, std::u16string(kMachine) + u"\\Drivers\\Active");
    bool added = false;
    for (size_t i = 0; active && i < TreeKeyChildCount(*active); ++i) {
        const TreeValue* key = TreeKeyFindValue(*TreeKeyChildAt(*active, i), u"Key", 3);
        if (!key) continue;
        std::vector<uint8_t> bytes = TreeValueBytes(*key);
        std::u16string text;
        for (size_t k = 0; k + 1 < bytes.size() && (bytes[k] || bytes[k + 1]); k += 2)
            text.push_back(Utf16LeAt(&bytes[k]));
        for (char16_t c : text)
            if (c >= 0x80 && !wanted.all) wanted.all = added = true;
        while (!text.empty() && text.back() == u'\\') text.pop_back();
        if (text.empty()) continue;  // the scan opens no key for it
        std::u16string path = std::u16string(kMachine) + u"\\" + text;
        if (RegKeySetCovers(wanted, path)) continue;
        RegKeySetAdd(wanted, path);
        added = true;
    }
    return added;
}

}  // namespace

bool ScanLoadRegistry(std::string_view content, const std::string& fileName, bool strict,
                      bool keepEntries, RegTree& tree, RegDocument* doc, std::string* error) {
    RegKeySet wanted;
    RegKeySetAddSubKeys(wanted, std::u16string(kMachine) + u"\\Drivers\\Active");
    RegKeySetAddSubKeys(wanted, std::u16string(kMachine) + u"\\Drivers\\BuiltIn");
    // The loaded drivers and the built-in ports are loaded while reading.
    if (!RegDocumentReadSections(content, fileName, strict, keepEntries, &wanted, &tree, doc,
                                 error))
        return false;
    RegKeySet drivers = wanted;
    if (!AddDriverKeys(tree, drivers)) return true;
    // The driver keys named are loaded next. Where the file deletes keys, a
    // deletion applies to both in file order: all are loaded again from
    // the start.
    if (!doc->deletesKeys) {
        RegDocumentLoadSome(*doc, drivers, &wanted, tree);
        return true;
    }
    RegTreeClear(tree);
    RegDocumentLoadSome(*doc, drivers, nullptr, tree);
    return true;
}
