// TextString: the program's dynamic 8-bit string.
//
// A TextString is one pointer. Null is the empty string and owns nothing;
// otherwise it points at the first character of a heap block that this
// string alone owns, with a hidden header right in front of the characters:
//
//   +----------+-----+----------+-----+---------------------------+
//   | decimals | end | capacity | tag | characters ... \0 ...     |
//   | int8     | 3   | int32    |int32| capacity + 2 bytes        |
//   +----------+-----+----------+-----+---------------------------+
//   ^ block start                     ^ the string's pointer
//
//   decimals  digits after the point when a float is appended (1 when new;
//             negative means printf's default of six)
//   end       private: where the text is known to end, so that a run of
//             appends never measures the text
//   capacity  size class: the character area is capacity + 2 bytes, and a
//             request for room for n characters is met when n + 2 <= capacity
//   tag       -1 when new; TextStringArray stores its reserve size here
//
// The text is the run of bytes before the first zero byte. Null and empty
// strings are legal everywhere and read as "". No operation ever shrinks or
// frees a block except Destroy (and the destructor). Room a block gains is
// zero, and no request reaches its last bytes, so every text ends within its
// block and no operation reads a byte nobody wrote.
//
// Growth: a first Reserve(n) allocates capacity n + 13; later, when n + 2
// exceeds the capacity, the new capacity is (int)((n + 2) * 1.3 + 11.0).
// A text longer than INT32_MAX - 128 characters, or memory running out, ends
// the process with a message on stderr: no operation goes on with a wrapped
// size or a null block.
//
//   TextString s("COM");   // capacity 16, tag -1, decimals 1
//   s.AppendInt(5);        // "COM5"
//   s.Append(':');         // "COM5:"
//
// Characters handed out one at a time are signed: byte 233 reads as -23.
// Lengths, counts and indices are signed 32-bit; an index past the text
// counts as the end of the text wherever an operation does not say otherwise.
// Text arguments may point into the string itself (or its block) unless an
// operation says otherwise. Pointers into a string are valid until the next
// call that changes it.
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
    // A copy of text; null reads as "". Always allocates: TextString("") has
    // a block with empty text.
    explicit TextString(const char* text);
    // Null when other has no block; otherwise a copy (with a block even when
    // other's text is empty).
    TextString(const TextString& other);
    ~TextString() { Destroy(); }
    // Copies characters (Assign), never the pointer.
    TextString& operator=(const TextString& other) { return Assign(other); }

    // Frees the block; the string is empty (null) and usable again.
    void Destroy();
    // Makes room for n characters and their terminator (see the growth rule
    // above); the text, decimals and tag stay. n < 0: nothing.
    void Reserve(int32_t n);

    // ---- the hidden header ----
    // The header's fields. A null string has none: these require a block.
    int32_t& CapacityRef();
    int32_t Capacity() const;
    int32_t& TagRef();
    // The decimals field; for a null string a shared static 1, only ever to
    // be read (it reads 1 again on the next call, whatever was written).
    int8_t& DecimalsRef();
    // Reserve(1), then decimals = the low 8 bits of d, read as signed.
    void SetDecimals(int32_t d);
    // 1 when the string has a block whose capacity is negative, else 0.
    int32_t IsCapacityNegative() const;
    bool HasBlock() const { return chars_ != nullptr; }

    // ---- reading ----
    // The characters, or kEmptyText when the text is empty. Never null.
    const char* CStr() const;
    // Characters before the terminator; 0 for a null string.
    int32_t Length() const;
    bool IsEmpty() const { return !chars_ || !chars_[0]; }
    // The character at index; 0 past the end, for negative indices and for a
    // null string.
    char CharAt(int32_t index) const;
    // The last character; 0 for an empty text.
    char LastChar() const;
    // Reserve(index + 2), then the address of position index, so writing at
    // the terminator is always legal. A negative index is taken as 0; an index
    // past the longest text ends the process. Valid for writing until the
    // next call that changes the string.
    char* PtrAt(int32_t index);
    // The last character of a non-empty text; for an empty text, Reserve(2)
    // and the address of its terminator. Valid as PtrAt's.
    char* PtrToLast();

    // ---- assignment ----
    // The text becomes a copy of text. Null: a string with a block becomes
    // empty (block kept), a null one stays null.
    TextString& Assign(const char* text);
    // The same with other's text; other without a block or empty empties
    // this one (block kept). Assigning a string to itself changes nothing.
    TextString& Assign(const TextString& other);
    // Converts wide text (null reads as empty) through the ANSI code page.
    // count < 0 measures it; count only sizes the room (count + 20 bytes, and
    // never more than twice the text's length): the whole text is converted.
    // Returns the bytes written with the terminator, or 0 when the text did
    // not fit (the string then holds an empty, terminated text).
    int32_t AssignWide(const WideChar* wide, int32_t count);
    // printf-style, in the process locale as vsnprintf is (the number appends
    // below are not). A null format gives "". Results of any length are
    // produced whole; arguments may point into this string. Returns the
    // character count, or vsnprintf's negative result (text then empty).
    int32_t Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // ---- appending (each returns the string, so calls chain) ----
    // Appends text; null appends nothing (a null string stays null), ""
    // gives a null string a block. The end is found from where the text is
    // known to end, so a run of appends costs what it appends.
    TextString& Append(const char* text);
    // Appends other's text; other without a block appends nothing.
    TextString& Append(const TextString& other);
    // Appends one character; the zero character appends nothing (but gives a
    // null string a block).
    TextString& Append(char c);
    // Appends the decimal text of value, as "%d" writes it.
    TextString& AppendInt(int32_t value);
    // Append, then `length` receives the text's length. Its value on entry is
    // never trusted, so a stale one does no harm. count, when not negative,
    // is text's length, known to the caller: text[count] is its terminator.
    TextString& AppendTracked(int32_t& length, const char* text, int32_t count = -1);

    // ---- comparison (0 equal; 1 whenever exactly one side is empty) ----
    // strcmp; a null text reads as "".
    int32_t Compare(const char* text) const;
    // strncmp of the first n characters, with n converted to an unsigned
    // size: a negative n compares the whole texts. An empty string against
    // any text gives 1 (also against ""); n = 0 otherwise gives 0.
    int32_t CompareN(const char* text, int32_t n) const;
    // TextCompareNoCase after the empty rules of Compare.
    int32_t CompareNoCase(const char* text) const;

    // ---- case: ASCII letters only, as the "C" locale maps them; bytes ----
    // ---- above 127 stay, whatever the process locale                  ----
    void ToUpper();
    // includeFirst false leaves the first character as it is.
    void ToLower(bool includeFirst);

    // ---- operators, filling, whole-text extraction, records ----
    // A new string: a copy of this one with the right operand appended (a
    // character as a one-character text; the zero character and null append
    // nothing). This string is not changed.
    TextString operator+(const TextString& right) const;
    TextString operator+(char right) const;
    TextString operator+(const char* right) const;
    // Compare(text) < 0 and > 0. An empty string is "greater" than any
    // non-empty text, since Compare gives 1 there.
    bool operator<(const char* text) const;
    bool operator<(const TextString& other) const;
    bool operator>(const char* text) const;
    bool operator>(const TextString& other) const;
    // Reserve(n), then c in the first n positions; returns n. A text that was
    // at least n long keeps the rest after the copies; a shorter one ends
    // right after them. n <= 0: nothing, 0.
    int32_t Fill(char c, int32_t n);
    // destination = this text, then this one is emptied (block made or
    // kept). Into itself: nothing changes. Returns this string.
    TextString& ExtractAll(TextString& destination);
    // destination = the first character (0 when empty), then this string is
    // emptied: the rest of the text is discarded. Returns this string.
    TextString& ExtractChar(char& destination);
    // Writes the string as one record (2-byte little-endian length, the text,
    // byte 10) and returns fputc's result for the last byte. A null stream,
    // or a text over 32767 characters: EOF and nothing written.
    int WriteRecord(FILE* stream) const;
    // Reads one record. 1: read, the text cut at its first newline. 0 when no
    // complete length field was there (string unchanged), when the length is
    // negative or over maximum (string unchanged, the stream right after the
    // length field), or when the stream ended inside the record (the string
    // holds what was there). A null stream: 0.
    int32_t ReadRecord(FILE* stream, int32_t maximum);

    // ---- searching: positions count from the start of the text, -1 is ----
    // ---- not found; a negative start counts as 0, a start past the end ----
    // ---- finds nothing; a null string finds nothing                     ----
    // The first c at or after start; the character 0 is found at the length.
    int32_t FindChar(int32_t start, char c) const;
    // FindChar under a second name.
    int32_t FindCharFrom(int32_t start, char c) const;
    // The first occurrence of find (bytes compared exactly); "" is found at
    // 0, a null find nowhere.
    int32_t FindText(const char* find) const;
    // The first occurrence at or after start. wholeWord rejects a match with
    // an identifier character (IsIdentChar) right before or after it;
    // ignoreCase compares ASCII letters without case. A null find: -1. An
    // empty find: start with both flags off, else the length (-1 with
    // wholeWord when the last character is an identifier character).
    int32_t Search(const char* find, int32_t start, bool wholeWord, bool ignoreCase) const;
    // The last c. The character 0: -1, except 0 for a null string.
    int32_t LastIndexOf(char c) const;
    // The first position at or after start holding any character of set; a
    // null or empty set: -1.
    int32_t FindAnyOf(int32_t start, const char* set) const;
    // c among the first byteCount bytes, the terminator included when the
    // count reaches it, never past it. byteCount <= 0: -1.
    int32_t FindByte(char c, int32_t byteCount) const;
    // How many characters equal c; 0 for the character 0.
    int32_t CountChar(char c) const;
    // 1 when the text is at least 3 long, starts with '[' and ends with ']'.
    int32_t IsBracketed() const;
    // The last '(' and the first ')' after it (after the start when there is
    // no '(': opening -1): 1 and both outputs set. No such ')': 0, outputs
    // untouched.
    int32_t FindInnermostParens(int32_t& opening, int32_t& closing) const;
    // Where the next field of a list starts: past the first separator outside
    // double quotes and every separator right after it. -1 when there is no
    // such separator, when only separators follow it, or for a null set.
    int32_t NextFieldStart(const char* separators) const;

    // ---- editing in place; a null string stays null unless said ----
    // Remove the leading and trailing runs of CR and LF / of spaces / of
    // spaces and tabs; the same characters between others stay.
    void TrimLineEnds();
    void TrimSpaces();
    void TrimBlanks();
    // TrimSpaces, then, when the text ends with the closing character, that
    // is removed; when it then starts with the opening one, that goes too and
    // the result is 1. Otherwise 0, with the text as far as it got (trimmed,
    // maybe without its last character).
    int32_t StripQuotes();         // '"' ... '"'
    int32_t StripAngleBrackets();  // '<' ... '>'
    // Cut at the last ')' (first ']') when it is not the first character,
    // then remove a leading '(' ('['): 1. No such closing character: 0 and
    // unchanged; no opening one: 0 with the text cut.
    int32_t StripParentheses();
    int32_t StripBrackets();
    // Upper-cases the first character ('a'..'z' only), or the second when
    // the first is '&'.
    void CapitalizeFirst();
    // Ends the text at the first c and returns that position; -1 and no
    // change when c is absent. The character 0: the length, no change.
    int32_t CutAt(char c);
    // Deletes the first c: 1, or 0 when there is none (the character 0: 0).
    int32_t RemoveFirstOccurrence(char c);
    // Deletes every c; always 1 (the character 0 deletes nothing).
    int32_t RemoveAllOccurrences(char c);
    // Deletes every character of set; always 1 (null or empty set: nothing).
    int32_t RemoveCharsOf(const char* set);
    // RemoveFirstOccurrence('&'), then CStr().
    const char* RemoveAmpersand();
    // Replaces every from by to and returns how many there were. to = 0
    // ends the text before the first one (the count is still all of them);
    // from = to counts and changes nothing; from = 0: 0.
    int32_t ReplaceChar(char from, char to);
    // Replaces the first occurrence of find (searched from the start, exact
    // bytes, whole words with wholeWord), again and again until none is left,
    // so occurrences that replacements form with their neighbours go too.
    // Returns the number of replacements. A null replacement deletes. A null
    // string, or a null or empty find: 0, nothing changes. A call that would
    // need more than kMaxReplacements replacements, or make the text longer
    // than kMaxReplaceLength, returns -1 and leaves the text unchanged
    // (replacing "a" by "ba" never ends; "ab" by "bba" on 21 a and a b ends
    // after 2,097,151).
    int32_t ReplaceText(const char* find, const char* replacement, bool wholeWord);
    // Inserts text before position index (index = length appends). A null
    // text, a negative index or one past the end: nothing.
    void Insert(const char* text, int32_t index);
    // Reserve(offset + count), then copies count bytes to offset; changes no
    // byte outside that range and writes no terminator. The text is whatever
    // the block's bytes spell up to the first zero: writing over the
    // terminator of a text cut short brings its old bytes back, writing past
    // the end leaves the text as it was. For byte data. A negative offset, a
    // count <= 0 or null bytes: nothing.
    void WriteBytes(int32_t offset, const void* bytes, int32_t count);
    // Splits at the first '=' into value (after it) and key (before it): 1.
    // No '=', or '=' first: 0 and both untouched. Either output may be this
    // string; this string is not changed otherwise.
    int32_t SplitKeyValue(TextString& key, TextString& value) const;

    // ---- copying parts: a new string; a null string gives a null one ----
    // Characters start .. end - 1, the range cut to the text; a reversed
    // range gives "".
    TextString Slice(int32_t start, int32_t end) const;
    // count characters from start, cut to the text; count < 0 counts as 0.
    TextString SliceCount(int32_t start, int32_t count) const;
    // Characters first .. last; last = -1 means the last character, a last
    // past the end means it too; first = last + 1 gives "".
    TextString SliceInclusive(int32_t first, int32_t last) const;

    // ---- splitting ----
    // Clears list (destroying its elements when it owns them) and fills it
    // with the pieces of the text cut at any character of separators (null:
    // none). keepEmpty keeps empty pieces; a separator at index 0 without it
    // stays in the first piece; a trailing separator adds no piece. With
    // maximum >= 0 the list gets at most maximum pieces, the last taking its
    // separator and the unsplit rest (maximum 0: no piece). The text and the
    // separators may be elements of list. Returns 1.
    int32_t SplitInto(const char* separators, TextStringList& list, int32_t maximum,
                      bool keepEmpty) const;
    // SplitInto without empty pieces, then TrimSpaces on every element.
    int32_t SplitTrimmed(const char* separators, TextStringList& list, int32_t maximum) const;

    // ---- numbers: always written and read with the full stop as decimal ----
    // ---- point, whatever the process locale                              ----
    // Append the decimal text of value: unsigned; the low 16 bits read as
    // signed; unsigned; the byte read as unsigned (0..255); signed.
    TextString& AppendUnsigned(uint32_t value);
    TextString& AppendShort(int32_t value);
    TextString& AppendUnsignedLong(uint32_t value);
    TextString& AppendByte(char value);
    TextString& AppendLong(int32_t value);
    // Append value as "%.<d>f" writes it in the "C" locale, d this string's
    // decimals (1 for a null string; negative: six). Infinities and NaN
    // append "inf", "-inf", "nan".
    TextString& AppendFloat(float value);
    TextString& AppendDouble(double value);
    // The text becomes value with as many decimals as width leaves after the
    // integer digits and sign (width 6: 3.14159, 123.456); at least as many
    // integer digits as the value has. This string's decimals stay.
    void AssignDoubleToWidth(double value, int32_t width);
    // The text becomes the decimal text of value.
    void AssignInt(int32_t value);
    // The text read as atoi reads it, clamped to 32 bits; 0 without a number.
    int32_t IntValue() const;
    // The text read as a double (wcstod's forms, full stop); 0.0 without one.
    double DoubleValue() const;
    double AsDouble() const;
    // The text read as scanf "%X" reads it (optional sign and 0x), past
    // 0xFFFFFFFF 0xFFFFFFFF; 0 without a number.
    uint32_t HexValue() const;
    // Takes the token before the first space off the front into destination;
    // a text starting with a space gives "" and loses everything. An empty
    // string leaves destination as it was.
    void ExtractToken(TextString& destination);
    // ExtractToken, then the token's value (DoubleValue, narrowed to float
    // with overflow to infinity; IntValue, its low 16 bits). Return this.
    TextString& ExtractDouble(double& destination);
    TextString& ExtractFloat(float& destination);
    TextString& ExtractInt(int32_t& destination);
    TextString& ExtractLong(int32_t& destination);
    TextString& ExtractShort(int16_t& destination);
    // IntValue of the whole text != 0, then the token is cut as ExtractToken
    // cuts it.
    TextString& ExtractBool(bool& destination);

    // ---- encodings and clean-up ----
    // Every character becomes its FoldAccent.
    void FoldAccents();
    // Pairs of hexadecimal digits become the bytes they stand for (each pair
    // read by HexValue); count receives the number of bytes: 1. An odd
    // length: 0, text and count untouched.
    int32_t HexDecode(int32_t& count);
    // The first count bytes (zeros included) become 2 * count upper-case
    // digits. count < 0 or a null string: nothing. A count past the block's
    // capacity is cut to it; bytes past the text read as they are in the
    // block (zero where nothing was written).
    void HexEncode(int32_t count);
    // ASCII letters, digits and the space stay; every other byte becomes '%'
    // and two upper-case hexadecimal digits.
    void PercentEncode();
    // The text becomes what lies between the first "<BODY>" and the first
    // "</BODY>" after it, without CR and LF at both ends: 1. A marker
    // missing: 0, unchanged.
    int32_t ExtractBody();

private:
    // Ends the text at length (the block must hold it) and remembers where.
    void Truncate(int32_t length);

    char* chars_;
};

static_assert(sizeof(TextString) == sizeof(char*), "a TextString is one pointer");

// Compares two texts (neither null) ignoring ASCII letter case: -1 when their
// lengths differ, otherwise the difference of the first differing bytes after
// lower-casing them (0 when equal).
int32_t TextCompareNoCase(const char* a, const char* b);

// RuntimeToUpper of every byte value, made once: the mapping is the "C"
// locale's and never changes (ToUpper's).
const unsigned char* UpperTable();

// 1 for 'a'..'z', 'A'..'Z', '1'..'9' and '_' (not '0'), else 0.
int32_t IsIdentChar(char c);

// Reads a double from text (null reads as "") through a wide copy, as wcstod
// reads it with the full stop as decimal point, whatever the process locale.
double ParseDouble(const char* text);

// Accented Latin-1 letters to plain ASCII letters; other bytes above 127 to
// '-'; bytes below 128 unchanged.
char FoldAccent(char c);

// Writes the low 8 bits of value into count bytes; nothing when count <= 0 or
// destination is null. ZeroBytes writes zeros.
void FillBytes(void* destination, int32_t count, int32_t value);
void ZeroBytes(void* destination, int32_t count);
