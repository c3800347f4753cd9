#include "platform/Runtime.h"

#include <locale.h>
#include <stdlib.h>

#include <string>

int RuntimeToUpper(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

int RuntimeToLower(int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

double RuntimeWideToDouble(const WideChar* text, size_t* end) {
    // strtod_l in the "C" locale reads exactly what wcstod reads, with the
    // full stop as decimal point. Characters outside ASCII end a number, so
    // they are passed on as a byte that can never be part of one.
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    std::string narrow;
    for (const WideChar* p = text; p && *p; ++p) narrow.push_back(*p < 0x80 ? char(*p) : '\x7f');
    char* stop = nullptr;
    double value = strtod_l(narrow.c_str(), &stop, cLocale);
    if (end) *end = size_t(stop - narrow.c_str());
    return value;
}
