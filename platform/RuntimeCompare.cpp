// _memicmp built on the "C" case mapping of the platform's runtime file, so
// both platforms compare alike (msvcrt's own reads bytes as signed).
#include "platform/Runtime.h"

int RuntimeMemICmp(const void* a, const void* b, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(a);
    const unsigned char* q = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < n; ++i) {
        int x = RuntimeToLower(p[i]), y = RuntimeToLower(q[i]);
        if (x != y) return x - y;
    }
    return 0;
}
