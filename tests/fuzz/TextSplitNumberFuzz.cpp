// Random texts split, read as numbers, cut into tokens (plain and typed),
// encoded and cut to their body, each
// checked against a model built on the standard library: the text cut at
// every separator and merged past the maximum, strtoll and strtod in the "C"
// locale, and byte-by-byte encoders. The sanitizers watch every access to
// the list's array and the strings' blocks.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/fuzz/FuzzInput.h"
#include "tests/text/SplitModel.h"
#include "text/TextString.h"
#include "text/TextStringList.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "mismatch: %s\n", what);
        abort();
    }
}

// Few distinct characters, so that separators, digits and signs meet.
std::string Text(FuzzInput& in, uint32_t maxLength) {
    static const char kChars[] = {'a', ',', ';', ' ', '1',  '9',  '0', '-',    '+',
                                  '.', 'e', 'x', 'F', '\t', '\n', '%', '\xE9', '\xFF'};
    std::string s;
    for (uint32_t n = in.Below(maxLength + 1); n; --n) s += kChars[in.Below(sizeof kChars)];
    return s;
}

void Split(FuzzInput& in, TextStringList& list) {
    std::string text = Text(in, 60);
    std::string separators = Text(in, 3);
    int32_t maximum = int32_t(in.Below(8)) - 2;
    bool keepEmpty = in.Flag();
    list.growBy = int32_t(in.Below(4));
    Check(TextString(text.c_str()).SplitInto(separators.c_str(), list, maximum, keepEmpty) == 1,
          "SplitInto result");
    std::vector<std::string> model = SplitModel(text, separators, maximum, keepEmpty);
    Check(list.Size() == int32_t(model.size()), "piece count");
    for (int32_t p = 0; p < list.Size(); ++p)
        Check(model[size_t(p)] == list.At(p)->CStr(), "piece text");
    Check(list.count <= list.capacity, "count within capacity");
}

void Numbers(FuzzInput& in) {
    std::string text = Text(in, 24);
    errno = 0;
    long long wide = strtoll(text.c_str(), nullptr, 10);
    int32_t expected = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : int32_t(wide);
    Check(TextString(text.c_str()).IntValue() == expected, "IntValue");
    if (text.find_first_of("\xE9\xFF") == std::string::npos) {
        double d = strtod(text.c_str(), nullptr);
        double got = TextString(text.c_str()).DoubleValue();
        Check(got == d || (got != got && d != d), "DoubleValue");
    }
    TextString width;
    width.AssignDoubleToWidth(strtod(text.c_str(), nullptr) * 1e6, int32_t(in.Below(40)) - 10);
    Check(width.Length() < width.Capacity(), "width text within its block");
}

void Tokens(FuzzInput& in) {
    std::string model = Text(in, 40);
    TextString s(model.c_str());
    for (int i = 0; i < 12; ++i) {
        TextString token("before");
        s.ExtractToken(token);
        if (model.empty()) {
            Check(std::string(token.CStr()) == "before", "empty source keeps the token");
            break;
        }
        size_t space = model.find(' ');
        std::string expectedToken = space == std::string::npos ? model : model.substr(0, space);
        model = space == std::string::npos || space == 0 ? "" : model.substr(space + 1);
        Check(expectedToken == token.CStr(), "token");
        Check(model == s.CStr(), "rest after the token");
    }
}

void Encodings(FuzzInput& in) {
    std::string bytes = in.Bytes(40);
    std::string digits;
    for (unsigned char b : bytes) {
        digits += "0123456789ABCDEF"[b >> 4];
        digits += "0123456789ABCDEF"[b & 15];
    }
    TextString s(digits.c_str());
    int32_t count = -1;
    Check(s.HexDecode(count) == 1 && count == int32_t(bytes.size()), "HexDecode count");
    Check(std::string(s.PtrAt(0), bytes.size()) == bytes, "decoded bytes");
    s.HexEncode(count);
    Check(digits == s.CStr(), "HexEncode gives the digits back");

    std::string text = Text(in, 40);
    std::string percent;
    for (unsigned char b : text) {
        bool kept =
            (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == ' ';
        char buffer[4];
        snprintf(buffer, sizeof buffer, "%%%02X", b);
        percent += kept ? std::string(1, char(b)) : std::string(buffer);
    }
    TextString p(text.c_str());
    p.PercentEncode();
    Check(percent == p.CStr(), "PercentEncode");

    TextString any(in.Bytes(20).c_str());
    int32_t length = any.Length();
    any.HexEncode(int32_t(in.Below(80)) - 20);
    any.FoldAccents();
    Check(any.Length() <= 2 * (any.HasBlock() ? any.Capacity() : 0) + length, "encoded length");
}

int32_t ModelInt(const std::string& text) {
    long long wide = strtoll(text.c_str(), nullptr, 10);
    return wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : int32_t(wide);
}

// ExtractInt and ExtractBool take turns on one text: ExtractInt reads the
// token before the first space, ExtractBool reads the number at the front of
// the whole remaining text; both then keep only what follows that space.
void TypedExtractions(FuzzInput& in) {
    std::string model = Text(in, 40);
    TextString s(model.c_str());
    for (int i = 0; i < 8; ++i) {
        size_t space = model.find(' ');
        std::string token = space == std::string::npos ? model : model.substr(0, space);
        std::string rest = space == std::string::npos || space == 0 ? "" : model.substr(space + 1);
        if (in.Flag()) {
            int32_t value = -12345;
            s.ExtractInt(value);
            Check(value == (model.empty() ? 0 : ModelInt(token)), "ExtractInt value");
        } else {
            bool value = false;
            s.ExtractBool(value);
            Check(value == (ModelInt(model) != 0), "ExtractBool value");
        }
        model = rest;
        Check(model == s.CStr(), "rest after an extraction");
    }
}

// The text between the first "<BODY>" and the first "</BODY>" after it,
// without the line breaks at either end; unchanged when a marker is missing.
void Body(FuzzInput& in) {
    static const char* const kPieces[] = {"<BODY>", "</BODY>", "<body>", "\r", "\n", "x", " ", "<"};
    std::string text;
    for (uint32_t n = in.Below(10); n; --n) text += kPieces[in.Below(8)];
    std::string expected = text;
    bool found = false;
    size_t open = text.find("<BODY>");
    if (open != std::string::npos) {
        std::string after = text.substr(open + 6);
        size_t close = after.find("</BODY>");
        if (close != std::string::npos) {
            expected = after.substr(0, close);
            size_t first = expected.find_first_not_of("\r\n");
            size_t last = expected.find_last_not_of("\r\n");
            expected = first == std::string::npos ? "" : expected.substr(first, last - first + 1);
            found = true;
        }
    }
    TextString s(text.c_str());
    Check(s.ExtractBody() == (found ? 1 : 0), "ExtractBody result");
    Check(expected == s.CStr(), "ExtractBody text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    TextStringList list;
    while (!in.Done()) {
        switch (in.Below(6)) {
        case 0: Split(in, list); break;
        case 1: Numbers(in); break;
        case 2: Tokens(in); break;
        case 3: TypedExtractions(in); break;
        case 4: Body(in); break;
        default: Encodings(in); break;
        }
    }
    return 0;
}
