// Finding characters and texts in a TextString. None of these change the
// text. Start indices outside the text are answered without reading outside
// it: a negative start is taken as 0, a start past the end finds nothing.
#include "text/TextString.h"

#include <string.h>

#include "text/TextBlock.h"
#include "text/TextMatch.h"

namespace {

// min(strlen(s), limit) without reading past the terminator.
int32_t LengthUpTo(const char* s, int32_t limit) {
    int32_t n = 0;
    while (n < limit && s[n]) ++n;
    return n;
}

// A start index made safe: negative counts as 0; -1 when it lies past the
// end of the text.
int32_t CheckedStart(const char* chars, int32_t start) {
    if (start < 0) return 0;
    return LengthUpTo(chars, start) == start ? start : -1;
}

}  // namespace

int32_t MatchText(const char* text, int32_t length, int32_t start, const char* find, int32_t m,
                  bool wholeWord, bool ignoreCase, char before) {
    for (int32_t p = start; p <= length - m; ++p) {
        if (ignoreCase) {
            const unsigned char* upper = UpperTable();
            const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
            const unsigned char* f = reinterpret_cast<const unsigned char*>(find);
            int32_t i = 0;
            while (i < m && upper[t[p + i]] == upper[f[i]]) ++i;
            if (i < m) continue;
        } else {
            // Skip ahead to the next candidate; the search never looks past
            // the last place where the whole text to find still fits.
            const void* hit = memchr(text + p, find[0], size_t(length - m - p + 1));
            if (!hit) return -1;
            p = int32_t(static_cast<const char*>(hit) - text);
            if (memcmp(text + p + 1, find + 1, size_t(m - 1)) != 0) continue;
        }
        if (wholeWord) {
            char previous = p > 0 ? text[p - 1] : before;
            if (IsIdentChar(previous) || IsIdentChar(text[p + m])) continue;
        }
        return p;
    }
    return -1;
}

int32_t IsIdentChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '1' && c <= '9') || c == '_'
               ? 1
               : 0;
}

int32_t TextString::FindChar(int32_t start, char c) const {
    if (!chars_) return -1;
    start = CheckedStart(chars_, start);
    if (start < 0) return -1;
    const char* hit = strchr(chars_ + start, c);  // the character 0: the terminator
    return hit ? int32_t(hit - chars_) : -1;
}

int32_t TextString::FindCharFrom(int32_t start, char c) const { return FindChar(start, c); }

int32_t TextString::FindText(const char* find) const {
    if (!chars_ || !find) return -1;
    const char* hit = strstr(chars_, find);
    return hit ? int32_t(hit - chars_) : -1;
}

int32_t TextString::Search(const char* find, int32_t start, bool wholeWord, bool ignoreCase) const {
    if (!chars_ || !find) return -1;
    start = CheckedStart(chars_, start);
    if (start < 0) return -1;
    if (!wholeWord && !ignoreCase) {
        const char* hit = strstr(chars_ + start, find);
        return hit ? int32_t(hit - chars_) : -1;
    }
    int32_t length = Length();
    int32_t m = int32_t(strlen(find));
    if (m == 0) {
        // With a flag set, the empty text is matched at the end of the text only.
        if (wholeWord && length > 0 && IsIdentChar(chars_[length - 1])) return -1;
        return length;
    }
    return MatchText(chars_, length, start, find, m, wholeWord, ignoreCase, 0);
}

int32_t TextString::LastIndexOf(char c) const {
    if (!chars_) return c ? -1 : 0;
    if (!c) return -1;
    const char* hit = strrchr(chars_, c);
    return hit ? int32_t(hit - chars_) : -1;
}

int32_t TextString::FindAnyOf(int32_t start, const char* set) const {
    if (!chars_ || !set || !set[0]) return -1;
    start = CheckedStart(chars_, start);
    if (start < 0) return -1;
    const char* hit = strpbrk(chars_ + start, set);
    return hit ? int32_t(hit - chars_) : -1;
}

int32_t TextString::FindByte(char c, int32_t byteCount) const {
    if (!chars_ || byteCount <= 0) return -1;
    // The bytes past the terminator are not part of the text; the count stops there.
    int32_t count = LengthUpTo(chars_, byteCount);
    if (count < byteCount) ++count;  // the terminator itself is searched
    const void* hit = memchr(chars_, c, size_t(count));
    return hit ? int32_t(static_cast<const char*>(hit) - chars_) : -1;
}

int32_t TextString::CountChar(char c) const {
    if (!chars_ || !c) return 0;
    int32_t count = 0;
    for (const char* p = chars_; *p; ++p)
        if (*p == c) ++count;
    return count;
}

int32_t TextString::IsBracketed() const {
    int32_t length = Length();
    return length >= 3 && chars_[0] == '[' && chars_[length - 1] == ']' ? 1 : 0;
}

int32_t TextString::FindInnermostParens(int32_t& opening, int32_t& closing) const {
    // The last '(' of the text, then the first ')' after it (after the start
    // when there is no '('): one pass each instead of a search per '('.
    int32_t lastOpen = LastIndexOf('(');
    int32_t close = FindChar(lastOpen + 1, ')');
    if (close < 0) return 0;
    opening = lastOpen;
    closing = close;
    return 1;
}

int32_t TextString::NextFieldStart(const char* separators) const {
    if (!chars_ || !separators) return -1;
    bool member[256] = {};
    for (const char* s = separators; *s; ++s) member[static_cast<unsigned char>(*s)] = true;
    const char* p = chars_;
    bool inQuotes = false;
    for (; *p; ++p) {
        if (member[static_cast<unsigned char>(*p)] && !inQuotes) break;
        if (*p == '"') inQuotes = !inQuotes;
    }
    while (*p && member[static_cast<unsigned char>(*p)]) ++p;
    return *p ? int32_t(p - chars_) : -1;
}
