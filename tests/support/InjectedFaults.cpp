#include "tests/support/InjectedFaults.h"

#include <unordered_map>
#include <unordered_set>

namespace {

struct KeyFaults {
    bool failOpen = false;
    int64_t failEnumAt = -1;
    bool denyWrite = false;
    std::unordered_set<std::u16string> failRead;  // folded value names
};

struct Faults {
    std::unordered_map<std::u16string, KeyFaults> byPath;  // folded full paths
    bool logOpens = false;
    std::vector<std::u16string> openLog;
};

Faults g_faults;

const KeyFaults* FaultsOf(const TreeKey& key) {
    auto it = g_faults.byPath.find(RegFoldName(TreeKeyPath(key)));
    return it == g_faults.byPath.end() ? nullptr : &it->second;
}

long Hook(PortableRegistryCall call, const TreeKey& key, const std::u16string& name,
          uint32_t index) {
    if (call == kCallOpen) {
        std::u16string full = TreeKeyPath(key);
        if (!name.empty()) full += (full.empty() ? u"" : u"\\") + name;
        if (g_faults.logOpens) g_faults.openLog.push_back(full);
        auto it = g_faults.byPath.find(RegFoldName(full));
        return it != g_faults.byPath.end() && it->second.failOpen ? kRegNotFound : kRegOk;
    }
    const KeyFaults* k = FaultsOf(key);
    if (!k) return kRegOk;
    switch (call) {
    case kCallEnum:
        return k->failEnumAt >= 0 && int64_t(index) >= k->failEnumAt ? kRegAccessDenied : kRegOk;
    case kCallQuery: return k->failRead.count(RegFoldName(name)) ? kRegAccessDenied : kRegOk;
    case kCallSet: return k->denyWrite ? kRegAccessDenied : kRegOk;
    default: return kRegOk;
    }
}

// The hook is installed on first use after the tree was set.
Faults& Installed() {
    if (PortableRegistryGetHook() != Hook) {
        g_faults = Faults();
        PortableRegistrySetHook(Hook);
    }
    return g_faults;
}

KeyFaults& On(const std::u16string& path) {
    Faults& f = Installed();
    return f.byPath[RegFoldName(TreeKeyPath(RegTreeCreateKey(*PortableRegistryTree(), path)))];
}

}  // namespace

void FaultOpenKey(const std::u16string& path) { On(path).failOpen = true; }

void FaultEnumKeyFrom(const std::u16string& path, int64_t index) { On(path).failEnumAt = index; }

void FaultWriteKey(const std::u16string& path) { On(path).denyWrite = true; }

void FaultReadValue(const std::u16string& path, const std::u16string& valueName) {
    On(path).failRead.insert(RegFoldName(valueName));
}

void LogKeyOpens() { Installed().logOpens = true; }

const std::vector<std::u16string>& KeyOpenLog() { return g_faults.openLog; }
