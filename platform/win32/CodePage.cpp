// Narrow <-> wide conversion through Windows' own ANSI code page.
//
// Desktop Windows replaces a wide character that has no byte in the code
// page by a look-alike ("best fit": U+0100 becomes 'A'); Windows CE and the
// portable converter give '?'. WC_NO_BEST_FIT_CHARS asks the desktop for the
// '?'. CE has no such flag (its converter has no best fit to turn off), so
// there the call asks for nothing rather than pass a flag CE never defined.
#include "platform/CodePage.h"

#include <windows.h>

namespace {

#ifdef _WIN32_WCE
const DWORD kNoBestFit = 0;
#else
const DWORD kNoBestFit = WC_NO_BEST_FIT_CHARS;
#endif

}  // namespace

int CodePageWideToAnsi(const WideChar* src, int srcLength, char* dst, int dstSize) {
    return WideCharToMultiByte(CP_ACP, kNoBestFit, src, srcLength, dst, dstSize, nullptr, nullptr);
}

int CodePageAnsiToWide(const char* src, int srcLength, WideChar* dst, int dstSize) {
    return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, srcLength, dst, dstSize);
}
