// The runner's own checks: single instructions on the emulated StrongARM
// (the misalignment trap, the processor's instruction set), menu-bar
// resources broken in each way the shell refuses and, given the program,
// the protections of its loaded image.
#include <stdio.h>
#include <unicorn/unicorn.h>

#include "tests/cerunner/MenuBar.h"
#include "tests/cerunner/Runner.h"

namespace {

// One row's line ("ok: ..." or "FAILED: ..."); 1 when it failed.
int Report(bool pass, const std::string& what, const std::string& fault) {
    printf("%s: %s%s%s\n", pass ? "ok" : "FAILED", what.c_str(), fault.empty() ? "" : ": ",
           fault.c_str());
    return !pass;
}

// Single instructions on the emulated StrongARM. CE raises a datatype
// misalignment for misaligned words and half-words, never for bytes; and
// an ARMv4 processor has no BX (ARMv4T) nor LDRD (ARMv5TE), which a build
// for a later processor would use.
int InstructionTable() {
    const char* kMisaligned = "datatype misalignment at PC=0x00400000";
    const char* kUndefined = "stopped at PC=0x00400000: Invalid instruction";
    struct Row {
        const char* what;
        uint32_t instruction;
        uint32_t offset;    // of r0 from an aligned block
        const char* fault;  // how the run stops; null: it does not
    } rows[] = {
        {"ldr r2, [r0]", 0xE5902000, 0, nullptr},
        {"ldr r2, [r0] +2", 0xE5902000, 2, kMisaligned},
        {"ldrh r2, [r0] +1", 0xE1D020B0, 1, kMisaligned},
        {"ldrh r2, [r0] +2", 0xE1D020B0, 2, nullptr},
        {"ldrsh r2, [r0] +3", 0xE1D020F0, 3, kMisaligned},
        {"str r1, [r0] +1", 0xE5801000, 1, kMisaligned},
        {"strh r1, [r0] +1", 0xE1C010B0, 1, kMisaligned},
        {"ldrb r2, [r0] +1", 0xE5D02000, 1, nullptr},
        {"ldm r0, {r2, r3} +2", 0xE890000C, 2, kMisaligned},
        {"stm r0, {r2, r3} +2", 0xE880000C, 2, kMisaligned},
        {"stm r0, {r2, r3} +4", 0xE880000C, 4, nullptr},
        {"bx lr", 0xE12FFF1E, 0, kUndefined},
        {"ldrd r2, [r0]", 0xE1C020D0, 0, kUndefined},
    };
    int failed = 0;
    for (const Row& r : rows) {
        Machine m;
        uint32_t code[2] = {r.instruction, 0xE1A0F00E};  // ...; mov pc, lr
        const uint32_t at = kImageBase;
        bool ok = MachineOpen(m) && uc_mem_map(m.uc, at, 0x1000, UC_PROT_ALL) == UC_ERR_OK;
        uint32_t data = ok ? HeapAlloc(m, 16) : 0;
        if (ok) {
            WriteBytes(m, at, code, sizeof code);
            CallGuest(m, at, {data + r.offset, 0x12345678});
        }
        bool pass = ok && (r.fault ? m.fault.find(r.fault) == 0 : m.fault.empty());
        failed += Report(pass, r.what, m.fault);
        MachineClose(m);
    }
    return failed;
}

// The program's image as loaded: its code and read-only data refuse a
// store, from its own code or from a COREDLL function writing for it, and
// its data holds no code, as on the device.
int ImageTable(const std::string& exe) {
    enum What { kStore, kStubWrite, kRun };
    struct Row {
        const char* section;
        What what;
        const char* fault;  // how the run stops; null: it does not
    } rows[] = {
        {".text", kStore, "access violation at PC=0x003F0000: write to read-only memory"},
        {".rdata", kStore, "access violation at PC=0x003F0000: write to read-only memory"},
        {".rdata", kStubWrite, "a stub wrote read-only memory"},
        {".data", kStore, nullptr},
        {".data", kRun, "access violation at PC=0x00000000: run of non-executable memory"},
    };
    const char* kWhat[] = {"a store into", "a stub's write into", "a run of"};
    int failed = 0;
    for (const Row& r : rows) {
        Machine m;
        bool ok = MachineLoad(m, exe, DeviceStubs(), LoadOptions());
        // The section's address, from the section table as mapped.
        uint32_t pe = ok ? m.base + Read32(m, m.base + 0x3C) : 0, at = 0;
        uint32_t count = ok ? Read32(m, pe + 4) >> 16 : 0,
                 table = pe + 24 + (Read32(m, pe + 20) & 0xFFFF);
        for (uint32_t i = 0; i < count && !at; ++i)
            if (ReadText(m, table + 40 * i).substr(0, 8) == r.section)
                at = m.base + Read32(m, table + 40 * i + 12);
        const uint32_t code = kImageBase - 0x10000;
        uint32_t instructions[2] = {0xE5801000, 0xE1A0F00E};  // str r1, [r0]; mov pc, lr
        ok = ok && at && uc_mem_map(m.uc, code, 0x1000, UC_PROT_ALL) == UC_ERR_OK;
        if (ok) {
            WriteBytes(m, code, instructions, sizeof instructions);
            if (r.what == kStore) CallGuest(m, code, {at, 0x12345678});
            if (r.what == kStubWrite) WriteBytes(m, at, instructions, 4);
            if (r.what == kRun) CallGuest(m, at, {});
        }
        bool pass = ok && (r.fault ? m.fault.find(r.fault) == 0 : m.fault.empty());
        failed += Report(pass, std::string(kWhat[r.what]) + " " + r.section, m.fault);
        MachineClose(m);
    }
    return failed;
}

// The menu bar as the shell reads it from the resources: the program's own
// definition and menu, and each way the shell refuses one.
int MenuBarTable() {
    typedef std::vector<uint16_t> Words;
    // Menu 102: drop-down "H" holding 40003, 40004, 40006.
    const Words menu = {0, 0,     0x90, 'H', 0,    0,     40003, 'A', 0,
                        0, 40004, 'D',  0,   0x80, 40006, 'S',   0};
    const Words bar = {102, 1, 0xFFFE, 40001, 4, 0x18, 104, 0, 0};
    auto with = [](Words w, size_t at, uint16_t v) {
        w[at] = v;
        return w;
    };
    struct Row {
        const char* what;
        uint32_t id;
        Words bar, menu;
        const char* error;  // "" when the shell builds the bar
        size_t commands;    // then the commands it offers
    } rows[] = {
        {"the program's bar", 102, bar, menu, "", 3},
        {"a plain button", 102, with(bar, 5, 0), menu, "", 1},
        {"no such definition", 103, bar, menu, "no menu-bar definition 103", 0},
        {"two buttons, one given", 102, with(bar, 1, 2), menu,
         "menu-bar definition 102 is shorter than its 2 buttons", 0},
        {"no such menu", 102, with(bar, 0, 105), menu, "no menu 105", 0},
        {"no such string", 102, with(bar, 6, 105), menu, "button 0: no string 105", 0},
        {"no such drop-down", 102, with(bar, 8, 1), menu, "button 0: menu 102 has no drop-down 1",
         0},
        {"a menu without its end", 102, bar, with(menu, 13, 0), "menu 102 is cut short", 0},
    };
    int failed = 0;
    for (const Row& r : rows) {
        auto bytes = [](const Words& w) {
            std::vector<uint8_t> b;
            for (uint16_t v : w) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
            return b;
        };
        ResourceLookup resource = [&](uint32_t type, uint32_t id, std::vector<uint8_t>* out) {
            if (id != 102) return false;
            *out = bytes(type == 10 ? r.bar : r.menu);
            return true;
        };
        StringLookup text = [](uint32_t id) { return id == 104 ? u"Herramientas" : u""; };
        MenuBar got;
        std::string error = ReadMenuBar(r.id, resource, text, &got);
        bool pass = error == r.error && (!error.empty() || got.commands.size() == r.commands);
        failed += Report(pass, std::string("menu bar: ") + r.what, error);
    }
    return failed;
}

}  // namespace

int SelfTest(const std::string& exe) {
    return InstructionTable() + MenuBarTable() + (exe.empty() ? 0 : ImageTable(exe));
}
