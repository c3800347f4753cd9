#include "tests/cerunner/Machine.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unicorn/unicorn.h>

#include <fstream>
#include <iterator>

namespace {

const uint16_t kMachineArm = 0x01C0;
const uint16_t kSubsystemCeGui = 9;
const uint16_t kRelocAbsolute = 0;  // padding at the end of a block
const uint16_t kRelocHighLow = 3;   // add the shift to a 32-bit word
const uint32_t kPage = 0x1000;

uint32_t RoundUp(uint32_t v, uint32_t to) { return (v + to - 1) / to * to; }

uint16_t Get16(const std::string& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8) : 0;
}
uint32_t Get32(const std::string& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(Get16(b, at) | uint32_t(Get16(b, at + 2)) << 16) : 0;
}

int RegOf(int i) { return i <= 12 ? UC_ARM_REG_R0 + i : i == 13 ? UC_ARM_REG_SP : UC_ARM_REG_LR; }

uint32_t Reg(Machine& m, int reg) {
    uint32_t v = 0;
    uc_reg_read(m.uc, reg, &v);
    return v;
}
void SetReg(Machine& m, int reg, uint32_t v) { uc_reg_write(m.uc, reg, &v); }

// Every instruction: where we are, for the messages, and a bound on the run.
void OnCode(uc_engine*, uint64_t address, uint32_t, void* user) {
    Machine& m = *static_cast<Machine*>(user);
    m.pc = uint32_t(address);
    if (++m.steps == 200000000) Stop(m, "no end after 200 million instructions");
}

// ARMv4 hardware ignores the low address bits of a misaligned word or
// half-word access (or rotates the word); Windows CE turns the alignment
// check on, so such an access raises a datatype misalignment and ends the
// program. Unicorn performs the access: the check is ours. LDM/STM report
// each word at its own (misaligned) address, so they are caught as well.
void OnAccess(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* user) {
    Machine& m = *static_cast<Machine*>(user);
    if ((size == 2 || size == 4) && address % size != 0)
        Stop(m, "datatype misalignment at PC=" + Hex(m.pc) + ": " +
                    (type == UC_MEM_WRITE ? "write" : "read") + " of " + std::to_string(size) +
                    " bytes at " + Hex(uint32_t(address)));
}

bool OnUnmapped(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* user) {
    Machine& m = *static_cast<Machine*>(user);
    if (type == UC_MEM_FETCH_UNMAPPED) return false;  // an import's address, or a wild jump
    const char* what = type == UC_MEM_WRITE_UNMAPPED ? "write" : "read";
    if (type == UC_MEM_WRITE_PROT) what = "write to read-only memory";
    if (type == UC_MEM_FETCH_PROT) what = "run of non-executable memory";
    Stop(m, std::string("access violation at PC=") + Hex(m.pc) + ": " + what + " of " +
                std::to_string(size) + " bytes at " + Hex(uint32_t(address)));
    return false;
}

bool Fail(Machine& m, const std::string& why) {
    m.fault = why;
    return false;
}

uint32_t Protection(uint32_t characteristics) {
    uint32_t p = UC_PROT_NONE;
    if (characteristics & 0x40000000u) p |= UC_PROT_READ;
    if (characteristics & 0x80000000u) p |= UC_PROT_WRITE;
    if (characteristics & 0x20000000u) p |= UC_PROT_EXEC | UC_PROT_READ;
    return p;
}

bool Relocate(Machine& m, uint32_t rva, uint32_t size, uint32_t shift) {
    for (uint32_t block = rva; block + 8 <= rva + size;) {
        uint32_t page = Read32(m, m.base + block), blockSize = Read32(m, m.base + block + 4);
        if (blockSize < 8 || block + blockSize > rva + size)
            return Fail(m, "relocation block at RVA " + Hex(block) + " has a bad size");
        std::vector<uint8_t> entries = ReadBytes(m, m.base + block + 8, blockSize - 8);
        for (size_t i = 0; i + 1 < entries.size(); i += 2) {
            uint16_t e = uint16_t(entries[i] | entries[i + 1] << 8);
            uint16_t type = e >> 12;
            uint32_t at = page + (e & 0xFFF);
            if (type == kRelocAbsolute) continue;
            if (type != kRelocHighLow)
                return Fail(m, "relocation of type " + std::to_string(type) + " at RVA " + Hex(at) +
                                   " is not supported");
            if (at > m.imageSize - 4)
                return Fail(m, "relocation at RVA " + Hex(at) + " lies outside the image");
            Write32(m, m.base + at, Read32(m, m.base + at) + shift);
        }
        block += blockSize;
    }
    return true;
}

const Stub* FindStub(const std::vector<Stub>& stubs, const std::string& dll, const char* name,
                     int ordinal) {
    for (const Stub& s : stubs) {
        if (strcasecmp(s.dll, dll.c_str()) != 0) continue;
        if (name ? (s.name && strcmp(s.name, name) == 0) : s.ordinal == ordinal) return &s;
    }
    return nullptr;
}

bool BindImports(Machine& m, uint32_t rva, const std::vector<Stub>& stubs,
                 const LoadOptions& options) {
    for (uint32_t d = m.base + rva;; d += 20) {
        uint32_t lookup = Read32(m, d), nameRva = Read32(m, d + 12), iat = Read32(m, d + 16);
        if (!nameRva && !iat) return true;
        std::string dll = ReadText(m, m.base + nameRva);
        std::string stem = dll.substr(0, dll.rfind('.'));
        if (strcasecmp(stem.c_str(), "COREDLL") && strcasecmp(stem.c_str(), "AYGSHELL"))
            return Fail(m, "the program imports " + dll + ", which a Pocket PC does not have");
        if (!lookup) lookup = iat;
        for (char& c : stem) c = char(toupper(c));
        for (uint32_t i = 0;; ++i) {
            uint32_t entry = Read32(m, m.base + lookup + 4 * i);
            if (!entry) break;
            std::string name;
            int ordinal = 0;
            if (entry & 0x80000000u)
                ordinal = int(entry & 0xFFFF);
            else
                name = ReadText(m, m.base + entry + 2);
            Import im{stem + "!" + (ordinal ? std::to_string(ordinal) : name), nullptr};
            const Stub* s = FindStub(stubs, stem, ordinal ? nullptr : name.c_str(), ordinal);
            // CE's loader refuses a program at once for any name its DLLs
            // do not export, whether or not the program ever calls it.
            if (!s || im.label == options.dropStub)
                return Fail(m, "the program imports " + im.label +
                                   ", which the runner has no stub for: a device without it "
                                   "refuses to start the program");
            im.function = s->function;
            Write32(m, m.base + iat + 4 * i, kImportAddresses + 4 * uint32_t(m.imports.size()));
            m.imports.push_back(im);
        }
    }
}

}  // namespace

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void Stop(Machine& m, const std::string& why) {
    if (m.fault.empty()) m.fault = why;
    uc_emu_stop(m.uc);
}

bool MachineOpen(Machine& m) {
    if (uc_open(UC_ARCH_ARM, UC_MODE_ARM, &m.uc) != UC_ERR_OK) return Fail(m, "no Unicorn");
    // The first Pocket PCs' processor: ARMv4, no Thumb.
    if (uc_ctl_set_cpu_model(m.uc, UC_CPU_ARM_SA1110) != UC_ERR_OK)
        return Fail(m, "Unicorn has no SA-1110");
    uc_mem_map(m.uc, kStackTop - kStackSize, kStackSize, UC_PROT_READ | UC_PROT_WRITE);
    uc_mem_map(m.uc, kHeapBase, kHeapSize, UC_PROT_READ | UC_PROT_WRITE);
    uc_hook h;
    uc_hook_add(m.uc, &h, UC_HOOK_CODE, (void*)OnCode, &m, 1, 0);
    uc_hook_add(m.uc, &h, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, (void*)OnAccess, &m, 1, 0);
    uc_hook_add(m.uc, &h, UC_HOOK_MEM_INVALID, (void*)OnUnmapped, &m, 1, 0);
    SetReg(m, UC_ARM_REG_SP, kStackTop);
    return true;
}

void MachineClose(Machine& m) {
    if (m.uc) uc_close(m.uc);
    m.uc = nullptr;
}

bool MachineLoad(Machine& m, const std::string& path, const std::vector<Stub>& stubs,
                 const LoadOptions& options) {
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return Fail(m, path + ": cannot read");
    uint32_t pe = Get32(file, 0x3C);
    if (file.compare(0, 2, "MZ") != 0 || file.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return Fail(m, path + ": no PE file");
    uint32_t fh = pe + 4, oh = fh + 20;
    if (Get16(file, fh) != kMachineArm)
        return Fail(m, path + ": machine " + Hex(Get16(file, fh)) + ", not ARM (0x01C0)");
    if (Get16(file, oh) != 0x10B) return Fail(m, path + ": not a PE32 image");
    if (Get16(file, oh + 68) != kSubsystemCeGui)
        return Fail(m, path + ": subsystem " + std::to_string(Get16(file, oh + 68)) +
                           ", not Windows CE GUI (9)");
    uint32_t linkedBase = Get32(file, oh + 28), alignment = Get32(file, oh + 32);
    uint32_t headerSize = Get32(file, oh + 60);
    m.imageSize = RoundUp(Get32(file, oh + 56), kPage);
    m.base = kImageBase;
    m.entry = m.base + Get32(file, oh + 16);
    uint32_t dirs = oh + 96, dirCount = Get32(file, oh + 92);
    auto dir = [&](uint32_t i, uint32_t* size) {
        *size = i < dirCount ? Get32(file, dirs + 8 * i + 4) : 0;
        return i < dirCount ? Get32(file, dirs + 8 * i) : 0;
    };

    if (!MachineOpen(m)) return false;
    uc_mem_map(m.uc, m.base, m.imageSize, UC_PROT_ALL);
    WriteBytes(m, m.base, file.data(), std::min<uint32_t>(headerSize, uint32_t(file.size())));
    struct Range {
        uint32_t start, size, protection;
    };
    std::vector<Range> ranges{{0, RoundUp(headerSize, kPage), UC_PROT_READ}};
    uint32_t sections = oh + Get16(file, fh + 16);
    for (uint32_t i = 0; i < Get16(file, fh + 2); ++i) {
        uint32_t s = sections + 40 * i;
        uint32_t vsize = Get32(file, s + 8), rva = Get32(file, s + 12);
        uint32_t rawSize = Get32(file, s + 16), raw = Get32(file, s + 20);
        if (rva + std::max(vsize, rawSize) > m.imageSize || raw + rawSize > file.size())
            return Fail(m, path + ": section " + std::to_string(i) + " lies outside the image");
        WriteBytes(m, m.base + rva, file.data() + raw, std::min(rawSize, vsize ? vsize : rawSize));
        ranges.push_back(
            {rva, RoundUp(std::max(vsize, rawSize), kPage), Protection(Get32(file, s + 36))});
    }

    uint32_t size = 0, rva = dir(5, &size);
    if (!rva) return Fail(m, path + ": no relocations: the image cannot move from its base");
    if (!options.skipRelocation && !Relocate(m, rva, size, m.base - linkedBase)) return false;
    rva = dir(1, &size);
    if (rva && !BindImports(m, rva, stubs, options)) return false;
    m.resourceRva = dir(2, &size);

    // Protections last: the loader itself writes into read-only sections.
    if (alignment % kPage == 0)
        for (const Range& r : ranges) {
            uc_mem_protect(m.uc, m.base + r.start, r.size, r.protection);
            if (!(r.protection & UC_PROT_WRITE)) m.readOnly[m.base + r.start] = r.size;
        }
    return true;
}

uint32_t Arg(Machine& m, int i) {
    if (i < 4) return Reg(m, UC_ARM_REG_R0 + i);
    return Read32(m, Reg(m, UC_ARM_REG_SP) + 4 * uint32_t(i - 4));
}

void SetResultHigh(Machine& m, uint32_t r1) { SetReg(m, UC_ARM_REG_R1, r1); }

uint64_t CallGuest(Machine& m, uint32_t address, const std::vector<uint32_t>& args) {
    if (!m.fault.empty()) return 0;
    uint32_t saved[16], cpsr = Reg(m, UC_ARM_REG_CPSR);
    for (int i = 0; i < 15; ++i) saved[i] = Reg(m, RegOf(i));
    saved[15] = Reg(m, UC_ARM_REG_PC);

    uint32_t sp = saved[13];
    if (args.size() > 4) {
        sp = (sp - 4 * uint32_t(args.size() - 4)) & ~7u;
        for (size_t i = 4; i < args.size(); ++i) Write32(m, sp + 4 * uint32_t(i - 4), args[i]);
    }
    for (size_t i = 0; i < args.size() && i < 4; ++i) SetReg(m, UC_ARM_REG_R0 + int(i), args[i]);
    SetReg(m, UC_ARM_REG_SP, sp);
    SetReg(m, UC_ARM_REG_LR, kReturnAddress);

    // Runs until the call returns to kReturnAddress. Calls nested inside
    // (a stub that calls guest code) return there first, in their own loop.
    uint32_t pc = address;
    uint64_t result = 0;
    for (;;) {
        uc_err err = uc_emu_start(m.uc, pc, 0, 0, 0);
        if (!m.fault.empty()) break;
        uint32_t at = Reg(m, UC_ARM_REG_PC);
        uint32_t import = (at - kImportAddresses) / 4;
        if (err != UC_ERR_FETCH_UNMAPPED || at < kStubBase) {
            m.fault = std::string("stopped at PC=") + Hex(at) + ": " + uc_strerror(err);
            break;
        }
        if (at == kReturnAddress) {
            result = Reg(m, UC_ARM_REG_R0) | uint64_t(Reg(m, UC_ARM_REG_R1)) << 32;
            break;
        }
        if (at < kImportAddresses || at % 4 || import >= m.imports.size()) {
            m.fault = "jump to " + Hex(at) + " from near PC=" + Hex(m.pc);
            break;
        }
        uint32_t r0 = m.imports[import].function(m);
        if (!m.fault.empty()) break;
        SetReg(m, UC_ARM_REG_R0, r0);
        pc = Reg(m, UC_ARM_REG_LR);
    }
    for (int i = 0; i < 15; ++i) SetReg(m, RegOf(i), saved[i]);
    SetReg(m, UC_ARM_REG_PC, saved[15]);
    SetReg(m, UC_ARM_REG_CPSR, cpsr);
    return m.fault.empty() ? result : 0;
}

uint32_t Read32(Machine& m, uint32_t address) {
    uint8_t b[4] = {0, 0, 0, 0};
    if (uc_mem_read(m.uc, address, b, 4) != UC_ERR_OK)
        Stop(m, "a stub read unmapped memory at " + Hex(address));
    return uint32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
}

void Write32(Machine& m, uint32_t address, uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    WriteBytes(m, address, b, 4);
}

bool Plausible(Machine& m, uint64_t bytes) {
    if (bytes <= kHeapSize) return true;
    Stop(m,
         "a stub was handed a count of " + std::to_string(bytes) + " bytes near PC=" + Hex(m.pc));
    return false;
}

std::vector<uint8_t> ReadBytes(Machine& m, uint32_t address, uint32_t count) {
    if (!Plausible(m, count)) count = 0;
    std::vector<uint8_t> out(count);
    if (count && uc_mem_read(m.uc, address, out.data(), count) != UC_ERR_OK)
        Stop(m, "a stub read unmapped memory at " + Hex(address));
    return out;
}

void WriteBytes(Machine& m, uint32_t address, const void* bytes, uint32_t count) {
    // uc_mem_write ignores protections; COREDLL writing for the program
    // faults on them as the program's own store would.
    for (const auto& r : m.readOnly)
        if (count && address < r.first + r.second && r.first < address + count) {
            Stop(m, "a stub wrote read-only memory at " + Hex(address) + " near PC=" + Hex(m.pc));
            return;
        }
    if (count && uc_mem_write(m.uc, address, bytes, count) != UC_ERR_OK)
        Stop(m, "a stub wrote unmapped memory at " + Hex(address));
}

// A text runs to its terminator, or to the end of the memory it lies in.
std::string ReadText(Machine& m, uint32_t address) {
    std::string out;
    for (uint8_t c; m.fault.empty() && (c = ReadBytes(m, address++, 1)[0]) != 0;)
        out.push_back(char(c));
    return out;
}

std::u16string ReadWide(Machine& m, uint32_t address) {
    std::u16string out;
    for (std::vector<uint8_t> c; m.fault.empty();) {
        c = ReadBytes(m, address, 2);
        address += 2;
        if (!(c[0] | c[1])) break;
        out.push_back(char16_t(c[0] | c[1] << 8));
    }
    return out;
}

std::u16string WideFromBytes(const std::vector<uint8_t>& bytes) {
    std::u16string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
    return out;
}

uint32_t HeapAlloc(Machine& m, uint32_t size) {
    if (size > kHeapSize) return 0;
    uint32_t rounded = RoundUp(size ? size : 1, 8);
    if (m.heapNext - kHeapBase + rounded > kHeapSize) return 0;
    uint32_t at = m.heapNext;
    m.heapNext += rounded;
    m.heapBlocks[at] = size;
    // Fresh blocks are not zero on the device either.
    std::vector<uint8_t> fill(rounded, 0xCD);
    WriteBytes(m, at, fill.data(), rounded);
    return at;
}

bool HeapFree(Machine& m, uint32_t address) {
    if (m.heapBlocks.erase(address)) return true;
    Stop(m,
         "free of " + Hex(address) + ", which is no block of the heap (near PC=" + Hex(m.pc) + ")");
    return false;
}

uint32_t HeapSize(Machine& m, uint32_t address) {
    auto it = m.heapBlocks.find(address);
    return it == m.heapBlocks.end() ? 0 : it->second;
}

uint32_t FindResourceEntry(Machine& m, uint32_t type, uint32_t id) {
    if (!m.resourceRva) return 0;
    uint32_t root = m.base + m.resourceRva;
    // Three levels: type, name, language. Only numbered entries are looked
    // up here (the program names its resources by number); at the language
    // level the first entry is taken.
    uint32_t directory = root;
    for (int level = 0; level < 3; ++level) {
        uint32_t counts = Read32(m, directory + 12);
        uint32_t total = (counts & 0xFFFF) + (counts >> 16), want = level == 0 ? type : id;
        uint32_t target = 0;
        bool found = false;
        for (uint32_t i = 0; i < total && !found; ++i) {
            uint32_t e = directory + 16 + 8 * i;
            found = level == 2 || Read32(m, e) == want;  // named entries have the top bit
            if (found) target = Read32(m, e + 4);
        }
        bool subdirectory = (target & 0x80000000u) != 0;
        if (!found || subdirectory != (level < 2)) return 0;
        if (level == 2) return root + target;
        directory = root + (target & 0x7FFFFFFFu);
    }
    return 0;
}

uint32_t ResourceData(Machine& m, uint32_t entry, uint32_t* size) {
    if (size) *size = Read32(m, entry + 4);
    return m.base + Read32(m, entry);
}
