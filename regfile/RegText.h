// A registry file's bytes as lines of 16-bit text, for the reader and the
// repair (regfile/ only): where lines start and end in each encoding, and
// what a line's bytes say as text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "regfile/RegDocument.h"
#include "unicode/TextCoding.h"

// Windows-1252 both ways, from the platform's code page, as tables.
struct Cp1252Table {
    char16_t toWide[256];
    std::vector<int16_t> fromWide;  // the byte of each 16-bit character, -1 for none
    Cp1252Table();
};
const Cp1252Table& Cp1252();

inline size_t UnitSize(const RegDocument& doc) {
    return doc.format.encoding == kRegFileUtf16 ? 2 : 1;
}

// The code unit at offset: a byte, or two in UTF-16.
inline char16_t UnitAt(const RegDocument& doc, size_t offset) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(doc.bytes.data()) + offset;
    return doc.format.encoding == kRegFileUtf16 ? Utf16LeAt(b) : char16_t(*b);
}

// The blanks regedit skips around names, '=' and data: space and tab.
inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// A hex digit's value, or -1.
inline int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Where the first line starts: after the byte-order mark.
size_t FirstLineStart(const RegDocument& doc);

// Where the characters end: a lone byte at the end of a UTF-16 file belongs
// to no character.
inline size_t UnitsEnd(const RegDocument& doc) {
    size_t size = doc.bytes.size();
    return doc.format.encoding == kRegFileUtf16 ? size - (size - 2) % 2 : size;
}

// The first CR or LF unit in [from, stop) (offsets of Width-byte units
// from a unit boundary), or stop. Sixteen bytes at a time where the
// processor compares them at once.
template <size_t Width> size_t FindLineEnd(const uint8_t* b, size_t from, size_t stop) {
#ifdef __SSE2__
    const __m128i cr = Width == 1 ? _mm_set1_epi8('\r') : _mm_set1_epi16('\r');
    const __m128i lf = Width == 1 ? _mm_set1_epi8('\n') : _mm_set1_epi16('\n');
    for (; from + 16 <= stop; from += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from));
        __m128i hit = Width == 1 ? _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))
                                 : _mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf));
        if (int mask = _mm_movemask_epi8(hit)) return from + size_t(__builtin_ctz(unsigned(mask)));
    }
#endif
    for (; from + Width <= stop; from += Width) {
        uint32_t c = Width == 1 ? b[from] : Utf16LeAt(b + from);
        if (c == '\r' || c == '\n') return from;
    }
    return stop;
}

// Finds where lines end, a line at a time from its start. Inline: the
// quick reading asks for every line of a large file.
struct LineFinder {
    const RegDocument& doc;

    // The line that starts at `start`: its text ends at *end, before the
    // line end; returns where the next line starts (bytes' size after the
    // last line).
    size_t Line(size_t start, size_t* end) {
        const uint8_t* b = reinterpret_cast<const uint8_t*>(doc.bytes.data());
        const size_t stop = UnitsEnd(doc), unit = UnitSize(doc);
        size_t at = unit == 1 ? FindLineEnd<1>(b, start, stop) : FindLineEnd<2>(b, start, stop);
        if (at >= stop) {
            *end = stop;
            return doc.bytes.size();
        }
        *end = at;
        bool crLf = UnitAt(doc, at) == u'\r' && at + unit < stop && UnitAt(doc, at + unit) == u'\n';
        return at + (crLf ? 2 : 1) * unit;
    }
};

// The 1-based number of the line that holds byte `offset`; counted from the
// file's start, so for messages only.
uint32_t LineNumberAt(const RegDocument& doc, size_t offset);

// How many lines there are from `start` on, or a few more: a bound for the
// entries, found without decoding. In UTF-16 a CR LF counts twice.
size_t LinesBound(const RegDocument& doc, size_t start);

// Decodes the text in [start, end); false (with *why) when it is not valid
// text in the document's encoding.
bool DecodeLine(const RegDocument& doc, size_t start, size_t end, std::u16string* text,
                std::string* why);

// 16-bit text in the document's encoding, appended to out; false when a
// character has no spelling in it.
bool EncodeText(const RegFileFormat& format, const std::u16string& text, std::string* out);
