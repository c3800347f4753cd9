// Reads fuzzer bytes as small decisions; past the end every read gives 0.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint8_t Byte() { return at < size ? data[at++] : 0; }
    // A number from 0 to n - 1.
    uint32_t Below(uint32_t n) { return n ? Byte() % n : 0; }
    bool Flag() { return Byte() & 1; }
    // Up to maxLength raw bytes.
    std::string Bytes(size_t maxLength) {
        size_t n = Below(uint32_t(maxLength + 1));
        std::string s;
        while (n-- && at < size) s.push_back(char(Byte()));
        return s;
    }
    bool Done() const { return at >= size; }
};
