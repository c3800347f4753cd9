// The string core: the block and its header, growth, construction,
// assignment, appending, comparison and case conversion.
#include "text/TextString.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "platform/CodePage.h"
#include "platform/Runtime.h"
#include "text/TextBlock.h"

const char kEmptyText[1] = {0};
char g_formatBuffer[kFormatBufferSize];

void TextFatal(const char* what) {
    fputs("TextString: ", stderr);
    fputs(what, stderr);
    fputc('\n', stderr);
    abort();
}

void* TextAllocate(size_t size) {
    void* block = ::operator new(size, std::nothrow);
    if (!block) TextFatal("out of memory");
    return block;
}

int32_t DecimalText(int64_t value, char* out) {
    char digits[20];
    int n = 0;
    uint64_t magnitude = value < 0 ? 0u - uint64_t(value) : uint64_t(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    int32_t length = 0;
    if (value < 0) out[length++] = '-';
    while (n) out[length++] = digits[--n];
    out[length] = 0;
    return length;
}

namespace {

// The largest capacity a block may have: the character area (capacity + 2)
// and the header stay representable as a 32-bit size.
const int64_t kMaxCapacity = INT32_MAX - 64;

// A block with `capacity`: its first `count` characters copied from `from`,
// all the others of its capacity + 2 zero. Fresh room is always zero, so no
// operation ever reads a byte nobody wrote, and the last bytes of the area
// (which no request may reach) stay zero: every text ends within its block.
char* NewBlock(int64_t capacity, int8_t decimals, int32_t tag, const char* from = nullptr,
               size_t count = 0) {
    char* block = static_cast<char*>(TextAllocate(size_t(sizeof(TextHeader) + capacity + 2)));
    char* chars = block + sizeof(TextHeader);
    TextHeader* h = HeaderOf(chars);
    h->decimals = decimals;
    h->capacity = int32_t(capacity);
    h->tag = tag;
    if (count) memcpy(chars, from, count);
    memset(chars + count, 0, size_t(capacity) + 2 - count);
    SetKnownEnd(chars, 0);
    return chars;
}

void FreeBlock(char* chars) {
    if (chars) ::operator delete(chars - sizeof(TextHeader));
}

}  // namespace

TextString::TextString(const char* text) : chars_(nullptr) {
    if (!text) text = kEmptyText;
    int32_t n = int32_t(strlen(text));
    Reserve(n);
    memcpy(chars_, text, size_t(n) + 1);
    SetKnownEnd(chars_, n);
}

TextString::TextString(const TextString& other) : chars_(nullptr) {
    if (!other.chars_) return;
    int32_t n = other.Length();
    Reserve(n);
    memcpy(chars_, other.chars_, size_t(n) + 1);
    SetKnownEnd(chars_, n);
}

void TextString::Destroy() {
    FreeBlock(chars_);
    chars_ = nullptr;
}

void TextString::Reserve(int32_t n) {
    if (n < 0) return;
    if (n > kMaxTextLength) TextFatal("text too long");
    if (!chars_) {
        chars_ = NewBlock(int64_t(n) + 13, 1, -1);
        return;
    }
    TextHeader* old = HeaderOf(chars_);
    if (int64_t(n) + 2 <= old->capacity) return;
    int64_t capacity = int64_t(double(int64_t(n) + 2) * 1.3 + 11.0);
    if (capacity > kMaxCapacity) capacity = kMaxCapacity;
    int64_t kept = old->capacity > 0 ? old->capacity : 0;
    char* fresh = NewBlock(capacity, old->decimals, old->tag, chars_,
                           size_t(kept < capacity ? kept : capacity));
    SetKnownEnd(fresh, KnownEnd(chars_));
    FreeBlock(chars_);
    chars_ = fresh;
}

void TextString::Truncate(int32_t length) {
    chars_[length] = 0;
    SetKnownEnd(chars_, length);
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

int32_t TextString::Length() const {
    if (!chars_) return 0;
    // The known end is trusted only where a terminator still stands.
    int32_t end = KnownEnd(chars_);
    if (end != kUnknownEnd && end <= HeaderOf(chars_)->capacity && chars_[end] == 0) return end;
    return int32_t(strlen(chars_));
}

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
    Reserve(ClampSize(int64_t(index) + 2));
    ForgetEnd(chars_);  // the caller may write anything through it
    return chars_ + index;
}

char* TextString::PtrToLast() {
    int32_t n = Length();
    if (n == 0) Reserve(2);
    ForgetEnd(chars_);
    return n == 0 ? chars_ : chars_ + n - 1;
}

TextString& TextString::Assign(const char* text) {
    if (!text) {
        if (chars_) Truncate(0);
        return *this;
    }
    size_t n = strlen(text);
    // Text inside this very block already fits in it: no Reserve, which
    // could move the block away under it.
    if (!InsideBlock(chars_, text)) Reserve(ClampSize(int64_t(n)));
    memmove(chars_, text, n + 1);
    SetKnownEnd(chars_, int64_t(n));
    return *this;
}

TextString& TextString::Assign(const TextString& other) {
    if (&other == this) return *this;
    if (other.IsEmpty()) {
        if (chars_) Truncate(0);
        return *this;
    }
    int32_t n = other.Length();
    Reserve(n);
    memcpy(chars_, other.chars_, size_t(n) + 1);
    SetKnownEnd(chars_, n);
    return *this;
}

int32_t TextString::AssignWide(const WideChar* wide, int32_t count) {
    static const WideChar kNoWide[1] = {0};
    if (!wide) wide = kNoWide;
    // ASCII, the common case, is the same bytes in every ANSI code page. A
    // whole text that the room already made holds (as the Reserve below
    // would leave it) is copied as it is measured, without the converter.
    // (Read and written through locals: a char written through the member
    // could be any object, the member itself included, so the compiler would
    // load both again for every character.)
    if (count < 0 && chars_) {
        char* out = chars_;
        int64_t last = int64_t(HeaderOf(out)->capacity) - 32;
        for (int64_t i = 0; i <= last; ++i) {
            WideChar c = wide[i];
            if (c >= 0x80) break;
            out[i] = char(c);
            if (!c) {
                SetKnownEnd(out, i);
                return int32_t(i + 1);
            }
        }
    }
    // The room: count characters, but never more than the whole text can
    // need (two bytes a character in any ANSI code page), so a huge count
    // neither overflows nor asks for memory the text will not use.
    int64_t measured = 0;
    unsigned used = 0;  // every bit any character sets
    while (wide[measured]) used |= unsigned(wide[measured++]);
    int64_t room = count < 0 ? measured : count < 2 * measured ? count : 2 * measured;
    Reserve(ClampSize(room + 30));
    // ASCII is copied without the converter, where the converter would
    // succeed.
    if (used < 0x80 && measured < room + 20) {
        for (int64_t i = 0; i <= measured; ++i) chars_[i] = char(wide[i]);
        SetKnownEnd(chars_, measured);
        return int32_t(measured + 1);
    }
    int result = CodePageWideToAnsi(wide, -1, chars_, int(room + 20));
    // A failed conversion may have written part of the text unterminated.
    if (result == 0) chars_[0] = 0;
    ForgetEnd(chars_);
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
        SetKnownEnd(chars_, 0);
        return n;
    }
    if (n < kFormatBufferSize) {
        va_end(again);
        Reserve(n);
        memcpy(chars_, g_formatBuffer, size_t(n) + 1);
        SetKnownEnd(chars_, n);
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
    SetKnownEnd(chars_, n);
    return n;
}

TextString& TextString::Append(const char* text) {
    if (!text) return *this;
    int32_t length = Length();  // the known end: no measuring in a run of appends
    size_t added = strlen(text);
    // Text inside this block (appending a string to itself, or a part of it)
    // must be found again after Reserve has moved the block.
    ptrdiff_t inside = InsideBlock(chars_, text) ? text - chars_ : -1;
    int64_t total = int64_t(length) + int64_t(added);
    Reserve(ClampSize(total));
    if (inside >= 0) text = chars_ + inside;
    memmove(chars_ + length, text, added);
    chars_[total] = 0;
    SetKnownEnd(chars_, total);
    return *this;
}

TextString& TextString::AppendTracked(int32_t& length, const char* text, int32_t count) {
    // A text whose end is known, with room for what comes (as Reserve counts
    // it), takes the text in one copy; anything else is Append's.
    if (chars_ && text && !InsideBlock(chars_, text)) {
        int32_t end = KnownEnd(chars_);
        size_t added = count < 0 ? strlen(text) : size_t(count);
        int32_t capacity = HeaderOf(chars_)->capacity;
        if (end != kUnknownEnd && int64_t(end) + int64_t(added) + 2 <= capacity &&
            chars_[end] == 0) {
            memcpy(chars_ + end, text, added + 1);
            length = end + int32_t(added);
            SetKnownEnd(chars_, length);
            return *this;
        }
    }
    Append(text);
    length = Length();
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
    SetKnownEnd(chars_, length + 1);
    return *this;
}

TextString& TextString::AppendInt(int32_t value) {
    // The same text as "%d", written without the formatter.
    char digits[24];
    DecimalText(value, digits);
    return Append(digits);
}

int32_t TextString::Compare(const char* text) const {
    if (!text) return IsEmpty() ? 0 : 1;
    if (IsEmpty()) return text[0] ? 1 : 0;
    return strcmp(chars_, text);
}

int32_t TextString::CompareN(const char* text, int32_t n) const {
    if (!text) return IsEmpty() ? 0 : 1;
    if (IsEmpty()) return 1;
    if (n == 0) return 0;
    // A negative count converted to an unsigned size is larger than any
    // text: the whole texts are compared, as strncmp would.
    if (n < 0) return strcmp(chars_, text);
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

const unsigned char* UpperTable() {
    static const struct Table {
        unsigned char upper[256];
        Table() {
            for (int i = 0; i < 256; ++i) upper[i] = static_cast<unsigned char>(RuntimeToUpper(i));
        }
    } table;
    return table.upper;
}

// Bytes go to the case mapping as unsigned values (never negative), and the
// mapping is the "C" locale's on every platform: bytes 128 to 255 stay as
// they are. No mapping produces a zero byte, so the length is measured once.
void TextString::ToUpper() {
    int32_t n = Length();
    const unsigned char* upper = UpperTable();
    char* c = chars_;  // a local, as in AssignWide
    for (int32_t i = 0; i < n; ++i) c[i] = char(upper[static_cast<unsigned char>(c[i])]);
}

void TextString::ToLower(bool includeFirst) {
    int32_t n = Length();
    for (int32_t i = includeFirst ? 0 : 1; i < n; ++i)
        chars_[i] = char(RuntimeToLower(static_cast<unsigned char>(chars_[i])));
}
