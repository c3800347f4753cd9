// Splitting a text at separator characters into a TextStringList.
//
// The rules: a separator at index 0 stays in the first piece when empty
// pieces are skipped; a trailing separator never adds a piece; once the list
// holds `maximum` pieces, further separators are plain characters and the
// last element receives its separator and the whole unsplit rest.
//
// The splitter works on the list's slots directly, so the list's baseIndex
// does not matter. It walks the text twice: once to count the pieces, so the
// list's array is enlarged at most once, and once to fill it, copying each
// piece in one step. Both keep the time proportional to the text.
#include <string.h>

#include "text/TextString.h"
#include "text/TextStringList.h"

namespace {

// The distinct separator characters, as a text of their own and as a table.
struct SeparatorSet {
    char chars[257];
    bool member[256];
    int count;
    explicit SeparatorSet(const char* separators) : member(), count(0) {
        for (const char* p = separators; p && *p; ++p) {
            unsigned char b = static_cast<unsigned char>(*p);
            if (!member[b]) chars[count++] = *p;
            member[b] = true;
        }
        chars[count] = 0;
    }
    // The first separator at or after text + i, or length when none.
    int32_t Next(const char* text, int32_t i, int32_t length) const {
        if (count == 1) {
            const void* hit = memchr(text + i, chars[0], size_t(length - i));
            return hit ? int32_t(static_cast<const char*>(hit) - text) : length;
        }
        if (count == 0) return length;
        while (i < length && !member[static_cast<unsigned char>(text[i])]) ++i;
        return i;
    }
};

// Walks the pieces of text[0 .. length - 1] as the rules cut them, calling
// piece(start, end) for each new element. Returns the number of pieces and
// stores in *rest the index where the unsplit rest begins (length when none).
template <class OnPiece>
int32_t WalkPieces(const char* text, int32_t length, const SeparatorSet& set, int32_t maximum,
                   bool keepEmpty, int32_t* rest, OnPiece piece) {
    int32_t pieces = 0;
    int32_t start = 0;
    for (int32_t i = set.Next(text, 0, length); i < length; i = set.Next(text, i + 1, length)) {
        if (i == 0 && !keepEmpty) continue;
        if (maximum >= 0 && pieces >= maximum) break;  // the rest stays unsplit
        if (start < i || keepEmpty) {
            piece(start, i);
            ++pieces;
        }
        start = i + 1;
    }
    *rest = start;
    return pieces;
}

}  // namespace

int32_t TextString::SplitInto(const char* separators, TextStringList& list, int32_t maximum,
                              bool keepEmpty) const {
    // The separators may lie in an element of the list, which clearing the
    // list frees: each distinct one is copied out first.
    const SeparatorSet set(separators);
    // Clearing the list would free this very string when it is one of the
    // list's elements: split a copy of it then.
    for (int32_t slot = 0; slot < list.Size(); ++slot)
        if (list.items[slot] == this) {
            TextString copy(*this);
            return copy.SplitInto(set.chars, list, maximum, keepEmpty);
        }

    list.Clear(list.ownsElements);
    const char* text = CStr();
    const int32_t length = Length();
    int32_t rest = 0;

    int32_t pieces =
        WalkPieces(text, length, set, maximum, keepEmpty, &rest, [](int32_t, int32_t) {});
    // The remainder is a piece of its own unless the maximum is reached.
    if (rest < length && (maximum < 0 || maximum > pieces)) ++pieces;
    if (pieces > list.capacity) {
        list.Grow(pieces);
        list.Clear(false);
    }

    auto add = [&list, text](int32_t start, int32_t end) {
        TextString* element = list.InsertNew(-1);
        if (!element || end <= start) return;
        int32_t n = end - start;
        element->Reserve(n);
        memcpy(element->chars_, text + start, size_t(n));
        element->Truncate(n);
    };
    pieces = WalkPieces(text, length, set, maximum, keepEmpty, &rest, add);

    if (rest < length) {
        if (maximum < 0 || maximum > pieces) {
            add(rest, length);
        } else if (pieces > 0) {
            // The maximum is reached: the last element takes the separator
            // that ended its piece and everything after it. (With a maximum
            // of 0 there is no element to take it, and the list stays empty.)
            TextString* last = list.Size() >= pieces ? list.items[pieces - 1] : nullptr;
            if (last) last->Append(text + rest - 1);
        }
    }
    return 1;
}

// Trimming comes after splitting, so a piece of spaces stays as an empty piece.
int32_t TextString::SplitTrimmed(const char* separators, TextStringList& list,
                                 int32_t maximum) const {
    int32_t result = SplitInto(separators, list, maximum, false);
    for (int32_t slot = 0; slot < list.Size(); ++slot)
        if (list.items[slot]) list.items[slot]->TrimSpaces();
    return result;
}
