// Replacing files safely: with cli/FileRead.h the one place where the tool
// touches the file system. What differs between POSIX and Windows is in
// cli/FileSystemPosix.cpp and cli/FileSystemWin32.cpp, one of which the
// build links.
//
// Only regular files are ever replaced. A symbolic link is followed: the
// file it names is replaced and the link stays as it is. A file is never
// written in place. Its new content goes to a temporary file in the same
// folder, which is flushed to disk and closed, and only then renamed over
// the target. A failure at any step, or SIGINT, SIGTERM or SIGHUP while the
// temporary files exist, removes them and leaves the target (and every
// other file) as it was.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/FileRead.h"

// What a new file takes over from an existing one.
struct FileAttributes {
    bool known = false;
    unsigned mode = 0;  // POSIX permission bits; on Windows 0444 means read-only
    long long owner = -1;
    long long group = -1;
};

// A file about to be replaced or created.
struct FileTarget {
    std::string path;  // symbolic links followed
    bool exists = false;
    FileAttributes attributes;  // of the existing file
    FileId id;
};

// Resolves name to the regular file a write would replace. Refuses (false,
// with *error) a name that is, or whose links lead to, anything but a
// regular file or a missing file in an existing folder.
bool FileResolveTarget(const std::string& name, FileTarget* target, std::string* error);

// A temporary file written and flushed, waiting to be renamed over target.
struct PendingFile {
    std::string target;
    std::string temporary;  // empty once committed or discarded
};

// Writes content to a new temporary file next to target, with the mode,
// owner and group of like (as far as the process may set them). On failure
// nothing is left behind and *error names the file and the reason.
bool FileWriteTemporary(const std::string& target, const std::string& content,
                        const FileAttributes& like, PendingFile* pending, std::string* error);

// The same for content given as pieces written one after another, so that
// a file made mostly of another's bytes is not copied whole first.
bool FileWriteTemporary(const std::string& target, const std::vector<std::string_view>& pieces,
                        const FileAttributes& like, PendingFile* pending, std::string* error);

// Renames the temporary file over its target (replacing it when it exists).
// On failure the temporary file is removed and the target is untouched.
bool FileCommit(PendingFile* pending, std::string* error);

// False (with *error) when the pending file's target is known not to be
// replaceable right now: on Windows, a file another program holds open.
// Asked before the first rename of a save, so that none happens in vain.
bool FileCanCommit(const PendingFile& pending, std::string* error);

// Removes the temporary file of a pending replacement that will not happen.
void FileDiscard(PendingFile* pending);

// While on, SIGINT, SIGTERM and SIGHUP remove every pending temporary file
// before they end the process (with the status the signal gives); renames
// run with them held back, so a signal never ends the process between the
// renames of one save. Signals the process was started ignoring stay
// ignored.
void FileGuardSignals(bool on);

// A write to a pipe nobody reads fails instead of ending the process
// silently: after a saved repair the tool still says so.
void FileReportWriteErrors();

// Makes sure the standard input, output and error are open (the null device
// in place of a closed one), so that no file the tool opens takes their
// place; returns false when the standard output was closed.
bool FileStandardStreamsOpen();
