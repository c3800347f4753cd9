// A registry file's bytes as lines of 16-bit text, for the reader and the
// repair (regfile/ only): where lines start and end in each encoding, and
// what a line's bytes say as text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

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

// Finds where lines end, a line at a time from its start.
struct LineFinder {
    const RegDocument& doc;

    // The line that starts at `start`: its text ends at *end, before the
    // line end; returns where the next line starts (bytes' size after the
    // last line).
    size_t Line(size_t start, size_t* end);
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
