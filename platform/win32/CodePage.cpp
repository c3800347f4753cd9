// Narrow <-> wide conversion through Windows' own ANSI code page.
#include "platform/CodePage.h"

#include <windows.h>

int CodePageWideToAnsi(const WideChar* src, int srcLength, char* dst, int dstSize) {
    return WideCharToMultiByte(CP_ACP, 0, src, srcLength, dst, dstSize, nullptr, nullptr);
}

int CodePageAnsiToWide(const char* src, int srcLength, WideChar* dst, int dstSize) {
    return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, srcLength, dst, dstSize);
}
