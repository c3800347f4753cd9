#include "platform/portable/InjectedFaults.h"

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

Faults& F() {
    static Faults faults;
    return faults;
}

const KeyFaults* Find(const MemKey& key) {
    auto it = F().byPath.find(MemFoldName(MemKeyPath(key)));
    return it == F().byPath.end() ? nullptr : &it->second;
}

long Hook(MemRegCall call, const MemKey& key, const std::u16string& name, uint32_t index) {
    Faults& f = F();
    if (call == kMemRegOpen) {
        std::u16string full = MemKeyPath(key);
        if (!name.empty()) full += (full.empty() ? u"" : u"\\") + name;
        if (f.logOpens) f.openLog.push_back(full);
        auto it = f.byPath.find(MemFoldName(full));
        return it != f.byPath.end() && it->second.failOpen ? kRegNotFound : kRegOk;
    }
    const KeyFaults* k = Find(key);
    if (!k) return kRegOk;
    switch (call) {
    case kMemRegEnum:
        return k->failEnumAt >= 0 && int64_t(index) >= k->failEnumAt ? kRegAccessDenied : kRegOk;
    case kMemRegQuery: return k->failRead.count(MemFoldName(name)) ? kRegAccessDenied : kRegOk;
    case kMemRegSet: return k->denyWrite ? kRegAccessDenied : kRegOk;
    default: return kRegOk;
    }
}

// The hook is installed on first use after a MemRegClear.
Faults& Installed() {
    if (MemRegGetHook() != Hook) {
        F() = Faults();
        MemRegSetHook(Hook);
    }
    return F();
}

KeyFaults& On(const std::u16string& path) {
    Faults& f = Installed();
    return f.byPath[MemFoldName(MemKeyPath(MemRegCreate(path)))];
}

}  // namespace

void MemRegFailOpen(const std::u16string& path) { On(path).failOpen = true; }

void MemRegFailEnumAt(const std::u16string& path, int64_t index) { On(path).failEnumAt = index; }

void MemRegDenyWrite(const std::u16string& path) { On(path).denyWrite = true; }

void MemRegFailRead(const std::u16string& path, const std::u16string& valueName) {
    On(path).failRead.insert(MemFoldName(valueName));
}

void MemRegLogOpens() { Installed().logOpens = true; }

const std::vector<std::u16string>& MemRegOpenLog() { return F().openLog; }
