// One system's file calls as cli/FileRead.cpp and cli/FileReplace.cpp use
// them, each system in its own file (cli/FileSystemPosix.cpp,
// cli/FileSystemWin32.cpp): only the build chooses between them. Failures leave errno set (or
// *reason).
#pragma once

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "cli/FileReplace.h"

// The temporary files that exist right now, for the POSIX signal handler.
// Fixed buffers: the handler may neither allocate nor wait.
const int kTemporarySlots = 4;
extern char g_temporary[kTemporarySlots][4096];
extern volatile sig_atomic_t g_temporaryUsed[kTemporarySlots];

// Creates a file that must not exist yet, for writing bytes as they are.
int SystemCreateNew(const std::string& name);
// Writes up to size bytes: the count written, 0 or -1 on failure.
long SystemWrite(int fd, const char* data, size_t size);
// Flushes the file's bytes to disk.
bool SystemFlush(int fd);
bool SystemClose(int fd);
// The new file takes the owner, group and permissions of like, as far as
// the process may set them: on an open file where the system can, on the
// closed file where it cannot.
void SystemTakeAttributesOpen(int fd, const FileAttributes& like);
void SystemTakeAttributesClosed(const std::string& name, const FileAttributes& like);
void SystemRemove(const std::string& name);
// Renames from over to, replacing it; the rename itself made durable.
bool SystemRenameOver(const std::string& from, const std::string& to, std::string* reason);
// While the signal guard is on, holds the guarded signals back or lets them through.
void SystemHoldSignals(bool hold);

// Opens a file for reading: *id and *size (SIZE_MAX when it tells none: a
// device, a pipe) of what was opened. -1 (with *error) when it cannot.
int SystemOpenForReading(const std::string& name, FileId* id, size_t* size, std::string* error);
// Room for a file of size bytes, taken in one allocation.
void SystemReserveForReading(std::string* content, size_t size);
// Reads up to size bytes: the count, 0 at the end, -1 on failure.
long SystemRead(int fd, char* buffer, size_t size);
// Maps size bytes of an open regular file for reading; null where it
// cannot (or the system maps no files). While mapped, a fault on a page the
// file no longer has ends the process, naming the file.
const void* SystemMap(int fd, size_t size, const std::string& name);
void SystemUnmap(const void* at, size_t size);
// The size and time of last change of an open file; false when unknown.
bool SystemStamp(int fd, unsigned long long* size, long long* changed);
