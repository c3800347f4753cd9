#include "regfile/RegText.h"

#include <stdio.h>
#include <string.h>

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
