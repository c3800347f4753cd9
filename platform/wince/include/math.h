// The few floating-point functions the libraries use. The classifications
// are the compiler's own; trunc is not in COREDLL.dll (platform/wince/Math.cpp).
#pragma once

#define isnan(x) __builtin_isnan(x)
#define isfinite(x) __builtin_isfinite(x)
#define HUGE_VALF __builtin_huge_valf()

#ifdef __cplusplus
extern "C" {
#endif

double trunc(double x);

#ifdef __cplusplus
}
#endif
