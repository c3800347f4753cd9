// How the scan scales with the number of loaded drivers, and how much of its
// time is its own (conversions, strings) rather than the registry's.
#include <benchmark/benchmark.h>

#include <string>

#include "registry/PortableRegistry.h"
#include "repair/SerialScan.h"
#include "text/WideText.h"

namespace {

const std::u16string kHklm = u"HKEY_LOCAL_MACHINE\\";

RegTree g_device;  // the registry the scan reads through Registry.h

std::u16string Number(int64_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// n loaded serial drivers, each with its own driver key; every tenth one is
// damaged, so detect reports markers on a tenth of the lines.
void BuildDevice(int64_t n) {
    RegTreeClear(g_device);
    PortableRegistryUse(&g_device);
    for (int64_t i = 0; i < n; ++i) {
        std::u16string entry = kHklm + u"Drivers\\Active\\" + Number(i);
        std::u16string driver = u"Drivers\\Ports\\P" + Number(i);
        RegTreeSetString(g_device, entry, u"Name", u"COM" + Number(i % 10) + u":");
        RegTreeSetString(g_device, entry, u"Key", driver);
        RegTreeSetString(g_device, kHklm + driver, u"Dll",
                         i % 10 == 0 ? u"OBBTDEV.DLL" : u"serial.dll");
    }
}

void BM_ScanDetect(benchmark::State& state) {
    BuildDevice(state.range(0));
    for (auto _ : state) {
        TextString report, message;
        ScanSerialDrivers(report, message, false);
        benchmark::DoNotOptimize(report.CStr());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanDetect)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The registry calls the scan makes for the same device, without building
// any text: what is left of BM_ScanDetect is the scan's own share.
void BM_RegistryCallsOnly(benchmark::State& state) {
    BuildDevice(state.range(0));
    const WideChar* names[] = {WIDE("Name"), WIDE("PnpId"), WIDE("Key")};
    for (auto _ : state) {
        RegKey active;
        RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, WIDE("Drivers\\Active"), 0, 1, &active);
        WideChar sub[200];
        for (uint32_t i = 0;; ++i) {
            uint32_t length = 200;
            if (RegistryEnumKey(active, i, sub, &length) != 0) break;
            std::basic_string<WideChar> path = WIDE("Drivers\\Active\\");
            path += sub;
            RegKey entry, driver;
            RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, path.c_str(), 0, 1, &entry);
            WideChar value[151];
            for (const WideChar* name : names) {
                uint32_t bytes = 300;
                RegistryQueryValue(entry, name, nullptr, reinterpret_cast<uint8_t*>(value), &bytes);
                value[bytes / 2] = 0;
            }
            RegistryOpenKey(REG_ROOT_LOCAL_MACHINE, value, 0, 1, &driver);
            uint32_t bytes = 300;
            RegistryQueryValue(driver, WIDE("Dll"), nullptr, reinterpret_cast<uint8_t*>(value),
                               &bytes);
            RegistryCloseKey(driver);
            RegistryCloseKey(entry);
        }
        RegistryCloseKey(active);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RegistryCallsOnly)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
