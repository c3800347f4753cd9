// Registry files from arbitrary bytes: reading never crashes or reads past
// the input; whatever is read writes out, reads back to the same registry,
// and writes out again to the very same bytes.
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
    for (const MemValue& v : key.values) out[path + u"|" + MemFoldName(v.name)] = {v.type, v.bytes};
    for (auto& child : key.children) Walk(*child, path + u"\\" + MemFoldName(child->name), out);
}

Snapshot Take() {
    Snapshot s;
    Walk(MemRegTop(), u"", s);
    return s;
}

void Check(bool ok) {
    if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    std::string error, written, again;
    RegFileFormat format;

    MemRegClear();
    if (!RegFileRead(content, "fuzz.reg", &format, &error)) {
        Check(!error.empty());
        return 0;
    }
    Snapshot first = Take();
    if (!RegFileWrite(format, &written, &error)) return 0;

    MemRegClear();
    RegFileFormat reread;
    Check(RegFileRead(written, "written.reg", &reread, &error));
    Check(reread.version == format.version && reread.encoding == format.encoding);
    Check(Take() == first);
    Check(RegFileWrite(reread, &again, &error));
    Check(again == written);
    return 0;
}
