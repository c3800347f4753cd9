#include "cli/FileReplace.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string Reason() { return strerror(errno); }

// Creates a file that did not exist before (never an existing one).
int CreateNew(const std::string& name) {
#ifdef _WIN32
    return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
#endif
}

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        size_t chunk = content.size() - done;
        if (chunk > (1u << 20)) chunk = 1u << 20;
#ifdef _WIN32
        int n = _write(fd, content.data() + done, unsigned(chunk));
#else
        ssize_t n = write(fd, content.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool FlushAndClose(int fd) {
#ifdef _WIN32
    bool ok = _commit(fd) == 0;
    int saved = errno;
    ok = (_close(fd) == 0) && ok;
#else
    bool ok = fsync(fd) == 0;
    int saved = errno;
    ok = (close(fd) == 0) && ok;
#endif
    if (!ok && saved) errno = saved;
    return ok;
}

// The new file takes the permissions of the one it replaces.
void KeepMode(int fd, const std::string& target) {
#ifdef _WIN32
    (void)fd;
    (void)target;
#else
    struct stat st;
    if (stat(target.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
#endif
}

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
#else
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    // Make the rename itself durable: flush the folder.
    size_t slash = to.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    int dir = open(folder.c_str(), O_RDONLY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
#endif
}

}  // namespace

bool FileWriteTemporary(const std::string& target, const std::string& content, PendingFile* pending,
                        std::string* error) {
    pending->target = target;
    pending->temporary.clear();
    int fd = -1;
    std::string name;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = target + ".tmp" + std::to_string(attempt);
        fd = CreateNew(name);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = "cannot create a temporary file next to " + target + ": " + Reason();
        return false;
    }
    KeepMode(fd, target);
    if (!WriteAll(fd, content) || !FlushAndClose(fd)) {
        *error = "cannot write " + name + ": " + Reason();
        remove(name.c_str());
        return false;
    }
    pending->temporary = name;
    return true;
}

bool FileCommit(PendingFile* pending, std::string* error) {
    if (pending->temporary.empty()) return true;
    if (!RenameOver(pending->temporary, pending->target)) {
        *error = "cannot replace " + pending->target + ": " + Reason();
        FileDiscard(pending);
        return false;
    }
    pending->temporary.clear();
    return true;
}

void FileDiscard(PendingFile* pending) {
    if (!pending->temporary.empty()) remove(pending->temporary.c_str());
    pending->temporary.clear();
}

bool FileReadAll(const std::string& name, std::string* content, std::string* error) {
    FILE* file = fopen(name.c_str(), "rb");
    if (!file) {
        *error = "cannot open " + name + ": " + Reason();
        return false;
    }
    content->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) content->append(buffer, n);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) *error = "cannot read " + name;
    return !failed;
}
