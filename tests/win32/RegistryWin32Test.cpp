// The registry operations and the scan against Windows' own registry (under
// Wine, the suite's private prefix). Every test builds its keys below
// HKEY_LOCAL_MACHINE\Drivers in a sandbox that it creates and deletes again.
// Outputs are poisoned before each call, so a value a call should not have
// touched shows up.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <string.h>

#include <string>

#include "platform/Registry.h"
#include "repair/SerialScan.h"

namespace {

const RegKey kPoisonKey = reinterpret_cast<RegKey>(uintptr_t(0xDEADBEE0));
const uint32_t kPoisonCount = 0xDEADBEEF;
const WideChar kPoisonChar = 0xCDCD;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Everyone may read the key and delete it, and nothing else: no value can be
// set through any handle opened afterwards.
const wchar_t kNoWriting[] = L"D:P(A;;KR;;;WD)(A;;0x10000;;;WD)";

// HKLM\Drivers for the length of one test. The prefix has no such key of its
// own, so the test may remove the whole tree afterwards.
// Tests of this suite share one prefix and may run side by side: a named
// mutex lets one sandbox exist at a time.
struct Sandbox {
    bool ready = false;
    HANDLE turn = nullptr;

    Sandbox() {
        turn = CreateMutexW(nullptr, FALSE, L"PortmedicRegistrySandbox");
        if (turn) WaitForSingleObject(turn, INFINITE);
        HKEY existing;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Drivers", 0, KEY_READ, &existing) == 0) {
            RegCloseKey(existing);
            ADD_FAILURE() << "HKLM\\Drivers exists already: run this suite in a private prefix";
            return;
        }
        ready = true;
    }
    ~Sandbox() {
        if (ready) RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers");
        if (ready) RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Drivers");
        if (turn) {
            ReleaseMutex(turn);
            CloseHandle(turn);
        }
    }
};

// Gives the key the security descriptor written in SDDL form. (Wine keeps
// no descriptor handed to RegCreateKeyExW, so it is set afterwards.)
void Protect(HKEY key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
        << GetLastError();
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), 0);
    LocalFree(descriptor);
}

// Creates HKLM\path (and every key on the way); protected by the security
// descriptor when one is given.
void CreateKey(const wchar_t* path, const wchar_t* sddl = nullptr) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              0)
        << "creating HKLM\\" << Narrow(path);
    if (sddl) Protect(key, sddl);
    RegCloseKey(key);
}

void SetString(const wchar_t* path, const wchar_t* name, const wchar_t* text) {
    CreateKey(path);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key), 0);
    DWORD bytes = DWORD((wcslen(text) + 1) * sizeof(wchar_t));
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes), 0);
    RegCloseKey(key);
}

// The value as stored: its type and its bytes read as wide text (without the
// terminator). Type 0 and "" when the value cannot be read.
struct Stored {
    DWORD type = 0;
    std::wstring text;
    DWORD bytes = 0;
};

Stored Read(const wchar_t* path, const wchar_t* name) {
    Stored stored;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != 0) return stored;
    wchar_t buffer[200] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &stored.type, reinterpret_cast<BYTE*>(buffer),
                         &bytes) == 0) {
        stored.bytes = bytes;
        stored.text.assign(buffer, bytes / sizeof(wchar_t));
        while (!stored.text.empty() && stored.text.back() == 0) stored.text.pop_back();
    } else {
        stored.type = 0;
    }
    RegCloseKey(key);
    return stored;
}

}  // namespace

// Opening an existing key hands out a handle; a missing one gives error 2
// and leaves the caller's handle as it was.
TEST(RegistryOpenKey, OpensExistingAndReportsMissing) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    CreateKey(L"Drivers\\Active");

    RegKey key = kPoisonKey;
    ASSERT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\Active", 0, 1, &key), 0);
    EXPECT_NE(key, kPoisonKey);
    EXPECT_EQ(RegistryCloseKey(key), 0);

    key = kPoisonKey;
    EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\Missing", 0, 1, &key),
              kRegNotFound);
    EXPECT_EQ(key, kPoisonKey);
}

// A handle opened with access value 1, as the scan opens every key, can
// enumerate sub-keys (Windows CE never checks; the desktop needs the right).
TEST(RegistryEnumKey, WorksOnQueryHandleAndEnds) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    CreateKey(L"Drivers\\Active\\02");
    CreateKey(L"Drivers\\Active\\01");

    RegKey key;
    ASSERT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\Active", 0, 1, &key), 0);
    WideChar name[200];
    const char* expected[] = {"01", "02"};
    for (uint32_t index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        for (auto& c : name) c = kPoisonChar;
        uint32_t length = 200;
        ASSERT_EQ(RegistryEnumKey(key, index, name, &length), 0);
        EXPECT_EQ(length, 2u);
        EXPECT_EQ(Narrow(std::wstring(name, length)), expected[index]);
        EXPECT_EQ(name[2], 0);
    }
    uint32_t length = 200;
    EXPECT_EQ(RegistryEnumKey(key, 2, name, &length), kRegNoMoreItems);

    // A buffer without room for the terminator is too small.
    length = 2;
    EXPECT_EQ(RegistryEnumKey(key, 0, name, &length), kRegMoreData);
    RegistryCloseKey(key);
}

// Reading delivers type, bytes and count; a small buffer gives error 234;
// a missing value gives error 2 and leaves count and buffer alone; a buffer
// without a count gives error 87.
TEST(RegistryQueryValue, ReadsSizesAndFailures) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    SetString(L"Drivers\\BuiltIn\\Serial", L"Dll", L"serial.dll");

    RegKey key;
    ASSERT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\BuiltIn\\Serial", 0, 1, &key), 0);
    WideChar buffer[150];
    for (auto& c : buffer) c = kPoisonChar;
    uint32_t type = kPoisonCount, bytes = 300;
    ASSERT_EQ(RegistryQueryValue(key, L"Dll", &type, reinterpret_cast<uint8_t*>(buffer), &bytes),
              0);
    EXPECT_EQ(type, kRegTypeString);
    EXPECT_EQ(bytes, 22u);
    EXPECT_EQ(Narrow(std::wstring(buffer)), "serial.dll");
    EXPECT_EQ(buffer[11], kPoisonChar);  // nothing written past the value

    bytes = 10;
    EXPECT_EQ(RegistryQueryValue(key, L"Dll", nullptr, reinterpret_cast<uint8_t*>(buffer), &bytes),
              kRegMoreData);
    EXPECT_EQ(bytes, 22u);

    for (auto& c : buffer) c = kPoisonChar;
    bytes = 300;
    EXPECT_EQ(RegistryQueryValue(key, L"Name", nullptr, reinterpret_cast<uint8_t*>(buffer), &bytes),
              kRegNotFound);
    EXPECT_EQ(buffer[0], kPoisonChar);

    // Bytes asked for without a count: refused, present value or not.
    for (const wchar_t* name : {L"Dll", L"Name"})
        EXPECT_EQ(
            RegistryQueryValue(key, name, nullptr, reinterpret_cast<uint8_t*>(buffer), nullptr),
            kRegInvalidParameter);
    RegistryCloseKey(key);
}

// A write through a handle opened only to read succeeds: the platform asks
// for write access for that one write. Windows itself refuses the same
// write through the handle (error 5), which is why the detour exists.
TEST(RegistrySetValue, WritesThroughReadHandle) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    SetString(L"Drivers\\BuiltIn\\Serial5", L"Dll", L"OBBTDEV.DLL");

    RegKey key;
    ASSERT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\BuiltIn\\Serial5", 0, 1, &key), 0);
    const wchar_t fixed[] = L"BTCEIF.DLL";
    EXPECT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(key), L"Dll", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(fixed), sizeof(fixed)),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegistrySetValue(key, L"Dll", 0, kRegTypeString,
                               reinterpret_cast<const uint8_t*>(fixed), sizeof(fixed)),
              0);
    EXPECT_EQ(RegistryFlushKey(key), 0);  // the read handle is enough to flush
    RegistryCloseKey(key);

    Stored stored = Read(L"Drivers\\BuiltIn\\Serial5", L"Dll");
    EXPECT_EQ(stored.type, DWORD(REG_SZ));
    EXPECT_EQ(stored.bytes, 22u);
    EXPECT_EQ(Narrow(stored.text), "BTCEIF.DLL");
}

// A key whose security refuses writing values: the write fails with error 5
// and the value stays as it was.
TEST(RegistrySetValue, RefusedBySecurity) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    CreateKey(L"Drivers\\Locked", kNoWriting);
    HKEY raw;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Drivers\\Locked", 0, KEY_SET_VALUE, &raw),
              ERROR_ACCESS_DENIED);

    RegKey key;
    ASSERT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\Locked", 0, 1, &key), 0);
    const wchar_t fixed[] = L"BTCEIF.DLL";
    EXPECT_EQ(RegistrySetValue(key, L"Dll", 0, kRegTypeString,
                               reinterpret_cast<const uint8_t*>(fixed), sizeof(fixed)),
              kRegAccessDenied);
    RegistryCloseKey(key);
    EXPECT_EQ(Read(L"Drivers\\Locked", L"Dll").type, 0u);
}

namespace {

// A damaged device: a loaded Bluetooth port whose driver key may be
// repaired, one whose driver key (made by MakeLockedDriverKey) refuses
// writing, a plug-and-play port that is never examined, and two built-in
// ports.
void MakeDamagedDevice() {
    SetString(L"Drivers\\Active\\01", L"Name", L"COM5:");
    SetString(L"Drivers\\Active\\01", L"Key", L"Drivers\\Sandbox\\BtSerial");
    SetString(L"Drivers\\Sandbox\\BtSerial", L"Dll", L"obbtdev.dll");

    SetString(L"Drivers\\Active\\02", L"Name", L"COM6:");
    SetString(L"Drivers\\Active\\02", L"Key", L"Drivers\\Sandbox\\Locked");

    SetString(L"Drivers\\Active\\03", L"Name", L"COM7:");
    SetString(L"Drivers\\Active\\03", L"PnpId", L"BT\\0001");
    SetString(L"Drivers\\Active\\03", L"Key", L"Drivers\\Sandbox\\BtSerial");

    SetString(L"Drivers\\BuiltIn\\Serial", L"Dll", L"serial.dll");
    SetString(L"Drivers\\BuiltIn\\Serial8", L"Dll", L"---BTCEIF.DLL");
}

// Creates the locked driver key with its value already in place.
void MakeLockedDriverKey(const wchar_t* path, const wchar_t* dll) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              0);
    DWORD bytes = DWORD((wcslen(dll) + 1) * sizeof(wchar_t));
    EXPECT_EQ(RegSetValueExW(key, L"Dll", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll), bytes), 0);
    Protect(key, kNoWriting);
    RegCloseKey(key);
}

}  // namespace

// Detection over the real registry: damaged lines carry the fault marker,
// the message stays empty and nothing is written.
TEST(ScanSerialDrivers, DetectOnRealRegistry) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    MakeLockedDriverKey(L"Drivers\\Sandbox\\Locked", L"---btceif.dll");
    MakeDamagedDevice();

    TextString report, message;
    ScanSerialDrivers(report, message, false);
    std::string expected = std::string("COM5:  => Dll: OBBTDEV.DLL") + kFaultMarker.CStr() +
                           "\r\n" + "COM6:  => Dll: ---BTCEIF.DLL" + kFaultMarker.CStr() + "\r\n" +
                           "COM1 - 'BuiltIn'  => Dll: SERIAL.DLL\r\n" +
                           "COM8 - 'BuiltIn'  => Dll: ---BTCEIF.DLL" + kFaultMarker.CStr() + "\r\n";
    EXPECT_EQ(std::string(report.CStr()), expected);
    EXPECT_STREQ(message.CStr(), "");
    EXPECT_EQ(Narrow(Read(L"Drivers\\Sandbox\\BtSerial", L"Dll").text), "obbtdev.dll");
    EXPECT_EQ(Narrow(Read(L"Drivers\\Sandbox\\Locked", L"Dll").text), "---btceif.dll");
    EXPECT_EQ(Narrow(Read(L"Drivers\\BuiltIn\\Serial8", L"Dll").text), "---BTCEIF.DLL");
}

// Repair over the real registry: writable keys get "BTCEIF.DLL" (a string
// value of 22 bytes) and the fixed marker; the key whose security refuses
// the write keeps its value and its line the fault marker; the message is
// the fixed message because at least one write succeeded.
TEST(ScanSerialDrivers, RepairOnRealRegistry) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    MakeLockedDriverKey(L"Drivers\\Sandbox\\Locked", L"---btceif.dll");
    MakeDamagedDevice();

    TextString report, message;
    ScanSerialDrivers(report, message, true);
    std::string expected = std::string("COM5:  => Dll: OBBTDEV.DLL") + kFixedMarker.CStr() +
                           "\r\n" + "COM6:  => Dll: ---BTCEIF.DLL" + kFaultMarker.CStr() + "\r\n" +
                           "COM1 - 'BuiltIn'  => Dll: SERIAL.DLL\r\n" +
                           "COM8 - 'BuiltIn'  => Dll: ---BTCEIF.DLL" + kFixedMarker.CStr() + "\r\n";
    EXPECT_EQ(std::string(report.CStr()), expected);
    EXPECT_STREQ(message.CStr(), kFixedMessage.CStr());

    for (const wchar_t* path : {L"Drivers\\Sandbox\\BtSerial", L"Drivers\\BuiltIn\\Serial8"}) {
        SCOPED_TRACE(Narrow(path));
        Stored stored = Read(path, L"Dll");
        EXPECT_EQ(stored.type, DWORD(REG_SZ));
        EXPECT_EQ(stored.bytes, 22u);
        EXPECT_EQ(Narrow(stored.text), "BTCEIF.DLL");
    }
    EXPECT_EQ(Narrow(Read(L"Drivers\\Sandbox\\Locked", L"Dll").text), "---btceif.dll");

    // A second run finds nothing left that it may repair.
    TextString again, againMessage;
    ScanSerialDrivers(again, againMessage, true);
    EXPECT_NE(std::string(again.CStr()).find("COM5:  => Dll: BTCEIF.DLL\r\n"), std::string::npos)
        << again.CStr();
}

// Paths Windows refuses: a leading backslash is a bad path (161), as the
// portable registry answers too. (Wine opens "a\\\\b" with an empty part,
// which Windows refuses; that case is left to the portable suite.)
TEST(RegistryOpenKey, RefusesALeadingBackslash) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    CreateKey(L"Drivers\\Active");  // refused although it exists
    for (const wchar_t* path : {L"\\Drivers\\Active", L"\\"}) {
        SCOPED_TRACE(Narrow(path));
        RegKey key = kPoisonKey;
        EXPECT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, path, 0, 1, &key), 161);
    }
}

// A sub-key of Drivers\Active whose name does not fit the scan's buffer
// (234 from the enumeration) is passed over; the damaged port after it is
// still reported.
TEST(ScanSerialDrivers, GoesOnPastAnOverLongSubKeyName) {
    Sandbox box;
    ASSERT_TRUE(box.ready);
    std::wstring longName = L"Drivers\\Active\\02" + std::wstring(220, L'x');
    SetString(longName.c_str(), L"Name", L"COM9:");
    SetString(L"Drivers\\Active\\03", L"Name", L"COM5:");
    SetString(L"Drivers\\Active\\03", L"Key", L"Drivers\\Sandbox\\BtSerial");
    SetString(L"Drivers\\Sandbox\\BtSerial", L"Dll", L"OBBTDEV.DLL");

    RegKey active = kPoisonKey;
    ASSERT_EQ(RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, L"Drivers\\Active", 0, 1, &active), 0);
    WideChar name[200];
    uint32_t length = 200;
    EXPECT_EQ(RegistryEnumKey(active, 0, name, &length), 234);
    RegistryCloseKey(active);

    TextString report, message;
    ScanSerialDrivers(report, message, false);
    EXPECT_EQ(std::string(report.CStr()),
              std::string("COM5:  => Dll: OBBTDEV.DLL") + kFaultMarker.CStr() + "\r\n");
}
