#include "cli/ScanBeside.h"

#include "cli/ScanLoad.h"
#include "registry/PortableRegistry.h"

namespace {

struct Rest {
    SerialScanRest scan;
    const RegReadBeside* beside;
    void* thread;
};

void ScanRest(void* rest) {
    PortableRegistryReadBeside();
    ScanSerialDriversRest(static_cast<Rest*>(rest)->scan);
    PortableRegistryReadBesideEnd();
}

void WaitRest(void* rest) {
    Rest& r = *static_cast<Rest*>(rest);
    r.beside->wait(r.thread);
}

}  // namespace

SerialScanResult ScanDetectBeside(TextString& report, TextString& message,
                                  const RegReadBeside* beside, size_t minDrivers) {
    RegTree* tree = PortableRegistryTree();
    TreeKey* active = tree ? RegTreeFindKey(*tree, ScanActivePath()) : nullptr;
    size_t count = active ? TreeKeyChildCount(*active) : 0;
    if (!beside || !beside->start || count == 0 || count < minDrivers)
        return ScanSerialDrivers(report, message, false);
    // Both threads enumerate the drivers: their order is made before.
    TreeKeySortedChildren(*active);
    Rest rest{SerialScanRest{uint32_t(count / 2), TextString(), {}, WaitRest, nullptr}, beside,
              nullptr};
    rest.scan.context = &rest;
    rest.thread = beside->start(ScanRest, &rest);
    if (!rest.thread) return ScanSerialDrivers(report, message, false);
    return ScanSerialDrivers(report, message, false, nullptr, nullptr, &rest.scan);
}
