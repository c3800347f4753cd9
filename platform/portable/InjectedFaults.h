// Testing aids for the in-memory registry: single calls made to fail the way
// a real device registry can, and the log of every key opened. They reach the
// registry through its one hook (MemRegSetHook) and are not part of
// portmedic-scan. MemRegClear removes the hook; the next switch set here
// starts again from no faults and an empty log.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/portable/MemoryRegistry.h"

// Opening this key fails (kRegNotFound). The key is created if missing.
void MemRegFailOpen(const std::u16string& path);
// Enumerating sub-keys at index >= index fails (kRegAccessDenied).
void MemRegFailEnumAt(const std::u16string& path, int64_t index);
// Writing any value of this key fails (kRegAccessDenied).
void MemRegDenyWrite(const std::u16string& path);
// Reading this value fails (kRegAccessDenied).
void MemRegFailRead(const std::u16string& path, const std::u16string& valueName);

// Starts logging: every path RegistryOpenKey is asked for, as a full path,
// in call order, whether the open succeeds or not.
void MemRegLogOpens();
const std::vector<std::u16string>& MemRegOpenLog();
