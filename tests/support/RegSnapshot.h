// A registry tree as a picture that compares and prints, the one rule for
// every test that compares registries: each key by its path, each value by
// "path|name", names in UTF-8 as the tree keeps them. A key maps to "", a
// value to "type|bytes in hex" (never empty), so the picture holds keys
// without values too.
#pragma once

#include <stdint.h>

#include <map>
#include <string>

#include "registry/RegTree.h"
#include "unicode/TextCoding.h"

typedef std::map<std::string, std::string> RegSnapshot;

inline std::string RegSnapshotUtf8(const std::u16string& text) {
    std::string out;
    Utf16ToUtf8(text.data(), text.size(), &out);
    return out;
}

// The key, named path, and everything below it.
inline void RegSnapshotAdd(const TreeKey& key, const std::string& path, RegSnapshot* out) {
    static const char kDigits[] = "0123456789abcdef";
    (*out)[path];
    for (const TreeValue* v : TreeKeyValues(key)) {
        std::string& data = (*out)[path + "|" + RegSnapshotUtf8(TreeValueName(*v))];
        data = std::to_string(TreeValueType(*v)) + "|";
        for (uint8_t b : TreeValueBytes(*v)) {
            data += kDigits[b >> 4];
            data += kDigits[b & 15];
        }
    }
    for (size_t i = 0; i < TreeKeyChildCount(key); ++i) {
        const TreeKey& child = *TreeKeyChildAt(key, i);
        RegSnapshotAdd(child, path + "\\" + RegSnapshotUtf8(TreeKeyName(child)), out);
    }
}

inline RegSnapshot TakeRegSnapshot(const TreeKey& key, const std::string& path) {
    RegSnapshot s;
    RegSnapshotAdd(key, path, &s);
    return s;
}

// The whole tree, paths starting with the root keys' names.
inline RegSnapshot TakeRegSnapshot(const RegTree& tree) {
    RegSnapshot s;
    for (size_t i = 0; i < TreeKeyChildCount(*tree.top); ++i) {
        const TreeKey& root = *TreeKeyChildAt(*tree.top, i);
        RegSnapshotAdd(root, RegSnapshotUtf8(TreeKeyName(root)), &s);
    }
    return s;
}
