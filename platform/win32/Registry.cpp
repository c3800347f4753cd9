// The registry operations straight onto the Windows registry.
//
// Windows CE ignores the access asked for when a key is opened: a handle
// opened with access value 1 (query values) may also enumerate sub-keys and
// write values. Desktop Windows and Wine check the access of every handle:
//   - enumerating needs KEY_ENUMERATE_SUB_KEYS, so RegistryOpenKey adds the
//     read rights (KEY_READ) to whatever is asked; it never adds write rights;
//   - a write through a read handle is refused with error 5, so
//     RegistrySetValue opens a second handle to the same key with
//     KEY_SET_VALUE for its one write. A key whose security refuses writing
//     still ends as a failed write (its error code comes back).
#include "platform/Registry.h"

#include <windows.h>

static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32 bits");

namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

long RegistryOpenKey(RegKey root, const WideChar* path, uint32_t options, uint32_t access,
                     RegKey* key) {
    if (!key) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(ToHkey(root), path, options, access | KEY_READ, &opened);
    if (result == ERROR_SUCCESS) *key = opened;
    return result;
}

long RegistryEnumKey(RegKey key, uint32_t index, WideChar* name, uint32_t* nameLength) {
    if (!nameLength) return ERROR_INVALID_PARAMETER;
    DWORD length = *nameLength;
    LONG result =
        RegEnumKeyExW(ToHkey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS) *nameLength = length;
    return result;
}

long RegistryQueryValue(RegKey key, const WideChar* name, uint32_t* type, uint8_t* data,
                        uint32_t* byteCount) {
    DWORD valueType = 0;
    DWORD count = byteCount ? *byteCount : 0;
    LONG result = RegQueryValueExW(ToHkey(key), name, nullptr, type ? &valueType : nullptr, data,
                                   byteCount ? &count : nullptr);
    if (type && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) *type = valueType;
    if (byteCount && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) *byteCount = count;
    return result;
}

long RegistrySetValue(RegKey key, const WideChar* name, uint32_t reserved, uint32_t type,
                      const uint8_t* data, uint32_t byteCount) {
    // A second handle to the same key, asking only for the right to set values.
    HKEY writable = nullptr;
    LONG result = RegOpenKeyExW(ToHkey(key), L"", 0, KEY_SET_VALUE, &writable);
    if (result != ERROR_SUCCESS) return result;
    result = RegSetValueExW(writable, name, reserved, type, data, byteCount);
    RegCloseKey(writable);
    return result;
}

#ifdef _WIN32_WCE
// Not every COREDLL a Pocket PC may carry is known to export RegFlushKey,
// and a program importing a name its COREDLL lacks does not start at all.
// So the function is looked up when needed; without it the registry is the
// older kind kept in RAM, whose writes survive a soft reset unflushed.
long RegistryFlushKey(RegKey key) {
    typedef LONG(WINAPI * FlushFunction)(HKEY);
    HMODULE system = GetModuleHandleW(L"coredll.dll");
    // Through a generic function pointer: the address found has no type of its own.
    typedef void (*AnyFunction)();
    FlushFunction flush = nullptr;
    if (system) {
        AnyFunction found = reinterpret_cast<AnyFunction>(GetProcAddressW(system, L"RegFlushKey"));
        flush = reinterpret_cast<FlushFunction>(found);
    }
    return flush ? flush(ToHkey(key)) : ERROR_SUCCESS;
}
#else
long RegistryFlushKey(RegKey key) { return RegFlushKey(ToHkey(key)); }
#endif

long RegistryCloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }
