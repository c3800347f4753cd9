// TextStringList: a growable list of individually allocated TextStrings,
// filled by TextString::SplitInto.
//
//   TextStringList parts;                   // owns its elements
//   TextString("COM1,COM2").SplitInto(",", parts, -1, false);
//   parts.Size();                           // 2
//   parts.At(1)->CStr();                    // "COM2"
//
// `items` holds `capacity` pointers; slots from `count` up hold null. When
// the list must grow, the new capacity is growBy + count + 2: growth is
// linear. A position p addresses slot p - baseIndex.
//
// Misuse and exhausted memory are reported through ListError with a code:
//   6  Grow: the list must grow and growBy is 0 (it grows to count + 2)
//   7  At: the position lies outside the list (At gives null)
//   8  At: the slot holds no element (At gives null)
//   13 InsertNew: the position lies below baseIndex (nothing is inserted)
//   15 CheckAllocated: an allocation gave no memory
// No error stops the program; each operation goes on as its comment says.
#pragma once

#include <stdint.h>

#include "text/TextString.h"

class TextStringList {
public:
    bool ownsElements;  // Clear(ownsElements) by the splitter and the destructor frees them
    int32_t count;      // elements in use
    int32_t capacity;   // pointer slots in items
    int32_t growBy;     // extra slots beyond count + 2 at each growth
    int32_t baseIndex;  // position of the first element
    TextString** items;

    // An empty list with no array yet, owning its elements, base index 0.
    explicit TextStringList(int32_t growBy = 16);
    // Frees the elements when the list owns them, and the array.
    ~TextStringList();
    TextStringList(const TextStringList&) = delete;
    TextStringList& operator=(const TextStringList&) = delete;

    // The element at position, or null after reporting 7 (outside
    // baseIndex .. baseIndex + Size() - 1) or 8 (an empty slot).
    TextString* At(int32_t position) const;
    // The smaller of count and capacity (0 should either have been set
    // below 0 from outside).
    int32_t Size() const {
        int32_t size = count < capacity ? count : capacity;
        return size > 0 ? size : 0;
    }
    // Forgets every element, freeing them when destroyElements is set.
    // count becomes 0; the array is kept.
    void Clear(bool destroyElements);
    // Inserts a new empty string before the element at position and returns
    // it. A negative position, or one past the end, appends. A position below
    // baseIndex reports 13 and inserts nothing (null). When memory runs out
    // the list is left as it was, or holds a null element (15 either way).
    TextString* InsertNew(int32_t position);
    // count += n, enlarging items when count exceeds capacity. When the new
    // array cannot be allocated, 15 is reported and the list stays as it
    // was. n <= 0 changes nothing.
    void Grow(int32_t n);
};

// The list's error hook: every list error passes through it with its code.
// The library's own does nothing; a program may link its own in its place.
void ListError(uint32_t code);

// Reports 15 through ListError when pointer is null.
void CheckAllocated(const void* pointer);
