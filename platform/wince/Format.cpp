// vsnprintf and snprintf as C99 has them, over COREDLL's _vsnprintf.
//
// _vsnprintf gives -1 (or, for a text of exactly `size` characters, `size`)
// and leaves the buffer unterminated when the text does not fit; it never
// says how long the text is. Callers here measure first and allocate
// second (TextString::Format), so a text that does not fit is formatted
// again into heap blocks, twice as large each time, until it fits: its
// length is then known. The caller's buffer always ends with a terminator
// and is never written past `size`. Texts longer than kMaxMeasured, or a
// heap that refuses the block, give -1, as a formatting error does.
#include <stdio.h>
#include <stdlib.h>

namespace {

const size_t kFirstBlock = 256;
const size_t kMaxMeasured = size_t(1) << 22;

// One attempt; args stays usable for the next.
int FormatOnce(char* buffer, size_t size, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = _vsnprintf(buffer, size, format, copy);
    va_end(copy);
    return n;
}

bool Fits(int n, size_t size) { return n >= 0 && size_t(n) < size; }

}  // namespace

int vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    if (size > 0) {
        int n = FormatOnce(buffer, size, format, args);
        if (Fits(n, size)) return n;
        buffer[size - 1] = 0;
    }
    size_t block = size < kFirstBlock ? kFirstBlock : size + 1;
    while (block <= kMaxMeasured) {
        char* scratch = static_cast<char*>(malloc(block));
        if (!scratch) return -1;
        int n = FormatOnce(scratch, block, format, args);
        free(scratch);
        if (Fits(n, block)) return n;
        if (block == kMaxMeasured) break;
        block = block > kMaxMeasured / 2 ? kMaxMeasured : block * 2;
    }
    return -1;
}

int snprintf(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, size, format, args);
    va_end(args);
    return n;
}
