// The few C runtime functions that differ between platforms, each in one place.
#pragma once

#include <stddef.h>

#include "platform/WideChar.h"

// _memicmp: compares n bytes ignoring the case of ASCII letters. Returns 0
// when equal, otherwise the difference of the first differing bytes after
// lower-casing them (as the Windows runtime does). Bytes above 127 compare
// as they are, whatever the process locale.
int RuntimeMemICmp(const void* a, const void* b, size_t n);

// toupper / tolower of one byte, in the "C" locale: only 'a'..'z' and
// 'A'..'Z' change; bytes 128 to 255 come back unchanged on every platform.
int RuntimeToUpper(int byteValue);
int RuntimeToLower(int byteValue);

// wcstod on 16-bit text, always with the full stop as decimal point whatever
// the process locale. *end (when given) receives the number of characters read.
double RuntimeWideToDouble(const WideChar* text, size_t* end);
