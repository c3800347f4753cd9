// The program's allocation operators, straight onto the C runtime's heap.
// Defined here so the program needs nothing of the C++ library: that keeps
// PORTMEDIC.exe small, as a handheld's storage wants.
#include <stdlib.h>

#include <new>

void* operator new(size_t n) { return malloc(n ? n : 1); }
void* operator new[](size_t n) { return malloc(n ? n : 1); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

// std::nothrow itself lives in the C++ library; the program's own copy.
namespace std {
const nothrow_t nothrow{};
}
