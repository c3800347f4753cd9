// The growable list of strings: element access, insertion, linear growth and
// clearing, with every fault reported through ListError.
#include "text/TextStringList.h"

#include <stddef.h>

#include <new>

namespace {

// The most slots an array may have: the count stays a signed 32-bit value
// and the array's size in bytes stays representable.
const int64_t kMaxSlots = SIZE_MAX / sizeof(TextString*) > size_t(INT32_MAX)
                              ? int64_t(INT32_MAX)
                              : int64_t(SIZE_MAX / sizeof(TextString*));

}  // namespace

void CheckAllocated(const void* pointer) {
    if (!pointer) ListError(15);
}

TextStringList::TextStringList(int32_t grow)
    : ownsElements(true), count(0), capacity(0), growBy(grow), baseIndex(0), items(nullptr) {}

TextStringList::~TextStringList() {
    Clear(ownsElements);
    ::operator delete(items);
}

TextString* TextStringList::At(int32_t position) const {
    int64_t slot = int64_t(position) - baseIndex;
    if (slot < 0 || slot >= Size()) {
        ListError(7);
        return nullptr;
    }
    TextString* element = items[slot];
    if (!element) ListError(8);
    return element;
}

void TextStringList::Clear(bool destroyElements) {
    for (int32_t slot = 0; slot < Size(); ++slot) {
        if (items[slot] && destroyElements) delete items[slot];
        items[slot] = nullptr;
    }
    count = 0;
}

void TextStringList::Grow(int32_t n) {
    if (n <= 0) return;
    int32_t oldCount = count;
    int64_t newCount = int64_t(count) + n;
    if (newCount <= capacity) {
        count = int32_t(newCount);
        return;
    }
    if (growBy == 0) ListError(6);
    // A negative growBy adds nothing: the array always has room for count.
    int64_t newCapacity = (growBy > 0 ? growBy : 0) + newCount + 2;
    if (newCapacity > kMaxSlots) {
        if (newCount + 2 > kMaxSlots) {
            ListError(15);
            return;
        }
        newCapacity = kMaxSlots;
    }
    TextString** fresh = static_cast<TextString**>(
        ::operator new(size_t(newCapacity) * sizeof(TextString*), std::nothrow));
    CheckAllocated(fresh);
    if (!fresh) return;  // the old array and count stay as they were
    for (int64_t slot = 0; slot < newCapacity; ++slot) fresh[slot] = nullptr;
    int32_t kept = oldCount < capacity ? oldCount : capacity;
    for (int32_t slot = 0; slot < kept; ++slot) fresh[slot] = items[slot];
    ::operator delete(items);
    items = fresh;
    capacity = int32_t(newCapacity);
    count = int32_t(newCount);
}

TextString* TextStringList::InsertNew(int32_t position) {
    int32_t oldCount = Size();
    int64_t target = oldCount;
    if (position >= 0) {
        target = int64_t(position) - baseIndex;
        if (target < 0) {
            ListError(13);
            return nullptr;
        }
        if (target > oldCount) target = oldCount;
    }
    Grow(1);
    if (Size() != oldCount + 1) return nullptr;  // no room could be made
    for (int64_t slot = oldCount; slot > target; --slot) items[slot] = items[slot - 1];
    TextString* element = new (std::nothrow) TextString();
    CheckAllocated(element);
    items[target] = element;
    return element;
}
