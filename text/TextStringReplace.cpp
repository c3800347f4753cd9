// TextString::ReplaceText: replaces occurrences of a text until none is left.
//
// Each replacement is followed by a search of the whole text from its start,
// so occurrences that a replacement forms together with its neighbours are
// replaced as well. Rewriting the whole text and searching it from the start
// for every occurrence would cost the square of the text's length; instead
// the text is held in one buffer with a gap at the place of the latest
// replacement, and the search resumes where the first occurrence of the
// changed text can begin:
//
//  - an occurrence that ends before the replaced place lies in the unchanged
//    front part, where the previous search found none;
//  - so the first occurrence starts at or after q - m + 1 (q the replaced
//    place, m the length of the text to find), and with whole words one
//    position earlier, because the character right after an occurrence that
//    ends at q has changed and may now let it count as a word.
//
// The results are those of searching from the start every time.
#include "text/TextString.h"

#include <string.h>

#include "text/TextBlock.h"
#include "text/TextMatch.h"

namespace {

char* NewBuffer(int64_t size) { return static_cast<char*>(TextAllocate(size_t(size))); }

// The text with a gap: the part in front of the gap is buf[0, left), the
// part after it is buf[right, size - 1), terminated by buf[size - 1].
struct GapText {
    char* buf = nullptr;
    int64_t size = 0;
    int64_t left = 0;
    int64_t right = 0;

    GapText(const char* text, int64_t length, int64_t gap) {
        size = length + gap + 1;
        buf = NewBuffer(size);
        right = size - 1 - length;
        memcpy(buf + right, text, size_t(length) + 1);
    }
    ~GapText() { ::operator delete(buf); }
    GapText(const GapText&) = delete;
    GapText& operator=(const GapText&) = delete;

    int64_t Length() const { return left + (size - 1 - right); }

    // Puts the gap in front of text position p.
    void MoveGap(int64_t p) {
        if (p < left) {
            int64_t n = left - p;
            right -= n;
            memmove(buf + right, buf + p, size_t(n));
        } else if (p > left) {
            int64_t n = p - left;
            memmove(buf + left, buf + right, size_t(n));
            right += n;
        }
        left = p;
    }

    // Replaces the m characters right after the gap by r characters.
    void Replace(int64_t m, const char* replacement, int64_t r) {
        right += m;
        if (right - left < r) Widen(r);
        memcpy(buf + left, replacement, size_t(r));
        left += r;
    }

    void Widen(int64_t r) {
        int64_t tail = size - right;  // the part after the gap with its terminator
        int64_t needed = left + r + tail;
        int64_t fresh = needed + needed / 2 + 64;
        char* bigger = NewBuffer(fresh);
        memcpy(bigger, buf, size_t(left));
        memcpy(bigger + fresh - tail, buf + right, size_t(tail));
        ::operator delete(buf);
        buf = bigger;
        right = fresh - tail;
        size = fresh;
    }

    // The first occurrence at or after the gap, as a text position, or -1.
    int64_t FindAfterGap(const char* find, int32_t m, bool wholeWord) const {
        char before = left > 0 ? buf[left - 1] : 0;
        int32_t k =
            MatchText(buf + right, int32_t(size - 1 - right), 0, find, m, wholeWord, false, before);
        return k < 0 ? -1 : left + k;
    }
};

}  // namespace

int32_t TextString::ReplaceText(const char* find, const char* replacement, bool wholeWord) {
    // An empty text to find would be found again after every replacement:
    // nothing is replaced.
    if (!chars_ || !find || !find[0]) return 0;
    if (!replacement) replacement = kEmptyText;
    int32_t length = Length();
    int32_t m = int32_t(strlen(find));
    int32_t first = MatchText(chars_, length, 0, find, m, wholeWord, false, 0);
    if (first < 0) return 0;
    int32_t r = int32_t(strlen(replacement));

    // Whether a call ends cannot be told in advance ("ab" by "bba" ends after
    // 2^(n) - 1 replacements on a^n b; "a" by "ba" never does), so the call is
    // bounded instead: past kMaxReplacements replacements, or a text longer
    // than kMaxReplaceLength, it gives -1 and the text stays as it was.
    int64_t grow = r > m ? r - m : 0;
    GapText text(chars_, length, r + 16 + (grow ? length / 4 : 0));
    int32_t count = 0;
    int64_t q = first;
    while (q >= 0) {
        if (count == kMaxReplacements) return -1;
        if (grow && text.Length() + grow > kMaxReplaceLength) return -1;
        text.MoveGap(q);
        text.Replace(m, replacement, r);
        ++count;
        int64_t resume = q - m + (wholeWord ? 0 : 1);
        text.MoveGap(resume > 0 ? resume : 0);
        q = text.FindAfterGap(find, m, wholeWord);
    }

    // Only now is this string's own block written: the text to find and the
    // replacement may lie inside it.
    int64_t total = text.Length();
    Reserve(int32_t(total));
    memcpy(chars_, text.buf, size_t(text.left));
    memcpy(chars_ + text.left, text.buf + text.right, size_t(text.size - text.right));
    SetKnownEnd(chars_, total);
    return count;
}
