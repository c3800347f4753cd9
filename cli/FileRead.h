// Reading whole files: mapped into memory where the system allows, read
// where not. With cli/FileReplace.h the one place where the tool touches
// the file system; the system calls are in cli/FileSystemPosix.cpp or
// cli/FileSystemWin32.cpp, whichever the build links.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

// Identifies a file whatever path names it.
struct FileId {
    bool known = false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

// Reads a whole file of at most maxBytes; false (with *error) when it
// cannot be opened or read or is larger (then it is not read). *id
// identifies what was read.
bool FileReadAll(const std::string& name, size_t maxBytes, std::string* content, FileId* id,
                 std::string* error);

// A file's bytes for reading: mapped into memory where the system can map
// it, else read into memory as FileReadAll reads (a device, a pipe, an
// empty file, a system without mappings).
struct FileContent {
    std::string_view bytes;
    std::string read;  // the bytes, when read
    const void* mapped = nullptr;
    int fd = -1;  // kept open while mapped, to tell a change afterwards
    unsigned long long size = 0;
    long long changed = 0;  // the file's time of last change, as the system tells it
};

// Maps (when allowed and possible) or reads a whole file of at most
// maxBytes, failing as FileReadAll fails. While it is mapped, a file cut
// shorter ends the process with a message and exit status 2: the bytes it
// lost cannot be read. *id identifies what was read.
bool FileMapOrRead(const std::string& name, size_t maxBytes, bool mapAllowed, FileContent* content,
                   FileId* id, std::string* error);

// False (with *error) when the mapped file has changed since it was mapped
// (its size or time of last change): what was read may mix old and new.
bool FileStillAsMapped(const std::string& name, const FileContent& content, std::string* error);

// Unmaps or frees the bytes.
void FileRelease(FileContent* content);
