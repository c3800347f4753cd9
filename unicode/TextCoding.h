// Unicode text as registry files and the tool's output carry it: UTF-8,
// UTF-16LE, and text made safe to show. Each coding is written here once;
// the reader, the repair and portmedic-scan all use these.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// ---- UTF-16LE bytes ----

inline char16_t Utf16LeAt(const uint8_t* bytes) { return char16_t(bytes[0] | (bytes[1] << 8)); }

inline void Utf16LePut(uint8_t* to, char16_t c) {
    to[0] = uint8_t(c & 0xFF);
    to[1] = uint8_t(c >> 8);
}

// Appends the two bytes of c to a byte container (std::string, std::vector<uint8_t>).
template <typename Bytes> void Utf16LeAppend(Bytes* out, char16_t c) {
    out->push_back(typename Bytes::value_type(c & 0xFF));
    out->push_back(typename Bytes::value_type(c >> 8));
}

// 16-bit text as UTF-16LE bytes, with its terminating zero when asked.
std::vector<uint8_t> Utf16LeBytes(const std::u16string& text, bool terminated);

// ---- UTF-16 text ----

// The character at text[0] (text < end): a surrogate pair gives one code
// point and 2; anything else, a lone surrogate too, gives itself and 1.
inline size_t Utf16Next(const char16_t* text, const char16_t* end, uint32_t* codePoint) {
    char16_t c = text[0];
    if (c >= 0xD800 && c < 0xDC00 && text + 1 < end && text[1] >= 0xDC00 && text[1] < 0xE000) {
        *codePoint = 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[1]) - 0xDC00);
        return 2;
    }
    *codePoint = c;
    return 1;
}

inline bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c < 0xE000; }

// ---- UTF-8 ----

void Utf8Append(std::string* out, uint32_t codePoint);

// Decodes the character at bytes[0] (bytes < end): its length in bytes, or
// 0 when the bytes there are no UTF-8 (a bad or cut-short sequence, an
// overlong form, a surrogate, a code point past U+10FFFF).
size_t Utf8Next(const uint8_t* bytes, const uint8_t* end, uint32_t* codePoint);

// Appends 16-bit text as UTF-8; false (out holding what came before) at a
// lone surrogate, which UTF-8 cannot carry.
bool Utf16ToUtf8(const char16_t* text, size_t length, std::string* out);

// Appends UTF-8 bytes as 16-bit text; false at the first byte that is no
// UTF-8, *badAt (when given) then its offset.
bool Utf8ToUtf16(const uint8_t* bytes, size_t size, std::u16string* out, size_t* badAt);

// ---- text made safe to show ----

// One rule for every message and report the tool shows: control characters
// (C0, DEL, C1) become \xNN and lone surrogates \uNNNN, so no text from a
// file can drive a terminal; everything else is UTF-8. With keepLineFeeds,
// a line feed stays a line break (texts of several lines); without, it is
// \x0A like any other control character.
void VisibleAppend(std::string* out, uint32_t codePoint, bool keepLineFeeds);

// 16-bit text shown by that rule; more than maxCharacters become the first
// maxCharacters and "...".
std::string VisibleText(const std::u16string& text, size_t maxCharacters = SIZE_MAX,
                        bool keepLineFeeds = false);

// UTF-8 text (a message, file names in it) shown by that rule; a byte that
// is no UTF-8 is shown as \xNN.
std::string VisibleUtf8(const std::string& text, bool keepLineFeeds);
