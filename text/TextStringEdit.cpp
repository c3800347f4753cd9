// Editing a TextString in place: trims, strips, cuts, removals,
// replacements and insertion, and the copying of parts.
//
// The kept part of a text is moved inside its own block with memmove, once,
// instead of going through a temporary copy: the result is the same and no
// character is ever copied over the storage it is still to be read from.
#include "text/TextString.h"

#include <string.h>

namespace {

// Which bytes a trim removes from both ends.
enum TrimSet { kLineEnds, kSpaces, kBlanks };

inline bool InTrimSet(char c, TrimSet set) {
    switch (set) {
    case kLineEnds: return c == '\r' || c == '\n';
    case kSpaces: return c == ' ';
    case kBlanks: return c == ' ' || c == '\t';
    }
    return false;
}

// Removes the leading and trailing runs of the set's bytes; the bytes of the
// set between other characters stay. A null text stays null.
void TrimText(char* chars, TrimSet set) {
    if (!chars) return;
    int32_t length = int32_t(strlen(chars));
    int32_t first = 0;
    while (first < length && InTrimSet(chars[first], set)) ++first;
    if (first == length) {
        chars[0] = 0;
        return;
    }
    int32_t end = length;
    while (InTrimSet(chars[end - 1], set)) --end;  // stops at chars[first] at the latest
    if (first > 0) memmove(chars, chars + first, size_t(end - first));
    chars[end - first] = 0;
}

}  // namespace

void TextString::TrimLineEnds() { TrimText(chars_, kLineEnds); }
void TextString::TrimSpaces() { TrimText(chars_, kSpaces); }
void TextString::TrimBlanks() { TrimText(chars_, kBlanks); }

int32_t TextString::CutAt(char c) {
    if (!c) return Length();
    if (!chars_) return -1;
    char* hit = strchr(chars_, c);
    if (!hit) return -1;
    *hit = 0;
    return int32_t(hit - chars_);
}
