// Safe replacement of files: the one place where the tool touches the file
// system beyond reading, and the only code that differs between POSIX and
// Windows.
//
// A file is never written in place. Its new content goes to a temporary file
// in the same folder, which is flushed to disk and closed, and only then
// renamed over the target. A failure at any step removes the temporary file
// and leaves the target (and every other file) as it was.
#pragma once

#include <string>

// A temporary file written and flushed, waiting to be renamed over target.
struct PendingFile {
    std::string target;
    std::string temporary;  // empty once committed or discarded
};

// Writes content to a new temporary file next to target. On failure nothing
// is left behind and *error names the file and the reason.
bool FileWriteTemporary(const std::string& target, const std::string& content, PendingFile* pending,
                        std::string* error);

// Renames the temporary file over its target (replacing it when it exists).
// On failure the temporary file is removed and the target is untouched.
bool FileCommit(PendingFile* pending, std::string* error);

// Removes the temporary file of a pending replacement that will not happen.
void FileDiscard(PendingFile* pending);

// Reads a whole file; false (with *error) when it cannot be opened or read.
bool FileReadAll(const std::string& name, std::string* content, std::string* error);
