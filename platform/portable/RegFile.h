// Registry export files (.reg), read into and written out of the in-memory
// registry (MemoryRegistry.h).
//
// Two dialects, as regedit writes them:
//   REGEDIT4                              8-bit text in Windows-1252
//   Windows Registry Editor Version 5.00  UTF-16LE with a byte-order mark
//                                         (also accepted as UTF-8)
// Both use CRLF line ends; LF alone is accepted when reading.
//
// Lines understood: [KEY] and [-KEY] sections (any of the standard roots,
// long or short name), values "name"=... and @=... as "text" (with the
// escapes \\ and \" inside), dword:XXXXXXXX, hex:.. (binary), hex(N):..
// (any type N), value deletions "name"=-, hex data continued with a trailing
// backslash, ; comments and blank lines.
//
// In REGEDIT4 files, hex(2) and hex(7) data is 8-bit text; the registry
// keeps it as 16-bit text, as regedit does, and writing converts it back.
#pragma once

#include <stdint.h>

#include <string>

enum RegFileVersion { kRegFileVersion4, kRegFileVersion5 };

enum RegFileEncoding {
    kRegFileAnsi,     // Windows-1252, the REGEDIT4 way
    kRegFileUtf16,    // UTF-16LE with byte-order mark, the version 5 way
    kRegFileUtf8,     // UTF-8 without byte-order mark
    kRegFileUtf8Bom,  // UTF-8 with byte-order mark
};

// How a file was written; writing back uses the same.
struct RegFileFormat {
    RegFileVersion version = kRegFileVersion5;
    RegFileEncoding encoding = kRegFileUtf16;
};

// Reads the content of a registry file into the in-memory registry: sections
// create keys (remembered in file order, MemRegSections), deletions remove
// keys and values, values are set with their type and bytes.
// On bad input nothing is changed and *error holds "FILE:LINE: what was
// wrong", fileName being the name given here. format may be null.
bool RegFileRead(const std::string& content, const std::string& fileName, RegFileFormat* format,
                 std::string* error);

// RegFileRead on the content of a file on disk ("FILE: cannot read ..." when
// it cannot be opened or read).
bool RegFileLoad(const std::string& fileName, RegFileFormat* format, std::string* error);

// The in-memory registry as file content in the given format: first every
// section in the order it was read (deletions included), then the keys that
// no file section named (new ones, and those with values but no section),
// each with its values in the order they were set and its value deletions.
// Fails, writing nothing to *content, when something has no spelling in the
// format (a name outside Windows-1252 in REGEDIT4, a line break in a name).
bool RegFileWrite(const RegFileFormat& format, std::string* content, std::string* error);
