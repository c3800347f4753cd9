// The runtime functions on the device. CE's C library has one locale, the
// "C" one, so the case mapping is ASCII's, and COREDLL's wcstod always
// reads the full stop as the decimal point.
#include "platform/Runtime.h"

#include <stdlib.h>

int RuntimeToUpper(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

int RuntimeToLower(int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

double RuntimeWideToDouble(const WideChar* text, size_t* end) {
    // Characters outside ASCII end a number, as on every other platform:
    // they are passed on as a character that can never be part of one, so
    // wcstod's own idea of wide digits or spaces plays no part. Short texts
    // need no heap block.
    WideChar small[64];
    size_t length = WideLength(text);
    WideChar* copy = length < sizeof(small) / sizeof(small[0])
                         ? small
                         : static_cast<WideChar*>(malloc((length + 1) * sizeof(WideChar)));
    if (!copy) {
        if (end) *end = 0;
        return 0.0;
    }
    for (size_t i = 0; i < length; ++i) copy[i] = text[i] < 0x80 ? text[i] : WideChar(0x7f);
    copy[length] = 0;
    WideChar* stop = copy;
    double value = wcstod(copy, &stop);
    if (end) *end = size_t(stop - copy);
    if (copy != small) free(copy);
    return value;
}
