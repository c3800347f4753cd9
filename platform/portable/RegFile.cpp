#include "platform/portable/RegFile.h"

#include <stdio.h>
#include <string.h>

#include <unordered_set>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "platform/portable/MemoryRegistry.h"

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";
const size_t kMaxKeyDepth = 512;  // the levels Windows allows below a root

// The root names regedit knows in a file; it does not take the short ones.
const char16_t* const kRoots[] = {
    u"HKEY_LOCAL_MACHINE",  u"HKEY_USERS",        u"HKEY_CLASSES_ROOT",
    u"HKEY_CURRENT_CONFIG", u"HKEY_CURRENT_USER", u"HKEY_DYN_DATA",
};

// ---- Windows-1252 ----

struct Ansi {
    char16_t toWide[256];
    std::vector<int16_t> fromWide;  // byte of each 16-bit character, -1 for none

    Ansi() : fromWide(65536, -1) {
        for (int b = 255; b >= 0; --b) {
            char in = char(b);
            WideChar out = 0;
            CodePageAnsiToWide(&in, 1, &out, 1);
            toWide[b] = char16_t(out);
            fromWide[char16_t(out)] = int16_t(b);
        }
    }
};

const Ansi& A() {
    static const Ansi ansi;
    return ansi;
}

// ---- texts for messages: UTF-8, nothing unprintable, bounded ----

void AppendUtf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | (c >> 6));
        *out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += char(0xE0 | (c >> 12));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xF0 | (c >> 18));
        *out += char(0x80 | ((c >> 12) & 0x3F));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

// The text as a message shows it: control characters (a zero among them) and
// lone surrogates as \xNN or \uNNNN, at most 60 characters.
std::string Visible(const std::u16string& text) {
    std::string out;
    size_t shown = 0;
    for (size_t i = 0; i < text.size(); ++i, ++shown) {
        if (shown == 60) return out + "...";
        uint32_t c = text[i];
        char escape[16];
        if (c < 0x20 || c == 0x7F) {
            snprintf(escape, sizeof escape, "\\x%02X", unsigned(c));
            out += escape;
        } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] < 0xE000) {
            AppendUtf8(&out, 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00));
        } else if (c >= 0xD800 && c < 0xE000) {
            snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
            out += escape;
        } else {
            AppendUtf8(&out, c);
        }
    }
    return out;
}

std::string Where(const std::string& fileName, size_t line) {
    return fileName + ":" + std::to_string(line) + ": ";
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

// ---- lines ----

size_t UnitSize(const RegDocument& doc) { return doc.format.encoding == kRegFileUtf16 ? 2 : 1; }

char16_t Unit(const RegDocument& doc, size_t offset) {
    if (doc.format.encoding == kRegFileUtf16)
        return char16_t(uint8_t(doc.bytes[offset]) | (uint8_t(doc.bytes[offset + 1]) << 8));
    return char16_t(uint8_t(doc.bytes[offset]));
}

// Where the first line starts: after the byte-order mark.
size_t FirstLine(const RegDocument& doc) {
    switch (doc.format.encoding) {
    case kRegFileUtf16: return 2;
    case kRegFileUtf8Bom: return 3;
    default: return 0;
    }
}

// Where the characters end: a lone byte at the end of a UTF-16 file belongs
// to no character.
size_t UnitsEnd(const RegDocument& doc) {
    size_t size = doc.bytes.size();
    return doc.format.encoding == kRegFileUtf16 ? size - (size - 2) % 2 : size;
}

// Finds where lines end, a line at a time from its start. In 8-bit text the
// next CR and the next LF are searched for a run of bytes at a time and
// remembered: a file with only one kind of line end is then not searched to
// its end for the other kind on every line.
struct LineFinder {
    const RegDocument& doc;
    size_t crFrom = 1, cr = 0;  // cr is the first CR at or after any offset in [crFrom, cr]
    size_t lfFrom = 1, lf = 0;

    // The line that starts at `start`: its text ends at *end, before the
    // line end; returns where the next line starts (bytes' size after the
    // last line).
    size_t Line(size_t start, size_t* end);
};

size_t FindByte(const std::string& b, size_t from, size_t stop, char c, size_t* cacheFrom,
                size_t* cache) {
    if (from < *cacheFrom || from > *cache) {
        const void* at = memchr(b.data() + from, c, stop - from);
        *cache = at ? size_t(static_cast<const char*>(at) - b.data()) : stop;
        *cacheFrom = from;
    }
    return *cache;
}

size_t LineFinder::Line(size_t start, size_t* end) {
    const std::string& b = doc.bytes;
    size_t stop = UnitsEnd(doc);
    if (UnitSize(doc) == 1) {
        size_t r = FindByte(b, start, stop, '\r', &crFrom, &cr);
        size_t n = FindByte(b, start, stop, '\n', &lfFrom, &lf);
        if (n < r) {
            *end = n;
            return n + 1;
        }
        if (r == stop) {
            *end = stop;
            return b.size();
        }
        *end = r;
        return r + 1 < stop && b[r + 1] == '\n' ? r + 2 : r + 1;
    }
    for (size_t k = start; k < stop; k += 2) {
        char16_t c = Unit(doc, k);
        if (c != u'\n' && c != u'\r') continue;
        *end = k;
        return c == u'\r' && k + 2 < stop && Unit(doc, k + 2) == u'\n' ? k + 4 : k + 2;
    }
    *end = stop;
    return b.size();
}

// The 1-based number of the line that holds byte `offset`; counted from the
// file's start, so for messages only.
uint32_t LineNumber(const RegDocument& doc, size_t offset) {
    LineFinder lines{doc};
    uint32_t number = 1;
    size_t start = FirstLine(doc), end;
    while ((start = lines.Line(start, &end)) <= offset && start < doc.bytes.size()) ++number;
    return number;
}

// Decodes the text in [start, end); false (with *why) when it is not valid
// text.
bool DecodeLine(const RegDocument& doc, size_t start, size_t end, std::u16string* text,
                std::string* why) {
    text->clear();
    const uint8_t* b = reinterpret_cast<const uint8_t*>(doc.bytes.data());
    switch (doc.format.encoding) {
    case kRegFileAnsi: {
        const char16_t* toWide = A().toWide;
        text->resize(end - start);
        for (size_t k = start; k < end; ++k) (*text)[k - start] = toWide[b[k]];
        return true;
    }
    case kRegFileUtf16:
        text->reserve((end - start) / 2);
        for (size_t k = start; k + 1 < end; k += 2)
            text->push_back(char16_t(b[k] | (b[k + 1] << 8)));
        return true;
    default: break;
    }
    text->reserve(end - start);
    for (size_t k = start; k < end;) {
        uint8_t c0 = b[k];
        if (c0 < 0x80) {
            text->push_back(c0);
            ++k;
            continue;
        }
        int extra = (c0 & 0xE0) == 0xC0   ? 1
                    : (c0 & 0xF0) == 0xE0 ? 2
                    : (c0 & 0xF8) == 0xF0 ? 3
                                          : -1;
        uint32_t c = extra == 1 ? c0 & 0x1F : extra == 2 ? c0 & 0x0F : c0 & 0x07;
        bool ok = extra > 0 && k + extra < end + 1 && k + extra <= end;
        for (int n = 1; ok && n <= extra; ++n) {
            if ((b[k + n] & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (b[k + n] & 0x3F);
        }
        static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        // Overlong forms, surrogates (paired or lone) and code points past
        // U+10FFFF are no UTF-8.
        if (!ok || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            char what[64];
            snprintf(what, sizeof what, "invalid UTF-8 byte sequence at byte %zu of the line",
                     k - start + 1);
            *why = what;
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            text->push_back(char16_t(0xD800 + (c >> 10)));
            text->push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            text->push_back(char16_t(c));
        }
        k += 1 + extra;
    }
    return true;
}

// ---- statements: what one or more lines say ----

struct Statement {
    enum Kind {
        kNothing,        // blank line or comment
        kKey,            // [KEY]
        kKeyDeletion,    // [-KEY]
        kValue,          // "name"=data
        kValueDeletion,  // "name"=-
        kSkipped,        // a line regedit skips; the current key is closed
        kSkippedKeepKey  // a line regedit skips; the current key stays open
    } kind = kNothing;
    uint32_t lines = 1;    // lines used; a skipped line at fault is the last of them
    size_t end = 0;        // where the text of the last line ends, before its line end
    size_t next = 0;       // where the line after the last starts
    std::u16string path;   // keys: full path, root in its long form
    std::u16string name;   // values: the name
    size_t nameStart = 0;  // values: the name as written in the first line,
    size_t nameEnd = 0;    //   quotes included ('@' for the default value)
    uint32_t type = 0;
    std::vector<uint8_t> data;
    std::string why;
    // Working space kept from one statement to the next, so parsing a line
    // allocates nothing once these have grown.
    std::u16string raw, below, text;
    std::vector<uint8_t> wide;
};

struct Parser {
    const RegDocument& doc;
    // False when only the shape of the statements counts (reading a file):
    // value data is then checked but not built.
    bool keepData;
    LineFinder lines{doc};
    std::u16string line{};  // the line decoded last
    size_t end = 0;         // where its text ends
    size_t next = 0;        // where the line after it starts
    std::string decodeWhy{};

    bool Decode(size_t start) {
        next = lines.Line(start, &end);
        return DecodeLine(doc, start, end, &line, &decodeWhy);
    }
};

Statement::Kind Skip(Statement* st, Statement::Kind kind, const std::string& why) {
    st->kind = kind;
    st->why = why;
    return kind;
}

// A key path between the brackets: root name, then the path below it.
bool ParseKeyPath(const std::u16string& raw, Statement* st) {
    const char16_t* root = nullptr;
    size_t rootLength = 0;
    for (const char16_t* r : kRoots) {
        size_t n = std::char_traits<char16_t>::length(r);
        if (raw.size() < n || (raw.size() > n && raw[n] != u'\\')) continue;
        bool same = true;
        for (size_t k = 0; k < n && same; ++k) same = Fold(raw[k]) == r[k];
        if (same) {
            root = r;
            rootLength = n;
        }
    }
    if (!root) {
        size_t slash = raw.find(u'\\');
        st->why = "unknown root key '" + Visible(raw.substr(0, slash)) +
                  "' (expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
                  "HKEY_USERS, HKEY_CURRENT_CONFIG or HKEY_DYN_DATA)";
        return false;
    }
    std::u16string& below = st->below;
    below.clear();
    if (rootLength < raw.size()) below.append(raw, rootLength + 1, std::u16string::npos);
    long check = MemCheckKeyPath(below);
    if (check == kRegBadPath) {
        st->why = "bad key path '" + Visible(raw) + "' (a backslash at its start or two together)";
        return false;
    }
    if (check != kRegOk) {
        st->why = "key name longer than " + std::to_string(kMemMaxKeyName) + " characters";
        return false;
    }
    size_t depth = below.empty() ? 0 : 1;
    for (char16_t c : below) depth += c == u'\\';
    if (!below.empty() && below.back() == u'\\') --depth;
    if (depth > kMaxKeyDepth) {
        st->why = "key nested deeper than " + std::to_string(kMaxKeyDepth) + " levels";
        return false;
    }
    st->path = root;
    if (!below.empty()) {
        st->path += u'\\';
        st->path += below;
        if (st->path.back() == u'\\') st->path.pop_back();
    }
    return true;
}

Statement::Kind ParseKeyLine(Parser& p, size_t pos, Statement* st) {
    const std::u16string& line = p.line;
    size_t close = line.rfind(u']');
    if (pos + 1 >= line.size() || IsBlank(line[pos + 1]) || close == std::u16string::npos ||
        close <= pos)
        return Skip(st, Statement::kSkippedKeepKey,
                    "expected '[KEY]' (a key name right after '[' and a ']' after it)");
    std::u16string& raw = st->raw;
    raw.assign(line, pos + 1, close - pos - 1);
    if (!raw.empty() && raw[0] == u'-') {
        if (raw.size() < 2 || Fold(raw[1]) != u'H')
            return Skip(st, Statement::kSkipped, "expected a key name after '[-'");
        raw.erase(0, 1);
        if (!ParseKeyPath(raw, st)) return Skip(st, Statement::kSkipped, st->why);
        if (st->path.find(u'\\') == std::u16string::npos)
            return Skip(st, Statement::kSkipped,
                        "cannot delete the root key '" + Visible(st->path) + "'");
        st->kind = Statement::kKeyDeletion;
        return st->kind;
    }
    if (!ParseKeyPath(raw, st)) return Skip(st, Statement::kSkipped, st->why);
    st->kind = Statement::kKey;
    return st->kind;
}

// Text up to the first '"' not escaped, from line[*pos] on, as regedit reads
// it: \n, \r, \\ and \" stand for what they escape, a backslash before any
// other character is dropped, \0 is refused. *pos ends after the quote.
bool Unescape(const std::u16string& line, size_t* pos, std::u16string* out, std::string* why) {
    for (size_t i = *pos; i < line.size(); ++i) {
        // Plain characters are copied a run at a time.
        size_t run = i;
        while (run < line.size() && line[run] != u'"' && line[run] != u'\\') ++run;
        out->append(line, i, run - i);
        i = run;
        if (i == line.size()) break;
        if (line[i] == u'"') {
            *pos = i + 1;
            return true;
        }
        if (++i == line.size()) break;
        switch (line[i]) {
        case u'n': out->push_back(u'\n'); break;
        case u'r': out->push_back(u'\r'); break;
        case u'0': *why = "'\\0' in a quoted text"; return false;
        default: out->push_back(line[i]); break;
        }
    }
    *why = "unterminated string (expected a closing '\"' before the end of the line)";
    return false;
}

bool OnlyCommentAfter(const std::u16string& line, size_t pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    return pos == line.size() || line[pos] == u';';
}

// Hex bytes from line[pos] on. Returns 1 when the data ends on this line,
// 2 when a trailing backslash continues it, 0 when it is malformed.
int ParseHexBytes(const std::u16string& line, size_t pos, std::vector<uint8_t>* data,
                  std::string* why) {
    while (pos < line.size()) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        size_t start = pos;
        uint32_t value = 0;
        for (int digit; pos < line.size() && (digit = HexDigit(line[pos])) >= 0 && value <= 0xFF;
             ++pos)
            value = value * 16 + uint32_t(digit);
        if (value > 0xFF) {
            *why = "bad hex byte '" + Visible(line.substr(start, pos - start + 1)) +
                   "' (expected at most two hex digits)";
            return 0;
        }
        if (pos == start) {
            if (pos < line.size() && line[pos] == u'\\') {
                if (!OnlyCommentAfter(line, pos + 1)) {
                    *why = "unexpected text after '\\' (a continued line ends with '\\')";
                    return 0;
                }
                return 2;
            }
            if (pos == line.size() || line[pos] == u';') return 1;
            *why = "bad hex byte '" + Visible(line.substr(pos, 8)) + "' (expected 0-9, a-f)";
            return 0;
        }
        if (data) data->push_back(uint8_t(value));
        if (pos < line.size() && line[pos] == u',') {
            ++pos;
            continue;
        }
        if (!OnlyCommentAfter(line, pos)) {
            *why = "expected ',' after the hex byte, found '" + Visible(line.substr(pos, 8)) + "'";
            return 0;
        }
        return 1;
    }
    return 1;
}

// Text types in hex form: regedit ends them with a zero when they lack one,
// and outside UTF-16 files reads their bytes as 8-bit text.
void PrepareHexText(const RegDocument& doc, Statement* st) {
    if (st->type != kRegTypeString && st->type != kRegTypeExpandString &&
        st->type != kRegTypeMultiString)
        return;
    std::vector<uint8_t>& d = st->data;
    if (d.empty()) return;
    if (doc.format.encoding == kRegFileUtf16) {
        if (d.size() % 2 == 0 && (d[d.size() - 2] || d[d.size() - 1])) d.insert(d.end(), {0, 0});
        return;
    }
    if (d.back() != 0) d.push_back(0);
    std::vector<uint8_t>& wide = st->wide;
    wide.clear();
    for (uint8_t b : d) {
        char16_t c = A().toWide[b];
        wide.push_back(uint8_t(c & 0xFF));
        wide.push_back(uint8_t(c >> 8));
    }
    d.swap(wide);
}

Statement::Kind ParseValueLine(Parser& p, size_t pos, Statement* st) {
    const std::u16string& line = p.line;
    st->nameStart = pos;
    if (line[pos] == u'@') {
        ++pos;
    } else {
        ++pos;
        if (!Unescape(line, &pos, &st->name, &st->why))
            return Skip(st, Statement::kSkippedKeepKey, st->why);
        if (st->name.size() > kMemMaxValueName)
            return Skip(st, Statement::kSkippedKeepKey,
                        "value name longer than " + std::to_string(kMemMaxValueName) +
                            " characters");
    }
    st->nameEnd = pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] != u'=')
        return Skip(st, Statement::kSkippedKeepKey, "expected '=' after the value name");
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    size_t end = line.size();
    while (end > pos && IsBlank(line[end - 1])) --end;
    auto startsWith = [&](const char* tag) {
        for (size_t k = 0; tag[k]; ++k)
            if (pos + k >= end || line[pos + k] != char16_t(tag[k])) return false;
        return true;
    };

    if (pos < end && line[pos] == u'-') {
        if (!OnlyCommentAfter(line, pos + 1))
            return Skip(st, Statement::kSkippedKeepKey,
                        "unexpected text after '=-' (expected the end of the line)");
        st->kind = Statement::kValueDeletion;
        return st->kind;
    }
    if (pos < end && line[pos] == u'"') {
        ++pos;
        std::u16string& text = st->text;
        text.clear();
        if (!Unescape(line, &pos, &text, &st->why))
            return Skip(st, Statement::kSkippedKeepKey, st->why);
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (!OnlyCommentAfter(line, pos))
            return Skip(st, Statement::kSkippedKeepKey,
                        "unexpected text '" + Visible(line.substr(pos)) +
                            "' after the string (expected the end of the line)");
        st->type = kRegTypeString;
        st->kind = Statement::kValue;
        if (!p.keepData) return st->kind;
        // Written in place, little-endian, then the terminating zero.
        std::vector<uint8_t>& d = st->data;
        d.resize(2 * text.size() + 2);
        for (size_t k = 0; k < text.size(); ++k) {
            d[2 * k] = uint8_t(text[k] & 0xFF);
            d[2 * k + 1] = uint8_t(text[k] >> 8);
        }
        d[2 * text.size()] = d[2 * text.size() + 1] = 0;
        return st->kind;
    }
    if (startsWith("dword:")) {
        pos += 6;
        while (pos < end && IsBlank(line[pos])) ++pos;
        size_t start = pos;
        uint32_t value = 0;
        while (pos < end && HexDigit(line[pos]) >= 0 && pos - start < 9)
            value = value * 16 + uint32_t(HexDigit(line[pos++]));
        if (pos == start || pos - start > 8 || !OnlyCommentAfter(line, pos))
            return Skip(st, Statement::kSkippedKeepKey,
                        "bad dword value (expected 1 to 8 hex digits after 'dword:')");
        st->type = kRegTypeDword;
        st->data.resize(4);
        for (int k = 0; k < 4; ++k) st->data[k] = uint8_t(value >> (8 * k));
        st->kind = Statement::kValue;
        return st->kind;
    }
    if (startsWith("hex:")) {
        st->type = kRegTypeBinary;
        pos += 4;
    } else if (startsWith("hex(")) {
        pos += 4;
        size_t start = pos;
        uint64_t type = 0;
        while (pos < end && HexDigit(line[pos]) >= 0 && type <= 0xFFFFFFFFu)
            type = type * 16 + uint32_t(HexDigit(line[pos++]));
        if (type > 0xFFFFFFFFu || pos + 1 >= end || line[pos] != u')' || line[pos + 1] != u':' ||
            (pos - start == 1 && start + 1 < end && Fold(line[start + 1]) == u'X'))
            return Skip(st, Statement::kSkippedKeepKey,
                        "bad value type in 'hex(N):' (expected hex digits, then '):')");
        st->type = uint32_t(type);
        pos += 2;
    } else {
        return Skip(st, Statement::kSkippedKeepKey,
                    "expected a string, dword:, hex:, hex(N): or - after '='");
    }

    // Hex data, over as many lines as trailing backslashes continue it.
    std::u16string& rest = st->text;
    rest.assign(line, pos, end - pos);
    if (rest.empty()) {
        st->kind = Statement::kValue;
        return st->kind;
    }
    std::vector<uint8_t>* data = p.keepData ? &st->data : nullptr;
    int state = ParseHexBytes(rest, 0, data, &st->why);
    while (state == 2) {
        // Blank and comment lines may come between; the data ends with the
        // file or at a line that does not start with a hex digit.
        if (st->next >= p.doc.bytes.size()) break;
        bool decoded = p.Decode(st->next);
        ++st->lines;
        st->end = p.end;
        st->next = p.next;
        if (!decoded) return Skip(st, Statement::kSkippedKeepKey, p.decodeWhy);
        size_t k = 0;
        while (k < p.line.size() && IsBlank(p.line[k])) ++k;
        if (k == p.line.size() || p.line[k] == u';') continue;
        if (HexDigit(p.line[k]) < 0) {
            // regedit drops the value, and this line with it.
            return Skip(st, Statement::kSkippedKeepKey,
                        "the value continues with '\\', but the next line holds no hex bytes");
        }
        state = ParseHexBytes(p.line, k, data, &st->why);
    }
    if (state == 0) return Skip(st, Statement::kSkippedKeepKey, st->why);
    if (p.keepData) PrepareHexText(p.doc, st);
    st->kind = Statement::kValue;
    return st->kind;
}

// What the lines from the one starting at byte `start` on say.
Statement::Kind ParseStatement(Parser& p, size_t start, Statement* st) {
    st->kind = Statement::kNothing;
    st->path.clear();
    st->name.clear();
    st->data.clear();
    st->type = 0;
    bool decoded = p.Decode(start);
    st->lines = 1;
    st->end = p.end;
    st->next = p.next;
    if (!decoded) return Skip(st, Statement::kSkippedKeepKey, p.decodeWhy);
    const std::u16string& line = p.line;
    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] == u';') return Statement::kNothing;
    if (line[pos] == u'[') return ParseKeyLine(p, pos, st);
    if (line[pos] == u'"' || line[pos] == u'@') return ParseValueLine(p, pos, st);
    return Skip(st, Statement::kSkippedKeepKey,
                "unexpected text '" + Visible(line.substr(pos)) +
                    "' (expected [KEY], \"name\"=value, @=value, a comment or a blank line)");
}

// Decodes the header line and tells the dialect and encoding; *next is
// where the line after it starts.
bool DecodeHeader(RegDocument* doc, const std::string& fileName, size_t* next, std::string* error) {
    const std::string& b = doc->bytes;
    auto at = [&](size_t k) { return uint8_t(b[k]); };
    if (b.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        doc->format.encoding = kRegFileUtf16;
    } else if (b.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
        *error = Where(fileName, 1) + "not a registry export: unknown header (UTF-16 big-endian; "
                                      "expected UTF-16 little-endian, UTF-8 or 8-bit text)";
        return false;
    } else if (b.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        doc->format.encoding = kRegFileUtf8Bom;
    } else if (b.compare(0, sizeof(kHeader4) - 1, kHeader4) == 0) {
        doc->format.encoding = kRegFileAnsi;
    } else {
        doc->format.encoding = kRegFileUtf8;
    }
    size_t from = FirstLine(*doc), end;
    *next = LineFinder{*doc}.Line(from, &end);
    std::u16string header;
    std::string why;
    if (!DecodeLine(*doc, from, end, &header, &why)) {
        // Shown byte by byte: the first line is not text in this encoding.
        header.clear();
        for (size_t k = from; k < end && header.size() < 60; ++k)
            header.push_back(uint8_t(b[k]) < 0x80 ? char16_t(b[k]) : u'?');
    }
    std::u16string trimmed = header;
    while (!trimmed.empty() && IsBlank(trimmed.back())) trimmed.pop_back();
    if (trimmed == u"REGEDIT4") {
        doc->format.version = kRegFileVersion4;
    } else if (trimmed == std::u16string(kHeader5, kHeader5 + sizeof(kHeader5) - 1)) {
        doc->format.version = kRegFileVersion5;
    } else {
        *error = Where(fileName, 1) + "not a registry export: unknown header '" + Visible(header) +
                 "' (expected REGEDIT4 or " + kHeader5 + ")";
        if (b.size() == from)
            *error = Where(fileName, 1) + "not a registry export: the file is empty";
        return false;
    }
    return true;
}

// How many lines there are from `start` on, or a few more: a bound for the
// entries, found without decoding. In UTF-16 a CR LF counts twice.
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

// The registry as loading leaves it, statement after statement.
struct Loader {
    MemKey* key = nullptr;  // the key of the open section
    // Sections mostly follow one another below a few parents: the parents
    // met last are kept with their path as written, so a key below one of
    // them is looked up there rather than from the root down.
    struct Parent {
        std::u16string path;
        MemKey* key = nullptr;
    };
    Parent parents[4];
    size_t nextParent = 0;
};

// The open section ends. Its values were set one by one, their number not
// known before: the key gives back the room they do not use.
void LoadLeaveKey(Loader& l) {
    if (l.key) MemKeyTrimValues(*l.key);
    l.key = nullptr;
}

// Applies one statement, read as an entry of this kind, as regedit /S would.
void LoadStatement(Loader& l, RegEntryKind kind, const Statement& st) {
    switch (kind) {
    case kRegEntryKey: {
        LoadLeaveKey(l);
        size_t slash = st.path.rfind(u'\\');
        for (Loader::Parent& parent : l.parents) {
            if (slash == std::u16string::npos || !parent.key || parent.path.size() != slash ||
                st.path.compare(0, slash, parent.path) != 0)
                continue;
            l.key = &MemKeyCreateChild(*parent.key, st.path.data() + slash + 1,
                                       st.path.size() - slash - 1);
            break;
        }
        if (!l.key) {
            l.key = &MemRegCreate(st.path);
            if (slash != std::u16string::npos) {
                Loader::Parent& parent = l.parents[l.nextParent++ % 4];
                parent.path.assign(st.path, 0, slash);
                parent.key = l.key->parent;
            }
        }
        break;
    }
    case kRegEntryKeyDeletion:
        LoadLeaveKey(l);
        MemRegDelete(st.path);
        for (Loader::Parent& parent : l.parents) parent.key = nullptr;  // may be gone
        break;
    case kRegEntryValue:
        if (l.key)
            MemKeySetValue(*l.key, st.name.data(), st.name.size(), st.type, st.data.data(),
                           st.data.size());
        break;
    case kRegEntryValueDeletion:
        if (l.key) MemKeyDeleteValue(*l.key, st.name.data(), st.name.size());
        break;
    }
}

// Reads content into a document, line after line; with load, each statement
// is applied to the in-memory registry as soon as it is read.
bool Read(std::string content, const std::string& fileName, bool strict, bool load,
          RegDocument* doc, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    *doc = RegDocument();
    if (content.size() >= 0xFFFFFFF0u) {
        *error = fileName + ": the file is too large (4 GB or more)";
        return false;
    }
    doc->bytes = std::move(content);
    size_t start;
    if (!DecodeHeader(doc, fileName, &start, error)) return false;
    const size_t size = doc->bytes.size();

    auto skipped = [&](size_t line, const std::string& why) {
        if (strict) {
            *error = Where(fileName, line) + why;
            return false;
        }
        doc->skipped.push_back(RegSkippedLine{uint32_t(line), why});
        return true;
    };
    if (doc->format.encoding == kRegFileUtf16 && (size - 2) % 2 &&
        !skipped(LineNumber(*doc, size - 1),
                 "a lone byte at the end of a UTF-16 file (is the file cut short?)"))
        return false;

    // At most one entry a line: one allocation, and the pages never used
    // are never touched.
    doc->entries.reserve(LinesBound(*doc, start));
    Parser p{*doc, load};
    Statement st;
    Loader loader;
    const uint32_t kNoKey = 0xFFFFFFFFu;
    uint32_t key = kNoKey;  // the entry of the open key
    for (size_t line = 2; start < size; start = st.next, line += st.lines) {
        Statement::Kind kind = ParseStatement(p, start, &st);
        RegEntry e{uint32_t(start), uint32_t(doc->entries.size()), 0};
        switch (kind) {
        case Statement::kNothing: continue;
        case Statement::kKey:
            key = e.keyEntry;
            e.kind = kRegEntryKey;
            break;
        case Statement::kKeyDeletion:
            key = kNoKey;
            e.kind = kRegEntryKeyDeletion;
            break;
        case Statement::kValue:
        case Statement::kValueDeletion:
            if (key == kNoKey) {
                if (!skipped(line, "value outside a key (no [KEY] line before it, or that line "
                                   "was skipped or deleted the key)"))
                    return false;
                continue;
            }
            e.keyEntry = key;
            e.kind = kind == Statement::kValue ? kRegEntryValue : kRegEntryValueDeletion;
            break;
        case Statement::kSkipped:
            key = kNoKey;
            if (load) LoadLeaveKey(loader);
            // fall through
        case Statement::kSkippedKeepKey:
            // Everything up to the line at fault goes, that line included.
            if (!skipped(line + st.lines - 1, st.why)) return false;
            continue;
        }
        doc->entries.push_back(e);
        if (load) LoadStatement(loader, RegEntryKind(e.kind), st);
    }
    if (load) LoadLeaveKey(loader);
    return true;
}

}  // namespace

bool RegDocumentRead(std::string content, const std::string& fileName, bool strict,
                     RegDocument* doc, std::string* error) {
    return Read(std::move(content), fileName, strict, false, doc, error);
}

bool RegDocumentReadAndLoad(std::string content, const std::string& fileName, bool strict,
                            RegDocument* doc, std::string* error) {
    return Read(std::move(content), fileName, strict, true, doc, error);
}

bool RegDocumentReadFile(const std::string& fileName, bool strict, RegDocument* doc,
                         std::string* error) {
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
    return RegDocumentRead(std::move(content), fileName, strict, doc, error);
}

void RegDocumentLoad(const RegDocument& doc) {
    Parser p{doc, true};
    Statement st;
    Loader loader;
    for (const RegEntry& e : doc.entries) {
        ParseStatement(p, e.offset, &st);
        LoadStatement(loader, RegEntryKind(e.kind), st);
    }
    LoadLeaveKey(loader);
}

void RegEntryLines(const RegDocument& doc, size_t entry, uint32_t* firstLine, uint32_t* lineCount) {
    Parser p{doc, false};
    Statement st;
    ParseStatement(p, doc.entries[entry].offset, &st);
    *firstLine = LineNumber(doc, doc.entries[entry].offset);
    *lineCount = st.lines;
}

// ---- spelling values and making the repaired file ----

namespace {

bool Representable(const RegFileFormat& format, char16_t c) {
    return format.encoding != kRegFileAnsi || A().fromWide[c] >= 0;
}

// The bytes as the quoted text they spell: a terminated 16-bit text without
// inner zeros or line breaks, every character spellable in the file.
bool BytesAsQuotedText(const RegFileFormat& format, const uint8_t* bytes, size_t size,
                       std::u16string* text) {
    if (size < 2 || size % 2 || bytes[size - 2] || bytes[size - 1]) return false;
    for (size_t k = 0; k + 2 < size; k += 2) {
        char16_t c = char16_t(bytes[k] | (bytes[k + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n' || !Representable(format, c)) return false;
        if (c == u'\\' || c == u'"') text->push_back(u'\\');
        text->push_back(c);
    }
    return true;
}

void AppendAscii(std::u16string* out, const char* text) {
    for (; *text; ++text) out->push_back(char16_t(uint8_t(*text)));
}

bool Encode(const RegFileFormat& format, const std::u16string& text, std::string* out) {
    for (size_t k = 0; k < text.size(); ++k) {
        char16_t c = text[k];
        switch (format.encoding) {
        case kRegFileAnsi:
            if (A().fromWide[c] < 0) return false;
            out->push_back(char(A().fromWide[c]));
            break;
        case kRegFileUtf16:
            out->push_back(char(c & 0xFF));
            out->push_back(char(c >> 8));
            break;
        default:
            if (c >= 0xD800 && c < 0xDC00 && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
                text[k + 1] < 0xE000) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00));
            } else if (c >= 0xD800 && c < 0xE000) {
                return false;
            } else {
                AppendUtf8(out, c);
            }
        }
    }
    return true;
}

}  // namespace

bool RegFileSpellValue(const RegFileFormat& format, const std::u16string& nameAsWritten,
                       uint32_t type, const uint8_t* bytes, size_t size,
                       const std::u16string& lineEnd, std::u16string* line) {
    *line = nameAsWritten + u"=";
    std::u16string text;
    if (type == kRegTypeString && BytesAsQuotedText(format, bytes, size, &text)) {
        *line += u"\"" + text + u"\"";
        return true;
    }
    char number[32];
    if (type == kRegTypeDword && size == 4) {
        snprintf(number, sizeof number, "dword:%02x%02x%02x%02x", bytes[3], bytes[2], bytes[1],
                 bytes[0]);
        AppendAscii(line, number);
        return true;
    }
    std::vector<uint8_t> data(bytes, bytes + size);
    bool isText =
        type == kRegTypeString || type == kRegTypeExpandString || type == kRegTypeMultiString;
    if (isText && size > 0) {
        // Read back, text types get a terminator when they lack one, and
        // outside UTF-16 their bytes are 8-bit text: only a terminated text
        // whose characters all have a byte comes back the same.
        if (size % 2 || bytes[size - 2] || bytes[size - 1]) return false;
        if (format.encoding != kRegFileUtf16) {
            data.clear();
            for (size_t k = 0; k < size; k += 2) {
                int16_t b = A().fromWide[char16_t(bytes[k] | (bytes[k + 1] << 8))];
                if (b < 0) return false;
                data.push_back(uint8_t(b));
            }
        }
    }
    if (type == kRegTypeBinary) {
        AppendAscii(line, "hex:");
    } else {
        snprintf(number, sizeof number, "hex(%x):", unsigned(type));
        AppendAscii(line, number);
    }
    static const char kDigits[] = "0123456789abcdef";
    size_t column = line->size();
    for (size_t k = 0; k < data.size(); ++k) {
        if (k > 0) {
            line->push_back(u',');
            ++column;
            if (column + 3 > 79) {  // regedit keeps lines within 80 columns
                *line += u"\\" + lineEnd + u"  ";
                column = 2;
            }
        }
        line->push_back(char16_t(kDigits[data[k] >> 4]));
        line->push_back(char16_t(kDigits[data[k] & 15]));
        column += 2;
    }
    return true;
}

bool RegDocumentEdits(const RegDocument& doc, std::vector<RegEdit>* edits, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    edits->clear();
    Parser p{doc, true};
    Statement st;

    // Walking back from the end, the first spelling met of a value is the
    // one regedit applies last, unless a later deletion of the value or of
    // its key (or of a key above it) undoes it. The first walk collects the
    // values that some spelling disagrees with (few: the repaired ones and
    // those spelled more than once); the second finds, for those alone,
    // whether the disagreeing spelling is the one that counts. So the walks
    // remember a handful of values, not every value of the file.
    struct Replacement {
        size_t from, to;  // the bytes replaced: the value's lines, without the last line end
        std::u16string text;
    };
    std::vector<Replacement> replacements;
    std::unordered_set<const MemValue*> disagreeing, settled;
    for (int walk = 0; walk < 2; ++walk) {
        std::unordered_set<std::u16string> deletedKeys;
        size_t keyEntry = SIZE_MAX;
        MemKey* key = nullptr;
        for (size_t n = doc.entries.size(); n-- > 0;) {
            const RegEntry& e = doc.entries[n];
            if (e.kind == kRegEntryKey) continue;
            if (e.kind == kRegEntryKeyDeletion) {
                ParseStatement(p, e.offset, &st);
                deletedKeys.insert(MemFoldName(st.path));
                keyEntry = SIZE_MAX;
                continue;
            }
            if (e.keyEntry != keyEntry) {
                keyEntry = e.keyEntry;
                ParseStatement(p, doc.entries[keyEntry].offset, &st);
                // Deleted when this key or one above it is deleted further
                // on; a sibling whose name merely begins the same is not.
                std::u16string folded = MemFoldName(st.path);
                bool deleted = false;
                for (size_t cut = folded.size(); !deleted;) {
                    deleted = deletedKeys.count(folded.substr(0, cut)) != 0;
                    size_t slash = folded.rfind(u'\\', cut - 1);
                    if (slash == std::u16string::npos || slash == 0) break;
                    cut = slash;
                }
                key = deleted ? nullptr : MemRegFind(st.path);
            }
            if (!key) continue;
            ParseStatement(p, e.offset, &st);
            const MemValue* now = MemKeyFindValue(*key, st.name.data(), st.name.size());
            if (!now) continue;  // deleted last: no spelling of it counts
            bool differs =
                e.kind == kRegEntryValue &&
                (now->type != st.type || !now->SameBytes(st.data.data(), st.data.size()));
            if (walk == 0) {
                if (differs) disagreeing.insert(now);
                continue;
            }
            if (!disagreeing.count(now) || !settled.insert(now).second || !differs) continue;

            // The last line's own line end (a lone byte after the last
            // character of a UTF-16 file is none).
            std::u16string lineEnd;
            for (size_t k = st.end; k + UnitSize(doc) <= st.next; k += UnitSize(doc))
                lineEnd.push_back(Unit(doc, k));
            if (lineEnd.empty()) lineEnd = u"\r\n";  // only for wrapping inside the value
            Replacement r{e.offset, st.end, {}};
            p.Decode(e.offset);  // the name is on the first of the value's lines
            std::u16string name = p.line.substr(st.nameStart, st.nameEnd - st.nameStart);
            std::vector<uint8_t> bytes = now->Bytes();
            if (!RegFileSpellValue(doc.format, name, now->type, bytes.data(), bytes.size(), lineEnd,
                                   &r.text)) {
                *error = "line " + std::to_string(LineNumber(doc, e.offset)) +
                         ": the new data of value '" + Visible(st.name) +
                         "' cannot be spelled in this file's format";
                return false;
            }
            // The indent is kept as it was: blanks only, so copied unit for unit.
            r.text.insert(0, p.line, 0, st.nameStart);
            replacements.push_back(std::move(r));
        }
    }

    // Met walking back: in file order from the last.
    for (size_t n = replacements.size(); n-- > 0;) {
        const Replacement& r = replacements[n];
        edits->push_back(RegEdit{r.from, r.to, std::string()});
        if (!Encode(doc.format, r.text, &edits->back().bytes)) {
            edits->clear();
            *error = "line " + std::to_string(LineNumber(doc, r.from)) +
                     ": the new value cannot be written in this file's encoding";
            return false;
        }
    }
    return true;
}

bool RegDocumentRepaired(const RegDocument& doc, std::string* content, std::string* error) {
    content->clear();
    std::vector<RegEdit> edits;
    if (!RegDocumentEdits(doc, &edits, error)) return false;
    content->reserve(doc.bytes.size());
    size_t copied = 0;
    for (const RegEdit& e : edits) {
        content->append(doc.bytes, copied, e.from - copied);
        content->append(e.bytes);
        copied = e.to;
    }
    content->append(doc.bytes, copied, std::string::npos);
    return true;
}
