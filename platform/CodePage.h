// Narrow <-> wide conversion through the system's ANSI code page.
//
// Both calls behave like the Windows converters with CP_ACP:
//   - srcLength -1 converts the whole text including its terminator (and the
//     result counts the terminator); a positive srcLength converts exactly
//     that many units and writes no terminator of its own.
//   - dstSize 0 asks for the size needed and writes nothing.
//   - When dst is too small the call writes what fits and returns 0.
// The portable build converts Windows-1252; the Win32 build asks Windows.
#pragma once

#include "platform/WideChar.h"

// WideCharToMultiByte(CP_ACP, 0, src, srcLength, dst, dstSize, NULL, NULL).
// A wide character with no byte in the code page becomes '?'.
int CodePageWideToAnsi(const WideChar* src, int srcLength, char* dst, int dstSize);

// MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, srcLength, dst, dstSize).
int CodePageAnsiToWide(const char* src, int srcLength, WideChar* dst, int dstSize);
