// The scan's load of a registry file (cli/ScanLoad.h) against the full
// reader, which reads every line in full and loads every key: what a user
// sees must be the same either way. Header only: the differential test and
// its fuzz target both use it.
#pragma once

#include <stddef.h>

#include <set>
#include <string>
#include <string_view>

#include "cli/ScanBeside.h"
#include "cli/ScanLoad.h"
#include "cli/Threads.h"
#include "registry/PortableRegistry.h"
#include "repair/SerialScan.h"
#include "unicode/TextCoding.h"

// Everything the tool shows or writes for one file.
struct ScanOutcome {
    std::string read;   // "ok" with the lines skipped, or the reading's error
    std::string scan;   // report, message and counts
    std::string saved;  // the repaired file, or why it could not be made
};

inline std::string ScanOutcomeText(const ScanOutcome& o) {
    return o.read + "\n--\n" + o.scan + "\n--\n" + o.saved;
}

// The scan's load of any file on two threads, a few statements handed over
// at a time (so the reading often waits for the tree to catch up); with
// failing, a second thread that cannot be started.
inline RegReadBeside ScanLoadBeside(bool failing = false) {
    RegReadBeside beside = ThreadsBeside(true);
    if (failing) beside.start = [](void (*)(void*), void*) -> void* { return nullptr; };
    beside.minBytes = 0;
    beside.batchBytes = 64;
    return beside;
}

// Reads content one way (the full reader, or the scan's load, alone or
// beside), scans (beside, on two threads), and with repair makes the
// repaired file.
inline ScanOutcome ScanOutcomeOf(const std::string& content, bool fullReader, bool strict,
                                 bool repair, const RegReadBeside* beside = nullptr) {
    ScanOutcome o;
    RegTree tree;
    RegDocument doc;
    std::string error;
    bool ok = fullReader ? RegDocumentReadAndLoad(content, "f.reg", strict, tree, &doc, &error)
                         : ScanLoadRegistry(std::string_view(content), "f.reg", strict, repair,
                                            tree, &doc, &error, beside);
    if (!ok) {
        o.read = error;
        return o;
    }
    o.read = "ok";
    for (const RegSkippedLine& s : doc.skipped)
        o.read += "\n" + std::to_string(s.line) + ": " + s.why;
    PortableRegistryUse(&tree);
    TextString report, message;
    // Beside, a scan that only reads takes a second thread for any driver.
    SerialScanResult r = beside && !repair ? ScanDetectBeside(report, message, beside, 0)
                                           : ScanSerialDrivers(report, message, repair);
    PortableRegistryUse(nullptr);
    o.scan = std::string(report.CStr()) + "|" + message.CStr() + "|" + std::to_string(r.examined) +
             " " + std::to_string(r.damaged) + " " + std::to_string(r.repaired) + " " +
             std::to_string(r.failedWrites);
    if (repair && !RegDocumentRepaired(doc, tree, &o.saved, &error)) o.saved = "failed: " + error;
    return o;
}

// The keys the scan reads in the full load, folded: the driver keys the
// loaded drivers name (the sub-keys of Drivers\Active and BuiltIn are read
// too). *all when one is named outside ASCII, where the load keeps every key.
inline std::set<std::u16string> DriverKeysOf(const RegTree& full, bool* all) {
    std::set<std::u16string> keys;
    *all = false;
    const TreeKey* active = RegTreeFindKey(full, u"HKEY_LOCAL_MACHINE\\Drivers\\Active");
    for (size_t i = 0; active && i < TreeKeyChildCount(*active); ++i) {
        const TreeValue* key = TreeKeyFindValue(*TreeKeyChildAt(*active, i), u"Key", 3);
        std::vector<uint8_t> b = key ? TreeValueBytes(*key) : std::vector<uint8_t>();
        std::u16string path = u"HKEY_LOCAL_MACHINE\\";
        for (size_t k = 0; k + 1 < b.size() && (b[k] || b[k + 1]); k += 2) {
            path.push_back(char16_t(b[k] | b[k + 1] << 8));
            *all = *all || path.back() >= 0x80;
        }
        while (path.back() == u'\\') path.pop_back();
        keys.insert(RegFoldName(path));
    }
    return keys;
}

// A key of the scan's load that holds values must be one the scan reads,
// and hold what the full load holds there of the values the scan reads,
// value for value: names, types and bytes; and no other.
inline std::string ValuesDifference(const TreeKey& some, const RegTree& full,
                                    const std::set<std::u16string>& driverKeys, bool all) {
    std::u16string path = TreeKeyPath(some);
    if (TreeKeyValueCount(some) > 0) {
        std::u16string folded = RegFoldName(path), parent = folded.substr(0, folded.rfind(u'\\'));
        if (!all && !driverKeys.count(folded) && parent != u"HKEY_LOCAL_MACHINE\\DRIVERS\\ACTIVE" &&
            parent != u"HKEY_LOCAL_MACHINE\\DRIVERS\\BUILTIN")
            return VisibleText(path) + ", a key the scan does not read";
        const TreeKey* key = RegTreeFindKey(full, path);
        size_t read = 0;
        for (const TreeValue* w : key ? TreeKeyValues(*key) : std::vector<const TreeValue*>()) {
            std::u16string name = TreeValueName(*w);
            if (!ScanLoadsValue(name)) continue;
            ++read;
            const TreeValue* v = TreeKeyFindValue(some, name.data(), name.size());
            if (!v || TreeValueType(*w) != TreeValueType(*v) ||
                TreeValueBytes(*w) != TreeValueBytes(*v))
                return "value '" + VisibleText(name) + "' of " + VisibleText(path);
        }
        if (!key || read != TreeKeyValueCount(some)) return "the values of " + VisibleText(path);
    }
    for (size_t i = 0; i < TreeKeyChildCount(some); ++i)
        if (std::string d = ValuesDifference(*TreeKeyChildAt(some, i), full, driverKeys, all);
            !d.empty())
            return d;
    return "";
}

// The ways differ (the full reader, the scan's load alone and beside): the
// first difference met, or "" when they agree.
inline std::string ScanLoadDifference(const std::string& content) {
    const RegReadBeside beside = ScanLoadBeside();
    for (const RegReadBeside* way : {(const RegReadBeside*)nullptr, &beside}) {
        RegTree full, some;
        RegDocument a, b;
        std::string error;
        if (RegDocumentReadAndLoad(content, "f.reg", false, full, &a, &error) &&
            ScanLoadRegistry(std::string_view(content), "f.reg", false, false, some, &b, &error,
                             way)) {
            bool all;
            std::set<std::u16string> driverKeys = DriverKeysOf(full, &all);
            if (std::string d = ValuesDifference(*some.top, full, driverKeys, all); !d.empty())
                return "the scan's load" + std::string(way ? " beside" : "") +
                       " differs from the full load in " + d;
        }
    }
    for (int strict = 0; strict < 2; ++strict)
        for (int repair = 0; repair < 2; ++repair) {
            std::string full = ScanOutcomeText(ScanOutcomeOf(content, true, strict, repair));
            std::string some = ScanOutcomeText(ScanOutcomeOf(content, false, strict, repair));
            // Beside: a lenient scan (the values built on the tree's side)
            // and a strict repair (every entry kept, a refusal on the
            // reading thread).
            std::string two =
                strict == repair
                    ? ScanOutcomeText(ScanOutcomeOf(content, false, strict, repair, &beside))
                    : full;
            if (full != some || full != two)
                return std::string(strict ? "strict" : "lenient") + (repair ? " repair" : "") +
                       ":\nfull reader:\n" + full + "\nscan's load" +
                       (full != some ? ":\n" + some : " beside:\n" + two);
        }
    return "";
}
