#include "tests/support/AllocCounter.h"

#include <stdlib.h>

#include <atomic>
#include <new>

namespace {
std::atomic<int64_t> g_allocs{0};
std::atomic<int64_t> g_frees{0};
std::atomic<int64_t> g_nothrowFailures{0};

void* Allocate(size_t size) {
    ++g_allocs;
    return malloc(size ? size : 1);
}

void Release(void* p) {
    if (!p) return;
    ++g_frees;
    free(p);
}
void* AllocateNothrow(size_t size) {
    if (g_nothrowFailures > 0) {
        --g_nothrowFailures;
        return nullptr;
    }
    return Allocate(size);
}
}  // namespace

int64_t AllocCount() { return g_allocs; }
int64_t FreeCount() { return g_frees; }
void FailNothrowAllocations(int64_t n) { g_nothrowFailures = n; }

void* operator new(size_t size) {
    void* p = Allocate(size);
    if (!p) abort();
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return AllocateNothrow(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return AllocateNothrow(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
