// 16-bit wide characters on every platform.
//
// The registry, the window and the number parser speak 16-bit text. On Windows
// that is wchar_t; elsewhere wchar_t is 32 bits wide, so the portable build
// uses char16_t instead. WIDE("...") makes a literal of the right kind.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
typedef wchar_t WideChar;
#define WIDE(s) L##s
#else
typedef char16_t WideChar;
#define WIDE(s) u##s
#endif

static_assert(sizeof(WideChar) == 2, "wide characters must be 16 bits");

// Number of characters before the terminating zero (wcslen for 16-bit text).
// Four characters a step, each read only after the one before it is not
// the terminator.
inline size_t WideLength(const WideChar* text) {
    if (!text) return 0;
    for (size_t n = 0;; n += 4) {
        if (!text[n]) return n;
        if (!text[n + 1]) return n + 1;
        if (!text[n + 2]) return n + 2;
        if (!text[n + 3]) return n + 3;
    }
}

// Four 8-bit characters, the first in the lowest byte, as four 16-bit ones,
// the first lowest.
inline uint64_t SpreadFour(uint32_t four) {
    uint64_t w = four;                            // a b c d 0 0 0 0
    w = (w | w << 16) & 0x0000FFFF0000FFFFull;    // a b 0 0 c d 0 0
    return (w | w << 8) & 0x00FF00FF00FF00FFull;  // a 0 b 0 c 0 d 0
}

// Four 16-bit characters, the first lowest, with the small letters 'a' to
// 'z' made capitals (they lose their 0x20). Exact up to the first character
// outside ASCII: a sum carries out of its own character only from there,
// into those above it.
inline uint64_t FoldAsciiFour(uint64_t four) {
    const uint64_t ones = 0x0001000100010001ull, lows = 0x0080008000800080ull;
    return four ^ (((four + ones * (0x80 - 'a')) & ~(four + ones * (0x7F - 'z')) & lows) >> 2);
}
