// What platform/wince/DebugOutput.cpp takes from the device's windows.h,
// declared for a 64-bit host (the device's header insists on 32 bits).
#pragma once

#define WINAPI
typedef int BOOL;
typedef unsigned long DWORD;
typedef void* HANDLE;
typedef wchar_t WCHAR;

#define GetCurrentProcess() ((HANDLE)0x42)

extern "C" {
BOOL WINAPI TerminateProcess(HANDLE hProcess, DWORD uExitCode);
void WINAPI OutputDebugStringW(const WCHAR* lpOutputString);
}
