// The program's entry point on the device. CE calls it with WinMain's four
// arguments (module handle, previous instance, wide command line, show
// state) and ends the process with its result when it returns.
//
// The device has no C runtime start-up, so this is it: the static
// constructors, WinMain, then the exit list (the static destructors).
#include <windows.h>

#include "platform/wince/ExitList.h"

typedef void (*Constructor)();

// The constructor list the PE linker script lays out: a -1 word, the
// entries, a 0 word. GCC's entries come from .init_array, which runs from
// first to last, and within one translation unit a single entry builds its
// objects in the order of their definitions.
extern "C" Constructor __CTOR_LIST__[];

namespace {

void RunConstructors() {
    for (Constructor* entry = __CTOR_LIST__ + 1; *entry; ++entry) (*entry)();
}

}  // namespace

extern "C" int WinMainCRTStartup(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine,
                                 int show) {
    RunConstructors();
    int result = WinMain(instance, previous, commandLine, show);
    RunExitList();
    return result;
}
