// The heap and number reading of COREDLL.dll, and abort, which the device
// lacks (platform/wince/DebugOutput.cpp gives it).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* malloc(size_t size);
void free(void* block);
double wcstod(const wchar_t* text, wchar_t** end);

// Ends the process at once (exit code 3), running no exit list.
__attribute__((noreturn)) void abort(void);

#ifdef __cplusplus
}
#endif
