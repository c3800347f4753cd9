// Narrow <-> wide conversion through Windows' own ANSI code page.
//
// Desktop Windows replaces a wide character that has no byte in the code
// page by a look-alike ("best fit": U+0100 becomes 'A'); Windows CE and the
// portable converter give '?'. WC_NO_BEST_FIT_CHARS asks for the '?'.
#include "platform/CodePage.h"

#include <windows.h>

int CodePageWideToAnsi(const WideChar* src, int srcLength, char* dst, int dstSize) {
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, src, srcLength, dst, dstSize, nullptr,
                               nullptr);
}

int CodePageAnsiToWide(const char* src, int srcLength, WideChar* dst, int dstSize) {
    return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, srcLength, dst, dstSize);
}
