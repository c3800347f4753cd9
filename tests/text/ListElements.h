// A list's texts as plain strings, for comparing whole lists in one
// expectation; a missing element reads "<null>".
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "text/TextString.h"
#include "text/TextStringList.h"

using Pieces = std::vector<std::string>;

inline Pieces Elements(const TextStringList& list) {
    Pieces pieces;
    for (int32_t p = 0; p < list.Size(); ++p) {
        const TextString* element = list.items[p];
        pieces.push_back(element ? element->CStr() : "<null>");
    }
    return pieces;
}
