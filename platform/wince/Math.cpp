// trunc, which COREDLL lacks: the integer part of x, toward zero, read
// from the number's bits (no rounding mode involved).
#include <math.h>
#include <stdint.h>
#include <string.h>

double trunc(double x) {
    uint64_t bits;
    memcpy(&bits, &x, sizeof bits);
    int exponent = int((bits >> 52) & 0x7ff) - 1023;
    if (exponent >= 52) return x;  // already whole, or infinite, or NaN
    if (exponent < 0) {
        bits &= uint64_t(1) << 63;  // |x| < 1: a zero of x's sign
    } else {
        bits &= ~((uint64_t(1) << (52 - exponent)) - 1);  // drop the fraction bits
    }
    memcpy(&x, &bits, sizeof bits);
    return x;
}
