// TextStringArray: a fixed number of strings, each made with room for the
// same number of characters, that can also be handed out as a table of
// plain character pointers (for callers that need an array of texts).
//
//   TextStringArray names(3, 20);          // three empty strings
//   names.strings[0].Assign("COM1:");
//   const char** table = names.RefreshPointers();
#pragma once

#include <stdint.h>

#include "text/TextString.h"

struct TextStringArray {
    // Makes `count` strings, each with Reserve(size) and its tag set to size.
    // A negative count makes none; a negative size is taken as 0. Every
    // pointer entry starts as kEmptyText.
    TextStringArray(int32_t count, int32_t size);
    // Destroys the strings, the last first, then the pointer table.
    ~TextStringArray();
    TextStringArray(const TextStringArray&) = delete;
    TextStringArray& operator=(const TextStringArray&) = delete;

    // Entry i becomes the characters of string i (kEmptyText for a string
    // without a block). The table is valid until a string next grows.
    const char** RefreshPointers();
    // Every text empty; blocks kept.
    void Clear();
    // String i becomes a copy of the other's string i, for every i below the
    // smaller count; the strings beyond it keep their text.
    void Assign(const TextStringArray& other);

    TextString* strings;
    const char** pointers;
    int32_t count;
};
