// The registry tree and registry files at scale, each beside a
// baseline run in the same process: values and keys by the tens of
// thousands against a std::unordered_map of the same names, and reading,
// loading and scanning an export against splitting it into lines.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "regfile/RegDocument.h"
#include "registry/PortableRegistry.h"
#include "repair/SerialScan.h"

namespace {

const std::u16string kKey = u"HKEY_LOCAL_MACHINE\\Big";

std::u16string Name(int64_t i) {
    std::string s = "Value" + std::to_string(i);
    return std::u16string(s.begin(), s.end());
}

// n values set in one key, each looked up, then each deleted: linear when
// the time per value stays flat as n grows.
void BM_ValuesInOneKey(benchmark::State& state) {
    for (auto _ : state) {
        RegTree tree;
        TreeKey& key = RegTreeCreateKey(tree, kKey);
        const uint8_t data[4] = {1, 2, 3, 4};
        for (int64_t i = 0; i < state.range(0); ++i) {
            std::u16string n = Name(i);
            TreeKeySetValue(key, n.data(), n.size(), kTreeTypeDword, data, 4);
        }
        for (int64_t i = 0; i < state.range(0); ++i) {
            std::u16string n = Name(i);
            benchmark::DoNotOptimize(TreeKeyFindValue(key, n.data(), n.size()));
        }
        for (int64_t i = 0; i < state.range(0); ++i) {
            std::u16string n = Name(i);
            TreeKeyDeleteValue(key, n.data(), n.size());
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ValuesInOneKey)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

// The same names set, found and erased in a std::unordered_map: the baseline.
void BM_ValuesBaseline(benchmark::State& state) {
    for (auto _ : state) {
        std::unordered_map<std::u16string, std::vector<uint8_t>> map;
        for (int64_t i = 0; i < state.range(0); ++i) map[Name(i)] = {1, 2, 3, 4};
        for (int64_t i = 0; i < state.range(0); ++i) benchmark::DoNotOptimize(map.find(Name(i)));
        for (int64_t i = 0; i < state.range(0); ++i) map.erase(Name(i));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ValuesBaseline)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

// n sub-keys created in one key, then each deleted by path.
void BM_KeysCreatedAndDeleted(benchmark::State& state) {
    for (auto _ : state) {
        RegTree tree;
        for (int64_t i = 0; i < state.range(0); ++i) RegTreeCreateKey(tree, kKey + u"\\" + Name(i));
        for (int64_t i = 0; i < state.range(0); ++i) RegTreeDeleteKey(tree, kKey + u"\\" + Name(i));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_KeysCreatedAndDeleted)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

// A REGEDIT4 device export of about `bytes`: loaded drivers and their driver
// keys with strings, dwords and wrapped binary data.
std::string Export(int64_t bytes) {
    std::string out = "REGEDIT4\r\n\r\n";
    for (int64_t i = 0; int64_t(out.size()) < bytes; ++i) {
        std::string n = std::to_string(i);
        out += "; driver " + n + "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Active\\" + n +
               "]\r\n\"Name\"=\"COM" + std::to_string(i % 10) +
               ":\"\r\n\"Key\"=\"Drivers\\\\Ports\\\\P" + n +
               "\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Ports\\P" + n + "]\r\n\"Dll\"=\"" +
               (i == 7 ? "OBBTDEV.DLL" : "serial.dll") +
               "\"\r\n\"Index\"=dword:00000001\r\n\"FriendlyName\"=\"Serial port " + n +
               "\"\r\n\"Config\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,"
               "14,15,16,17,\\\r\n  18,19,1a,1b,1c,1d,1e,1f\r\n\r\n";
    }
    return out;
}

// What portmedic-scan does with a file, detect only: read and load in one
// pass, then scan.
void BM_ReadLoadScan(benchmark::State& state) {
    std::string file = Export(state.range(0));
    for (auto _ : state) {
        RegDocument doc;
        std::string error;
        RegTree tree;
        PortableRegistryUse(&tree);
        RegDocumentReadAndLoad(file, "bench.reg", false, tree, &doc, &error);
        TextString report, message;
        ScanSerialDrivers(report, message, false);
        benchmark::DoNotOptimize(report.CStr());
        PortableRegistryUse(nullptr);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(file.size()));
}
BENCHMARK(BM_ReadLoadScan)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

// The baseline: the same file split into a vector of lines.
void BM_SplitLinesBaseline(benchmark::State& state) {
    std::string file = Export(state.range(0));
    for (auto _ : state) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t i = 0; i < file.size(); ++i) {
            if (file[i] != '\n') continue;
            lines.emplace_back(file, start, i - start);
            start = i + 1;
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(file.size()));
}
BENCHMARK(BM_SplitLinesBaseline)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
