// Concatenation and ordering operators, filling, whole-text extraction,
// length-prefixed file records and the raw byte fills.
//
// A record is one string in a byte stream:
//
//   +---------------------+--------------------+------+
//   | length, 2 bytes,    | the text, `length` | 10   |
//   | little-endian, 0..  | bytes, no          |      |
//   | 32767               | terminator         |      |
//   +---------------------+--------------------+------+
//
// Records follow each other with nothing in between. Null and empty strings
// are both written as 0, 0, 10.
#include "text/TextString.h"

#include "text/TextBlock.h"

#include <string.h>

namespace {

// The longest text a record can hold: its length is read back as a signed
// 16-bit number.
const int32_t kMaxRecordLength = 32767;

}  // namespace

TextString TextString::operator+(const TextString& right) const {
    TextString sum(*this);
    sum.Append(right);
    return sum;
}

TextString TextString::operator+(char right) const {
    const char text[2] = {right, 0};
    TextString sum(*this);
    sum.Append(text);
    return sum;
}

TextString TextString::operator+(const char* right) const {
    TextString sum(*this);
    sum.Append(right);
    return sum;
}

// Compare gives 1 when exactly one side is empty, so an empty string is
// "greater" than any non-empty text.
bool TextString::operator<(const char* text) const { return Compare(text) < 0; }
bool TextString::operator<(const TextString& other) const { return Compare(other.chars_) < 0; }
bool TextString::operator>(const char* text) const { return Compare(text) > 0; }
bool TextString::operator>(const TextString& other) const { return Compare(other.chars_) > 0; }

int32_t TextString::Fill(char c, int32_t n) {
    if (n <= 0) return 0;
    int32_t length = Length();
    Reserve(n);
    memset(chars_, c, size_t(n));
    ForgetEnd(chars_);  // the character may be 0
    // Copies that reach past the old end are the whole text now.
    if (length < n) chars_[n] = 0;
    return n;
}

TextString& TextString::ExtractAll(TextString& destination) {
    // Into itself: the text is where it was asked to go; nothing is lost.
    if (&destination == this) return *this;
    destination.Assign(*this);
    *PtrAt(0) = 0;
    return *this;
}

TextString& TextString::ExtractChar(char& destination) {
    destination = CharAt(0);
    *PtrAt(0) = 0;
    return *this;
}

// A text too long for a record is refused: the result is EOF and nothing is
// written, so a stream never holds a record that reads back wrong.
int TextString::WriteRecord(FILE* stream) const {
    if (!stream) return EOF;
    int32_t length = Length();
    if (length > kMaxRecordLength) return EOF;
    const unsigned char size[2] = {static_cast<unsigned char>(length & 0xFF),
                                   static_cast<unsigned char>(length >> 8)};
    fwrite(size, 1, 2, stream);
    if (chars_) fwrite(chars_, 1, size_t(length), stream);
    return fputc(10, stream);
}

// Result 1: a record was read into the string. Result 0, in three cases:
//  - the stream held no complete length field: the string is unchanged;
//  - the length is negative (stored as 32768..65535) or over `maximum`: the
//    string is unchanged, the stream stands right after the length field;
//  - the stream ended inside the record: the string holds the part of the
//    text that was there.
// The text is cut at its first newline; the end byte is read but never
// becomes part of the text, whatever its value.
int32_t TextString::ReadRecord(FILE* stream, int32_t maximum) {
    if (!stream) return 0;
    unsigned char size[2];
    if (fread(size, 1, 2, stream) != 2) return 0;
    int32_t length = int16_t(uint16_t(size[0] | (size[1] << 8)));
    if (length < 0 || length > maximum) return 0;
    Reserve(length + 3);
    Reserve(length + 11);
    size_t got = fread(chars_, 1, size_t(length) + 1, stream);
    ForgetEnd(chars_);
    chars_[got < size_t(length) ? got : size_t(length)] = 0;
    CutAt(10);
    return got == size_t(length) + 1 ? 1 : 0;
}

void FillBytes(void* destination, int32_t count, int32_t value) {
    if (!destination || count <= 0) return;
    memset(destination, value & 0xFF, size_t(count));
}

void ZeroBytes(void* destination, int32_t count) { FillBytes(destination, count, 0); }
