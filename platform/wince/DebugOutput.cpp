// The error stream and abort, which a program on the device lacks. A GUI
// program there has no console: what is written to stderr goes to the
// debugger's output (OutputDebugStringW), bytes taken as Latin-1. abort ends
// the process at once, as CE's ExitProcess does, with exit code 3.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

struct DebugOutputStream {};

namespace {

DebugOutputStream g_debugOutput;

enum { kChunk = 64 };  // characters handed to the debugger at a time

}  // namespace

FILE* const stderr = &g_debugOutput;

int fputs(const char* text, FILE* stream) {
    if (stream != stderr || !text) return EOF;
    WCHAR chunk[kChunk + 1];
    while (*text) {
        int n = 0;
        while (n < kChunk && text[n]) {
            chunk[n] = WCHAR(static_cast<unsigned char>(text[n]));
            ++n;
        }
        chunk[n] = 0;
        OutputDebugStringW(chunk);
        text += n;
    }
    return 0;
}

int fputc(int c, FILE* stream) {
    const char text[2] = {char(c), 0};
    if (c == 0 || fputs(text, stream) == EOF) return EOF;
    return c & 0xFF;
}

void abort() {
    for (;;) TerminateProcess(GetCurrentProcess(), 3);
}
