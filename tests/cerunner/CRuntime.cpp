// The C library functions COREDLL exports and the program imports, working
// on the guest's memory: the heap, strings and memory, and the code page
// (Windows-1252, through the project's own converter).
#include <string.h>

#include <string>

#include "platform/CodePage.h"
#include "tests/cerunner/Device.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

uint32_t Malloc(Machine& m) { return HeapAlloc(m, Arg(m, 0)); }

uint32_t Free(Machine& m) {
    if (Arg(m, 0)) HeapFree(m, Arg(m, 0));
    return 0;
}

// memcpy and memmove: the bytes are read whole before any is written, so
// blocks that overlap are copied right.
uint32_t Memmove(Machine& m) {
    std::vector<uint8_t> bytes = ReadBytes(m, Arg(m, 1), Arg(m, 2));
    WriteBytes(m, Arg(m, 0), bytes.data(), Arg(m, 2));
    return Arg(m, 0);
}

uint32_t Memset(Machine& m) {
    if (!Plausible(m, Arg(m, 2))) return 0;
    std::vector<uint8_t> bytes(Arg(m, 2), uint8_t(Arg(m, 1)));
    WriteBytes(m, Arg(m, 0), bytes.data(), Arg(m, 2));
    return Arg(m, 0);
}

uint32_t Strlen(Machine& m) { return uint32_t(ReadText(m, Arg(m, 0)).size()); }

uint32_t Strcmp(Machine& m) {
    return uint32_t(Sign(strcmp(ReadText(m, Arg(m, 0)).c_str(), ReadText(m, Arg(m, 1)).c_str())));
}

uint32_t Strncmp(Machine& m) {
    std::string a = ReadText(m, Arg(m, 0)), b = ReadText(m, Arg(m, 1));
    return uint32_t(Sign(strncmp(a.c_str(), b.c_str(), Arg(m, 2))));
}

// The converters work on a copy of the guest's output buffer, so bytes they
// leave alone stay as they were.
uint32_t WideCharToMultiByte(Machine& m) {
    int32_t length = int32_t(Arg(m, 3)), room = int32_t(Arg(m, 5));
    if (Arg(m, 0) != 0 || !Plausible(m, 2 * uint64_t(uint32_t(room)))) return 0;
    std::u16string src = length < 0 ? ReadWide(m, Arg(m, 2))
                                    : WideFromBytes(ReadBytes(m, Arg(m, 2), 2 * uint32_t(length)));
    std::vector<uint8_t> dst = ReadBytes(m, Arg(m, 4), Arg(m, 4) ? uint32_t(room) : 0);
    int r = CodePageWideToAnsi(Arg(m, 2) ? src.c_str() : nullptr, length,
                               Arg(m, 4) ? reinterpret_cast<char*>(dst.data()) : nullptr, room);
    WriteBytes(m, Arg(m, 4), dst.data(), uint32_t(dst.size()));
    return uint32_t(r);
}

uint32_t MultiByteToWideChar(Machine& m) {
    int32_t length = int32_t(Arg(m, 3)), room = int32_t(Arg(m, 5));
    if (Arg(m, 0) != 0 || !Plausible(m, 2 * uint64_t(uint32_t(room)))) return 0;
    std::string src = length < 0 ? ReadText(m, Arg(m, 2)) : "";
    if (length >= 0) {
        std::vector<uint8_t> b = ReadBytes(m, Arg(m, 2), uint32_t(length));
        src.assign(b.begin(), b.end());
    }
    std::vector<uint8_t> dst = ReadBytes(m, Arg(m, 4), Arg(m, 4) ? 2 * uint32_t(room) : 0);
    std::u16string wide(dst.size() / 2, u'\0');
    memcpy(&wide[0], dst.data(), dst.size());
    int r = CodePageAnsiToWide(Arg(m, 2) ? src.c_str() : nullptr, length,
                               Arg(m, 4) ? &wide[0] : nullptr, room);
    WriteBytes(m, Arg(m, 4), wide.data(), uint32_t(dst.size()));
    return uint32_t(r);
}

}  // namespace

std::vector<Stub> RuntimeStubs() {
    return {
        {"COREDLL", "malloc", 0, Malloc},
        {"COREDLL", "free", 0, Free},
        {"COREDLL", "memcpy", 0, Memmove},
        {"COREDLL", "memmove", 0, Memmove},
        {"COREDLL", "memset", 0, Memset},
        {"COREDLL", "strlen", 0, Strlen},
        {"COREDLL", "strcmp", 0, Strcmp},
        {"COREDLL", "strncmp", 0, Strncmp},
        {"COREDLL", "WideCharToMultiByte", 0, WideCharToMultiByte},
        {"COREDLL", "MultiByteToWideChar", 0, MultiByteToWideChar},
    };
}
