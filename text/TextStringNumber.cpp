// Numbers and text: appending numbers under the string's decimals setting,
// a double to a total width, reading the whole text as a number, and
// stream-style extraction of space-separated tokens.
//
// Reading is done here rather than by atoi and sscanf("%X"), whose results
// are undefined for numbers outside their type, and the floating-point side
// goes through RuntimeWideToDouble, which ignores the process locale. So
// every text has one defined value on every platform. Writing is
// locale-independent too: numbers always get the full stop as decimal
// point, so stored files and shown texts never depend on the process locale.
// Reading:
//   - decimal text (IntValue and the integer extractions) clamps to
//     -2147483648 .. 2147483647, as strtol does with a 32-bit long;
//   - hexadecimal text (HexValue) reads like strtoul with a 32-bit long:
//     an optional sign and "0x", then digits; past 0xFFFFFFFF it gives
//     0xFFFFFFFF, and a minus sign negates modulo 2^32.
#include <math.h>
#include <string.h>

#include "platform/Runtime.h"
#include "text/TextBlock.h"
#include "text/TextString.h"
#include "text/WideText.h"

namespace {

// The white space that atoi and scanf skip in the "C" locale.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// atoi's reading: white space, an optional sign, decimal digits; the first
// other character ends the number. Clamped to 32 bits.
int32_t ReadDecimal(const char* p) {
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit) value = limit;  // stays clamped for further digits
    }
    return int32_t(negative ? -value : value);
}

// scanf("%X")'s reading, with a defined value past 32 bits (see above).
uint32_t ReadHex(const char* p) {
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
    uint64_t value = 0;
    for (int d; (d = HexDigit(*p)) >= 0; ++p) {
        value = value * 16 + uint64_t(d);
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    uint32_t result = uint32_t(value);
    return negative ? 0u - result : result;
}

// printf writes infinities and NaN differently in every C runtime; these
// are the texts every platform gets here.
const char* NonFiniteText(double value) {
    if (isnan(value)) return "nan";
    return value < 0 ? "-inf" : "inf";
}

// Appends value in fixed-point notation under the decimals setting
// `decimals`: what "%.<d>f" gives, or "%f" when it is negative, in the "C"
// locale. printf writes the decimal point of the process locale (a comma,
// or a character of several bytes); the only bytes of a finite "%f" text
// that are not digits or the sign are that point, so they become '.'.
void AppendFixed(TextString& target, double value, int32_t decimals) {
    if (!isfinite(value)) {
        target.Append(NonFiniteText(value));
        return;
    }
    // The longest text, DBL_MAX with 127 decimals, has 437 characters.
    char text[512];
    int n = decimals >= 0 ? snprintf(text, sizeof text, "%.*f", int(decimals), value)
                          : snprintf(text, sizeof text, "%f", value);
    if (n < 0 || n >= int(sizeof text)) return;
    char* out = text;
    bool point = false;
    for (const char* in = text; *in; ++in) {
        char c = *in;
        if ((c >= '0' && c <= '9') || (c == '-' && in == text)) {
            *out++ = c;
        } else if (!point) {
            *out++ = '.';
            point = true;
        }
    }
    *out = 0;
    target.Append(text);
}

// Appends the decimal text of value.
TextString& AppendDecimal(TextString& target, int64_t value) {
    char digits[24];
    DecimalText(value, digits);
    return target.Append(digits);
}

// Where the token that starts text ends: the first space, or null.
const char* TokenEnd(const char* text) { return strchr(text, ' '); }

// The rest after the token: the text after the first space when the space
// is not the first character; otherwise nothing.
void DropToken(char* text, const char* space) {
    if (space && space != text)
        memmove(text, space + 1, strlen(space + 1) + 1);
    else
        text[0] = 0;
}

}  // namespace

// ---- appending ----

// The integer appends write the same text as "%u", "%d" and "%ld" without
// going through the formatter.
TextString& TextString::AppendUnsigned(uint32_t value) { return AppendDecimal(*this, value); }

TextString& TextString::AppendShort(int32_t value) {
    return AppendDecimal(*this, int16_t(uint16_t(uint32_t(value) & 0xFFFFu)));
}

TextString& TextString::AppendUnsignedLong(uint32_t value) { return AppendDecimal(*this, value); }

TextString& TextString::AppendByte(char value) {
    return AppendDecimal(*this, static_cast<unsigned char>(value));
}

TextString& TextString::AppendLong(int32_t value) { return AppendDecimal(*this, value); }

TextString& TextString::AppendFloat(float value) {
    AppendFixed(*this, double(value), DecimalsRef());
    return *this;
}

TextString& TextString::AppendDouble(double value) {
    AppendFixed(*this, value, DecimalsRef());
    return *this;
}

// ---- assigning ----

// The integer part's length is measured on the value truncated toward
// zero. A value whose integer part lies outside 32 bits counts all its
// integer digits (so 1e10 at width 12 gives 10000000000.0); infinities and
// NaN become "inf", "-inf" and "nan".
void TextString::AssignDoubleToWidth(double value, int32_t width) {
    TextString temp;
    if (!isfinite(value)) {
        Assign(NonFiniteText(value));
        return;
    }
    if (value > -2147483649.0 && value < 2147483648.0)
        temp.AppendInt(int32_t(value));
    else
        AppendFixed(temp, trunc(value), 0);
    int64_t integerDigits = temp.Length();
    *temp.PtrAt(0) = 0;
    temp.SetDecimals(int32_t((int64_t(width) - integerDigits) & 0xFF));
    temp.AppendDouble(value);
    Assign(temp);
}

void TextString::AssignInt(int32_t value) {
    Reserve(10);
    Truncate(DecimalText(value, chars_));
}

// ---- reading the whole text ----

int32_t TextString::IntValue() const { return IsEmpty() ? 0 : ReadDecimal(chars_); }

double TextString::DoubleValue() const { return IsEmpty() ? 0.0 : ParseDouble(chars_); }

double TextString::AsDouble() const { return DoubleValue(); }

uint32_t TextString::HexValue() const { return chars_ ? ReadHex(chars_) : 0; }

double ParseDouble(const char* text) {
    WideText wide(text, -1);
    return RuntimeWideToDouble(wide.buffer, nullptr);
}

// ---- extraction ----

void TextString::ExtractToken(TextString& destination) {
    if (IsEmpty()) return;
    const char* space = TokenEnd(chars_);
    int32_t length = space ? int32_t(space - chars_) : Length();
    TextString token;
    if (length > 0) {
        token.Reserve(length);
        memcpy(token.chars_, chars_, size_t(length));
        token.Truncate(length);
    }
    ForgetEnd(chars_);
    DropToken(chars_, space);
    destination.Assign(token);
}

TextString& TextString::ExtractDouble(double& destination) {
    TextString token;
    ExtractToken(token);
    destination = token.DoubleValue();
    return *this;
}

// Doubles beyond the float range become infinities (as the conversion
// hardware rounds them) instead of an undefined narrowing.
TextString& TextString::ExtractFloat(float& destination) {
    TextString token;
    ExtractToken(token);
    double value = token.DoubleValue();
    const double kRoundsToInfinity = 0x1.ffffffp+127;  // FLT_MAX + half its last unit
    if (value >= kRoundsToInfinity)
        destination = HUGE_VALF;
    else if (value <= -kRoundsToInfinity)
        destination = -HUGE_VALF;
    else
        destination = float(value);
    return *this;
}

TextString& TextString::ExtractInt(int32_t& destination) {
    TextString token;
    ExtractToken(token);
    destination = token.IntValue();
    return *this;
}

TextString& TextString::ExtractLong(int32_t& destination) {
    TextString token;
    ExtractToken(token);
    destination = token.IntValue();
    return *this;
}

TextString& TextString::ExtractShort(int16_t& destination) {
    TextString token;
    ExtractToken(token);
    destination = int16_t(uint16_t(uint32_t(token.IntValue()) & 0xFFFFu));
    return *this;
}

// Reads the number of the whole remaining text before cutting the token:
// a text that begins with a space still yields the number after it.
TextString& TextString::ExtractBool(bool& destination) {
    destination = IntValue() != 0;
    if (IsEmpty()) return *this;
    ForgetEnd(chars_);
    DropToken(chars_, TokenEnd(chars_));
    return *this;
}
