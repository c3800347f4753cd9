// The runtime functions over msvcrt.dll, made to answer exactly as the
// portable side does.
//
// msvcrt's case mapping follows the process locale, and its _memicmp reads
// bytes as signed chars (byte 233 compares below 'a'). So the case mapping
// asks msvcrt with an explicit "C" locale, bytes go in unsigned, and
// RuntimeMemICmp builds its difference from those mapped bytes itself.
// msvcrt's own strtod knows no hexadecimal numbers, "inf" or "nan"; the
// number reader is mingw-w64's C99 strtod (libmingwex), whose answers match
// glibc's, with the full stop as decimal point whatever the process locale.
#include "platform/Runtime.h"

#include <ctype.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

extern "C" double __cdecl __mingw_strtod(const char*, char**);

namespace {

_locale_t CLocale() {
    static _locale_t c = _create_locale(LC_ALL, "C");
    return c;
}

}  // namespace

int RuntimeToUpper(int c) {
    if (c < 0 || c > 255) return c;
    _locale_t locale = CLocale();
    if (!locale) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    int mapped = _toupper_l(c, locale);
    // The "C" locale changes ASCII letters only, whatever a runtime does.
    return (c < 128) ? mapped : c;
}

int RuntimeToLower(int c) {
    if (c < 0 || c > 255) return c;
    _locale_t locale = CLocale();
    if (!locale) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    int mapped = _tolower_l(c, locale);
    return (c < 128) ? mapped : c;
}

double RuntimeWideToDouble(const WideChar* text, size_t* end) {
    // Characters outside ASCII end a number; they are passed on as a byte
    // that can never be part of one. Short texts need no heap block.
    char small[64];
    size_t length = WideLength(text);
    char* narrow = length < sizeof(small) ? small : static_cast<char*>(malloc(length + 1));
    if (!narrow) {
        if (end) *end = 0;
        return 0.0;
    }
    // mingw's strtod reads the decimal point of the process locale. The text
    // always has a full stop: it becomes the locale's point, and the locale's
    // own point character (a comma, say) ends the number.
    const char* point = localeconv()->decimal_point;
    char localePoint = (point && point[0] && !point[1]) ? point[0] : '.';
    for (size_t i = 0; i < length; ++i) {
        WideChar c = text[i];
        char b = c < 0x80 ? char(c) : '\x7f';
        if (b == '.')
            b = localePoint;
        else if (b == localePoint)
            b = '\x7f';
        narrow[i] = b;
    }
    narrow[length] = 0;
    char* stop = narrow;
    double value = __mingw_strtod(narrow, &stop);
    if (end) *end = size_t(stop - narrow);
    if (narrow != small) free(narrow);
    return value;
}
