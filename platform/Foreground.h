// Bringing a running program's window forward, with the windows it owns.
//
// Windows CE does this with SetForegroundWindow on the handle with its
// lowest bit set. Desktop Windows has no such request (the changed handle
// names no window), so there the owned window that was active last, an
// open dialog for example, is brought forward after its owner.
#pragma once

#include <windows.h>

void BringWindowForward(HWND hwnd);
