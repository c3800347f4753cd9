// TextStringArray: a fixed array of strings with a parallel pointer table.
#include "text/TextStringArray.h"

#include <new>

#include "text/TextBlock.h"

TextStringArray::TextStringArray(int32_t count, int32_t size)
    : strings(nullptr), pointers(nullptr), count(count < 0 ? 0 : count) {
    if (size < 0) size = 0;
    if (this->count == 0) return;
    strings = new (std::nothrow) TextString[size_t(this->count)];
    if (!strings) TextFatal("out of memory");
    for (int32_t i = 0; i < this->count; ++i) {
        strings[i].Reserve(size);
        strings[i].TagRef() = size;
    }
    pointers = new (std::nothrow) const char*[size_t(this->count)];
    if (!pointers) TextFatal("out of memory");
    for (int32_t i = 0; i < this->count; ++i) pointers[i] = kEmptyText;
}

TextStringArray::~TextStringArray() {
    delete[] strings;  // the elements are destroyed last first
    delete[] pointers;
}

const char** TextStringArray::RefreshPointers() {
    for (int32_t i = 0; i < count; ++i)
        pointers[i] = strings[i].HasBlock() ? strings[i].PtrAt(0) : kEmptyText;
    return pointers;
}

void TextStringArray::Clear() {
    for (int32_t i = 0; i < count; ++i) {
        strings[i].Reserve(1);
        *strings[i].PtrAt(0) = 0;
    }
}

void TextStringArray::Assign(const TextStringArray& other) {
    int32_t n = count < other.count ? count : other.count;
    for (int32_t i = 0; i < n; ++i) strings[i].Assign(other.strings[i]);
}
