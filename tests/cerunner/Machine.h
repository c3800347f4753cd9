// The emulated handheld: a StrongARM CPU (Unicorn), the PORTMEDIC.exe image
// loaded as Windows CE loads it, a 64 KB stack, a heap, and the addresses
// where the program's imports land.
//
// Calls from the program into COREDLL and AYGSHELL go to addresses no page
// is mapped at: the CPU stops there, and the run loop calls the host
// function bound to that address (a stub), puts its result in r0 and goes on
// at lr. A stub may call back into the program (a window procedure) with
// CallGuest: that runs a loop of its own on the same CPU.
//
// Unicorn 2.0.1 does not promise that uc_emu_start may be called from inside
// one of its hooks (nested starts arrive with 2.1), although a small trial
// here happened to work. So no hook ever starts the CPU: hooks only note
// what happened and stop it, every uc_emu_start is made from plain host
// code after the previous one has returned, and the nesting of calls lives
// on the host's stack.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

struct uc_struct;
struct Machine;

// A host function standing in for an imported one: reads its arguments with
// Arg, gives r0.
typedef uint32_t (*StubFunction)(Machine& m);

struct Stub {
    const char* dll;   // "COREDLL" or "AYGSHELL"
    const char* name;  // by name; null when imported by number
    int ordinal;       // by number (the shell); 0 when by name
    StubFunction function;
};

struct Import {
    std::string label;  // "COREDLL!RegOpenKeyExW", "AYGSHELL!34"
    StubFunction function;
};

struct LoadOptions {
    bool skipRelocation = false;  // leave the image's addresses as linked
    std::string dropStub;         // act as if this import ("DLL!name") had no stub
};

// Memory map. The image goes to a base other than its own (0x10000), so
// that every address the relocations miss points at nothing.
enum : uint32_t {
    kImageBase = 0x00400000,
    kStackTop = 0x00F10000,
    kStackSize = 0x10000,  // CE's default stack for a program's thread
    kHeapBase = 0x01000000,
    kHeapSize = 0x01000000,
    kStubBase = 0xF0000000,                // unmapped: import calls stop here
    kReturnAddress = kStubBase,            // lr of a call the host makes
    kImportAddresses = kStubBase + 0x100,  // one word per import
};

struct Machine {
    uc_struct* uc = nullptr;
    uint32_t base = 0;  // the image, as mapped
    uint32_t imageSize = 0;
    uint32_t entry = 0;
    uint32_t resourceRva = 0;
    std::vector<Import> imports;  // import i is called at kImportAddresses + 4 * i
    std::string fault;            // why the run stopped; empty while it goes on
    uint32_t pc = 0;              // the instruction being run (for messages)
    uint64_t steps = 0;
    bool exited = false;  // the program ended its process itself (TerminateProcess)
    uint32_t exitCode = 0;

    std::map<uint32_t, uint32_t> readOnly;    // the image's read-only pages: address -> size
    std::map<uint32_t, uint32_t> heapBlocks;  // address -> size
    uint32_t heapNext = kHeapBase;
};

// Loads the file's image into a fresh machine. False with m.fault set when
// the file is no ARM CE program or cannot be loaded.
bool MachineLoad(Machine& m, const std::string& path, const std::vector<Stub>& stubs,
                 const LoadOptions& options);
// A machine with no image, for trying single instructions.
bool MachineOpen(Machine& m);
void MachineClose(Machine& m);

// Calls guest code at `address` with these arguments (r0-r3, then the
// stack) and returns its r0, with r1 above it for a 64-bit result; the
// registers are then as before the call. On a fault returns 0 with m.fault
// set; callers just return as well.
uint64_t CallGuest(Machine& m, uint32_t address, const std::vector<uint32_t>& args);

// Records why the run must stop (the first reason wins) and stops the CPU.
void Stop(Machine& m, const std::string& why);

// The stub's argument i (r0-r3, then the caller's stack).
uint32_t Arg(Machine& m, int i);
// The high word of a stub's 64-bit result (r1); the low word is its return value.
void SetResultHigh(Machine& m, uint32_t r1);

// False, and the run stopped, when a stub is handed a count of bytes
// larger than any block of the guest's memory (its heap).
bool Plausible(Machine& m, uint64_t bytes);

uint32_t Read32(Machine& m, uint32_t address);
void Write32(Machine& m, uint32_t address, uint32_t value);
std::vector<uint8_t> ReadBytes(Machine& m, uint32_t address, uint32_t count);
void WriteBytes(Machine& m, uint32_t address, const void* bytes, uint32_t count);
// Zero-terminated texts of 8-bit and of 16-bit characters.
std::string ReadText(Machine& m, uint32_t address);
std::u16string ReadWide(Machine& m, uint32_t address);
// Little-endian 16-bit characters, as the guest keeps them (an odd last byte dropped).
std::u16string WideFromBytes(const std::vector<uint8_t>& bytes);

// The program's heap (malloc and friends).
uint32_t HeapAlloc(Machine& m, uint32_t size);
bool HeapFree(Machine& m, uint32_t address);  // false (and a fault) for a bad address
uint32_t HeapSize(Machine& m, uint32_t address);

// The image's own resources: the address of the data entry (offset, size)
// of resource `id` of type `type`, first language; 0 when absent.
uint32_t FindResourceEntry(Machine& m, uint32_t type, uint32_t id);
// The resource's bytes as mapped, and their size.
uint32_t ResourceData(Machine& m, uint32_t entry, uint32_t* size);

std::string Hex(uint32_t value);
