// Reads a registry file as portmedic-scan does and prints every key and
// value below one key, one line each, sorted: "path" for a key,
// "path|name|type|hex bytes" for a value. Used to compare our reading of a
// file with what Wine's regedit imported from it.
//
//   regdump FILE KEY     (KEY a full path, e.g. HKEY_CURRENT_USER\PmDiff)
#include <stdio.h>

#include <string>
#include <utility>

#include "cli/FileRead.h"
#include "regfile/RegDocument.h"
#include "tests/support/RegSnapshot.h"

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
    if (!key) return 0;
    for (const auto& [path, data] : TakeRegSnapshot(*key, root))
        printf("%s\n", data.empty() ? path.c_str() : (path + "|" + data).c_str());
    return 0;
}
