// Editing a TextString in place: trims, strips, cuts, removals,
// replacements and insertion, and the copying of parts.
//
// The kept part of a text is moved inside its own block with memmove, once,
// instead of going through a temporary copy: the result is the same and no
// character is ever copied over the storage it is still to be read from.
#include "text/TextString.h"

#include "text/TextBlock.h"

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
    ForgetEnd(chars);
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
    Truncate(int32_t(hit - chars_));
    return int32_t(hit - chars_);
}

namespace {

// Deletes the character at index (the text is at least index + 1 long).
void DeleteAt(char* chars, int32_t index) {
    ForgetEnd(chars);
    memmove(chars + index, chars + index + 1, strlen(chars + index + 1) + 1);
}

// Moves every character not marked in `remove` to the front, in one pass.
void KeepOnly(char* chars, const bool* remove) {
    ForgetEnd(chars);
    char* out = chars;
    for (const char* in = chars; *in; ++in)
        if (!remove[static_cast<unsigned char>(*in)]) *out++ = *in;
    *out = 0;
}

// Both enclosing strips trim, then take the closing character off before they
// look at the opening one: a text that ends with the closing character but
// does not start with the opening one comes back without its last character
// and the result 0.
int32_t StripEnclosing(TextString& s, char opening, char closing) {
    s.TrimSpaces();
    int32_t length = s.Length();
    if (length == 0 || s.CharAt(length - 1) != closing) return 0;
    char* chars = s.PtrAt(0);
    chars[length - 1] = 0;
    if (chars[0] != opening) return 0;
    DeleteAt(chars, 0);
    return 1;
}

}  // namespace

int32_t TextString::StripQuotes() { return StripEnclosing(*this, '"', '"'); }
int32_t TextString::StripAngleBrackets() { return StripEnclosing(*this, '<', '>'); }

int32_t TextString::StripParentheses() {
    if (IsEmpty()) return 0;
    int32_t close = LastIndexOf(')');
    if (close < 1) return 0;
    Truncate(close);
    if (chars_[0] != '(') return 0;
    DeleteAt(chars_, 0);
    return 1;
}

int32_t TextString::StripBrackets() {
    if (IsEmpty()) return 0;
    int32_t close = FindChar(0, ']');
    if (close < 1) return 0;
    Truncate(close);
    if (chars_[0] != '[') return 0;
    DeleteAt(chars_, 0);
    return 1;
}

void TextString::CapitalizeFirst() {
    if (!chars_) return;
    char* c = chars_[0] == '&' ? chars_ + 1 : chars_;
    if (*c >= 'a' && *c <= 'z') *c = char(*c - 32);
}

int32_t TextString::RemoveFirstOccurrence(char c) {
    // The character 0 is the terminator, never a character of the text.
    if (!chars_ || !c) return 0;
    char* hit = strchr(chars_, c);
    if (!hit) return 0;
    DeleteAt(chars_, int32_t(hit - chars_));
    return 1;
}

int32_t TextString::RemoveAllOccurrences(char c) {
    if (!chars_ || !c) return 1;
    // One pass: each run between two occurrences moves up once.
    char* out = strchr(chars_, c);
    if (!out) return 1;
    ForgetEnd(chars_);
    const char* in = out + 1;
    for (;;) {
        const char* next = strchr(in, c);
        size_t n = next ? size_t(next - in) : strlen(in);
        memmove(out, in, n);
        out += n;
        if (!next) break;
        in = next + 1;
    }
    *out = 0;
    return 1;
}

int32_t TextString::RemoveCharsOf(const char* set) {
    // Removing the members one after another leaves what one pass leaves.
    if (!chars_ || !set || !set[0]) return 1;
    bool remove[256] = {};
    for (const char* s = set; *s; ++s) remove[static_cast<unsigned char>(*s)] = true;
    KeepOnly(chars_, remove);
    return 1;
}

const char* TextString::RemoveAmpersand() {
    RemoveFirstOccurrence('&');
    return CStr();
}

int32_t TextString::ReplaceChar(char from, char to) {
    if (!chars_ || !from) return 0;
    if (!to) {
        // Replacing by 0 ends the text before the first occurrence; the
        // count is still that of every occurrence.
        char* first = strchr(chars_, from);
        if (!first) return 0;
        int32_t count = CountChar(from);
        Truncate(int32_t(first - chars_));
        return count;
    }
    // Equal characters: every occurrence counts and the text stays as it is.
    int32_t count = 0;
    for (char* p = chars_; *p; ++p)
        if (*p == from) {
            *p = to;
            ++count;
        }
    return count;
}

void TextString::Insert(const char* text, int32_t index) {
    // A negative index, like one past the end, is no position in the text.
    if (!text || index < 0) return;
    int32_t length = Length();
    if (index > length) return;
    int32_t added = int32_t(strlen(text));
    if (added == 0) return;
    // Text from this very block would move with it: copy it out first.
    TextString copy;
    if (InsideBlock(chars_, text)) {
        copy.Assign(text);
        text = copy.chars_;
    }
    int64_t total = int64_t(length) + added;
    Reserve(ClampSize(total));
    memmove(chars_ + index + added, chars_ + index, size_t(length - index) + 1);
    memcpy(chars_ + index, text, size_t(added));
    SetKnownEnd(chars_, total);
}

void TextString::WriteBytes(int32_t offset, const void* bytes, int32_t count) {
    if (offset < 0 || count <= 0 || !bytes) return;
    const char* source = static_cast<const char*>(bytes);
    ptrdiff_t inside = InsideBlock(chars_, source) ? source - chars_ : -1;
    Reserve(ClampSize(int64_t(offset) + count));
    if (inside >= 0) source = chars_ + inside;
    // Only the bytes of the range change. Reserve leaves offset + count + 2
    // bytes of room, and fresh room is zero, so the text stays terminated
    // within the block; where it ends depends on the bytes written and on
    // those already there.
    memmove(chars_ + offset, source, size_t(count));
    ForgetEnd(chars_);
}

int32_t TextString::SplitKeyValue(TextString& key, TextString& value) const {
    if (!chars_) return 0;
    const char* equals = strchr(chars_, '=');
    if (!equals || equals == chars_) return 0;
    int32_t keyLength = int32_t(equals - chars_);
    // Either output may be this very string: take both parts before writing.
    TextString before = SliceCount(0, keyLength);
    TextString after(equals + 1);
    value.Assign(after.CStr());
    key.Assign(before.CStr());
    return 1;
}

// The copies: a null text gives a null result; a range reaching outside the
// text is cut to the text, and a reversed one gives an empty result.
TextString TextString::Slice(int32_t start, int32_t end) const {
    TextString part;
    if (!chars_) return part;
    int32_t length = Length();
    if (start < 0) start = 0;
    if (start > length) start = length;
    if (end > length) end = length;
    if (end < start) end = start;
    part.Reserve(end - start);
    memcpy(part.chars_, chars_ + start, size_t(end - start));
    part.Truncate(end - start);
    return part;
}

TextString TextString::SliceCount(int32_t start, int32_t count) const {
    if (count < 0) count = 0;
    int64_t end = int64_t(start < 0 ? 0 : start) + count;
    return Slice(start, end > INT32_MAX ? INT32_MAX : int32_t(end));
}

TextString TextString::SliceInclusive(int32_t first, int32_t last) const {
    int64_t end = last == -1 ? Length() : int64_t(last) + 1;
    return Slice(first, end < 0 ? 0 : end > INT32_MAX ? INT32_MAX : int32_t(end));
}
