// TextString: the program's dynamic 8-bit string.
//
// A TextString is one pointer. Null is the empty string and owns nothing;
// otherwise it points at the first character of a heap block that this
// string alone owns, with a hidden header right in front of the characters:
//
//   +----------+-----+----------+-----+---------------------------+
//   | decimals | pad | capacity | tag | characters ... \0 ...     |
//   | int8     | 3   | int32    |int32| capacity + 2 bytes        |
//   +----------+-----+----------+-----+---------------------------+
//   ^ block start                     ^ the string's pointer
//
//   decimals  digits after the point when a float is appended (1 when new;
//             negative means printf's default of six)
//   capacity  size class: the character area is capacity + 2 bytes, and a
//             request for room for n characters is met when n + 2 <= capacity
//   tag       -1 when new; TextStringArray stores its reserve size here
//
// The text is the run of bytes before the first zero byte. Null and empty
// strings are legal everywhere and read as "". No operation ever shrinks or
// frees a block except Destroy (and the destructor).
//
// Growth: a first Reserve(n) allocates capacity n + 13; later, when n + 2
// exceeds the capacity, the new capacity is (int)((n + 2) * 1.3 + 11.0).
//
//   TextString s("COM");   // capacity 16, tag -1, decimals 1
//   s.AppendInt(5);        // "COM5"
//   s.Append(':');         // "COM5:"
//
// Characters handed out one at a time are signed: byte 233 reads as -23.
// Lengths, counts and indices are signed 32-bit.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "platform/WideChar.h"

class TextStringList;

// The one shared "" handed out for every empty string. Never written.
extern const char kEmptyText[1];

// The one buffer all printf-style formatting passes through (single-threaded).
enum { kFormatBufferSize = 10000 };
extern char g_formatBuffer[kFormatBufferSize];

// The bounds of one ReplaceText call (see there).
enum { kMaxReplacements = 1 << 22, kMaxReplaceLength = 1 << 26 };

class TextString {
public:
    // ---- construction and storage ----
    TextString() : chars_(nullptr) {}
    // Always allocates: TextString("") has a block with empty text.
    explicit TextString(const char* text);
    // Null when other has no block; otherwise a copy (with a block even when
    // other's text is empty).
    TextString(const TextString& other);
    ~TextString() { Destroy(); }
    // Copies characters (Assign), never the pointer.
    TextString& operator=(const TextString& other) { return Assign(other); }

    // Frees the block; the string is empty (null) and usable again.
    void Destroy();
    // Makes room for n characters (see the growth rule above). n < 0: nothing.
    void Reserve(int32_t n);

    // ---- the hidden header ----
    int32_t& CapacityRef();    // requires a block
    int32_t Capacity() const;  // requires a block
    int32_t& TagRef();         // requires a block
    // For a null string: a shared static 1, only ever to be read.
    int8_t& DecimalsRef();
    // Reserve(1), then decimals = the low 8 bits of d, read as signed.
    void SetDecimals(int32_t d);
    int32_t IsCapacityNegative() const;
    bool HasBlock() const { return chars_ != nullptr; }

    // ---- reading ----
    // The characters, or kEmptyText when the text is empty. Never null.
    const char* CStr() const;
    int32_t Length() const;
    bool IsEmpty() const { return !chars_ || !chars_[0]; }
    // The character at index (0 past the end, for negative indices and for a
    // null string).
    char CharAt(int32_t index) const;
    char LastChar() const;
    // Reserve(index + 2), then the address of position index. A negative
    // index is taken as 0.
    char* PtrAt(int32_t index);
    // The last character of a non-empty text; for an empty text, Reserve(2)
    // and the address of its terminator.
    char* PtrToLast();

    // ---- assignment ----
    // Null text: a non-empty string becomes empty (block kept).
    TextString& Assign(const char* text);
    TextString& Assign(const TextString& other);
    // Converts wide text through the ANSI code page; count < 0 measures it.
    // Returns the bytes written with the terminator, or 0 on failure (the
    // string then holds an empty, terminated text).
    int32_t AssignWide(const WideChar* wide, int32_t count);
    // printf-style. Results of any length are produced whole; arguments may
    // point into this string. Returns the character count.
    int32_t Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // ---- appending ----
    TextString& Append(const char* text);         // null: nothing
    TextString& Append(const TextString& other);  // other without block: nothing
    TextString& Append(char c);                   // the zero character appends nothing
    TextString& AppendInt(int32_t value);         // "%d"
    // Append for building a long text piece by piece: `length` is the text's
    // current length (kept by the caller, 0 after Assign("")) and grows by
    // what was appended. Append measures the whole text every time; this
    // keeps the cost of a long build linear. A `length` that does not end
    // the text is ignored and the text measured.
    TextString& AppendTracked(int32_t& length, const char* text);

    // ---- comparison (0 equal; 1 whenever exactly one side is empty) ----
    int32_t Compare(const char* text) const;
    int32_t CompareN(const char* text, int32_t n) const;
    int32_t CompareNoCase(const char* text) const;

    // ---- case ----
    void ToUpper();
    void ToLower(bool includeFirst);

    // ---- operators, filling, whole-text extraction, records ----
    TextString operator+(const TextString& right) const;
    TextString operator+(char right) const;
    TextString operator+(const char* right) const;
    bool operator<(const char* text) const;
    bool operator<(const TextString& other) const;
    bool operator>(const char* text) const;
    bool operator>(const TextString& other) const;
    int32_t Fill(char c, int32_t n);
    TextString& ExtractAll(TextString& destination);
    TextString& ExtractChar(char& destination);
    int WriteRecord(FILE* stream) const;
    int32_t ReadRecord(FILE* stream, int32_t maximum);

    // ---- searching ----
    int32_t FindChar(int32_t start, char c) const;
    int32_t FindCharFrom(int32_t start, char c) const;
    int32_t FindText(const char* find) const;
    int32_t Search(const char* find, int32_t start, bool wholeWord, bool ignoreCase) const;
    int32_t LastIndexOf(char c) const;
    int32_t FindAnyOf(int32_t start, const char* set) const;
    int32_t FindByte(char c, int32_t byteCount) const;
    int32_t CountChar(char c) const;
    int32_t IsBracketed() const;
    int32_t FindInnermostParens(int32_t& opening, int32_t& closing) const;
    int32_t NextFieldStart(const char* separators) const;

    // ---- editing ----
    void TrimLineEnds();
    void TrimSpaces();
    void TrimBlanks();
    int32_t StripQuotes();
    int32_t StripAngleBrackets();
    int32_t StripParentheses();
    int32_t StripBrackets();
    void CapitalizeFirst();
    int32_t CutAt(char c);
    int32_t RemoveFirstOccurrence(char c);
    int32_t RemoveAllOccurrences(char c);
    int32_t RemoveCharsOf(const char* set);
    const char* RemoveAmpersand();
    int32_t ReplaceChar(char from, char to);
    int32_t ReplaceText(const char* find, const char* replacement, bool wholeWord);
    void Insert(const char* text, int32_t index);
    void WriteBytes(int32_t offset, const void* bytes, int32_t count);
    int32_t SplitKeyValue(TextString& key, TextString& value) const;

    // ---- copying parts ----
    TextString Slice(int32_t start, int32_t end) const;
    TextString SliceCount(int32_t start, int32_t count) const;
    TextString SliceInclusive(int32_t first, int32_t last) const;

    // ---- splitting ----
    int32_t SplitInto(const char* separators, TextStringList& list, int32_t maximum,
                      bool keepEmpty) const;
    int32_t SplitTrimmed(const char* separators, TextStringList& list, int32_t maximum) const;

    // ---- numbers ----
    TextString& AppendUnsigned(uint32_t value);
    TextString& AppendShort(int32_t value);
    TextString& AppendUnsignedLong(uint32_t value);
    TextString& AppendByte(char value);
    TextString& AppendLong(int32_t value);
    TextString& AppendFloat(float value);
    TextString& AppendDouble(double value);
    void AssignDoubleToWidth(double value, int32_t width);
    void AssignInt(int32_t value);
    int32_t IntValue() const;
    double DoubleValue() const;
    double AsDouble() const;
    uint32_t HexValue() const;
    void ExtractToken(TextString& destination);
    TextString& ExtractDouble(double& destination);
    TextString& ExtractFloat(float& destination);
    TextString& ExtractInt(int32_t& destination);
    TextString& ExtractLong(int32_t& destination);
    TextString& ExtractShort(int16_t& destination);
    TextString& ExtractBool(bool& destination);

    // ---- encodings and clean-up ----
    void FoldAccents();
    int32_t HexDecode(int32_t& count);
    void HexEncode(int32_t count);
    void PercentEncode();
    int32_t ExtractBody();

private:
    // Ends the text at length (the block must hold it) and remembers where.
    void Truncate(int32_t length);

    char* chars_;
};

static_assert(sizeof(TextString) == sizeof(char*), "a TextString is one pointer");

// Compares two texts (neither null) ignoring ASCII letter case: -1 when their
// lengths differ, otherwise _memicmp over that length.
int32_t TextCompareNoCase(const char* a, const char* b);

// 1 for 'a'..'z', 'A'..'Z', '1'..'9' and '_' (not '0'), else 0.
int32_t IsIdentChar(char c);

// Reads a double from text through a wide copy and wcstod ("C" decimal point).
double ParseDouble(const char* text);

// Accented Latin-1 letters to plain ASCII letters; other bytes above 127 to '-'.
char FoldAccent(char c);

// Writes the low 8 bits of value into count bytes; nothing when count <= 0.
void FillBytes(void* destination, int32_t count, int32_t value);
void ZeroBytes(void* destination, int32_t count);
