// Whether the suite runs on an emulated CPU: the ARM build's suites run
// under qemu, some sixty times slower, so the few cases that make thousands
// of checks make a sample of them there (the build defines PM_EMULATED_CPU).
#pragma once

#ifdef PM_EMULATED_CPU
constexpr bool kEmulatedCpu = true;
#else
constexpr bool kEmulatedCpu = false;
#endif
