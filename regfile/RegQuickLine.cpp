#include "regfile/RegQuickLine.h"

#include "regfile/RegLoad.h"

namespace {

// A line's text as code units of Width bytes (1, or 2 in UTF-16LE), read
// in place.
template <size_t Width> struct Units {
    const uint8_t* at;
    size_t size;

    uint32_t operator[](size_t i) const {
        const uint8_t* p = at + Width * i;
        return Width == 1 ? *p : uint32_t(p[0] | p[1] << 8);
    }
    bool HasNonAscii() const {
        for (size_t i = 0; i < size; ++i)
            if ((*this)[i] >= 0x80) return true;
        return false;
    }
};

template <size_t Width> Units<Width> UnitsOf(const RegDocument& doc, size_t from, size_t to) {
    return {reinterpret_cast<const uint8_t*>(doc.bytes.data()) + from, (to - from) / Width};
}

bool IsBlank(uint32_t c) { return c == ' ' || c == '\t'; }

int HexDigit(uint32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

bool IsHexDigit(uint32_t c) { return c - '0' < 10 || (c | 32) - 'a' < 6; }

uint32_t FoldAscii(uint32_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

template <size_t W> size_t SkipBlanks(const Units<W>& u, size_t pos, size_t end) {
    while (pos < end && IsBlank(u[pos])) ++pos;
    return pos;
}

template <size_t W> bool OnlyCommentAfter(const Units<W>& u, size_t pos, size_t end) {
    pos = SkipBlanks(u, pos, end);
    return pos == end || u[pos] == ';';
}

template <size_t W> bool StartsWith(const Units<W>& u, size_t pos, size_t end, const char* tag) {
    for (size_t k = 0; tag[k]; ++k)
        if (pos + k >= end || u[pos + k] != uint32_t(uint8_t(tag[k]))) return false;
    return true;
}

// After the opening quote of a text: where the text ends, after its closing
// quote, with *count its characters once unescaped; 0 for a text the full
// reading refuses (unterminated, "\0").
template <size_t W> size_t QuotedEnd(const Units<W>& u, size_t pos, size_t* count) {
    for (size_t n = 0; pos < u.size; ++pos, ++n) {
        uint32_t c = u[pos];
        if (c == '"') {
            *count = n;
            return pos + 1;
        }
        if (c == '\\' && (++pos == u.size || u[pos] == '0')) return 0;
    }
    return 0;
}

// The key path between '[' (or "[-") and the last ']', all ASCII.
template <size_t W>
bool QuickKeyPath(const Units<W>& u, size_t from, size_t to, bool deletion, QuickKey* out) {
    // The roots' lengths, in kRegRoots' order.
    static const size_t kRootLengths[kRegRootCount] = {18, 10, 17, 19, 17, 13};
    size_t root = kRegRootCount, rootLength = 0;
    for (size_t r = 0; r < kRegRootCount; ++r) {
        size_t n = kRootLengths[r];
        if (to - from < n || (to - from > n && u[from + n] != '\\')) continue;
        size_t k = 0;
        while (k < n && FoldAscii(u[from + k]) == uint32_t(kRegRoots[r][k])) ++k;
        if (k == n) {
            root = r;
            rootLength = n;
        }
    }
    if (root == kRegRootCount) return false;
    size_t below = from + rootLength + (to - from > rootLength);
    if (below < to && u[below] == '\\') return false;
    size_t used = to;  // without trailing backslashes
    while (used > below && u[used - 1] == '\\') --used;
    size_t part = 0, depth = used > below;
    for (size_t i = below; i < used; ++i) {
        uint32_t c = u[i];
        if (c >= 0x80) return false;
        if (c != '\\') {
            if (++part > kTreeMaxKeyName) return false;
        } else if (part == 0) {
            return false;
        } else {
            part = 0;
            ++depth;
        }
    }
    if (depth > kTreeMaxKeyDepth || (deletion && used == below)) return false;
    if (out && out->path) {
        out->path->assign(kRegRoots[root], rootLength);
        if (used > below) out->path->push_back(u'\\');
        for (size_t i = below; i < used; ++i) out->path->push_back(char16_t(u[i]));
    }
    if (out && out->hashes) {
        uint64_t h = kKeyHashStart, above = h;
        for (size_t k = 0; k < rootLength; ++k) h = KeyHashStep(h, kRegRoots[root][k]);
        if (used > below) {
            above = h;
            h = KeyHashStep(h, u'\\');
        }
        for (size_t i = below; i < used; ++i) {
            uint32_t c = u[i];
            if (c == '\\') above = h;
            h = KeyHashStep(h, char16_t(FoldAscii(c)));
        }
        out->key = KeyHashOf(h);
        out->parent = KeyHashOf(above);
    }
    return true;
}

template <size_t W>
bool QuickKeyLine(const Units<W>& u, size_t pos, Statement::Kind* kind, QuickKey* key) {
    if (pos + 1 >= u.size || IsBlank(u[pos + 1])) return false;
    size_t close = u.size;
    while (--close > pos && u[close] != ']') {
    }
    if (close == pos) return false;
    bool deletion = u[pos + 1] == '-';
    if (deletion && (close - pos < 3 || FoldAscii(u[pos + 2]) != 'H')) return false;
    if (!QuickKeyPath(u, pos + 1 + deletion, close, deletion, key)) return false;
    *kind = deletion ? Statement::kKeyDeletion : Statement::kKey;
    return true;
}

// Hex bytes from u[pos] to `end`: 1 when the data ends there, 2 when a
// trailing backslash continues it, 0 when the full reading would refuse it.
template <size_t W> int QuickHexBytes(const Units<W>& u, size_t pos, size_t end) {
    // Most data is bytes of two digits and a comma: those first, three
    // units at a time.
    while (pos + 3 <= end && IsHexDigit(u[pos]) && IsHexDigit(u[pos + 1]) && u[pos + 2] == ',')
        pos += 3;
    while (pos < end) {
        pos = SkipBlanks(u, pos, end);
        size_t start = pos;
        uint32_t value = 0;
        for (int digit; pos < end && (digit = HexDigit(u[pos])) >= 0 && value <= 0xFF; ++pos)
            value = value * 16 + uint32_t(digit);
        if (value > 0xFF) return 0;
        if (pos == start) {
            if (pos < end && u[pos] == '\\') return OnlyCommentAfter(u, pos + 1, end) ? 2 : 0;
            return pos == end || u[pos] == ';' ? 1 : 0;
        }
        if (pos < end && u[pos] == ',') {
            ++pos;
            continue;
        }
        return OnlyCommentAfter(u, pos, end) ? 1 : 0;
    }
    return 1;
}

// The data after '=': hex(N): or hex: and its bytes; false when it is
// neither or the full reading refuses it.
template <size_t W> int QuickHexData(const Units<W>& u, size_t pos, size_t end) {
    if (StartsWith(u, pos, end, "hex:")) return QuickHexBytes(u, pos + 4, end);
    if (!StartsWith(u, pos, end, "hex(")) return 0;
    pos += 4;
    uint64_t type = 0;
    for (int digit; pos < end && (digit = HexDigit(u[pos])) >= 0 && type <= 0xFFFFFFFFu; ++pos)
        type = type * 16 + uint32_t(digit);
    if (type > 0xFFFFFFFFu || pos + 1 >= end || u[pos] != ')' || u[pos + 1] != ':') return 0;
    return QuickHexBytes(u, pos + 2, end);
}

// The data of a value line after '=' and its blanks, on this line alone:
// 1 for a value, 3 for a deletion, 2 for hex data continued on the next
// line, 0 when the full reading must tell.
template <size_t W> int QuickValueData(const Units<W>& u, size_t pos) {
    size_t end = u.size;
    while (end > pos && IsBlank(u[end - 1])) --end;
    if (pos < end && u[pos] == '-') return OnlyCommentAfter(u, pos + 1, u.size) ? 3 : 0;
    if (pos < end && u[pos] == '"') {
        size_t count;
        pos = QuotedEnd(u, pos + 1, &count);
        return pos && OnlyCommentAfter(u, pos, u.size) ? 1 : 0;
    }
    if (StartsWith(u, pos, end, "dword:")) {
        pos = SkipBlanks(u, pos + 6, end);
        size_t start = pos;
        while (pos < end && HexDigit(u[pos]) >= 0 && pos - start < 9) ++pos;
        return pos > start && pos - start <= 8 && OnlyCommentAfter(u, pos, u.size) ? 1 : 0;
    }
    return QuickHexData(u, pos, end);
}

template <size_t W>
bool QuickValue(const RegDocument& doc, LineFinder& lines, const Units<W>& u, size_t pos,
                bool asciiOnly, Statement::Kind* kind, uint32_t* lineCount, size_t* next) {
    if (u[pos] == '@') {
        ++pos;
    } else {
        size_t count;
        pos = QuotedEnd(u, pos + 1, &count);
        if (!pos || count > kTreeMaxValueName) return false;
    }
    pos = SkipBlanks(u, pos, u.size);
    if (pos == u.size || u[pos] != '=') return false;
    int state = QuickValueData(u, SkipBlanks(u, pos + 1, u.size));
    // Hex data continues over the lines that follow; blank and comment
    // lines may come between.
    while (state == 2 && *next < doc.bytes.size()) {
        size_t start = *next, end;
        *next = lines.Line(start, &end);
        ++*lineCount;
        Units<W> line = UnitsOf<W>(doc, start, end);
        if (asciiOnly && line.HasNonAscii()) return false;
        size_t k = SkipBlanks(line, 0, line.size);
        if (k == line.size || line[k] == ';') continue;
        if (HexDigit(line[k]) < 0) return false;
        state = QuickHexBytes(line, k, line.size);
    }
    if (state == 0) return false;
    *kind = state == 3 ? Statement::kValueDeletion : Statement::kValue;
    return true;
}

template <size_t W>
bool Quick(const RegDocument& doc, LineFinder& lines, size_t start, Statement::Kind* kind,
           uint32_t* lineCount, size_t* next, QuickKey* key) {
    // Outside ASCII, UTF-8 must be decoded (and may be malformed); 8-bit
    // and 16-bit units stand for themselves.
    const bool asciiOnly =
        doc.format.encoding == kRegFileUtf8 || doc.format.encoding == kRegFileUtf8Bom;
    size_t end;
    *next = lines.Line(start, &end);
    *lineCount = 1;
    Units<W> u = UnitsOf<W>(doc, start, end);
    if (asciiOnly && u.HasNonAscii()) return false;
    size_t pos = SkipBlanks(u, 0, u.size);
    if (pos == u.size || u[pos] == ';') {
        *kind = Statement::kNothing;
        return true;
    }
    if (u[pos] == '[') return QuickKeyLine(u, pos, kind, key);
    if (u[pos] == '"' || u[pos] == '@')
        return QuickValue(doc, lines, u, pos, asciiOnly, kind, lineCount, next);
    return false;
}

}  // namespace

bool QuickStatement(const RegDocument& doc, LineFinder& lines, size_t start, Statement::Kind* kind,
                    uint32_t* lineCount, size_t* next, QuickKey* key) {
    if (UnitSize(doc) == 2) return Quick<2>(doc, lines, start, kind, lineCount, next, key);
    return Quick<1>(doc, lines, start, kind, lineCount, next, key);
}
