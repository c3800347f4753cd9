#include "regfile/RegQuickLine.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <string.h>

#include <algorithm>

#include "regfile/RegLoad.h"

namespace {

// A line's text as code units of Width bytes (1, or 2 in UTF-16LE), read
// in place. The document's units go on after the line, up to `readable`:
// sixteen bytes compared at once may look past the line's end.
template <size_t Width> struct Units {
    const uint8_t* at;
    size_t size;
    size_t readable;

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
    return {reinterpret_cast<const uint8_t*>(doc.bytes.data()) + from, (to - from) / Width,
            (UnitsEnd(doc) - from) / Width};
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

template <size_t W, size_t N>
bool StartsWith(const Units<W>& u, size_t pos, size_t end, const char (&tag)[N]) {
    if (pos + (N - 1) > end) return false;
    for (size_t k = 0; k + 1 < N; ++k)
        if (u[pos + k] != uint32_t(uint8_t(tag[k]))) return false;
    return true;
}

// The first '"' or '\\' from u[pos] on, or the line's end. Sixteen bytes
// at a time where the processor compares them at once.
template <size_t W> size_t QuoteOrBackslash(const Units<W>& u, size_t pos) {
#ifdef __SSE2__
    const __m128i quote = W == 1 ? _mm_set1_epi8('"') : _mm_set1_epi16('"');
    const __m128i backslash = W == 1 ? _mm_set1_epi8('\\') : _mm_set1_epi16('\\');
    for (; pos < u.size && pos + 16 / W <= u.readable; pos += 16 / W) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u.at + W * pos));
        __m128i hit = W == 1
                          ? _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash))
                          : _mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash));
        if (int mask = _mm_movemask_epi8(hit)) {
            size_t found = pos + size_t(__builtin_ctz(unsigned(mask))) / W;
            return found < u.size ? found : u.size;
        }
    }
    if (pos >= u.size) return u.size;
#endif
    while (pos < u.size && u[pos] != '"' && u[pos] != '\\') ++pos;
    return pos;
}

// After the opening quote of a text: where the text ends, after its closing
// quote, with *count its characters once unescaped; 0 for a text the full
// reading refuses (unterminated, "\0").
template <size_t W> size_t QuotedEnd(const Units<W>& u, size_t pos, size_t* count) {
    for (size_t n = 0;;) {
        size_t run = QuoteOrBackslash(u, pos);
        n += run - pos;
        pos = run;
        if (pos == u.size) return 0;
        if (u[pos] == '"') {
            *count = n;
            return pos + 1;
        }
        if (++pos == u.size || u[pos] == '0') return 0;
        ++pos;
        ++n;
    }
}

// Eight bytes as a number, the first lowest.
inline uint64_t EightAt(const uint8_t* at) {
    uint64_t x;
    memcpy(&x, at, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x);
#endif
    return x;
}

// The top bit of each byte of x (eight ASCII bytes) from lo to hi: no sum
// carries into the next byte.
inline uint64_t Within(uint64_t x, uint8_t lo, uint8_t hi) {
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    return (x + ones * (0x80 - lo)) & ~(x + ones * (0x7F - hi)) & highs;
}

// Eight ASCII bytes with the small letters made capitals: bytes from 'a'
// to 'z' lose their 0x20.
inline uint64_t FoldEight(uint64_t x) { return x ^ (Within(x, 'a', 'z') >> 2); }

// Whether the eight bytes at `at` are all hex digits. A byte from 0x80 up
// is in neither range, so it fails the whole word whatever its carry does
// to the byte above.
inline bool EightHexDigits(const uint8_t* at) {
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    uint64_t x = EightAt(at);
    return (Within(x, '0', '9') | Within(x | ones * 0x20, 'a', 'f')) == highs;
}

// Bytes of ASCII without a backslash (zeros in the high bytes of x read
// as neither), folded (*folded): the common run of a key name.
inline bool Plain(uint64_t x, uint64_t* folded) {
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    uint64_t t = x ^ (ones * '\\');
    if ((x & highs) || ((t - ones) & ~t & highs)) return false;
    *folded = FoldEight(x);
    return true;
}

inline bool EightPlain(const uint8_t* at, uint64_t* eight) { return Plain(EightAt(at), eight); }

// Four bytes the same way: what is left of a name after its runs of eight.
inline bool FourPlain(const uint8_t* at, uint64_t* four) {
    uint32_t x;
    memcpy(&x, at, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap32(x);
#endif
    return Plain(x, four);
}

// The hash of a root's name, the start of every path below it.
const KeyHash& RootHash(size_t root) {
    struct Roots {
        KeyHash hash[kRegRootCount];
        Roots() {
            for (size_t r = 0; r < kRegRootCount; ++r) {
                for (const char16_t* c = kRegRoots[r]; *c; ++c) hash[r].Char(*c);
                hash[r].End();
            }
        }
    };
    static const Roots roots;
    return roots.hash[root];
}

// The roots' lengths, in kRegRoots' order.
const size_t kRootLengths[kRegRootCount] = {18, 10, 17, 19, 17, 13};

// Whether the 8-bit name at `at` (as long as the root's) is the root's
// name in any case: eight letters at a time, in three words that cover it
// (at its start, middle and end; every root is ten letters or more).
bool IsRootFolded(const uint8_t* at, size_t root) {
    struct Words {
        uint64_t word[kRegRootCount][3];
        size_t offset[kRegRootCount][3];
        Words() {
            for (size_t r = 0; r < kRegRootCount; ++r) {
                size_t n = kRootLengths[r];
                size_t offsets[3] = {0, n / 2 - 4, n - 8};
                for (size_t w = 0; w < 3; ++w) {
                    offset[r][w] = offsets[w];
                    word[r][w] = 0;
                    for (size_t k = 0; k < 8; ++k)
                        word[r][w] |= uint64_t(kRegRoots[r][offsets[w] + k]) << (8 * k);
                }
            }
        }
    };
    static const Words words;
    for (size_t w = 0; w < 3; ++w) {
        uint64_t x = EightAt(at + words.offset[root][w]);
        if ((x & 0x8080808080808080ull) || FoldEight(x) != words.word[root][w]) return false;
    }
    return true;
}

// The root a key path between `from` and `to` starts with, in any case and
// followed by its end or a backslash; kRegRootCount when none.
template <size_t W> size_t QuickKeyRoot(const Units<W>& u, size_t from, size_t to) {
    if (W == 1) {
        // 8-bit names: the whole root's name compared eight letters at a time.
        for (size_t r = 0; r < kRegRootCount; ++r) {
            size_t n = kRootLengths[r];
            if (to - from >= n && (to - from == n || u[from + n] == '\\') &&
                IsRootFolded(u.at + from, r))
                return r;
        }
        return kRegRootCount;
    }
    // Every root starts "HKEY_"; the letter after it tells most apart.
    const size_t kHkey = 5;
    for (size_t k = 0; k < kHkey; ++k)
        if (to - from <= kHkey || FoldAscii(u[from + k]) != uint32_t(kRegRoots[0][k]))
            return kRegRootCount;
    for (size_t r = 0; r < kRegRootCount; ++r) {
        size_t n = kRootLengths[r];
        if (to - from < n || (to - from > n && u[from + n] != '\\') ||
            FoldAscii(u[from + kHkey]) != uint32_t(kRegRoots[r][kHkey]))
            continue;
        size_t k = kHkey + 1;
        while (k < n && FoldAscii(u[from + k]) == uint32_t(kRegRoots[r][k])) ++k;
        if (k == n) return r;
    }
    return kRegRootCount;
}

// A told key path as Statement::path holds it: the root's long name, then
// the names below it as written.
template <size_t W> void PathText(const Units<W>& u, const QuickKey& key, std::u16string* path) {
    const size_t root = kRootLengths[key.root], names = key.used - key.below;
    // One resize: the path kept from the line before mostly has the room.
    path->resize(root + (names ? 1 + names : 0));
    char16_t* p = &(*path)[0];
    std::char_traits<char16_t>::copy(p, kRegRoots[key.root], root);
    if (!names) return;
    p[root] = u'\\';
    p += root + 1;
    for (size_t i = 0; i < names; ++i) p[i] = char16_t(u[key.below + i]);
}

// Whether the units u[from, to) are the characters at `text`: eight at a
// time in an 8-bit file where the processor compares sixteen bytes at once.
template <size_t W>
bool SameUnits(const Units<W>& u, size_t from, size_t to, const char16_t* text) {
    size_t i = from;
#ifdef __SSE2__
    for (; W == 1 && i + 8 <= to; i += 8, text += 8) {
        const __m128i wide = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u.at + i)), _mm_setzero_si128());
        const __m128i same =
            _mm_cmpeq_epi16(wide, _mm_loadu_si128(reinterpret_cast<const __m128i*>(text)));
        if (_mm_movemask_epi8(same) != 0xFFFF) return false;
    }
#endif
    for (; i < to; ++i, ++text)
        if (*text != u[i]) return false;
    return true;
}

// Whether a kept parent is the parent of a told key line whose units up to
// its parent's end are u[0, upTo): by the line that last named it, whose
// units up to there are the same bytes, or by its path.
template <size_t W>
bool IsParent(const TreeLoader::Parent& parent, const Units<W>& u, const QuickKey& key,
              size_t upTo) {
    if (!parent.key) return false;
    if (parent.line)
        return parent.lineBytes == W * upTo && memcmp(parent.line, u.at, W * upTo) == 0;
    const size_t root = kRootLengths[key.root];
    const std::u16string& p = parent.path;
    return p.size() == root + upTo - (key.below - 1) &&
           memcmp(p.data(), kRegRoots[key.root], root * sizeof(char16_t)) == 0 &&
           SameUnits(u, key.below - 1, upTo, p.data() + root);
}

// A told key line made below the parent of its path among those the
// loader met last, as LoaderApply makes it, without the path written out
// (the line's names are ASCII, each at most kTreeMaxKeyName long). False
// for a root, or when no parent kept is the one.
template <size_t W> bool KeyBelowParent(const Units<W>& u, const QuickKey& key, TreeLoader& l) {
    if (key.used == key.below) return false;
    // The parent ends at the names' last backslash, or the root's.
    size_t upTo = key.below - 1;
    for (size_t i = key.used; i-- > key.below;)
        if (u[i] == '\\') {
            upTo = i;
            break;
        }
    for (TreeLoader::Parent& parent : l.parents) {
        if (!IsParent(parent, u, key, upTo)) continue;
        parent.line = u.at;
        parent.lineBytes = W * upTo;
        char16_t name[kTreeMaxKeyName];
        for (size_t i = upTo + 1; i < key.used; ++i) name[i - upTo - 1] = char16_t(u[i]);
        LoaderLeaveKey(l);
        l.key = &TreeKeyCreateChild(*parent.key, name, key.used - upTo - 1);
        return true;
    }
    return false;
}

// From u[*at], a step's start in an 8-bit key path: past the ASCII letters
// up to a backslash, a character outside ASCII or `used`, eight at a time
// and then the rest at once (read past them where the document goes on);
// added to *part and hashed into `hash` when given. False when the name
// grows too long.
template <size_t W>
bool NameRun(const Units<W>& u, size_t* at, size_t used, size_t* part, KeyHash* hash) {
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    size_t i = *at;
    for (uint64_t eight; i + 8 <= used && EightPlain(u.at + i, &eight); i += 8) {
        if ((*part += 8) > kTreeMaxKeyName) return false;
        if (hash) hash->Eight(eight);
    }
    if (i < used && i + 8 <= u.readable) {
        // The first byte out of place is exact; those above it do not count.
        uint64_t x = EightAt(u.at + i), t = x ^ (ones * '\\');
        uint64_t out = (x & highs) | ((t - ones) & ~t & highs);
        size_t n = out ? size_t(__builtin_ctzll(out)) / 8 : 8;
        n = n < used - i ? n : used - i;  // fewer than eight: the loop took eight
        if ((*part += n) > kTreeMaxKeyName) return false;
        if (hash && n) hash->Bytes(FoldEight(x), unsigned(n));
        i += n;
    } else if (uint64_t four; i + 4 <= used && FourPlain(u.at + i, &four)) {
        if ((*part += 4) > kTreeMaxKeyName) return false;
        if (hash) hash->FourBytes(four);
        i += 4;
    }
    *at = i;
    return true;
}

// How many of a path's steps have their backslash among the first `same`
// bytes of the path now read: both bytes of it in UTF-16, where a unit may
// share only its low byte with a backslash.
template <size_t W> size_t StepsBefore(const QuickKey::Path& p, size_t same) {
    size_t n = 0;
    while (n < p.steps && W * (p.step[n].at + 1) <= same) ++n;
    return n;
}

// How many of the steps a path kept the path u[from, to) shares: those
// whose backslash comes before the first unit that differs.
template <size_t W>
size_t SharedSteps(const Units<W>& u, size_t from, size_t to, const QuickKey::Path& p) {
    if (!p.steps) return 0;
    const size_t units = p.step[p.steps - 1].at + 1;
    const size_t bytes = W * (units < to - from ? units : to - from);
    const uint8_t *a = u.at + W * from, *b = p.start;
    size_t same = 0;
    for (; same + 8 <= bytes; same += 8) {
        // The first byte that differs, in the order the bytes stand.
        if (uint64_t differ = EightAt(a + same) ^ EightAt(b + same)) {
            same += size_t(__builtin_ctzll(differ)) / 8;
            return StepsBefore<W>(p, same);
        }
    }
    if (same < bytes && bytes >= 8) {
        // The last bytes in the eight that end them (those before are equal).
        same = bytes - 8;
        const uint64_t differ = EightAt(a + same) ^ EightAt(b + same);
        same = differ ? same + size_t(__builtin_ctzll(differ)) / 8 : bytes;
    }
    while (same < bytes && a[same] == b[same]) ++same;
    // Every step kept is shared when the units up to its last backslash are.
    return same == W * units ? p.steps : StepsBefore<W>(p, same);
}

// A backslash at u[at] hashed: kept for the paths after while there is room.
inline void KeepStep(QuickKey::Path* p, size_t at, size_t depth, const KeyHash& hash) {
    if (p->steps < 4)
        p->step[p->steps++] = QuickKey::Step{uint32_t(at), uint32_t(depth), hash.h, hash.above};
}

// Where the hashing of a path (its first unit at `path`, from u[from]; its
// names in [below, used)) starts: after the last of the `shared` steps it
// shares with *p, or at the root's name. Sets *hash and *depth there; *p
// becomes what the path leaves for the paths after.
inline size_t HashStart(const uint8_t* path, size_t from, size_t below, size_t used, size_t root,
                        size_t shared, QuickKey::Path* p, KeyHash* hash, size_t* depth) {
    p->steps = shared;
    p->start = path;
    p->root = root;
    if (shared) {
        // The units up to that backslash are those of the path kept, which
        // passed every check made before it.
        const QuickKey::Step& step = p->step[shared - 1];
        hash->h = step.hash;
        hash->above = step.above;
        *depth = step.depth;
        return from + step.at + 1;
    }
    *hash = RootHash(root);
    if (used > below) {
        hash->Backslash();
        KeepStep(p, kRootLengths[root], *depth, *hash);
    }
    return below;
}

// Of the two paths kept, the one that shares the most steps with the path
// u[from, to) (*source, the older on a tie; *shared, its steps shared).
// Returns the one the path replaces: that one, when the path goes on below
// its every step kept (a key beside it or below it); else the other, so
// that two branches read in turn (a driver, then its driver key) each keep
// their own.
template <size_t W>
size_t PathSlot(const Units<W>& u, size_t from, size_t to, const QuickKey& key, size_t* source,
                size_t* shared) {
    // The older first: where two branches are read in turn, the path goes
    // on below its every step, and the newer need not be compared.
    const size_t older = key.older, newer = 1 - older;
    const size_t inOlder = SharedSteps(u, from, to, key.last[older]);
    const size_t inNewer = inOlder == key.last[older].steps && inOlder >= key.last[newer].steps
                               ? 0
                               : SharedSteps(u, from, to, key.last[newer]);
    *source = inNewer > inOlder ? newer : older;
    *shared = inNewer > inOlder ? inNewer : inOlder;
    return !*shared || *shared == key.last[*source].steps ? *source : 1 - *source;
}

// The key path between '[' (or "[-") and the last ']', all ASCII.
template <size_t W>
bool QuickKeyPath(const Units<W>& u, size_t from, size_t to, bool deletion, QuickKey* out) {
    const bool hashes = out && out->hashes;
    size_t shared = 0, source = 0, slot = 0;
    if (hashes) slot = PathSlot(u, from, to, *out, &source, &shared);
    QuickKey::Path* kept = hashes ? &out->last[source] : nullptr;
    const size_t root = shared ? kept->root : QuickKeyRoot(u, from, to);
    if (root == kRegRootCount) return false;
    const size_t rootLength = kRootLengths[root];
    size_t below = from + rootLength + (to - from > rootLength);
    if (below < to && u[below] == '\\') return false;
    size_t used = to;  // without trailing backslashes
    while (used > below && u[used - 1] == '\\') --used;
    while (shared && from + kept->step[shared - 1].at >= used) --shared;
    if (slot != source) {
        // The steps shared go over to the path replaced.
        std::copy(kept->step, kept->step + shared, out->last[slot].step);
        kept = &out->last[slot];
    }
    KeyHash hash;
    size_t part = 0, depth = used > below, i = below;
    if (hashes) {
        i = HashStart(u.at + W * from, from, below, used, root, shared, kept, &hash, &depth);
        out->older = 1 - slot;
    }
    for (; i < used; ++i) {
        // 8-bit names a run at a time, from a step's start.
        if (W == 1 && hash.filled == 0) {
            if (!NameRun(u, &i, used, &part, hashes ? &hash : nullptr)) return false;
            if (i == used) break;
        }
        uint32_t c = u[i];
        if (c >= 0x80) return false;
        if (c != '\\') {
            if (++part > kTreeMaxKeyName) return false;
            if (hashes) hash.Char(char16_t(FoldAscii(c)));
        } else if (part == 0) {
            return false;
        } else {
            part = 0;
            ++depth;
            if (hashes) hash.Backslash();
            if (hashes) KeepStep(kept, i - from, depth, hash);
        }
    }
    if (depth > kTreeMaxKeyDepth || (deletion && used == below)) return false;
    if (!out) return true;
    out->root = root;
    out->below = below;
    out->used = used;
    if (out->path) PathText(u, *out, out->path);
    if (hashes) {
        out->key = hash.Key();
        out->parent = hash.Parent();
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

// From u[pos]: past the units of two hex digits and a comma each, up to
// five at a time in sixteen units compared at once where the processor
// can; else pos. 16-bit units are packed into bytes first: one above 0xFF
// becomes 0 or 0xFF, neither a digit nor a comma.
template <size_t W> inline size_t HexTriples(const Units<W>& u, size_t pos, size_t end) {
#ifdef __SSE2__
    // The commas of five bytes, in the first fifteen of sixteen.
    const int kCommas = 0x4924, kFifteen = 0x7FFF;
    const __m128i comma = _mm_set1_epi8(',');
    // Bytes in [lo, hi]: those whose distance above lo is at most hi - lo.
    auto within = [](__m128i v, char lo, char hi) {
        __m128i d = _mm_sub_epi8(v, _mm_set1_epi8(lo));
        return _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(char(hi - lo))), d);
    };
    for (; pos + 16 <= end; pos += 15) {
        const __m128i* at = reinterpret_cast<const __m128i*>(u.at + W * pos);
        __m128i v = W == 1 ? _mm_loadu_si128(at)
                           : _mm_packus_epi16(_mm_loadu_si128(at), _mm_loadu_si128(at + 1));
        __m128i digit = _mm_or_si128(within(v, '0', '9'),
                                     within(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'f'));
        // The bytes out of place; those before the first make whole triples.
        unsigned wrong = unsigned((_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma)) ^ kCommas) |
                                  (_mm_movemask_epi8(digit) ^ ~kCommas)) &
                         kFifteen;
        if (wrong) return pos + size_t(__builtin_ctz(wrong)) / 3 * 3;
    }
#else
    (void)u;
    (void)end;
#endif
    return pos;
}

// Where the values' names and data go when the quick reading builds them:
// the statement's name, type and data, as ReadStatement leaves them; and
// how an 8-bit unit reads as a character (null: as itself).
struct Building {
    Statement* st;
    const char16_t* toWide;
    bool hex = false;  // the data is in hex form

    // The `count` characters of the text between the quotes at u[from - 1]
    // and u[to], unescaped, each given to Put(k, character).
    template <size_t W, typename PutChar>
    void Text(const Units<W>& u, size_t from, size_t to, size_t count, PutChar Put) const {
        // Local copies: the bytes Put stores could be anything to the
        // compiler, which would read the units' place and the table's again
        // after each.
        const uint8_t* const at = u.at;
        const char16_t* const table = W == 1 ? toWide : nullptr;
        auto charAt = [at, table](size_t i) {
            const uint32_t unit = W == 1 ? at[i] : uint32_t(at[2 * i] | at[2 * i + 1] << 8);
            return table ? table[unit] : char16_t(unit);
        };
        if (count == to - from) {  // no escapes: a unit a character
            for (size_t k = 0; k < count; ++k) Put(k, charAt(from + k));
            return;
        }
        for (size_t i = from, k = 0; i < to; ++i) {
            char16_t c = charAt(i);
            if (c == u'\\') {
                c = charAt(++i);
                c = c == u'n' ? u'\n' : c == u'r' ? u'\r' : c;
            }
            Put(k++, c);
        }
    }
    template <size_t W>
    void Text(const Units<W>& u, size_t from, size_t to, size_t count, std::u16string* out) const {
        out->resize(count);
        char16_t* text = &(*out)[0];
        Text(u, from, to, count, [text](size_t k, char16_t c) { text[k] = c; });
    }
};

// Hex bytes from u[pos] to `end`: 1 when the data ends there, 2 when a
// trailing backslash continues it, 0 when the full reading would refuse it.
// The bytes are added to data when given.
template <size_t W>
int QuickHexBytes(const Units<W>& u, size_t pos, size_t end, std::vector<uint8_t>* data) {
    // Most data is bytes of two digits and a comma: those first, five or
    // one at a time.
    if (!data) pos = HexTriples(u, pos, end);
    while (pos + 3 <= end && IsHexDigit(u[pos]) && IsHexDigit(u[pos + 1]) && u[pos + 2] == ',') {
        if (data) data->push_back(uint8_t(HexDigit(u[pos]) << 4 | HexDigit(u[pos + 1])));
        pos += 3;
    }
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
        if (data) data->push_back(uint8_t(value));
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
template <size_t W> int QuickHexData(const Units<W>& u, size_t pos, size_t end, Building* build) {
    uint64_t type = kTreeTypeBinary;
    if (StartsWith(u, pos, end, "hex:")) {
        pos += 4;
    } else {
        if (!StartsWith(u, pos, end, "hex(")) return 0;
        type = 0;
        for (pos += 4; pos < end && HexDigit(u[pos]) >= 0 && type <= 0xFFFFFFFFu; ++pos)
            type = type * 16 + uint32_t(HexDigit(u[pos]));
        if (type > 0xFFFFFFFFu || pos + 1 >= end || u[pos] != ')' || u[pos + 1] != ':') return 0;
        pos += 2;
    }
    if (build) {
        build->st->type = uint32_t(type);
        build->st->data.clear();
        build->hex = true;
    }
    return QuickHexBytes(u, pos, end, build ? &build->st->data : nullptr);
}

// The data of a value line after '=' and its blanks, on this line alone:
// 1 for a value, 3 for a deletion, 2 for hex data continued on the next
// line, 0 when the full reading must tell.
template <size_t W> int QuickValueData(const Units<W>& u, size_t pos, Building* build) {
    size_t end = u.size;
    while (end > pos && IsBlank(u[end - 1])) --end;
    if (pos < end && u[pos] == '-') {
        if (!OnlyCommentAfter(u, pos + 1, u.size)) return 0;
        if (build) build->st->data.clear();
        return 3;
    }
    if (pos < end && u[pos] == '"') {
        size_t count, close = QuotedEnd(u, pos + 1, &count);
        if (!close || !OnlyCommentAfter(u, close, u.size)) return 0;
        if (build) {
            // Little-endian 16-bit text and its terminating zero.
            std::vector<uint8_t>& d = build->st->data;
            d.resize(2 * count + 2);
            uint8_t* data = d.data();
            build->Text(u, pos + 1, close - 1, count,
                        [data](size_t k, char16_t c) { Utf16LePut(data + 2 * k, c); });
            Utf16LePut(data + 2 * count, 0);
            build->st->type = kTreeTypeString;
        }
        return 1;
    }
    if (StartsWith(u, pos, end, "dword:")) {
        pos = SkipBlanks(u, pos + 6, end);
        size_t start = pos;
        uint32_t value = 0;
        for (; pos < end && HexDigit(u[pos]) >= 0 && pos - start < 9; ++pos)
            value = value * 16 + uint32_t(HexDigit(u[pos]));
        if (pos == start || pos - start > 8 || !OnlyCommentAfter(u, pos, u.size)) return 0;
        if (build) {
            build->st->data.resize(4);
            for (int k = 0; k < 4; ++k) build->st->data[k] = uint8_t(value >> (8 * k));
            build->st->type = kTreeTypeDword;
        }
        return 1;
    }
    return QuickHexData(u, pos, end, build);
}

template <size_t W>
bool QuickValue(const RegDocument& doc, LineFinder& lines, const Units<W>& u, size_t pos,
                bool asciiOnly, Statement::Kind* kind, uint32_t* lineCount, size_t* next,
                Building* build) {
    if (u[pos] == '@') {
        if (build) build->st->name.clear();
        ++pos;
    } else {
        size_t count, close = QuotedEnd(u, pos + 1, &count);
        if (!close || count > kTreeMaxValueName) return false;
        if (build) build->Text(u, pos + 1, close - 1, count, &build->st->name);
        pos = close;
    }
    pos = SkipBlanks(u, pos, u.size);
    if (pos == u.size || u[pos] != '=') return false;
    int state = QuickValueData(u, SkipBlanks(u, pos + 1, u.size), build);
    std::vector<uint8_t>* data = build ? &build->st->data : nullptr;
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
        state = QuickHexBytes(line, k, line.size, data);
    }
    if (state == 0) return false;
    *kind = state == 3 ? Statement::kValueDeletion : Statement::kValue;
    if (build && build->hex) PrepareHexText(doc, build->st);
    return true;
}

// A value line whose data is a quoted text, named by a quoted name or '@',
// told as QuickValue tells it, whose name and text hold only characters
// kept in a byte (ASCII in an 8-bit file, which means the same in every
// 8-bit encoding): set in the key straight from the line, through `room`.
// False for any other line, left to the caller.
template <size_t W> bool SetText(const Units<W>& u, TreeKey& key, std::vector<uint8_t>& room) {
    size_t pos = SkipBlanks(u, 0, u.size), nameFrom = 0, nameTo = 0, nameCount = 0;
    if (pos == u.size || (u[pos] != '"' && u[pos] != '@')) return false;
    if (u[pos] == '@') {
        ++pos;
    } else {
        const size_t close = QuotedEnd(u, pos + 1, &nameCount);
        if (!close || nameCount > kTreeMaxValueName) return false;
        nameFrom = pos + 1, nameTo = close - 1, pos = close;
    }
    pos = SkipBlanks(u, pos, u.size);
    if (pos == u.size || u[pos] != '=') return false;
    pos = SkipBlanks(u, pos + 1, u.size);
    size_t count, close;
    if (pos == u.size || u[pos] != '"' || !(close = QuotedEnd(u, pos + 1, &count)) ||
        !OnlyCommentAfter(u, close, u.size))
        return false;
    // The room only grows: neither zeroed nor allocated again for the next.
    if (room.size() < nameCount + count + 1) room.resize(nameCount + count + 1);
    uint8_t* const name = room.data();
    uint8_t* const text = name + nameCount;
    uint32_t seen = 0;  // every character's bits
    const Building plain{nullptr, nullptr};
    plain.Text(u, nameFrom, nameTo, nameCount, [&](size_t k, char16_t c) {
        seen |= c;
        name[k] = uint8_t(c);
    });
    plain.Text(u, pos + 1, close - 1, count, [&](size_t k, char16_t c) {
        seen |= c;
        text[k] = uint8_t(c);
    });
    text[count] = 0;  // the terminator
    if (seen >= (W == 1 ? 0x80u : 0x100u)) return false;
    TreeKeySetNarrowValue(key, name, nameCount, kTreeTypeString, text, count + 1);
    return true;
}

template <size_t W>
bool Quick(const RegDocument& doc, LineFinder& lines, size_t start, Statement::Kind* kind,
           uint32_t* lineCount, size_t* next, QuickKey* key, Statement* values) {
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
    if (u[pos] == '[') {
        if (key) key->lineStart = start;
        return QuickKeyLine(u, pos, kind, key);
    }
    if (u[pos] != '"' && u[pos] != '@') return false;
    if (!values) return QuickValue(doc, lines, u, pos, asciiOnly, kind, lineCount, next, nullptr);
    // The name and data are each set in full where they are read; they
    // keep their room (and old units) until then.
    values->type = 0;
    Building build{values, doc.format.encoding == kRegFileAnsi ? Cp1252().toWide : nullptr};
    return QuickValue(doc, lines, u, pos, asciiOnly, kind, lineCount, next, &build);
}

#ifdef __SSE2__
// Sixteen bytes of units c; and the units of a equal to those of b, all
// their bits set.
template <size_t W> inline __m128i Splat(char c) {
    return W == 1 ? _mm_set1_epi8(c) : _mm_set1_epi16(c);
}
template <size_t W> inline __m128i Same(__m128i a, __m128i b) {
    return W == 1 ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b);
}
#endif

// Where the line whose text ends at u[at] (a CR, an LF or the end) is
// followed by the next one.
template <size_t W> inline size_t PastLineEnd(const Units<W>& u, size_t at) {
    if (at == u.size) return at;
    return at + 1 + (u[at] == '\r' && at + 1 < u.size && u[at + 1] == '\n');
}

template <size_t W> inline bool IsLineEnd(const Units<W>& u, size_t at) {
    return at == u.size || u[at] == '\r' || u[at] == '\n';
}

// The first '"', '\\', CR or LF from u[pos] on, or the end: the end of a
// quoted text or of its run, found in the one pass over its units.
template <size_t W> inline size_t QuoteBackslashOrLineEnd(const Units<W>& u, size_t pos) {
#ifdef __SSE2__
    const __m128i quote = Splat<W>('"'), backslash = Splat<W>('\\'), cr = Splat<W>('\r'),
                  lf = Splat<W>('\n');
    for (; pos + 16 / W <= u.size; pos += 16 / W) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u.at + W * pos));
        __m128i hit = _mm_or_si128(_mm_or_si128(Same<W>(v, quote), Same<W>(v, backslash)),
                                   _mm_or_si128(Same<W>(v, cr), Same<W>(v, lf)));
        if (int mask = _mm_movemask_epi8(hit))
            return pos + size_t(__builtin_ctz(unsigned(mask))) / W;
    }
#endif
    for (; pos < u.size; ++pos)
        if (u[pos] == '"' || u[pos] == '\\' || u[pos] == '\r' || u[pos] == '\n') return pos;
    return u.size;
}

// After a text's opening quote: where its closing quote is, or 0 when the
// line ends first or an escape is one the full reading refuses (a '0', or
// the line's end, after the backslash). Escapes take the unit after them
// inside the sixteen-byte compare, so a path full of "\\" is one pass.
template <size_t W> size_t ClosingQuote(const Units<W>& u, size_t pos) {
#ifdef __SSE2__
    const __m128i quote = Splat<W>('"'), backslash = Splat<W>('\\'), cr = Splat<W>('\r'),
                  lf = Splat<W>('\n');
    while (pos + 16 / W <= u.size) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u.at + W * pos));
        unsigned ends = unsigned(_mm_movemask_epi8(
            _mm_or_si128(Same<W>(v, quote), _mm_or_si128(Same<W>(v, cr), Same<W>(v, lf)))));
        unsigned escapes = unsigned(_mm_movemask_epi8(Same<W>(v, backslash)));
        size_t next = pos + 16 / W;
        for (unsigned hits; (hits = ends | escapes) != 0;) {
            unsigned bit = unsigned(__builtin_ctz(hits));
            size_t at = pos + bit / W;
            if (!(escapes >> bit & 1)) return u[at] == '"' ? at : 0;
            if (IsLineEnd(u, at + 1) || u[at + 1] == '0') return 0;
            if (at + 2 >= next) {
                next = at + 2;
                break;
            }
            // Units up to the escaped one are done.
            unsigned keep = ~0u << (W * (at + 2 - pos));
            ends &= keep;
            escapes &= keep;
        }
        pos = next;
    }
#endif
    for (; pos < u.size; ++pos) {
        if (u[pos] == '"') return pos;
        if (u[pos] == '\r' || u[pos] == '\n') return 0;
        if (u[pos] == '\\' && (IsLineEnd(u, ++pos) || u[pos] == '0')) return 0;
    }
    return 0;
}

// Hex bytes of two digits, commas between, from u[*pos] to the line's end:
// 1 when the data ends there, 2 when a backslash right after a comma
// continues it, 0 for anything else. *pos ends at the line's end.
template <size_t W> inline int PassHexBytes(const Units<W>& u, size_t* pos) {
    size_t at = HexTriples(u, *pos, u.size);
    // Whole bytes passed end in a comma: the line may end or continue there.
    for (bool comma = at != *pos;; ++at) {
        if (comma && at < u.size && u[at] == '\\') {
            *pos = ++at;
            return IsLineEnd(u, at) ? 2 : 0;
        }
        if (comma && IsLineEnd(u, at)) break;
        if (at + 1 >= u.size || !IsHexDigit(u[at]) || !IsHexDigit(u[at + 1])) return 0;
        at += 2;
        comma = at < u.size && u[at] == ',';
        if (!comma) {
            if (!IsLineEnd(u, at)) return 0;
            break;
        }
    }
    *pos = at;
    return 1;
}

// The data of a value line after its '=', in the common forms; returns
// where its last line's text ends (*lines: its lines), or 0.
template <size_t W> size_t PassValueData(const Units<W>& u, size_t at, uint32_t* lines) {
    if (at == u.size) return 0;
    if (u[at] == '"') {
        at = ClosingQuote(u, at + 1);
        return at && IsLineEnd(u, at + 1) ? at + 1 : 0;
    }
    if (u[at] == '-') return IsLineEnd(u, at + 1) ? at + 1 : 0;
    if (StartsWith(u, at, u.size, "dword:")) {
        size_t digits = at + 6;
        // Most dwords are written with all eight digits: those at once.
        if (W == 1 && digits + 8 <= u.size && EightHexDigits(u.at + digits))
            digits += 8;
        else
            while (digits < u.size && digits - at < 15 && IsHexDigit(u[digits])) ++digits;
        return digits > at + 6 && digits <= at + 14 && IsLineEnd(u, digits) ? digits : 0;
    }
    if (StartsWith(u, at, u.size, "hex:")) {
        at += 4;
    } else if (StartsWith(u, at, u.size, "hex(")) {
        size_t digits = at + 4;
        while (digits < u.size && digits - at < 13 && IsHexDigit(u[digits])) ++digits;
        if (digits == at + 4 || digits > at + 12 || u.size - digits < 2 || u[digits] != ')' ||
            u[digits + 1] != ':')
            return 0;
        at = digits + 2;
    } else {
        return 0;
    }
    // Continued lines: blanks, then more bytes.
    for (int state; (state = PassHexBytes(u, &at)) != 1;) {
        if (state == 0) return 0;
        at = PastLineEnd(u, at);
        ++*lines;
        while (at < u.size && IsBlank(u[at])) ++at;
    }
    return at;
}

// The number of the name u[from, to) among the names the set loads, or -1
// when it loads no such name. The set's names are ASCII, so a unit outside
// ASCII, whatever character the file's code page makes of an 8-bit one,
// never matches.
template <size_t W>
int LoadsValue(const QuickNames& names, const Units<W>& u, size_t from, size_t to) {
    const size_t n = to - from;
    if (!names.inWords) {
        for (size_t i = 0; i < names.set->values.size(); ++i) {
            const std::u16string& v = names.set->values[i];
            if (v.size() != n) continue;
            size_t k = 0;
            while (k < n && RegFoldChar(char16_t(u[from + k])) == RegFoldChar(v[k])) ++k;
            if (k == n) return int(i);
        }
        return -1;
    }
    if (n > 8 || !(names.lengths >> n & 1) || (n && !(names.firsts >> (u[from] & 31) & 1)))
        return -1;
    uint64_t x = 0;
    if (W == 1 && from + 8 <= u.readable) {
        x = EightAt(u.at + from);
        if (n < 8) x &= (uint64_t(1) << (8 * n)) - 1;
    } else {
        for (size_t k = 0; k < n; ++k) {
            uint32_t c = u[from + k];
            if (c >= 0x80) return -1;
            x |= uint64_t(c) << (8 * k);
        }
    }
    if (x & 0x8080808080808080ull) return -1;
    x = FoldEight(x);
    for (size_t i = 0; i < names.count; ++i)
        if (names.length[i] == n && names.word[i] == x) return int(i);
    return -1;
}

template <size_t W>
size_t PassValues(const RegDocument& doc, size_t startByte, uint32_t* lineCount,
                  uint32_t* valueCount, const QuickNames* stopAt, int* loadedName,
                  QuickKept* kept) {
    const Units<W> u = UnitsOf<W>(doc, 0, UnitsEnd(doc));
    size_t start = startByte / W;
    uint32_t& lineTotal = *lineCount;
    uint32_t& values = *valueCount;
    lineTotal = values = 0;
    while (start < u.size) {
        size_t at = start;
        uint32_t lines = 1;
        if (u[at] == ';') {
            at = FindLineEnd<W>(u.at, W * at, W * u.size) / W;
        } else if (u[at] == '"' || u[at] == '@') {
            size_t name = at + 1, nameEnd = at + 1;  // '@': the default value, no name
            if (u[at] == '"') {
                at = nameEnd = QuoteBackslashOrLineEnd(u, name);
                if (at == u.size || u[at] != '"' || at - name > kTreeMaxValueName) break;
            }
            if (stopAt && (*loadedName = LoadsValue(*stopAt, u, name, nameEnd)) >= 0 &&
                (!kept || (*loadedName == kept->build && !kept->plain)))
                break;
            if (++at == u.size || u[at] != '=') break;
            const size_t data = ++at;
            if (!(at = PassValueData(u, at, &lines))) break;
            if (*loadedName >= 0) {
                uint32_t kind = u[data] == '-' ? kQuickKeptDeletion : 0;
                if (*loadedName == kept->build) {
                    // Its text between quotes, when its data is one.
                    const bool text = u[data] == '"';
                    kind = kQuickKeptText;
                    kept->texts.push_back(QuickText{uint32_t(W * name), uint32_t(W * nameEnd),
                                                    text ? uint32_t(W * (data + 1)) : 0,
                                                    text ? uint32_t(W * (at - 1)) : 0});
                }
                kept->starts.push_back(uint32_t(W * start) | kind);
                *loadedName = -1;
            }
            ++values;
        } else if (u[at] != '\r' && u[at] != '\n') {
            break;
        }
        lineTotal += lines;
        // The last line, without a line end, takes a lone byte after it.
        if (at == u.size) return doc.bytes.size();
        start = PastLineEnd(u, at);
    }
    return W * start;
}

}  // namespace

QuickNames QuickNamesOf(const RegKeySet& set) {
    QuickNames names;
    names.set = &set;
    names.inWords = set.values.size() <= 4;
    for (const std::u16string& v : set.values) {
        uint64_t word = 0;
        for (size_t k = 0; k < v.size() && names.inWords; ++k) {
            names.inWords = k < 8 && v[k] < 0x80;
            if (names.inWords) word |= uint64_t(FoldAscii(v[k])) << (8 * k);
        }
        if (!names.inWords) break;
        names.lengths |= uint32_t(1) << v.size();
        if (!v.empty()) names.firsts |= uint32_t(1) << (v[0] & 31);
        names.length[names.count] = uint8_t(v.size());
        names.word[names.count++] = word;
    }
    return names;
}

size_t QuickPassValues(const RegDocument& doc, size_t start, uint32_t* lineCount,
                       uint32_t* valueCount, const QuickNames* stopAt, int* loadedName,
                       QuickKept* kept) {
    int ignored;
    int& loaded = loadedName ? *loadedName : ignored;
    loaded = -1;
    if (UnitSize(doc) == 2)
        return PassValues<2>(doc, start, lineCount, valueCount, stopAt, &loaded, kept);
    return PassValues<1>(doc, start, lineCount, valueCount, stopAt, &loaded, kept);
}

void QuickKeyPathText(const RegDocument& doc, const QuickKey& key, std::u16string* path) {
    if (UnitSize(doc) == 2)
        PathText(UnitsOf<2>(doc, key.lineStart, key.lineStart + 2 * key.used), key, path);
    else
        PathText(UnitsOf<1>(doc, key.lineStart, key.lineStart + key.used), key, path);
}

bool QuickKeyBelowParent(const RegDocument& doc, const QuickKey& key, TreeLoader& loader) {
    if (UnitSize(doc) == 2)
        return KeyBelowParent(UnitsOf<2>(doc, key.lineStart, key.lineStart + 2 * key.used), key,
                              loader);
    return KeyBelowParent(UnitsOf<1>(doc, key.lineStart, key.lineStart + key.used), key, loader);
}

bool QuickSetText(const RegDocument& doc, size_t start, TreeKey& key, std::vector<uint8_t>* room) {
    LineFinder lines{doc};
    size_t end;
    lines.Line(start, &end);
    if (UnitSize(doc) == 2) return SetText(UnitsOf<2>(doc, start, end), key, *room);
    const Units<1> u = UnitsOf<1>(doc, start, end);
    // UTF-8 outside ASCII anywhere on the line is the full reading's.
    const bool utf8 = doc.format.encoding == kRegFileUtf8 || doc.format.encoding == kRegFileUtf8Bom;
    return !(utf8 && u.HasNonAscii()) && SetText(u, key, *room);
}

bool QuickStatement(const RegDocument& doc, LineFinder& lines, size_t start, Statement::Kind* kind,
                    uint32_t* lineCount, size_t* next, QuickKey* key, Statement* values) {
    if (UnitSize(doc) == 2) return Quick<2>(doc, lines, start, kind, lineCount, next, key, values);
    return Quick<1>(doc, lines, start, kind, lineCount, next, key, values);
}

namespace {

// Eight units, the first lowest in lo, as UTF-16LE at `out`.
inline void PutUnits(uint64_t lo, uint64_t hi, uint8_t* out) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(out, &lo, 8);
    memcpy(out + 8, &hi, 8);
#else
    for (int k = 0; k < 4; ++k) {
        Utf16LePut(out + 2 * k, char16_t(lo >> (16 * k)));
        Utf16LePut(out + 8 + 2 * k, char16_t(hi >> (16 * k)));
    }
#endif
}

// The first `count` of eight ASCII units hashed: a step of four at a time
// from a step's start, else one by one.
inline void HashUnits(KeyHash& hash, uint64_t lo, uint64_t hi, size_t count) {
    if (hash.filled) {
        for (size_t k = 0; k < count; ++k)
            hash.Char(char16_t(FoldAscii(uint32_t((k < 4 ? lo : hi) >> (16 * (k % 4))) & 0xFF)));
        return;
    }
    if (count >= 4) {
        hash.Four(FoldAsciiFour(lo));
        lo = hi;
        count -= 4;
    }
    if (count == 4)
        hash.Four(FoldAsciiFour(lo));
    else if (count)
        hash.Units(FoldAsciiFour(lo), unsigned(count));
}

// How many of the eight bytes of x (the first lowest) lead before the
// first one outside ASCII, a zero or a backslash. Each test's lowest hit
// is exact (a borrow reaches only the bytes above a zero), so their first
// is.
inline size_t PlainLead(uint64_t x) {
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const uint64_t t = x ^ (ones * '\\');
    const uint64_t out = (x & highs) | ((x - ones) & ~x & highs) | ((t - ones) & ~t & highs);
    return out ? size_t(__builtin_ctzll(out)) / 8 : 8;
}

}  // namespace

size_t QuickPlainText(const RegDocument& doc, uint32_t from, uint32_t to, uint8_t* out,
                      const RegKeyPrefix* below, RegNamedKey* named) {
    const uint8_t* at = reinterpret_cast<const uint8_t*>(doc.bytes.data());
    const size_t readable = UnitsEnd(doc);
    // The key named goes without the text's trailing backslashes.
    size_t hashEnd = to;
    while (hashEnd >= from + 2 && at[hashEnd - 1] == '\\') hashEnd -= 2;
    KeyHash hash;
    if (below) {
        hash.h = below->hash;
        hash.above = below->above;
    }
    size_t n = 0;
    for (size_t i = from; i < to;) {
        // The plain characters from i: eight at a time where the document
        // goes on, else one.
        uint64_t x = at[i];
        size_t run = x && x < 0x80 && x != '\\';
        if (i + 8 <= readable) run = PlainLead(x = EightAt(at + i));
        run = run < to - i ? run : to - i;
        const uint64_t lo = SpreadFour(uint32_t(x)), hi = SpreadFour(uint32_t(x >> 32));
        PutUnits(lo, hi, out + 2 * n);
        if (below) HashUnits(hash, lo, hi, run);
        i += run;
        n += run;
        if (i == to) break;
        // A run ends at a backslash, written "\\"; or where the bytes read
        // end, and the next run goes on.
        if (at[i] != '\\' && run) continue;
        if (at[i] != '\\' || i + 1 == to || at[i + 1] != '\\') return kQuickNotPlain;
        out[2 * n] = '\\';
        out[2 * n + 1] = 0;
        ++n;
        if (below && i < hashEnd) hash.Backslash();
        i += 2;
    }
    if (named) *named = RegNamedKey{hashEnd > from, hash.Key(), hash.Parent()};
    return n;
}
