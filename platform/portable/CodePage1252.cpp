// Windows-1252, converted exactly as Windows converts it.
//
// Bytes 0x80..0x9F map to the typographic characters of the code page; the
// five bytes Windows leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the control characters of the same number, both ways. Every other byte is
// its own Latin-1 code point. A wide character with no byte becomes '?'.
#include "platform/CodePage.h"

namespace {

const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

WideChar ByteToWide(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? WideChar(kHigh[b - 0x80]) : WideChar(b);
}

char WideToByte(WideChar w) {
    unsigned v = unsigned(w);
    if (v < 0x80 || (v >= 0xA0 && v <= 0xFF)) return char(v);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == v) return char(0x80 + i);
    return '?';
}

// Length of the source in units, counting the terminator when srcLength is -1.
int SourceUnits(int srcLength, int measured) { return srcLength < 0 ? measured + 1 : srcLength; }

}  // namespace

int CodePageWideToAnsi(const WideChar* src, int srcLength, char* dst, int dstSize) {
    if (!src || srcLength == 0 || srcLength < -1 || dstSize < 0) return 0;
    int units = SourceUnits(srcLength, srcLength < 0 ? int(WideLength(src)) : 0);
    if (dstSize == 0) return units;
    if (!dst) return 0;
    for (int i = 0; i < units; ++i) {
        if (i >= dstSize) return 0;  // what fits is written; the call fails
        dst[i] = WideToByte(src[i]);
    }
    return units;
}

int CodePageAnsiToWide(const char* src, int srcLength, WideChar* dst, int dstSize) {
    if (!src || srcLength == 0 || srcLength < -1 || dstSize < 0) return 0;
    int measured = 0;
    if (srcLength < 0)
        while (src[measured]) ++measured;
    int units = SourceUnits(srcLength, measured);
    if (dstSize == 0) return units;
    if (!dst) return 0;
    for (int i = 0; i < units; ++i) {
        if (i >= dstSize) return 0;
        dst[i] = ByteToWide(static_cast<unsigned char>(src[i]));
    }
    return units;
}
