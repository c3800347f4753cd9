// Loading a registry export for the serial driver scan: every line is read
// as regedit reads it (the same lines skipped, the same refusals), but only
// the keys the scan can read are put in the tree.
#pragma once

#include <string>
#include <string_view>

#include "regfile/RegDocument.h"

// The keys ScanSerialDrivers reads: the sub-keys of
// HKEY_LOCAL_MACHINE\Drivers\Active and of Drivers\BuiltIn, and the driver
// keys the "Key" values of the former name (wherever, and in whatever
// order, the file has them). Each that has a section of its own is left
// in the tree as the whole file's load leaves it, with the values the scan
// reads (ScanLoadsValue); one that is only the parent of other keys holds
// no value the scan could read and is left out. So the scan, and a repair
// saved from the document, answer as they would over the whole file.
// content must stay alive and unchanged while the document lives; with
// keepEntries the document can make the repaired file (RegDocumentEdits).
// With `beside` a large file is read on a second thread (RegReadBeside).
bool ScanLoadRegistry(std::string_view content, const std::string& fileName, bool strict,
                      bool keepEntries, RegTree& tree, RegDocument* doc, std::string* error,
                      const RegReadBeside* beside = nullptr);

// Whether the load keeps values of this name (they are the ones the scan
// reads; names compare as the registry compares them).
bool ScanLoadsValue(const std::u16string& name);

// Where the loaded drivers are, one sub-key each: HKEY_LOCAL_MACHINE\Drivers\Active.
std::u16string ScanActivePath();
