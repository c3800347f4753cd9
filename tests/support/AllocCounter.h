// Counts the program's heap allocations, so tests can prove that an
// operation allocated exactly as often as it should (or not at all).
#pragma once

#include <stdint.h>

// Allocations and frees made through the global allocation operators since
// the program started.
int64_t AllocCount();
int64_t FreeCount();

// The next n allocations through the non-throwing operators (new with
// std::nothrow) give null, so tests can reach the out-of-memory paths.
void FailNothrowAllocations(int64_t n);

// Counts allocations made between construction and Count().
struct AllocDelta {
    int64_t allocs0 = AllocCount();
    int64_t frees0 = FreeCount();
    int64_t Allocs() const { return AllocCount() - allocs0; }
    int64_t Frees() const { return FreeCount() - frees0; }
};
