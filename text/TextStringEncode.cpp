// In-place transformations of a string's text: folding accented Latin-1
// letters to ASCII, hexadecimal decoding and encoding of byte data,
// percent-encoding, and cutting a document down to its body.
#include <string.h>

#include "text/TextBlock.h"
#include "text/TextString.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// FoldAccent for codes 192 to 255, eight to a row. Codes 128 to 191 all
// become '-'.
const char kFold192[65] = "AAA-A---"   // 192 to 199: A with grave, acute, circumflex, diaeresis
                          "EEEEIIII"   // 200 to 207
                          "-NOOO-O-"   // 208 to 215: N tilde; O grave, acute, circumflex, diaeresis
                          "-UUUU--s"   // 216 to 223: U grave to diaeresis; sharp s
                          "aaa-a---"   // 224 to 231
                          "eeeeiiii"   // 232 to 239
                          "-nooo-o-"   // 240 to 247
                          "-uuuu---";  // 248 to 255

bool IsPlainAlphanumeric(unsigned char b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
}

}  // namespace

char FoldAccent(char c) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 128) return c;
    if (b < 192) return '-';
    return kFold192[b - 192];
}

void TextString::FoldAccents() {
    if (!chars_) return;
    for (char* p = chars_; *p; ++p) *p = FoldAccent(*p);
}

// Each pair goes through HexValue by itself, so "4g" gives 4, " 5" gives 5
// and a pair with no hexadecimal number gives 0. The bytes are written in
// place: byte k never overtakes the pair at 2k it comes from.
int32_t TextString::HexDecode(int32_t& count) {
    int32_t length = Length();
    if (length % 2) return 0;
    int32_t n = length / 2;
    TextString pair;
    pair.Reserve(2);
    for (int32_t k = 0; k < n; ++k) {
        pair.chars_[0] = chars_[2 * k];
        pair.chars_[1] = chars_[2 * k + 1];
        pair.chars_[2] = 0;
        chars_[k] = char(pair.HexValue() & 0xFF);
    }
    if (chars_) Truncate(n);
    count = n;
    return 1;
}

// The count comes from the caller, since byte data may hold zero bytes. A
// negative count changes nothing; a count past the block's characters is cut
// to them (capacity bytes), so nothing outside the block is read, and fresh
// room is always zero, so no byte nobody wrote is read either. The digits
// are written from the back, where they never overwrite a byte still to be
// read.
void TextString::HexEncode(int32_t count) {
    if (count < 0) return;
    if (!chars_) return;
    if (count > Capacity()) count = Capacity();
    Reserve(ClampSize(2 * int64_t(count)));
    for (int32_t k = count - 1; k >= 0; --k) {
        unsigned char b = static_cast<unsigned char>(chars_[k]);
        chars_[2 * k] = kHexDigits[b >> 4];
        chars_[2 * k + 1] = kHexDigits[b & 15];
    }
    Truncate(2 * count);
}

// Letters and digits of ASCII and the space stay; every other byte becomes
// '%' and two upper-case hexadecimal digits (what "%02X" gives). The result
// is built in place from the back, in one pass and one growth.
void TextString::PercentEncode() {
    if (IsEmpty()) return;
    int32_t length = Length();
    int64_t encoded = 0;
    for (int32_t i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(chars_[i]);
        encoded += (IsPlainAlphanumeric(b) || b == ' ') ? 1 : 3;
    }
    Reserve(ClampSize(encoded));
    char* out = chars_ + encoded;
    Truncate(int32_t(encoded));
    for (int32_t i = length - 1; i >= 0; --i) {
        unsigned char b = static_cast<unsigned char>(chars_[i]);
        if (IsPlainAlphanumeric(b) || b == ' ') {
            *--out = char(b);
        } else {
            *--out = kHexDigits[b & 15];
            *--out = kHexDigits[b >> 4];
            *--out = '%';
        }
    }
}

// The markers are matched exactly, upper case only; the closing one is
// looked for after the opening one. Only line breaks are trimmed.
int32_t TextString::ExtractBody() {
    static const char kOpen[] = "<BODY>";
    static const char kClose[] = "</BODY>";
    int32_t open = FindText(kOpen);
    if (open < 0) return 0;
    TextString body(CStr() + open + int32_t(sizeof kOpen - 1));
    int32_t close = body.FindText(kClose);
    if (close < 0) return 0;
    *body.PtrAt(close) = 0;
    Assign(body);
    TrimLineEnds();
    return 1;
}
