// The block behind a TextString: its header, its allocation, the largest text
// it may hold, and the checks every operation of the library shares. Private
// to text/: nothing outside the library includes it.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The header in front of the characters. The three bytes after the decimals
// keep the two 32-bit fields aligned; they hold where the text is known to
// end (see KnownEnd below). The header ends exactly where the characters
// begin.
struct TextHeader {
    int8_t decimals;
    uint8_t end[3];
    int32_t capacity;
    int32_t tag;
};
static_assert(sizeof(TextHeader) == 12, "header is 12 bytes");

// The longest text any operation of the library produces. A block's capacity
// stays below INT32_MAX with room for the header and slack, so every sum of
// a length with a small constant stays a valid 32-bit value.
const int64_t kMaxTextLength = INT32_MAX - 128;

// Ends the process with a message on stderr. Running out of memory, or a
// text that would pass kMaxTextLength, ends here: no caller ever goes on with
// a null block or a wrapped size.
[[noreturn]] void TextFatal(const char* what);

// ::operator new(size), or TextFatal("out of memory").
void* TextAllocate(size_t size);

// A size for Reserve: n itself when it is at most kMaxTextLength, else
// kMaxTextLength + 1, which Reserve refuses through TextFatal instead of
// wrapping around to a negative size that reserves nothing. Negative stays
// negative.
inline int32_t ClampSize(int64_t n) {
    return n > kMaxTextLength ? int32_t(kMaxTextLength + 1) : int32_t(n);
}

inline TextHeader* HeaderOf(char* chars) {
    return reinterpret_cast<TextHeader*>(chars - sizeof(TextHeader));
}
inline const TextHeader* HeaderOf(const char* chars) {
    return reinterpret_cast<const TextHeader*>(chars - sizeof(TextHeader));
}

// True when p points into the character area of the block at chars (null
// chars: false). An argument that does must be found again, or copied out,
// before the block is grown or rewritten.
inline bool InsideBlock(const char* chars, const void* p) {
    if (!chars || !p) return false;
    uintptr_t at = reinterpret_cast<uintptr_t>(p), begin = reinterpret_cast<uintptr_t>(chars);
    return at >= begin && at - begin < uintptr_t(HeaderOf(chars)->capacity) + 2;
}

// Where the text is known to end. Appends keep it, so a run of appends finds
// the end without measuring the text; every other operation that writes the
// characters forgets it. kUnknownEnd (also used for texts of 16 MiB and more,
// which do not fit the three bytes) means "measure".
const int32_t kUnknownEnd = 0xFFFFFF;

inline int32_t KnownEnd(const char* chars) {
    const uint8_t* e = HeaderOf(chars)->end;
    return int32_t(e[0]) | int32_t(e[1]) << 8 | int32_t(e[2]) << 16;
}
inline void SetKnownEnd(char* chars, int64_t length) {
    if (!chars) return;
    uint32_t v = length >= 0 && length < kUnknownEnd ? uint32_t(length) : uint32_t(kUnknownEnd);
    uint8_t* e = HeaderOf(chars)->end;
    e[0] = uint8_t(v);
    e[1] = uint8_t(v >> 8);
    e[2] = uint8_t(v >> 16);
}
inline void ForgetEnd(char* chars) { SetKnownEnd(chars, kUnknownEnd); }

// Writes the decimal text of value (a leading '-' when negative) and a
// terminator into out, which has room for 21 characters; returns the length.
int32_t DecimalText(int64_t value, char* out);
