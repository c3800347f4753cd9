// portmedic-scan's scan without repair, over two threads for a registry of
// many loaded drivers: each thread scans half of them.
#pragma once

#include <stddef.h>

#include "regfile/RegDocument.h"
#include "repair/SerialScan.h"

// ScanSerialDrivers(report, message, false) on the tree in use on this
// thread (PortableRegistryUse), with the same report, message and counts.
// With minDrivers loaded drivers or more and a second thread to be had
// from beside, the later half of them is scanned on that thread. The tree
// is only read, but for the order of the loaded drivers, made first.
SerialScanResult ScanDetectBeside(TextString& report, TextString& message,
                                  const RegReadBeside* beside, size_t minDrivers);
