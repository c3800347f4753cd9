#include "platform/portable/RegFile.h"

#include <stdio.h>

#include <unordered_set>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "platform/portable/MemoryRegistry.h"

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";
const size_t kMaxKeyDepth = 512;

// Long and short root names; files may use either, the registry keeps the long.
struct RootName {
    const char16_t* longName;
    const char16_t* shortName;
};
const RootName kRoots[] = {
    {u"HKEY_LOCAL_MACHINE", u"HKLM"},    {u"HKEY_CURRENT_USER", u"HKCU"},
    {u"HKEY_CLASSES_ROOT", u"HKCR"},     {u"HKEY_USERS", u"HKU"},
    {u"HKEY_CURRENT_CONFIG", u"HKCC"},   {u"HKEY_DYN_DATA", u"HKDD"},
    {u"HKEY_PERFORMANCE_DATA", nullptr},
};

// ---- small text helpers ----

std::string Narrow(const std::u16string& text) {  // for error messages: UTF-8
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

char16_t AnsiToChar(uint8_t byte) {
    char in = char(byte);
    WideChar out = 0;
    CodePageAnsiToWide(&in, 1, &out, 1);
    return char16_t(out);
}

// The byte of c in the ANSI code page; false when it has none.
bool CharToAnsi(char16_t c, uint8_t* byte) {
    WideChar in = WideChar(c);
    char out = 0;
    if (CodePageWideToAnsi(&in, 1, &out, 1) != 1) return false;
    *byte = uint8_t(out);
    return AnsiToChar(*byte) == c;
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool StartsWithNoCase(const std::u16string& s, size_t pos, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (pos + i >= s.size()) return false;
        char16_t a = s[pos + i], b = char16_t(uint8_t(prefix[i]));
        if (a >= u'A' && a <= u'Z') a = char16_t(a + 32);
        if (b >= u'A' && b <= u'Z') b = char16_t(b + 32);
        if (a != b) return false;
    }
    return true;
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text, bool terminate) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    if (terminate) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// ---- decoding the file into lines ----

struct Source {
    std::string fileName;
    std::vector<std::u16string> lines;
    RegFileFormat format;
};

std::string Where(const std::string& fileName, int line) {
    return fileName + ":" + std::to_string(line) + ": ";
}

void SplitLines(const std::u16string& text, std::vector<std::u16string>* lines) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\n' && text[i] != u'\r') continue;
        lines->push_back(text.substr(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines->push_back(text.substr(start));
}

bool DecodeUtf8(const std::string& bytes, size_t from, const std::string& fileName,
                std::u16string* text, std::string* error) {
    int line = 1;
    for (size_t i = from; i < bytes.size();) {
        uint8_t b = uint8_t(bytes[i]);
        uint32_t c;
        int extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            *error = Where(fileName, line) + "invalid UTF-8 byte sequence";
            return false;
        }
        if (i + extra >= bytes.size() + (extra ? 0 : 1)) {
            *error = Where(fileName, line) + "invalid UTF-8 byte sequence";
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            uint8_t cont = uint8_t(bytes[i + k]);
            if ((cont & 0xC0) != 0x80) {
                *error = Where(fileName, line) + "invalid UTF-8 byte sequence";
                return false;
            }
            c = (c << 6) | (cont & 0x3F);
        }
        static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            *error = Where(fileName, line) + "invalid UTF-8 byte sequence";
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            text->push_back(char16_t(0xD800 + (c >> 10)));
            text->push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            text->push_back(char16_t(c));
        }
        if (c == u'\n') ++line;
        i += 1 + extra;
    }
    return true;
}

bool Decode(const std::string& bytes, Source* src, std::string* error) {
    std::u16string text;
    auto at = [&](size_t i) { return uint8_t(bytes[i]); };
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        if (bytes.size() % 2 != 0) {
            int lastLine = 1;
            for (size_t i = 2; i + 1 < bytes.size(); i += 2)
                if (at(i) == '\n' && at(i + 1) == 0) ++lastLine;
            *error = Where(src->fileName, lastLine) +
                     "odd number of bytes in a UTF-16 file (expected whole 2-byte characters; "
                     "is the file cut short?)";
            return false;
        }
        for (size_t i = 2; i < bytes.size(); i += 2)
            text.push_back(char16_t(at(i) | (at(i + 1) << 8)));
        src->format.encoding = kRegFileUtf16;
    } else if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
        *error = Where(src->fileName, 1) + "unknown header (UTF-16 big-endian is not supported; "
                                           "expected UTF-16 little-endian, UTF-8 or 8-bit text)";
        return false;
    } else if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        if (!DecodeUtf8(bytes, 3, src->fileName, &text, error)) return false;
        src->format.encoding = kRegFileUtf8Bom;
    } else if (bytes.compare(0, sizeof(kHeader4) - 1, kHeader4) == 0) {
        for (size_t i = 0; i < bytes.size(); ++i) text.push_back(AnsiToChar(at(i)));
        src->format.encoding = kRegFileAnsi;
    } else {
        if (!DecodeUtf8(bytes, 0, src->fileName, &text, error)) return false;
        src->format.encoding = kRegFileUtf8;
    }
    SplitLines(text, &src->lines);
    return true;
}

// ---- parsing ----

// One change the file asks for. They are collected first and applied only
// when the whole file has been read without error.
struct Change {
    enum Kind { kSection, kDeleteKey, kSetValue, kDeleteValue } kind;
    std::u16string path;
    std::u16string name;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};

struct Parser {
    const Source& src;
    size_t index = 0;  // current line
    std::string* error;
    std::vector<Change> changes;

    int LineNumber() const { return int(index) + 1; }
    bool Fail(const std::string& what) {
        *error = Where(src.fileName, LineNumber()) + what;
        return false;
    }
};

// A full key path with its root in long form and no empty parts.
bool ParseKeyPath(Parser& p, const std::u16string& raw, std::u16string* path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= raw.size()) {
        size_t end = raw.find(u'\\', start);
        if (end == std::u16string::npos) end = raw.size();
        if (end > start) parts.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    if (parts.empty()) return p.Fail("expected a key name between '[' and ']'");
    // The depth Windows allows; it also bounds the recursion over the tree.
    if (parts.size() > kMaxKeyDepth + 1)
        return p.Fail("key nested deeper than " + std::to_string(kMaxKeyDepth) +
                      " levels (expected a registry key path)");
    const char16_t* root = nullptr;
    std::u16string folded = MemFoldName(parts[0]);
    for (const auto& r : kRoots) {
        if (folded == MemFoldName(r.longName) || (r.shortName && folded == r.shortName))
            root = r.longName;
    }
    if (!root)
        return p.Fail("unknown root key '" + Narrow(parts[0]) +
                      "' (expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
                      "HKEY_USERS or HKEY_CURRENT_CONFIG)");
    *path = root;
    for (size_t i = 1; i < parts.size(); ++i) *path += u"\\" + parts[i];
    return true;
}

// A quoted text starting at line[*pos] == '"'; *pos ends after the closing quote.
bool ParseQuoted(Parser& p, const std::u16string& line, size_t* pos, std::u16string* out) {
    size_t i = *pos + 1;
    for (; i < line.size(); ++i) {
        char16_t c = line[i];
        if (c == u'"') {
            *pos = i + 1;
            return true;
        }
        if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"')) {
            out->push_back(line[++i]);
            continue;
        }
        out->push_back(c);  // any other backslash stands for itself
    }
    return p.Fail("unterminated string (expected a closing '\"' before the end of the line)");
}

// Only blanks or a comment may follow a value.
bool ExpectLineEnd(Parser& p, const std::u16string& line, size_t pos, const char* after) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] == u';') return true;
    return p.Fail(std::string("unexpected text '") + Narrow(line.substr(pos)) + "' after " + after +
                  " (expected the end of the line)");
}

// hex bytes from line[pos] on, following trailing-backslash continuations.
bool ParseHexBytes(Parser& p, std::u16string line, size_t pos, std::vector<uint8_t>* bytes) {
    bool needComma = false;
    for (;;) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos == line.size() || line[pos] == u';') return true;
        char16_t c = line[pos];
        if (c == u'\\') {
            size_t rest = pos + 1;
            while (rest < line.size() && IsBlank(line[rest])) ++rest;
            if (rest != line.size())
                return p.Fail("unexpected text after '\\' (a continued line ends with '\\')");
            if (p.index + 1 >= p.src.lines.size())
                return p.Fail("the value continues past the end of the file (expected more hex "
                              "bytes after the trailing '\\')");
            ++p.index;
            line = p.src.lines[p.index];
            pos = 0;
            continue;
        }
        if (c == u',') {
            if (!needComma) return p.Fail("expected a hex byte before ','");
            needComma = false;
            ++pos;
            continue;
        }
        if (needComma)
            return p.Fail(std::string("expected ',' between hex bytes, found '") +
                          Narrow(line.substr(pos, 1)) + "'");
        size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != u',' &&
               line[pos] != u'\\' && line[pos] != u';')
            ++pos;
        std::u16string token = line.substr(start, pos - start);
        for (char16_t d : token)
            if (HexDigit(d) < 0)
                return p.Fail("bad hex digit '" + Narrow(std::u16string(1, d)) + "' in '" +
                              Narrow(token) + "' (expected 0-9, a-f)");
        if (token.size() > 2)
            return p.Fail("bad hex byte '" + Narrow(token) + "' (expected two hex digits)");
        int value = 0;
        for (char16_t d : token) value = value * 16 + HexDigit(d);
        bytes->push_back(uint8_t(value));
        needComma = true;
    }
}

// 1 to 8 hex digits from line[*pos] on, read as a number.
bool ParseHexNumber(const std::u16string& line, size_t* pos, uint32_t* value) {
    size_t start = *pos;
    uint32_t v = 0;
    while (*pos < line.size() && HexDigit(line[*pos]) >= 0 && *pos - start < 8) {
        v = v * 16 + uint32_t(HexDigit(line[*pos]));
        ++*pos;
    }
    if (*pos == start || (*pos < line.size() && HexDigit(line[*pos]) >= 0)) return false;
    *value = v;
    return true;
}

bool ParseValue(Parser& p, const std::u16string& line, size_t pos, const std::u16string& key) {
    Change change;
    change.kind = Change::kSetValue;
    change.path = key;
    if (line[pos] == u'@') {
        ++pos;
    } else if (!ParseQuoted(p, line, &pos, &change.name)) {
        return false;
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] != u'=') return p.Fail("expected '=' after the value name");
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;

    if (pos < line.size() && line[pos] == u'"') {
        std::u16string text;
        if (!ParseQuoted(p, line, &pos, &text) || !ExpectLineEnd(p, line, pos, "the string"))
            return false;
        change.type = kRegTypeString;
        change.bytes = Utf16Bytes(text, true);
    } else if (pos < line.size() && line[pos] == u'-') {
        if (!ExpectLineEnd(p, line, pos + 1, "'-'")) return false;
        change.kind = Change::kDeleteValue;
    } else if (StartsWithNoCase(line, pos, "dword:")) {
        pos += 6;
        uint32_t value = 0;
        if (!ParseHexNumber(line, &pos, &value))
            return p.Fail("bad dword value (expected 1 to 8 hex digits after 'dword:')");
        if (!ExpectLineEnd(p, line, pos, "the dword value")) return false;
        change.type = kRegTypeDword;
        for (int i = 0; i < 4; ++i) change.bytes.push_back(uint8_t(value >> (8 * i)));
    } else if (StartsWithNoCase(line, pos, "hex:") || StartsWithNoCase(line, pos, "hex(")) {
        change.type = kRegTypeBinary;
        pos += 3;
        if (line[pos] == u'(') {
            ++pos;
            if (!ParseHexNumber(line, &pos, &change.type) || pos >= line.size() ||
                line[pos] != u')')
                return p.Fail("bad value type in 'hex(N):' (expected 1 to 8 hex digits and ')')");
            ++pos;
            if (pos >= line.size() || line[pos] != u':')
                return p.Fail("expected ':' after 'hex(N)'");
        }
        ++pos;
        if (!ParseHexBytes(p, line, pos, &change.bytes)) return false;
        // REGEDIT4 spells expandable and multiple texts in 8-bit characters.
        if (p.src.format.version == kRegFileVersion4 &&
            (change.type == kRegTypeExpandString || change.type == kRegTypeMultiString)) {
            std::u16string text;
            for (uint8_t b : change.bytes) text.push_back(AnsiToChar(b));
            change.bytes = Utf16Bytes(text, false);
        }
    } else {
        return p.Fail("expected a string, dword:, hex:, hex(N): or - after '='");
    }
    p.changes.push_back(change);
    return true;
}

bool Parse(Parser& p) {
    const auto& lines = p.src.lines;
    if (lines.empty())
        return p.Fail("unknown header: the file is empty (expected REGEDIT4 or " +
                      std::string(kHeader5) + ")");
    std::u16string key;  // the current section's key; empty outside a key
    for (p.index = 1; p.index < lines.size(); ++p.index) {
        const std::u16string& line = lines[p.index];
        size_t pos = 0;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos == line.size() || line[pos] == u';') continue;
        if (line[pos] == u'[') {
            size_t end = line.size();
            while (end > pos && IsBlank(line[end - 1])) --end;
            if (line[end - 1] != u']' || end - 1 == pos)
                return p.Fail("expected ']' at the end of the key line");
            bool deletion = line[pos + 1] == u'-';
            size_t nameStart = pos + (deletion ? 2 : 1);
            Change change;
            change.kind = deletion ? Change::kDeleteKey : Change::kSection;
            if (!ParseKeyPath(p, line.substr(nameStart, end - 1 - nameStart), &change.path))
                return false;
            if (deletion && change.path.find(u'\\') == std::u16string::npos)
                return p.Fail("cannot delete the root key '" + Narrow(change.path) +
                              "' (expected a key below it)");
            key = deletion ? std::u16string() : change.path;
            p.changes.push_back(change);
            continue;
        }
        if (line[pos] == u'"' || line[pos] == u'@') {
            if (key.empty()) return p.Fail("value outside a key (expected a [KEY] line before it)");
            if (!ParseValue(p, line, pos, key)) return false;
            continue;
        }
        return p.Fail("unexpected text '" + Narrow(line.substr(pos)) +
                      "' (expected [KEY], \"name\"=value, @=value, a comment or a blank line)");
    }
    return true;
}

}  // namespace

bool RegFileRead(const std::string& content, const std::string& fileName, RegFileFormat* format,
                 std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    Source src;
    src.fileName = fileName;
    if (!Decode(content, &src, error)) return false;
    Parser p{src, 0, error, {}};
    if (!src.lines.empty()) {
        std::u16string header = src.lines[0];
        while (!header.empty() && IsBlank(header.back())) header.pop_back();
        if (header == u"REGEDIT4") {
            src.format.version = kRegFileVersion4;
        } else if (Narrow(header) == kHeader5) {
            src.format.version = kRegFileVersion5;
        } else {
            return p.Fail("unknown header '" + Narrow(header.substr(0, 60)) +
                          "' (expected REGEDIT4 or " + kHeader5 + ")");
        }
    }
    if (!Parse(p)) return false;

    for (const Change& c : p.changes) {
        switch (c.kind) {
        case Change::kSection: MemRegAddSection(c.path); break;
        case Change::kDeleteKey: MemRegAddKeyDeletion(c.path); break;
        case Change::kSetValue: MemRegSetValue(c.path, c.name, c.type, c.bytes); break;
        case Change::kDeleteValue: MemRegAddValueDeletion(c.path, c.name); break;
        }
    }
    if (format) *format = src.format;
    return true;
}

bool RegFileLoad(const std::string& fileName, RegFileFormat* format, std::string* error) {
    FILE* file = fopen(fileName.c_str(), "rb");
    if (!file) {
        if (error) *error = fileName + ": cannot open the file for reading";
        return false;
    }
    std::string content;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, n);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        if (error) *error = fileName + ": cannot read the file";
        return false;
    }
    return RegFileRead(content, fileName, format, error);
}

// ---- writing ----

namespace {

struct Writer {
    RegFileFormat format;
    std::u16string text;
    std::string* error;
    std::unordered_set<const MemKey*> written;

    bool Fail(const std::string& what) {
        *error = what;
        return false;
    }
};

std::u16string FullPath(const MemKey& key) {
    std::u16string path;
    for (const MemKey* k = &key; k && k->parent; k = k->parent)
        path = k->name + (path.empty() ? u"" : u"\\" + path);
    return path;
}

bool HasLineBreak(const std::u16string& s) {
    return s.find(u'\r') != std::u16string::npos || s.find(u'\n') != std::u16string::npos;
}

std::u16string Quote(const std::u16string& s) {
    std::u16string out = u"\"";
    for (char16_t c : s) {
        if (c == u'\\' || c == u'"') out += u'\\';
        out += c;
    }
    return out + u"\"";
}

// The bytes as text when they are exactly a terminated text without line
// breaks or inner zeros, so "..." gives the same bytes back.
bool BytesAsText(const std::vector<uint8_t>& bytes, std::u16string* text) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
    size_t count = bytes.size() / 2 - 1;
    if (bytes[2 * count] || bytes[2 * count + 1]) return false;
    for (size_t i = 0; i < count; ++i) {
        char16_t c = char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n') return false;
        text->push_back(c);
    }
    return true;
}

bool Representable(const Writer& w, const std::u16string& s) {
    if (w.format.encoding != kRegFileAnsi) return true;
    uint8_t byte;
    for (char16_t c : s)
        if (!CharToAnsi(c, &byte)) return false;
    return true;
}

void AppendHex(std::u16string* out, const std::u16string& prefix,
               const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    *out += prefix;
    size_t column = prefix.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            *out += u',';
            ++column;
            if (column + 3 > 79) {  // regedit keeps lines within 80 columns
                *out += u"\\\r\n  ";
                column = 2;
            }
        }
        *out += char16_t(kDigits[bytes[i] >> 4]);
        *out += char16_t(kDigits[bytes[i] & 15]);
        column += 2;
    }
    *out += u"\r\n";
}

bool WriteValue(Writer& w, const std::u16string& keyPath, const MemValue& v) {
    std::string where = "value '" + Narrow(v.name) + "' of key '" + Narrow(keyPath) + "'";
    if (HasLineBreak(v.name)) return w.Fail(where + ": a line break in a name cannot be written");
    if (!Representable(w, v.name))
        return w.Fail(where + ": the name has characters outside Windows-1252 (REGEDIT4)");
    std::u16string line = v.name.empty() ? u"@" : Quote(v.name);
    line += u'=';

    std::u16string text;
    if (v.type == kRegTypeString && BytesAsText(v.bytes, &text) && Representable(w, text)) {
        w.text += line + Quote(text) + u"\r\n";
        return true;
    }
    if (v.type == kRegTypeDword && v.bytes.size() == 4) {
        char number[16];
        snprintf(number, sizeof(number), "dword:%02x%02x%02x%02x", v.bytes[3], v.bytes[2],
                 v.bytes[1], v.bytes[0]);
        for (const char* c = number; *c; ++c) line += char16_t(*c);
        w.text += line + u"\r\n";
        return true;
    }
    std::vector<uint8_t> bytes = v.bytes;
    if (w.format.version == kRegFileVersion4 &&
        (v.type == kRegTypeExpandString || v.type == kRegTypeMultiString)) {
        // Back to 8-bit text; it must come back unchanged when read again.
        if (bytes.size() % 2 != 0)
            return w.Fail(where + ": an odd number of bytes cannot be written as REGEDIT4 text");
        std::vector<uint8_t> ansi;
        for (size_t i = 0; i < bytes.size(); i += 2) {
            uint8_t byte;
            if (!CharToAnsi(char16_t(bytes[i] | (bytes[i + 1] << 8)), &byte))
                return w.Fail(where + ": characters outside Windows-1252 (REGEDIT4)");
            ansi.push_back(byte);
        }
        bytes = ansi;
    }
    if (v.type == kRegTypeBinary) {
        line += u"hex:";
    } else {
        char type[24];
        snprintf(type, sizeof(type), "hex(%x):", unsigned(v.type));
        for (const char* c = type; *c; ++c) line += char16_t(*c);
    }
    AppendHex(&w.text, line, bytes);
    return true;
}

bool WriteKey(Writer& w, const MemKey& key) {
    w.written.insert(&key);
    std::u16string path = FullPath(key);
    if (HasLineBreak(path))
        return w.Fail("key '" + Narrow(path) + "': a line break in a name cannot be written");
    if (!Representable(w, path))
        return w.Fail("key '" + Narrow(path) +
                      "': the name has characters outside Windows-1252 (REGEDIT4)");
    w.text += u"[" + path + u"]\r\n";
    for (const MemValue& v : key.values)
        if (!WriteValue(w, path, v)) return false;
    for (const std::u16string& name : key.deletedValues) {
        std::string where = "value '" + Narrow(name) + "' of key '" + Narrow(path) + "'";
        if (HasLineBreak(name) || !Representable(w, name))
            return w.Fail(where + ": the name cannot be written in this format");
        w.text += (name.empty() ? u"@" : Quote(name)) + u"=-\r\n";
    }
    w.text += u"\r\n";
    return true;
}

// Keys no section named: those with content, and leaves (an empty key is
// still a key). Roots are written only when they hold values.
bool WriteRest(Writer& w, const MemKey& key) {
    for (const auto& child : key.children) {
        const MemKey& k = *child;
        bool isRoot = key.parent == nullptr;
        bool worth =
            !k.values.empty() || !k.deletedValues.empty() || (k.children.empty() && !isRoot);
        if (worth && !w.written.count(&k) && !WriteKey(w, k)) return false;
        if (!WriteRest(w, k)) return false;
    }
    return true;
}

void Encode(const RegFileFormat& format, const std::u16string& text, std::string* out) {
    out->clear();
    switch (format.encoding) {
    case kRegFileAnsi:
        for (char16_t c : text) {
            uint8_t byte = '?';
            CharToAnsi(c, &byte);
            out->push_back(char(byte));
        }
        break;
    case kRegFileUtf16:
        out->append("\xFF\xFE");
        for (char16_t c : text) {
            out->push_back(char(c & 0xFF));
            out->push_back(char(c >> 8));
        }
        break;
    case kRegFileUtf8Bom:
        out->append("\xEF\xBB\xBF");
        *out += Narrow(text);
        break;
    case kRegFileUtf8: *out += Narrow(text); break;
    }
}

}  // namespace

bool RegFileWrite(const RegFileFormat& format, std::string* content, std::string* error) {
    std::string ignored;
    Writer w;
    w.format = format;
    w.error = error ? error : &ignored;
    w.text = format.version == kRegFileVersion4 ? u"REGEDIT4\r\n\r\n"
                                                : u"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const MemSection& section : MemRegSections()) {
        if (section.deletion) {
            if (!Representable(w, section.path))
                return w.Fail("key '" + Narrow(section.path) +
                              "': the name has characters outside Windows-1252 (REGEDIT4)");
            w.text += u"[-" + section.path + u"]\r\n\r\n";
            continue;
        }
        const MemKey* key = MemRegFind(section.path);
        if (key && !w.written.count(key) && !WriteKey(w, *key)) return false;
    }
    if (!WriteRest(w, MemRegTop())) return false;
    Encode(format, w.text, content);
    return true;
}
