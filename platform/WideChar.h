// 16-bit wide characters on every platform.
//
// The registry, the window and the number parser speak 16-bit text. On Windows
// that is wchar_t; elsewhere wchar_t is 32 bits wide, so the portable build
// uses char16_t instead. WIDE("...") makes a literal of the right kind.
#pragma once

#include <stddef.h>

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
