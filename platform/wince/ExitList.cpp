// The exit list the compiler registers static destructors in
// (__cxa_atexit), and atexit. COREDLL has neither.
//
// The first entries live in a fixed block, enough for the program; past it
// the list moves to the heap and doubles as it grows. Only when the heap
// refuses is an entry not taken: registering fails (non-zero), and that
// destructor does not run at exit. A process that cannot allocate a few
// bytes still ends, and CE frees its memory then.
#include <stdlib.h>
#include <string.h>

#include "platform/wince/ExitList.h"

extern "C" {
int __cxa_atexit(void (*function)(void*), void* argument, void* module);
int atexit(void (*function)());
// The module's own handle for __cxa_atexit; one module, one list.
void* __dso_handle = &__dso_handle;
}

namespace {

struct ExitEntry {
    void (*function)(void*);
    void* argument;
};

enum { kFixedEntries = 32 };
ExitEntry g_fixed[kFixedEntries];
ExitEntry* g_entries = g_fixed;
size_t g_capacity = kFixedEntries;
size_t g_count;

bool Grow() {
    size_t capacity = g_capacity * 2;
    if (capacity > size_t(-1) / sizeof(ExitEntry)) return false;
    ExitEntry* bigger = static_cast<ExitEntry*>(malloc(capacity * sizeof(ExitEntry)));
    if (!bigger) return false;
    memcpy(bigger, g_entries, g_count * sizeof(ExitEntry));
    if (g_entries != g_fixed) free(g_entries);
    g_entries = bigger;
    g_capacity = capacity;
    return true;
}

// atexit's functions take no argument: the entry calls them through this.
void CallPlain(void* function) { reinterpret_cast<void (*)()>(function)(); }

}  // namespace

int __cxa_atexit(void (*function)(void*), void* argument, void*) {
    if (g_count == g_capacity && !Grow()) return -1;
    g_entries[g_count].function = function;
    g_entries[g_count].argument = argument;
    ++g_count;
    return 0;
}

int atexit(void (*function)()) {
    return __cxa_atexit(CallPlain, reinterpret_cast<void*>(function), &__dso_handle);
}

void RunExitList() {
    while (g_count) {
        --g_count;
        ExitEntry entry = g_entries[g_count];
        entry.function(entry.argument);
    }
}
