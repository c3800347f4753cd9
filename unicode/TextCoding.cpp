#include "unicode/TextCoding.h"

std::vector<uint8_t> Utf16LeBytes(const std::u16string& text, bool terminated) {
    std::vector<uint8_t> bytes;
    bytes.reserve(2 * text.size() + 2);
    for (char16_t c : text) Utf16LeAppend(&bytes, c);
    if (terminated) Utf16LeAppend(&bytes, 0);
    return bytes;
}

void Utf8Append(std::string* out, uint32_t c) {
    if (c < 0x80) {
        out->push_back(char(c));
        return;
    }
    if (c < 0x800) {
        out->push_back(char(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
        out->push_back(char(0xE0 | (c >> 12)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (c >> 18)));
        out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    }
    out->push_back(char(0x80 | (c & 0x3F)));
}

size_t Utf8Next(const uint8_t* b, const uint8_t* end, uint32_t* codePoint) {
    uint8_t c0 = b[0];
    if (c0 < 0x80) {
        *codePoint = c0;
        return 1;
    }
    size_t extra = (c0 & 0xE0) == 0xC0 ? 1 : (c0 & 0xF0) == 0xE0 ? 2 : (c0 & 0xF8) == 0xF0 ? 3 : 0;
    if (extra == 0 || size_t(end - b) <= extra) return 0;
    uint32_t c = extra == 1 ? c0 & 0x1F : extra == 2 ? c0 & 0x0F : c0 & 0x07;
    for (size_t n = 1; n <= extra; ++n) {
        if ((b[n] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b[n] & 0x3F);
    }
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || IsSurrogate(c)) return 0;
    *codePoint = c;
    return extra + 1;
}

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string* out) {
    const char16_t* end = text + length;
    for (uint32_t c; text < end;) {
        text += Utf16Next(text, end, &c);
        if (IsSurrogate(c)) return false;
        Utf8Append(out, c);
    }
    return true;
}

bool Utf8ToUtf16(const uint8_t* bytes, size_t size, std::u16string* out, size_t* badAt) {
    const uint8_t* end = bytes + size;
    for (const uint8_t* at = bytes; at < end;) {
        if (*at < 0x80) {  // ASCII, the most of any file, a byte at a time
            out->push_back(*at++);
            continue;
        }
        uint32_t c;
        size_t used = Utf8Next(at, end, &c);
        if (!used) {
            if (badAt) *badAt = size_t(at - bytes);
            return false;
        }
        at += used;
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(char16_t(0xD800 + (c >> 10)));
            out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(char16_t(c));
        }
    }
    return true;
}

namespace {

void AppendEscape(std::string* out, const char* prefix, uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    *out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *out += kDigits[(value >> shift) & 15];
}

}  // namespace

void VisibleAppend(std::string* out, uint32_t c, bool keepLineFeeds) {
    if (c == u'\n' && keepLineFeeds)
        out->push_back('\n');
    else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        AppendEscape(out, "\\x", c, 2);
    else if (IsSurrogate(c))
        AppendEscape(out, "\\u", c, 4);
    else
        Utf8Append(out, c);
}

std::string VisibleText(const std::u16string& text, size_t maxCharacters, bool keepLineFeeds) {
    std::string out;
    const char16_t* end = text.data() + text.size();
    size_t shown = 0;
    for (const char16_t* at = text.data(); at < end; ++shown) {
        if (shown == maxCharacters) return out + "...";
        uint32_t c;
        at += Utf16Next(at, end, &c);
        VisibleAppend(&out, c, keepLineFeeds);
    }
    return out;
}

std::string VisibleUtf8(const std::string& text, bool keepLineFeeds) {
    std::string out;
    const uint8_t* at = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = at + text.size();
    while (at < end) {
        uint32_t c;
        size_t used = Utf8Next(at, end, &c);
        if (used) {
            VisibleAppend(&out, c, keepLineFeeds);
            at += used;
        } else {
            AppendEscape(&out, "\\x", *at++, 2);
        }
    }
    return out;
}
