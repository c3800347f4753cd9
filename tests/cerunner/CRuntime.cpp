// The C library functions COREDLL exports and the program imports, working
// on the guest's memory: the heap, strings and memory, number reading,
// COREDLL's _vsnprintf, and the code page (Windows-1252, through the
// project's own converter).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "platform/CodePage.h"
#include "tests/cerunner/Device.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

uint32_t malloc(Machine& m) { return HeapAlloc(m, Arg(m, 0)); }

uint32_t free(Machine& m) {
    if (Arg(m, 0)) HeapFree(m, Arg(m, 0));
    return 0;
}

uint32_t memcpy(Machine& m) {
    std::vector<uint8_t> bytes = ReadBytes(m, Arg(m, 1), Arg(m, 2));
    WriteBytes(m, Arg(m, 0), bytes.data(), Arg(m, 2));
    return Arg(m, 0);
}

uint32_t memset(Machine& m) {
    if (!Plausible(m, Arg(m, 2))) return 0;
    std::vector<uint8_t> bytes(Arg(m, 2), uint8_t(Arg(m, 1)));
    WriteBytes(m, Arg(m, 0), bytes.data(), Arg(m, 2));
    return Arg(m, 0);
}

uint32_t strlen(Machine& m) { return uint32_t(ReadText(m, Arg(m, 0)).size()); }

uint32_t strcmp(Machine& m) {
    return uint32_t(Sign(::strcmp(ReadText(m, Arg(m, 0)).c_str(), ReadText(m, Arg(m, 1)).c_str())));
}

uint32_t strncmp(Machine& m) {
    std::string a = ReadText(m, Arg(m, 0)), b = ReadText(m, Arg(m, 1));
    return uint32_t(Sign(::strncmp(a.c_str(), b.c_str(), Arg(m, 2))));
}

// The Microsoft runtime's wcstod: blanks, a sign, digits with one full
// stop, an exponent; no "inf", "nan" or hexadecimal forms. The double goes
// back in r0:r1.
uint32_t wcstod(Machine& m) {
    std::u16string text = ReadWide(m, Arg(m, 0));
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13))) ++i;
    std::string number;
    auto digits = [&] {
        size_t n = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++n)
            number.push_back(char(text[i]));
        return n;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.push_back(char(text[i++]));
    size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        number.push_back('.');
        ++i;
        mantissa += digits();
    }
    size_t end = mantissa ? i : 0;
    if (mantissa && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string before = number;
        number.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            number.push_back(char(text[i++]));
        if (digits())
            end = i;
        else
            number = before;
    }
    double value = mantissa ? strtod(number.c_str(), nullptr) : 0.0;
    if (Arg(m, 1)) Write32(m, Arg(m, 1), Arg(m, 0) + 2 * uint32_t(end));
    uint64_t bits;
    ::memcpy(&bits, &value, 8);
    SetResultHigh(m, uint32_t(bits >> 32));
    return uint32_t(bits);
}

// One conversion of COREDLL's printf family, its argument taken from the
// va_list (4-byte slots; a 64-bit value takes two).
std::string Convert(Machine& m, std::string directive, char conversion, bool wide, bool is64,
                    uint32_t& args) {
    auto next = [&] {
        uint32_t v = Read32(m, args);
        args += 4;
        return v;
    };
    char out[512];
    if (::strchr("diouxX", conversion)) {
        uint64_t v = next();
        if (is64)
            v |= uint64_t(next()) << 32;
        else if (conversion == 'd' || conversion == 'i')
            v = uint64_t(int64_t(int32_t(v)));
        snprintf(out, sizeof out, (directive + "ll" + conversion).c_str(), (unsigned long long)v);
        return out;
    }
    if (::strchr("eEfgG", conversion)) {
        uint64_t bits = next();
        bits |= uint64_t(next()) << 32;
        double d;
        ::memcpy(&d, &bits, 8);
        snprintf(out, sizeof out, (directive + conversion).c_str(), d);
        // Microsoft's runtime writes the exponent with three digits.
        std::string s = out;
        size_t e = s.find_first_of("eE");
        if (e != std::string::npos && e + 4 == s.size()) s.insert(e + 2, "0");
        return s;
    }
    if (conversion == 'c') {
        snprintf(out, sizeof out, (directive + 'c').c_str(), int(uint8_t(next())));
        return out;
    }
    if (conversion == 'p') {
        snprintf(out, sizeof out, "%08X", next());
        return out;
    }
    if (conversion == 's') {
        uint32_t at = next();
        std::string text;
        if (!at)
            text = "(null)";
        else if (wide)
            for (char16_t c : ReadWide(m, at)) text.push_back(c < 0x100 ? char(c) : '?');
        else
            text = ReadText(m, at);
        std::string format = directive + 's';
        std::string s(size_t(snprintf(nullptr, 0, format.c_str(), text.c_str())) + 1, '\0');
        s.resize(size_t(snprintf(&s[0], s.size(), format.c_str(), text.c_str())));
        return s;
    }
    Stop(m, std::string("_vsnprintf: conversion %") + conversion + " is not supported here");
    return "";
}

// -1 when the text does not fit; a text of exactly `size` characters is
// written without terminator and its length returned.
uint32_t _vsnprintf(Machine& m) {
    uint32_t buffer = Arg(m, 0), size = Arg(m, 1), args = Arg(m, 3);
    std::string format = ReadText(m, Arg(m, 2)), text;
    for (size_t i = 0; i < format.size() && m.fault.empty(); ++i) {
        if (format[i] != '%') {
            text.push_back(format[i]);
            continue;
        }
        std::string directive = "%";
        for (++i; i < format.size() && ::strchr("-+ #0", format[i]); ++i)
            directive.push_back(format[i]);
        for (int field = 0; field < 2; ++field) {
            if (field == 1 && (i >= format.size() || format[i] != '.')) break;
            if (field == 1) directive.push_back(format[i++]);
            if (i < format.size() && format[i] == '*') {
                directive += std::to_string(int32_t(Read32(m, args)));
                args += 4;
                ++i;
            }
            for (; i < format.size() && isdigit(uint8_t(format[i])); ++i)
                directive.push_back(format[i]);
        }
        bool wide = false, is64 = false;
        for (; i < format.size() && ::strchr("hlLIw63", format[i]); ++i) {
            if (format.compare(i, 3, "I64") == 0 || format.compare(i, 2, "ll") == 0) {
                is64 = true;
                i += format[i] == 'I' ? 2 : 1;
            } else if (format[i] == 'l' || format[i] == 'w') {
                wide = true;
            }
        }
        if (i >= format.size()) break;
        if (format[i] == '%')
            text.push_back('%');
        else
            text += Convert(m, directive, format[i], wide || format[i] == 'S', is64, args);
    }
    if (!m.fault.empty()) return 0;
    if (text.size() > size) {
        WriteBytes(m, buffer, text.data(), size);
        return 0xFFFFFFFFu;
    }
    WriteBytes(m, buffer, text.c_str(), uint32_t(text.size() + (text.size() < size)));
    return uint32_t(text.size());
}

// The converters work on a copy of the guest's output buffer, so bytes they
// leave alone stay as they were.
uint32_t WideCharToMultiByte(Machine& m) {
    int32_t length = int32_t(Arg(m, 3)), room = int32_t(Arg(m, 5));
    if (Arg(m, 0) != 0 || !Plausible(m, 2 * uint64_t(uint32_t(room)))) return 0;
    std::u16string src = length < 0 ? ReadWide(m, Arg(m, 2)) : u"";
    if (length >= 0) {
        std::vector<uint8_t> b = ReadBytes(m, Arg(m, 2), 2 * uint32_t(length));
        for (size_t i = 0; i + 1 < b.size(); i += 2) src.push_back(char16_t(b[i] | b[i + 1] << 8));
    }
    std::vector<uint8_t> dst = ReadBytes(m, Arg(m, 4), Arg(m, 4) ? uint32_t(room) : 0);
    int r = CodePageWideToAnsi(Arg(m, 2) ? src.c_str() : nullptr, length,
                               Arg(m, 4) ? reinterpret_cast<char*>(dst.data()) : nullptr, room);
    WriteBytes(m, Arg(m, 4), dst.data(), uint32_t(dst.size()));
    return uint32_t(r);
}

uint32_t MultiByteToWideChar(Machine& m) {
    int32_t length = int32_t(Arg(m, 3)), room = int32_t(Arg(m, 5));
    if (Arg(m, 0) != 0 || !Plausible(m, 2 * uint64_t(uint32_t(room)))) return 0;
    std::string src = length < 0 ? ReadText(m, Arg(m, 2)) : "";
    if (length >= 0) {
        std::vector<uint8_t> b = ReadBytes(m, Arg(m, 2), uint32_t(length));
        src.assign(b.begin(), b.end());
    }
    std::vector<uint8_t> dst = ReadBytes(m, Arg(m, 4), Arg(m, 4) ? 2 * uint32_t(room) : 0);
    std::u16string wide(dst.size() / 2, u'\0');
    ::memcpy(&wide[0], dst.data(), dst.size());
    int r = CodePageAnsiToWide(Arg(m, 2) ? src.c_str() : nullptr, length,
                               Arg(m, 4) ? &wide[0] : nullptr, room);
    WriteBytes(m, Arg(m, 4), wide.data(), uint32_t(dst.size()));
    return uint32_t(r);
}

}  // namespace

std::vector<Stub> RuntimeStubs() {
#define BY_NAME(f)                                                                                 \
    { "COREDLL", #f, 0, f }
    return {
        BY_NAME(malloc),
        BY_NAME(free),
        BY_NAME(memcpy),
        {"COREDLL", "memmove", 0, memcpy},  // the copy is whole before it is written
        BY_NAME(memset),
        BY_NAME(strlen),
        BY_NAME(strcmp),
        BY_NAME(strncmp),
        BY_NAME(wcstod),
        BY_NAME(_vsnprintf),
        BY_NAME(WideCharToMultiByte),
        BY_NAME(MultiByteToWideChar),
    };
#undef BY_NAME
}
