#include <pthread.h>
#include <unistd.h>

#include <new>

#include "cli/Threads.h"

namespace {

struct Thread {
    pthread_t id;
    void (*work)(void*);
    void* arg;
};

void* Run(void* self) {
    Thread& t = *static_cast<Thread*>(self);
    t.work(t.arg);
    return nullptr;
}

void* Start(void (*work)(void*), void* arg) {
    Thread* t = new (std::nothrow) Thread{pthread_t(), work, arg};
    if (t && pthread_create(&t->id, nullptr, Run, t) == 0) return t;
    delete t;
    return nullptr;
}

void Wait(void* thread) {
    Thread* t = static_cast<Thread*>(thread);
    pthread_join(t->id, nullptr);
    delete t;
}

}  // namespace

RegReadBeside ThreadsBeside(bool always) {
    RegReadBeside beside;
    if (always || sysconf(_SC_NPROCESSORS_ONLN) > 1) {
        beside.start = Start;
        beside.wait = Wait;
    }
    return beside;
}
