// Testing aids for the portable registry: single calls made to fail the way
// a real device registry can, and the log of every key opened. They reach
// the Registry.h calls through their one hook (PortableRegistrySetHook),
// act on the tree those calls use (PortableRegistryTree) and are not part of
// portmedic-scan. PortableRegistryUse removes the hook; the next fault set
// here starts again from no faults and an empty log.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "registry/PortableRegistry.h"

// Opening this key fails (kRegNotFound). The key is created if missing.
void FaultOpenKey(const std::u16string& path);
// Enumerating sub-keys at index >= index fails (kRegAccessDenied).
void FaultEnumKeyFrom(const std::u16string& path, int64_t index);
// Writing any value of this key fails (kRegAccessDenied).
void FaultWriteKey(const std::u16string& path);
// Reading this value fails (kRegAccessDenied).
void FaultReadValue(const std::u16string& path, const std::u16string& valueName);

// Starts logging: every path RegistryOpenKey is asked for, as a full path,
// in call order, whether the open succeeds or not.
void LogKeyOpens();
const std::vector<std::u16string>& KeyOpenLog();
