#include "cli/FileReplace.h"

#include <errno.h>
#include <string.h>

#include "cli/FileSystem.h"

char g_temporary[kTemporarySlots][4096];
volatile sig_atomic_t g_temporaryUsed[kTemporarySlots];

namespace {

std::string Reason() { return strerror(errno); }

int Register(const std::string& name) {
    if (name.size() >= sizeof(g_temporary[0])) return -1;
    for (int i = 0; i < kTemporarySlots; ++i) {
        if (g_temporaryUsed[i]) continue;
        memcpy(g_temporary[i], name.c_str(), name.size() + 1);
        g_temporaryUsed[i] = 1;
        return i;
    }
    return -1;
}

void Unregister(const std::string& name) {
    for (int i = 0; i < kTemporarySlots; ++i)
        if (g_temporaryUsed[i] && name == g_temporary[i]) g_temporaryUsed[i] = 0;
}

// Flushes the file to disk and closes it; errno tells the first failure.
bool FlushAndClose(int fd) {
    bool ok = SystemFlush(fd);
    int saved = errno;
    ok = SystemClose(fd) && ok;
    if (!ok && saved) errno = saved;
    return ok;
}

bool WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        size_t chunk = size - done;
        if (chunk > (1u << 20)) chunk = 1u << 20;
        long n = SystemWrite(fd, data + done, chunk);
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

}  // namespace

bool FileWriteTemporary(const std::string& target, const std::string& content,
                        const FileAttributes& like, PendingFile* pending, std::string* error) {
    return FileWriteTemporary(target, {std::string_view(content)}, like, pending, error);
}

bool FileWriteTemporary(const std::string& target, const std::vector<std::string_view>& pieces,
                        const FileAttributes& like, PendingFile* pending, std::string* error) {
    pending->target = target;
    pending->temporary.clear();
    int fd = -1;
    std::string name;
    // Each name is tried once and never taken over: a leftover of an
    // earlier run, or another run's file, only moves this one on.
    for (int attempt = 0; attempt < 10000 && fd < 0; ++attempt) {
        name = target + ".tmp" + std::to_string(attempt);
        SystemHoldSignals(true);
        fd = SystemCreateNew(name);
        if (fd >= 0 && Register(name) < 0) {
            SystemClose(fd);
            SystemRemove(name);
            fd = -1;
            errno = ENAMETOOLONG;
        }
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = "cannot create a temporary file next to " + target + ": " + Reason();
        return false;
    }
    pending->temporary = name;
    SystemTakeAttributesOpen(fd, like);
    // Writing and flushing is the long part: a signal may end it.
    SystemHoldSignals(false);
    bool written = true;
    for (std::string_view piece : pieces)
        if (written) written = WriteAll(fd, piece.data(), piece.size());
    int saved = errno;
    SystemHoldSignals(true);
    if (!written) SystemClose(fd);
    errno = saved;
    if (!written || !FlushAndClose(fd)) {
        *error = "cannot write " + name + ": " + Reason();
        FileDiscard(pending);
        return false;
    }
    SystemTakeAttributesClosed(name, like);
    return true;
}

bool FileCommit(PendingFile* pending, std::string* error) {
    if (pending->temporary.empty()) return true;
    std::string reason;
    if (!SystemRenameOver(pending->temporary, pending->target, &reason)) {
        *error = "cannot replace " + pending->target + ": " + reason;
        FileDiscard(pending);
        return false;
    }
    Unregister(pending->temporary);
    pending->temporary.clear();
    return true;
}

void FileDiscard(PendingFile* pending) {
    if (!pending->temporary.empty()) {
        SystemRemove(pending->temporary);
        Unregister(pending->temporary);
    }
    pending->temporary.clear();
}
