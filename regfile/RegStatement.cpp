#include "regfile/RegStatement.h"

#include <stdio.h>

const char16_t* const kRegRoots[kRegRootCount] = {
    u"HKEY_LOCAL_MACHINE",  u"HKEY_USERS",        u"HKEY_CLASSES_ROOT",
    u"HKEY_CURRENT_CONFIG", u"HKEY_CURRENT_USER", u"HKEY_DYN_DATA",
};

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";

Statement::Kind Skip(Statement* st, Statement::Kind kind, const std::string& why) {
    st->kind = kind;
    st->why = why;
    return kind;
}

// A key path between the brackets: root name, then the path below it.
bool ParseKeyPath(const std::u16string& raw, Statement* st) {
    const char16_t* root = nullptr;
    size_t rootLength = 0;
    for (const char16_t* r : kRegRoots) {
        size_t n = std::char_traits<char16_t>::length(r);
        if (raw.size() < n || (raw.size() > n && raw[n] != u'\\')) continue;
        bool same = true;
        for (size_t k = 0; k < n && same; ++k) same = RegFoldChar(raw[k]) == r[k];
        if (same) {
            root = r;
            rootLength = n;
        }
    }
    if (!root) {
        size_t slash = raw.find(u'\\');
        st->why = "unknown root key '" + Shown(raw.substr(0, slash)) +
                  "' (expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
                  "HKEY_USERS, HKEY_CURRENT_CONFIG or HKEY_DYN_DATA)";
        return false;
    }
    std::u16string& below = st->below;
    below.clear();
    if (rootLength < raw.size()) below.append(raw, rootLength + 1, std::u16string::npos);
    // Windows ignores backslashes at the end of a key path.
    size_t used;
    switch (RegCheckKeyPath(below, &used)) {
    case kKeyPathOk: break;
    case kKeyPathBad:
        st->why = "bad key path '" + Shown(raw) + "' (a backslash at its start or two together)";
        return false;
    case kKeyPathNameTooLong:
        st->why = "key name longer than " + std::to_string(kTreeMaxKeyName) + " characters";
        return false;
    }
    below.resize(used);
    size_t depth = below.empty() ? 0 : 1;
    for (char16_t c : below) depth += c == u'\\';
    if (depth > kTreeMaxKeyDepth) {
        st->why = "key nested deeper than " + std::to_string(kTreeMaxKeyDepth) + " levels";
        return false;
    }
    st->path = root;
    if (!below.empty()) {
        st->path += u'\\';
        st->path += below;
    }
    return true;
}

Statement::Kind ParseKeyLine(StatementReader& p, size_t pos, Statement* st) {
    const std::u16string& line = p.line;
    size_t close = line.rfind(u']');
    if (pos + 1 >= line.size() || IsBlank(line[pos + 1]) || close == std::u16string::npos ||
        close <= pos)
        return Skip(st, Statement::kSkippedKeepKey,
                    "expected '[KEY]' (a key name right after '[' and a ']' after it)");
    std::u16string& raw = st->raw;
    raw.assign(line, pos + 1, close - pos - 1);
    if (!raw.empty() && raw[0] == u'-') {
        if (raw.size() < 2 || RegFoldChar(raw[1]) != u'H')
            return Skip(st, Statement::kSkipped, "expected a key name after '[-'");
        raw.erase(0, 1);
        if (!ParseKeyPath(raw, st)) return Skip(st, Statement::kSkipped, st->why);
        if (st->path.find(u'\\') == std::u16string::npos)
            return Skip(st, Statement::kSkipped,
                        "cannot delete the root key '" + Shown(st->path) + "'");
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

// How a line of hex bytes ends.
enum HexLine {
    kHexLineBad,        // malformed (the reason in *why)
    kHexLineEnds,       // the data ends on this line
    kHexLineContinues,  // a trailing backslash continues it on a later line
};

// Hex bytes from line[pos] on.
HexLine ParseHexBytes(const std::u16string& line, size_t pos, std::vector<uint8_t>* data,
                      std::string* why) {
    while (pos < line.size()) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        size_t start = pos;
        uint32_t value = 0;
        for (int digit; pos < line.size() && (digit = HexDigit(line[pos])) >= 0 && value <= 0xFF;
             ++pos)
            value = value * 16 + uint32_t(digit);
        if (value > 0xFF) {
            *why = "bad hex byte '" + Shown(line.substr(start, pos - start + 1)) +
                   "' (expected at most two hex digits)";
            return kHexLineBad;
        }
        if (pos == start) {
            if (pos < line.size() && line[pos] == u'\\') {
                if (!OnlyCommentAfter(line, pos + 1)) {
                    *why = "unexpected text after '\\' (a continued line ends with '\\')";
                    return kHexLineBad;
                }
                return kHexLineContinues;
            }
            if (pos == line.size() || line[pos] == u';') return kHexLineEnds;
            *why = "bad hex byte '" + Shown(line.substr(pos, 8)) + "' (expected 0-9, a-f)";
            return kHexLineBad;
        }
        if (data) data->push_back(uint8_t(value));
        if (pos < line.size() && line[pos] == u',') {
            ++pos;
            continue;
        }
        if (!OnlyCommentAfter(line, pos)) {
            *why = "expected ',' after the hex byte, found '" + Shown(line.substr(pos, 8)) + "'";
            return kHexLineBad;
        }
        return kHexLineEnds;
    }
    return kHexLineEnds;
}

}  // namespace

void PrepareHexText(const RegDocument& doc, Statement* st) {
    if (st->type != kTreeTypeString && st->type != kTreeTypeExpandString &&
        st->type != kTreeTypeMultiString)
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
    for (uint8_t b : d) Utf16LeAppend(&wide, Cp1252().toWide[b]);
    d.swap(wide);
}

namespace {

// Whether line[pos, end) starts with the ASCII tag.
bool TagAt(const std::u16string& line, size_t pos, size_t end, const char* tag) {
    for (size_t k = 0; tag[k]; ++k)
        if (pos + k >= end || line[pos + k] != char16_t(tag[k])) return false;
    return true;
}

Statement::Kind Value(Statement* st, uint32_t type) {
    st->type = type;
    st->kind = Statement::kValue;
    return st->kind;
}

// The name from line[*pos] on ('@' or a quoted name) and the '=' after it;
// *pos ends after the blanks that follow the '='. False with st->why.
bool ParseValueName(const std::u16string& line, size_t* pos, Statement* st) {
    st->nameStart = *pos;
    ++*pos;
    if (line[st->nameStart] != u'@') {
        if (!Unescape(line, pos, &st->name, &st->why)) return false;
        if (st->name.size() > kTreeMaxValueName) {
            st->why = "value name longer than " + std::to_string(kTreeMaxValueName) + " characters";
            return false;
        }
    }
    st->nameEnd = *pos;
    while (*pos < line.size() && IsBlank(line[*pos])) ++*pos;
    if (*pos == line.size() || line[*pos] != u'=') {
        st->why = "expected '=' after the value name";
        return false;
    }
    ++*pos;
    while (*pos < line.size() && IsBlank(line[*pos])) ++*pos;
    return true;
}

// "=-": the value is deleted.
Statement::Kind ParseDeletion(const std::u16string& line, size_t pos, Statement* st) {
    if (!OnlyCommentAfter(line, pos + 1))
        return Skip(st, Statement::kSkippedKeepKey,
                    "unexpected text after '=-' (expected the end of the line)");
    st->kind = Statement::kValueDeletion;
    return st->kind;
}

// A quoted string from the '"' at line[pos]: a text value.
Statement::Kind ParseQuoted(StatementReader& p, size_t pos, Statement* st) {
    const std::u16string& line = p.line;
    ++pos;
    std::u16string& text = st->text;
    text.clear();
    if (!Unescape(line, &pos, &text, &st->why))
        return Skip(st, Statement::kSkippedKeepKey, st->why);
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (!OnlyCommentAfter(line, pos))
        return Skip(st, Statement::kSkippedKeepKey,
                    "unexpected text '" + Shown(line.substr(pos)) +
                        "' after the string (expected the end of the line)");
    Value(st, kTreeTypeString);
    if (!p.keepData) return st->kind;
    // Written in place, little-endian, then the terminating zero.
    std::vector<uint8_t>& d = st->data;
    d.resize(2 * text.size() + 2);
    for (size_t k = 0; k < text.size(); ++k) Utf16LePut(&d[2 * k], text[k]);
    Utf16LePut(&d[2 * text.size()], 0);
    return st->kind;
}

// "dword:" and one to eight hex digits from line[pos] on.
Statement::Kind ParseDword(const std::u16string& line, size_t pos, size_t end, Statement* st) {
    while (pos < end && IsBlank(line[pos])) ++pos;
    size_t start = pos;
    uint32_t value = 0;
    while (pos < end && HexDigit(line[pos]) >= 0 && pos - start < 9)
        value = value * 16 + uint32_t(HexDigit(line[pos++]));
    if (pos == start || pos - start > 8 || !OnlyCommentAfter(line, pos))
        return Skip(st, Statement::kSkippedKeepKey,
                    "bad dword value (expected 1 to 8 hex digits after 'dword:')");
    st->data.resize(4);
    for (int k = 0; k < 4; ++k) st->data[k] = uint8_t(value >> (8 * k));
    return Value(st, kTreeTypeDword);
}

// The type of "hex:" or "hex(N):" at line[*pos]; *pos ends after the ':'.
// False with st->why.
bool ParseHexType(const std::u16string& line, size_t* pos, size_t end, Statement* st) {
    if (TagAt(line, *pos, end, "hex:")) {
        st->type = kTreeTypeBinary;
        *pos += 4;
        return true;
    }
    if (!TagAt(line, *pos, end, "hex(")) {
        st->why = "expected a string, dword:, hex:, hex(N): or - after '='";
        return false;
    }
    *pos += 4;
    uint64_t type = 0;
    while (*pos < end && HexDigit(line[*pos]) >= 0 && type <= 0xFFFFFFFFu)
        type = type * 16 + uint32_t(HexDigit(line[(*pos)++]));
    if (type > 0xFFFFFFFFu || *pos + 1 >= end || line[*pos] != u')' || line[*pos + 1] != u':') {
        st->why = "bad value type in 'hex(N):' (expected hex digits, then '):')";
        return false;
    }
    st->type = uint32_t(type);
    *pos += 2;
    return true;
}

// Hex data from line[pos, end) on, over as many lines as trailing
// backslashes continue it.
Statement::Kind ParseHexData(StatementReader& p, size_t pos, size_t end, Statement* st) {
    std::u16string& rest = st->text;
    rest.assign(p.line, pos, end - pos);
    if (rest.empty()) return Value(st, st->type);
    std::vector<uint8_t>* data = p.keepData ? &st->data : nullptr;
    HexLine state = ParseHexBytes(rest, 0, data, &st->why);
    while (state == kHexLineContinues) {
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
    if (state == kHexLineBad) return Skip(st, Statement::kSkippedKeepKey, st->why);
    if (p.keepData) PrepareHexText(p.doc, st);
    return Value(st, st->type);
}

// A value line: the name, '=', then a deletion or the data in one of its
// forms.
Statement::Kind ParseValueLine(StatementReader& p, size_t pos, Statement* st) {
    const std::u16string& line = p.line;
    if (!ParseValueName(line, &pos, st)) return Skip(st, Statement::kSkippedKeepKey, st->why);
    size_t end = line.size();
    while (end > pos && IsBlank(line[end - 1])) --end;
    if (pos < end && line[pos] == u'-') return ParseDeletion(line, pos, st);
    if (pos < end && line[pos] == u'"') return ParseQuoted(p, pos, st);
    if (TagAt(line, pos, end, "dword:")) return ParseDword(line, pos + 6, end, st);
    if (!ParseHexType(line, &pos, end, st)) return Skip(st, Statement::kSkippedKeepKey, st->why);
    return ParseHexData(p, pos, end, st);
}

}  // namespace

Statement::Kind ReadStatement(StatementReader& p, size_t start, Statement* st) {
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
                "unexpected text '" + Shown(line.substr(pos)) +
                    "' (expected [KEY], \"name\"=value, @=value, a comment or a blank line)");
}

namespace {

// How many blanks the bytes start with.
size_t BlanksAt(std::string_view b) {
    size_t n = 0;
    while (n < b.size() && (b[n] == ' ' || b[n] == '\t')) ++n;
    return n;
}

}  // namespace

bool ReadHeader(RegDocument* doc, const std::string& fileName, size_t* next, std::string* error) {
    std::string_view b = doc->bytes;
    auto at = [&](size_t k) { return uint8_t(b[k]); };
    if (b.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        doc->format.encoding = kRegFileUtf16;
    } else if (b.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
        *error = FileLine(fileName, 1) +
                 "not a registry export: unknown header (UTF-16 big-endian; "
                 "expected UTF-16 little-endian, UTF-8 or 8-bit text)";
        return false;
    } else if (b.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        doc->format.encoding = kRegFileUtf8Bom;
    } else if (b.compare(BlanksAt(b), sizeof(kHeader4) - 1, kHeader4) == 0) {
        doc->format.encoding = kRegFileAnsi;
    } else {
        doc->format.encoding = kRegFileUtf8;
    }
    size_t from = FirstLineStart(*doc), end;
    *next = LineFinder{*doc}.Line(from, &end);
    std::u16string header;
    std::string why;
    if (!DecodeLine(*doc, from, end, &header, &why)) {
        // Shown byte by byte: the first line is not text in this encoding.
        header.clear();
        for (size_t k = from; k < end && header.size() < 60; ++k)
            header.push_back(uint8_t(b[k]) < 0x80 ? char16_t(b[k]) : u'?');
    }
    // Blanks around the header are allowed, as Windows' regedit allows them.
    size_t first = 0, last = header.size();
    while (first < last && IsBlank(header[first])) ++first;
    while (last > first && IsBlank(header[last - 1])) --last;
    std::u16string trimmed = header.substr(first, last - first);
    if (trimmed == u"REGEDIT4") {
        doc->format.version = kRegFileVersion4;
    } else if (trimmed == std::u16string(kHeader5, kHeader5 + sizeof(kHeader5) - 1)) {
        doc->format.version = kRegFileVersion5;
    } else {
        *error = FileLine(fileName, 1) + "not a registry export: unknown header '" + Shown(header) +
                 "' (expected REGEDIT4 or " + kHeader5 + ")";
        if (b.size() == from)
            *error = FileLine(fileName, 1) + "not a registry export: the file is empty";
        return false;
    }
    return true;
}

std::string FileLine(const std::string& fileName, size_t line) {
    return fileName + ":" + std::to_string(line) + ": ";
}
