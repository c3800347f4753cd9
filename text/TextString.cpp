// The string core: the block and its header, growth, construction,
// assignment, appending, comparison and case conversion.
#include "text/TextString.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "platform/CodePage.h"
#include "platform/Runtime.h"

const char kEmptyText[1] = {0};
char g_formatBuffer[kFormatBufferSize];

namespace {

// The header in front of the characters. Three bytes of padding after the
// decimals keep the two 32-bit fields aligned; the header ends exactly where
// the characters begin.
struct Header {
    int8_t decimals;
    int8_t pad[3];
    int32_t capacity;
    int32_t tag;
};
static_assert(sizeof(Header) == 12, "header is 12 bytes");

// Largest capacity a block may have: the character area (capacity + 2) and
// the header must stay representable as a 32-bit size.
const int64_t kMaxCapacity = INT32_MAX - 64;

Header* HeaderOf(char* chars) { return reinterpret_cast<Header*>(chars - sizeof(Header)); }

// A block for `area` bytes of characters. Memory exhaustion ends the process
// here, so no caller ever writes through a null block.
char* NewBlock(int64_t area) {
    void* block = ::operator new(size_t(sizeof(Header) + area), std::nothrow);
    if (!block) {
        fputs("TextString: out of memory\n", stderr);
        abort();
    }
    return static_cast<char*>(block) + sizeof(Header);
}

void FreeBlock(char* chars) {
    if (chars) ::operator delete(chars - sizeof(Header));
}

// A capacity the block cannot have ends the process the same way.
void CheckCapacity(int64_t capacity) {
    if (capacity > kMaxCapacity) {
        fputs("TextString: text too long\n", stderr);
        abort();
    }
}

}  // namespace

TextString::TextString(const char* text) : chars_(nullptr) {
    if (!text) text = kEmptyText;
    int32_t n = int32_t(strlen(text));
    Reserve(n);
    memcpy(chars_, text, size_t(n) + 1);
}

TextString::TextString(const TextString& other) : chars_(nullptr) {
    if (!other.chars_) return;
    int32_t n = other.Length();
    Reserve(n);
    memcpy(chars_, other.chars_, size_t(n) + 1);
}

void TextString::Destroy() {
    FreeBlock(chars_);
    chars_ = nullptr;
}

void TextString::Reserve(int32_t n) {
    if (n < 0) return;
    if (!chars_) {
        CheckCapacity(int64_t(n) + 13);
        chars_ = NewBlock(int64_t(n) + 15);
        Header* h = HeaderOf(chars_);
        h->decimals = 1;
        h->pad[0] = h->pad[1] = h->pad[2] = 0;
        h->capacity = n + 13;
        h->tag = -1;
        chars_[0] = 0;
        return;
    }
    Header* old = HeaderOf(chars_);
    if (int64_t(n) + 2 <= old->capacity) return;
    int64_t capacity = int64_t(double(int64_t(n) + 2) * 1.3 + 11.0);
    CheckCapacity(capacity);
    char* fresh = NewBlock(capacity + 2);
    memcpy(fresh, chars_, size_t(old->capacity > 0 ? old->capacity : 0));
    Header* h = HeaderOf(fresh);
    h->decimals = old->decimals;
    h->pad[0] = h->pad[1] = h->pad[2] = 0;
    h->capacity = int32_t(capacity);
    h->tag = old->tag;
    FreeBlock(chars_);
    chars_ = fresh;
}

int32_t& TextString::CapacityRef() { return HeaderOf(chars_)->capacity; }
int32_t TextString::Capacity() const { return HeaderOf(chars_)->capacity; }
int32_t& TextString::TagRef() { return HeaderOf(chars_)->tag; }

int8_t& TextString::DecimalsRef() {
    static int8_t nullDecimals = 1;
    if (!chars_) {
        nullDecimals = 1;  // whatever a caller wrote through it, it reads as 1
        return nullDecimals;
    }
    return HeaderOf(chars_)->decimals;
}

void TextString::SetDecimals(int32_t d) {
    Reserve(1);
    HeaderOf(chars_)->decimals = int8_t(uint8_t(d & 0xFF));
}

int32_t TextString::IsCapacityNegative() const {
    return chars_ && HeaderOf(chars_)->capacity < 0 ? 1 : 0;
}

const char* TextString::CStr() const { return (chars_ && chars_[0]) ? chars_ : kEmptyText; }

int32_t TextString::Length() const { return chars_ ? int32_t(strlen(chars_)) : 0; }

char TextString::CharAt(int32_t index) const {
    if (!chars_ || index < 0) return 0;
    for (int32_t i = 0; i < index; ++i)
        if (!chars_[i]) return 0;
    return chars_[index];
}

char TextString::LastChar() const {
    int32_t n = Length();
    return n ? chars_[n - 1] : 0;
}

char* TextString::PtrAt(int32_t index) {
    if (index < 0) index = 0;
    Reserve(index + 2);
    return chars_ + index;
}

char* TextString::PtrToLast() {
    int32_t n = Length();
    if (n == 0) {
        Reserve(2);
        return chars_;
    }
    return chars_ + n - 1;
}

TextString& TextString::Assign(const char* text) {
    if (!text) {
        if (chars_) chars_[0] = 0;
        return *this;
    }
    // The text may lie inside this very block; it is never longer than the
    // current text then, so Reserve keeps the block and memmove copies safely.
    size_t n = strlen(text);
    Reserve(int32_t(n));
    memmove(chars_, text, n + 1);
    return *this;
}

TextString& TextString::Assign(const TextString& other) {
    if (&other == this) return *this;
    if (other.IsEmpty()) {
        if (chars_) chars_[0] = 0;
        return *this;
    }
    int32_t n = other.Length();
    Reserve(n);
    memcpy(chars_, other.chars_, size_t(n) + 1);
    return *this;
}

int32_t TextString::AssignWide(const WideChar* wide, int32_t count) {
    static const WideChar kNoWide[1] = {0};
    if (!wide) wide = kNoWide;
    if (count < 0) count = int32_t(WideLength(wide));
    Reserve(count + 30);
    int result = CodePageWideToAnsi(wide, -1, chars_, count + 20);
    // A failed conversion may have written part of the text unterminated.
    if (result == 0) chars_[0] = 0;
    return result;
}

int32_t TextString::Format(const char* format, ...) {
    if (!format) format = kEmptyText;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(g_formatBuffer, kFormatBufferSize, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        Reserve(0);
        chars_[0] = 0;
        return n;
    }
    if (n < kFormatBufferSize) {
        va_end(again);
        Reserve(n);
        memcpy(chars_, g_formatBuffer, size_t(n) + 1);
        return n;
    }
    // Too long for the shared buffer: format a second time into a separate
    // block of the exact size. This string's own block is not touched until
    // then, so arguments that point into it stay valid.
    TextString whole;
    whole.Reserve(n);
    vsnprintf(whole.chars_, size_t(n) + 1, format, again);
    va_end(again);
    Reserve(n);
    memcpy(chars_, whole.chars_, size_t(n) + 1);
    return n;
}

TextString& TextString::Append(const char* text) {
    if (!text) return *this;
    int32_t length = Length();
    size_t added = strlen(text);
    // Text inside this block (appending a string to itself, or a part of it)
    // must be found again after Reserve has moved the block.
    ptrdiff_t inside = -1;
    if (chars_ && text >= chars_ && text < chars_ + HeaderOf(chars_)->capacity + 2)
        inside = text - chars_;
    CheckCapacity(int64_t(length) + int64_t(added) + 2);
    Reserve(length + int32_t(added));
    if (inside >= 0) text = chars_ + inside;
    memmove(chars_ + length, text, added);
    chars_[length + added] = 0;
    return *this;
}

TextString& TextString::AppendTracked(int32_t& length, const char* text) {
    if (!text) return *this;
    bool known = chars_ && length >= 0 && length <= HeaderOf(chars_)->capacity &&
                 chars_[length] == 0 && (length == 0 || chars_[length - 1] != 0);
    if (!known) length = Length();
    if (chars_ && text >= chars_ && text < chars_ + HeaderOf(chars_)->capacity + 2) {
        Append(text);  // a part of itself: Append knows how to keep it
        length = Length();
        return *this;
    }
    size_t added = strlen(text);
    CheckCapacity(int64_t(length) + int64_t(added) + 2);
    Reserve(length + int32_t(added));
    memcpy(chars_ + length, text, added + 1);
    length += int32_t(added);
    return *this;
}

TextString& TextString::Append(const TextString& other) {
    if (!other.chars_) return *this;
    return Append(other.chars_);
}

TextString& TextString::Append(char c) {
    int32_t length = Length();
    if (!c) {
        Reserve(length + 1);
        return *this;
    }
    Reserve(length + 2);
    chars_[length] = c;
    chars_[length + 1] = 0;
    return *this;
}

TextString& TextString::AppendInt(int32_t value) {
    TextString digits;
    digits.Format("%d", int(value));
    Append(digits);
    return *this;
}

int32_t TextString::Compare(const char* text) const {
    if (!text) return IsEmpty() ? 0 : 1;
    if (IsEmpty()) return text[0] ? 1 : 0;
    return strcmp(chars_, text);
}

int32_t TextString::CompareN(const char* text, int32_t n) const {
    if (!text) return IsEmpty() ? 0 : 1;
    if (IsEmpty()) return 1;
    if (n <= 0) return 0;
    return strncmp(chars_, text, size_t(n));
}

int32_t TextString::CompareNoCase(const char* text) const {
    if (!text) return IsEmpty() ? 0 : 1;
    if (IsEmpty()) return text[0] ? 1 : 0;
    return TextCompareNoCase(chars_, text);
}

int32_t TextCompareNoCase(const char* a, const char* b) {
    size_t la = strlen(a), lb = strlen(b);
    if (la != lb) return -1;
    return RuntimeMemICmp(a, b, la);
}

// Bytes go to the case mapping as unsigned values (never negative), and the
// mapping is the "C" locale's on every platform: bytes 128 to 255 stay as
// they are. No mapping produces a zero byte, so the length is measured once.
void TextString::ToUpper() {
    int32_t n = Length();
    for (int32_t i = 0; i < n; ++i)
        chars_[i] = char(RuntimeToUpper(static_cast<unsigned char>(chars_[i])));
}

void TextString::ToLower(bool includeFirst) {
    int32_t n = Length();
    for (int32_t i = includeFirst ? 0 : 1; i < n; ++i)
        chars_[i] = char(RuntimeToLower(static_cast<unsigned char>(chars_[i])));
}
