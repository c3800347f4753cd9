// Reads a registry file as portmedic-scan does and prints every key and
// value below one key, one line each, sorted: "path" for a key,
// "path|name|type|hex bytes" for a value. Used to compare our reading of a
// file with what Wine's regedit imported from it.
//
//   regdump FILE KEY     (KEY a full path, e.g. HKEY_CURRENT_USER\PmDiff)
#include <stdio.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "cli/FileReplace.h"
#include "regfile/RegDocument.h"
#include "regfile/TextCoding.h"

namespace {

std::string Utf8(const std::u16string& s) {
    std::string out;
    Utf16ToUtf8(s.data(), s.size(), &out);
    return out;
}

void Walk(const TreeKey& key, const std::string& path, std::vector<std::string>* lines) {
    lines->push_back(path);
    for (const TreeValue* v : TreeKeyValues(key)) {
        std::string line =
            path + "|" + Utf8(TreeValueName(*v)) + "|" + std::to_string(TreeValueType(*v)) + "|";
        char b[4];
        for (uint8_t byte : TreeValueBytes(*v)) {
            snprintf(b, sizeof b, "%02x", byte);
            line += b;
        }
        lines->push_back(line);
    }
    for (size_t i = 0; i < TreeKeyChildCount(key); ++i) {
        const TreeKey& child = *TreeKeyChildAt(key, i);
        Walk(child, path + "\\" + Utf8(TreeKeyName(child)), lines);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: regdump FILE KEY\n");
        return 2;
    }
    RegDocument doc;
    std::string content, error;
    FileId id;
    if (!FileReadAll(argv[1], kRegFileMaxBytes, &content, &id, &error) ||
        !RegDocumentRead(std::move(content), argv[1], false, &doc, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 0;  // nothing read: nothing to list
    }
    RegTree tree;
    RegDocumentLoad(doc, tree);
    std::string root = argv[2];
    TreeKey* key = RegTreeFindKey(tree, std::u16string(root.begin(), root.end()));
    std::vector<std::string> lines;
    if (key) Walk(*key, root, &lines);
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) printf("%s\n", line.c_str());
    return 0;
}
