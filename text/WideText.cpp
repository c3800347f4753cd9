#include "text/WideText.h"

#include <string.h>

#include "platform/CodePage.h"
#include "text/TextBlock.h"

namespace {

// Room for capacity characters: the text's own room when that is enough.
WideChar* NewWide(WideText& text, int32_t capacity) {
    if (capacity <= WideText::kShortCapacity) return text.shortText;
    return static_cast<WideChar*>(TextAllocate(sizeof(WideChar) * size_t(capacity)));
}

}  // namespace

WideText::WideText(const char* text, int32_t count) {
    if (!text) text = "";
    // The capacity, count + 20, must stay a 32-bit count.
    size_t measured = strlen(text);
    if (measured > size_t(kMaxTextLength)) TextFatal("text too long");
    int32_t length = int32_t(measured);
    if (count < 0 || count > length) count = length;
    capacity = count + 20;
    buffer = NewWide(*this, capacity);
    // ASCII, the common case, widens to the same characters in every ANSI
    // code page: copied without the converter.
    int32_t ascii = 0;
    while (ascii < count && static_cast<unsigned char>(text[ascii]) < 0x80) {
        buffer[ascii] = WideChar(text[ascii]);
        ++ascii;
    }
    buffer[ascii] = 0;
    if (ascii == count) return;
    // count + 1 bytes: the characters and, when count is the length, the
    // terminator. A shorter count converts a prefix that gets terminated here.
    int written = CodePageAnsiToWide(text, count + 1, buffer, capacity);
    if (written <= 0)
        buffer[0] = 0;
    else
        buffer[written <= count ? written : count] = 0;
}

WideText::WideText(int32_t cap) {
    capacity = cap < 1 ? 1 : cap;
    buffer = NewWide(*this, capacity);
    buffer[0] = 0;
}

WideText::~WideText() {
    if (buffer != shortText) ::operator delete(buffer);
}

int32_t WideText::Length() const { return buffer ? int32_t(WideLength(buffer)) : 0; }

void WideText::Assign(const char* text) {
    WideText copy(text, -1);
    int32_t n = copy.Length();
    if (n > capacity - 1) n = capacity - 1;
    memcpy(buffer, copy.buffer, sizeof(WideChar) * size_t(n));
    buffer[n] = 0;
}
