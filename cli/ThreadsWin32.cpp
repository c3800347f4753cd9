#include <process.h>
#include <windows.h>

#include <new>

#include "cli/Threads.h"

namespace {

struct Thread {
    HANDLE handle;
    void (*work)(void*);
    void* arg;
};

unsigned __stdcall Run(void* self) {
    Thread& t = *static_cast<Thread*>(self);
    t.work(t.arg);
    return 0;
}

// _beginthreadex rather than CreateThread: the C runtime's per-thread state
// is set up for the thread and freed after it.
void* Start(void (*work)(void*), void* arg) {
    Thread* t = new (std::nothrow) Thread{nullptr, work, arg};
    if (!t) return nullptr;
    t->handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Run, t, 0, nullptr));
    if (t->handle) return t;
    delete t;
    return nullptr;
}

void Wait(void* thread) {
    Thread* t = static_cast<Thread*>(thread);
    WaitForSingleObject(t->handle, INFINITE);
    CloseHandle(t->handle);
    delete t;
}

}  // namespace

RegReadBeside ThreadsBeside(bool always) {
    RegReadBeside beside;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    if (always || info.dwNumberOfProcessors > 1) {
        beside.start = Start;
        beside.wait = Wait;
    }
    return beside;
}
