// The serial-port driver scan: the reason PORTMEDIC exists.
//
// A navigation program's installer breaks the "Dll" value of the Bluetooth
// serial-port drivers ("---BTCEIF.DLL" disables the driver, "OBBTDEV.DLL"
// replaces it), after which no other program reaches a Bluetooth GPS.
// ScanSerialDrivers lists every serial-port driver entry with its library,
// marks the damaged ones and, with repair on, writes "BTCEIF.DLL" back.
#pragma once

#include "repair/GlobalTexts.h"  // the scan's texts: markers, messages
#include "text/TextString.h"

// What one scan found, counted by report line as each line shows its port
// (a driver key that two ports share, repaired at the first line, is healthy
// at the second).
struct SerialScanResult {
    int examined;      // ports listed in the report
    int damaged;       // of those, found damaged
    int repaired;      // of those, written back as "BTCEIF.DLL"
    int failedWrites;  // of those, the registry refused the repair write
};

// Fills `report` (cleared first) with one line per examined port:
//   label "  => Dll: " LIBRARY [marker] "\r\n"
// Loaded drivers come first (sub-keys of HKLM\Drivers\Active whose "Name"
// starts with "COM", have no "PnpId" and name their driver key in "Key"),
// then the built-in keys Drivers\BuiltIn\Serial0, Serial, Serial2..Serial9
// labelled "COMn - 'BuiltIn'".
// `message` is never cleared: it becomes kFixedMessage when a repair write
// succeeds, kNotFoundMessage when nothing was damaged, else stays as it was.
// Every key opened is closed again; registry failures only drop entries.
// Returns the counts behind the report: damaged - repaired entries remain
// damaged (all of them without repair, those whose write failed with it).
//
// When `written` is given, a repair run calls it right after each write
// that succeeded, with the port's label as its report line shows it and the
// path of the driver key written, below HKEY_LOCAL_MACHINE as the registry
// was asked for it (portmedic-scan names the ports of its fix file so).
typedef void (*SerialRepairWritten)(void* context, const TextString& label,
                                    const TextString& keyPath);
//
// A scan without repair may leave the loaded drivers from number `first` on
// (in the registry's order) to ScanSerialDriversRest, run on another thread
// meanwhile (each thread with its own handles): given that `rest`, it scans
// the drivers before them, calls rest->wait, and takes rest->report and
// rest->found as the others' lines and counts. The report, message and
// counts are those of one scan. A repair calls rest->wait first and scans
// every driver itself.
struct SerialScanRest {
    uint32_t first;
    TextString report;
    SerialScanResult found;
    void (*wait)(void* context);  // returns once ScanSerialDriversRest is done
    void* context;
};
SerialScanResult ScanSerialDrivers(TextString& report, TextString& message, bool repair,
                                   SerialRepairWritten written = nullptr, void* context = nullptr,
                                   SerialScanRest* rest = nullptr);

// The loaded drivers from rest.first on, without repair: fills rest.report
// (cleared first) and rest.found. Reads the registry only.
void ScanSerialDriversRest(SerialScanRest& rest);
