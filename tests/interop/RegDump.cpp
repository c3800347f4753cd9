// Reads a registry file as portmedic-scan does and prints every key and
// value below one key, one line each, sorted: "path" for a key,
// "path|name|type|hex bytes" for a value. Used to compare our reading of a
// file with what Wine's regedit imported from it.
//
//   regdump FILE KEY     (KEY a full path, e.g. HKEY_CURRENT_USER\PmDiff)
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/RegFile.h"

namespace {

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void Walk(MemKey& key, const std::string& path, std::vector<std::string>* lines) {
    lines->push_back(path);
    for (const MemValue& v : key.values) {
        std::string line = path + "|" + Utf8(v.Name()) + "|" + std::to_string(v.type) + "|";
        char b[4];
        for (uint8_t byte : v.Bytes()) {
            snprintf(b, sizeof b, "%02x", byte);
            line += b;
        }
        lines->push_back(line);
    }
    for (auto& child : key.children) Walk(*child, path + "\\" + Utf8(child->Name()), lines);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: regdump FILE KEY\n");
        return 2;
    }
    RegDocument doc;
    std::string error;
    if (!RegDocumentReadFile(argv[1], false, &doc, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 0;  // nothing read: nothing to list
    }
    MemRegClear();
    RegDocumentLoad(doc);
    std::string root = argv[2];
    MemKey* key = MemRegFind(std::u16string(root.begin(), root.end()));
    std::vector<std::string> lines;
    if (key) Walk(*key, root, &lines);
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) printf("%s\n", line.c_str());
    return 0;
}
