// The registry, reduced to the six operations the scan needs.
//
// Arguments and results follow the Win32 functions of the same role
// (RegOpenKeyExW, RegEnumKeyExW, RegQueryValueExW, RegSetValueExW,
// RegFlushKey, RegCloseKey): 0 means success, anything else is a Windows
// error code.
// The portable build acts on a registry tree in memory (registry/, above
// this folder); the Win32 build calls Windows itself (platform/win32).
#pragma once

#include <stdint.h>

#include "platform/WideChar.h"

typedef void* RegKey;

// The root key the scan works under; the same value as HKEY_LOCAL_MACHINE.
#define REG_ROOT_LOCAL_MACHINE ((RegKey)(uintptr_t)0x80000002u)

enum : long {
    kRegOk = 0,
    kRegNotFound = 2,           // ERROR_FILE_NOT_FOUND
    kRegAccessDenied = 5,       // ERROR_ACCESS_DENIED
    kRegInvalidHandle = 6,      // ERROR_INVALID_HANDLE
    kRegWriteFault = 29,        // ERROR_WRITE_FAULT
    kRegInvalidParameter = 87,  // ERROR_INVALID_PARAMETER
    kRegBadPath = 161,          // ERROR_BAD_PATHNAME
    kRegMoreData = 234,         // ERROR_MORE_DATA: the caller's buffer is too small
    kRegNoMoreItems = 259,      // ERROR_NO_MORE_ITEMS
};

enum : uint32_t {
    kRegTypeNone = 0,
    kRegTypeString = 1,  // REG_SZ
    kRegTypeExpandString = 2,
    kRegTypeBinary = 3,
    kRegTypeDword = 4,
    kRegTypeMultiString = 7,
};

// Opens `path` below `root` ("" reopens root itself). access is the Win32
// access mask; the scan passes 1 (query values).
long RegistryOpenKey(RegKey root, const WideChar* path, uint32_t options, uint32_t access,
                     RegKey* key);

// Delivers the name of the index-th sub-key. *nameLength is the buffer size
// in characters on entry and the name's length (without terminator) on exit.
long RegistryEnumKey(RegKey key, uint32_t index, WideChar* name, uint32_t* nameLength);

// Reads a value. type may be null. *byteCount is the buffer size on entry and
// the value's size on exit; a value larger than the buffer gives kRegMoreData.
long RegistryQueryValue(RegKey key, const WideChar* name, uint32_t* type, uint8_t* data,
                        uint32_t* byteCount);

// Writes a value. The key may have been opened for reading only: the
// platform obtains write access for this one write where it must.
long RegistrySetValue(RegKey key, const WideChar* name, uint32_t reserved, uint32_t type,
                      const uint8_t* data, uint32_t byteCount);

// Makes the writes so far survive a reset. A hive-based registry (Windows
// Mobile 5 and later) keeps writes pending until this call; a soft reset
// drops what is pending. A registry kept in RAM (Pocket PC 2002) keeps its
// writes anyway, and there the call may fail by design when the device has
// no store to copy the registry to. A system without the function counts
// as flushed (0).
long RegistryFlushKey(RegKey key);

long RegistryCloseKey(RegKey key);
