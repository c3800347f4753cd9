// Formatting and the error stream on the device.
//
// COREDLL's _vsnprintf returns -1 when the text does not fit and never the
// length it needs; vsnprintf and snprintf here answer as C99 does
// (platform/wince/Format.cpp). A program on the device has no console: stderr
// is the debugger's output (platform/wince/DebugOutput.cpp).
#pragma once

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DebugOutputStream FILE;
extern FILE* const stderr;

#define EOF (-1)

int fputc(int c, FILE* stream);
int fputs(const char* text, FILE* stream);

// Declared for the text library's record functions, which the program never
// links: nothing on the device defines them, so a program calling them
// would fail to link rather than write into the debugger's output.
size_t fread(void* buffer, size_t size, size_t count, FILE* stream);
size_t fwrite(const void* buffer, size_t size, size_t count, FILE* stream);

// COREDLL.dll's: -1 when the text does not fit into size bytes.
int _vsnprintf(char* buffer, size_t size, const char* format, va_list args);

// C99: the length of the whole text, whatever size is; the buffer gets what
// fits, always terminated when size > 0. Negative on failure.
int vsnprintf(char* buffer, size_t size, const char* format, va_list args);
int snprintf(char* buffer, size_t size, const char* format, ...);

#ifdef __cplusplus
}
#endif
