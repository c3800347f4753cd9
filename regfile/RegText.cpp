#include "regfile/RegText.h"

#include <stdio.h>
#include <string.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/CodePage.h"

Cp1252Table::Cp1252Table() : fromWide(65536, -1) {
    for (int b = 255; b >= 0; --b) {
        char in = char(b);
        WideChar out = 0;
        CodePageAnsiToWide(&in, 1, &out, 1);
        toWide[b] = char16_t(out);
        fromWide[char16_t(out)] = int16_t(b);
    }
}

const Cp1252Table& Cp1252() {
    static const Cp1252Table table;
    return table;
}

size_t FirstLineStart(const RegDocument& doc) {
    switch (doc.format.encoding) {
    case kRegFileUtf16: return 2;
    case kRegFileUtf8Bom: return 3;
    default: return 0;
    }
}

namespace {

// Where the characters end: a lone byte at the end of a UTF-16 file belongs
// to no character.
size_t UnitsEnd(const RegDocument& doc) {
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

}  // namespace

size_t LineFinder::Line(size_t start, size_t* end) {
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

uint32_t LineNumberAt(const RegDocument& doc, size_t offset) {
    LineFinder lines{doc};
    uint32_t number = 1;
    size_t start = FirstLineStart(doc), end;
    while ((start = lines.Line(start, &end)) <= offset && start < doc.bytes.size()) ++number;
    return number;
}

size_t LinesBound(const RegDocument& doc, size_t start) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(doc.bytes.data());
    size_t size = doc.bytes.size(), n = 1;
    if (start >= size) return n;
    if (UnitSize(doc) == 2) {
        for (size_t k = start; k + 1 < size; k += 2)
            n += ((b[k] == '\n') | (b[k] == '\r')) & (b[k + 1] == 0);
        return n;
    }
    // A byte at a time without branches, so the compiler makes it a run of
    // bytes at a time: an LF, or a CR not followed by an LF.
    for (size_t k = start; k + 1 < size; ++k)
        n += (b[k] == '\n') | ((b[k] == '\r') & (b[k + 1] != '\n'));
    return n + (b[size - 1] == '\n' || b[size - 1] == '\r');
}

bool DecodeLine(const RegDocument& doc, size_t start, size_t end, std::u16string* text,
                std::string* why) {
    text->clear();
    const uint8_t* b = reinterpret_cast<const uint8_t*>(doc.bytes.data());
    switch (doc.format.encoding) {
    case kRegFileAnsi: {
        const char16_t* toWide = Cp1252().toWide;
        text->resize(end - start);
        for (size_t k = start; k < end; ++k) (*text)[k - start] = toWide[b[k]];
        return true;
    }
    case kRegFileUtf16:
        text->reserve((end - start) / 2);
        for (size_t k = start; k + 1 < end; k += 2) text->push_back(Utf16LeAt(b + k));
        return true;
    default: break;
    }
    text->reserve(end - start);
    size_t bad;
    if (Utf8ToUtf16(b + start, end - start, text, &bad)) return true;
    char what[64];
    snprintf(what, sizeof what, "invalid UTF-8 byte sequence at byte %zu of the line", bad + 1);
    *why = what;
    return false;
}

bool EncodeText(const RegFileFormat& format, const std::u16string& text, std::string* out) {
    switch (format.encoding) {
    case kRegFileAnsi:
        for (char16_t c : text) {
            int16_t b = Cp1252().fromWide[c];
            if (b < 0) return false;
            out->push_back(char(b));
        }
        return true;
    case kRegFileUtf16:
        for (char16_t c : text) Utf16LeAppend(out, c);
        return true;
    default: return Utf16ToUtf8(text.data(), text.size(), out);
    }
}
