// Loading a registry export for the serial driver scan: every line is read
// as regedit reads it (the same lines skipped, the same refusals), but only
// the keys the scan can read are put in the tree.
#pragma once

#include <string>
#include <string_view>

#include "regfile/RegDocument.h"

// The keys ScanSerialDrivers reads: the sub-keys of
// HKEY_LOCAL_MACHINE\Drivers\Active, the keys below Drivers\BuiltIn, and
// the driver keys the "Key" values of those sub-keys name (wherever, and
// in whatever order, the file has them). Each is left in the tree exactly
// as the whole file's load leaves it, so the scan, and a repair saved from
// the document, answer as they would over the whole file. content must stay
// alive and unchanged while the document lives; with keepEntries the
// document can make the repaired file (RegDocumentEdits).
bool ScanLoadRegistry(std::string_view content, const std::string& fileName, bool strict,
                      bool keepEntries, RegTree& tree, RegDocument* doc, std::string* error);
