// The splitting rules as a second, independent reading: first cut the text at
// every separator, then decide which fields become pieces, then merge what
// lies past the maximum into the last piece. Shared by the unit suite and the
// fuzz target.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

inline std::vector<std::string> SplitModel(const std::string& text, const std::string& separators,
                                           int32_t maximum, bool keepEmpty) {
    // 1. Every separator cuts, except one at index 0 when empty pieces are
    //    skipped. Each field remembers the index of the separator ending it
    //    (the text's length for the last field, which no separator ends).
    struct Field {
        std::string text;
        size_t end;
    };
    std::vector<Field> fields(1, Field{"", text.size()});
    for (size_t i = 0; i < text.size(); ++i) {
        bool cuts = separators.find(text[i]) != std::string::npos && (i > 0 || keepEmpty);
        if (cuts) {
            fields.back().end = i;
            fields.push_back(Field{"", text.size()});
        } else {
            fields.back().text += text[i];
        }
    }
    // 2. A field ended by a separator is a piece when it is not empty or empty
    //    pieces are kept; the last field only when it is not empty.
    // 3. Once the maximum is reached, the last piece takes the separator that
    //    ended it and the whole rest of the text, when any rest is left.
    std::vector<std::string> pieces;
    for (const Field& f : fields) {
        bool last = f.end == text.size();
        if (f.text.empty() && (last || !keepEmpty)) continue;
        if (maximum >= 0 && int32_t(pieces.size()) >= maximum) break;
        pieces.push_back(f.text);
        if (maximum >= 0 && int32_t(pieces.size()) == maximum && !last && f.end + 1 < text.size())
            pieces.back() += text.substr(f.end);
    }
    return pieces;
}
