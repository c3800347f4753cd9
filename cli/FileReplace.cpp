#include "cli/FileReplace.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::string Reason() { return strerror(errno); }

#ifndef _WIN32
// Memory reserved for a large file is mapped in as it is first written:
// 4 KB at a time, each a fault that can cost more than reading the 4 KB.
// Asking for huge pages (where the system has them on request) maps 2 MB a
// fault; the memory used stays the same.
void AskHugePages(const std::string& content) {
#ifdef MADV_HUGEPAGE
    const uintptr_t kPage = 4096, kHuge = 2 << 20;
    uintptr_t from = (uintptr_t(content.data()) + kPage - 1) & ~(kPage - 1);
    uintptr_t to = (uintptr_t(content.data()) + content.capacity()) & ~(kPage - 1);
    if (to > from + kHuge) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)content;
#endif
}
#endif

std::string TooLarge(const std::string& name) {
    return name + " is larger than 256 MiB, far more than any registry export; it was not read";
}

// The temporary files that exist right now, for the signal handler. Fixed
// buffers: the handler may neither allocate nor wait.
const int kSlots = 4;
char g_temporary[kSlots][4096];
volatile sig_atomic_t g_temporaryUsed[kSlots];

int Register(const std::string& name) {
    if (name.size() >= sizeof(g_temporary[0])) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (g_temporaryUsed[i]) continue;
        memcpy(g_temporary[i], name.c_str(), name.size() + 1);
        g_temporaryUsed[i] = 1;
        return i;
    }
    return -1;
}

void Unregister(const std::string& name) {
    for (int i = 0; i < kSlots; ++i)
        if (g_temporaryUsed[i] && name == g_temporary[i]) g_temporaryUsed[i] = 0;
}

#ifdef _WIN32

// The system's own words for the last Win32 error.
std::string SystemReason(DWORD code) {
    char buffer[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, sizeof(buffer), nullptr);
    std::string text(buffer, n);
    while (!text.empty() &&
           (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

int CreateNew(const std::string& name) {
    return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

void BlockSignals(bool) {}

#else

const int kGuarded[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
bool g_guarding = false;

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (int i = 0; i < kSlots; ++i)
        if (g_temporaryUsed[i]) unlink(g_temporary[i]);
    // The handler was reset to the default on entry and the signal is not
    // held back inside it: raising it again ends the process as it would
    // have ended without the handler.
    raise(signal);
}

void BlockSignals(bool block) {
    if (!g_guarding) return;
    sigset_t set;
    sigemptyset(&set);
    for (int s : kGuarded) sigaddset(&set, s);
    sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

int CreateNew(const std::string& name) {
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

#endif

bool WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        size_t chunk = size - done;
        if (chunk > (1u << 20)) chunk = 1u << 20;
#ifdef _WIN32
        int n = _write(fd, data + done, unsigned(chunk));
#else
        ssize_t n = write(fd, data + done, chunk);
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

bool WriteAll(int fd, const std::vector<FilePiece>& pieces) {
    for (const FilePiece& piece : pieces)
        if (!WriteAll(fd, piece.data, piece.size)) return false;
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

// The new file takes the owner, group and permissions of the one whose
// bytes it holds or replaces. Owner and group only where the process may
// set them; the mode last, as a change of owner clears set-id bits.
void ApplyAttributes(int fd, const std::string& name, const FileAttributes& like) {
#ifdef _WIN32
    (void)fd;
    if (like.known && (like.mode & 0222) == 0)
        SetFileAttributesA(name.c_str(),
                           GetFileAttributesA(name.c_str()) | FILE_ATTRIBUTE_READONLY);
#else
    (void)name;
    if (!like.known) return;
    if (fchown(fd, uid_t(like.owner), gid_t(like.group)) != 0)
        if (fchown(fd, uid_t(-1), gid_t(like.group)) != 0) {
            // Neither may be set: the file stays the process's own.
        }
    fchmod(fd, mode_t(like.mode));
#endif
}

void RemoveFile(const std::string& name) {
#ifdef _WIN32
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    remove(name.c_str());
}

bool RenameOver(const std::string& from, const std::string& to, std::string* reason) {
#ifdef _WIN32
    DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
    DWORD code = GetLastError();
    // A read-only file is replaced as on POSIX, where only the folder's
    // permissions matter; its attribute comes back if the rename fails.
    DWORD old = GetFileAttributesA(to.c_str());
    if (code == ERROR_ACCESS_DENIED && old != INVALID_FILE_ATTRIBUTES &&
        (old & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesA(to.c_str(), old & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        if (MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
        code = GetLastError();
        SetFileAttributesA(to.c_str(), old);
    }
    // Some systems answer "access denied" for a file another program holds
    // open: asking for the right to delete it tells the two apart.
    if (code == ERROR_ACCESS_DENIED) {
        HANDLE probe =
            CreateFileA(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE)
            CloseHandle(probe);
        else if (GetLastError() == ERROR_SHARING_VIOLATION)
            code = ERROR_SHARING_VIOLATION;
    }
    *reason = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
                  ? "it is open in another program"
                  : SystemReason(code);
    return false;
#else
    if (rename(from.c_str(), to.c_str()) != 0) {
        *reason = Reason();
        return false;
    }
    // Make the rename itself durable: flush the folder.
    size_t slash = to.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    int dir = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
#endif
}

}  // namespace

bool FileResolveTarget(const std::string& name, FileTarget* target, std::string* error) {
    *target = FileTarget();
#ifdef _WIN32
    target->path = name;
    DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = name + " is a folder, not a regular file";
        return false;
    }
    // Device names (NUL, CON, COM1) open as character devices, not files.
    HANDLE handle =
        CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = "cannot use " + name + ": " + SystemReason(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool disk = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!disk) {
        *error = name + " is a device, not a regular file";
        return false;
    }
    target->exists = true;
    target->attributes.known = true;
    target->attributes.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    target->id.known = true;
    target->id.device = info.dwVolumeSerialNumber;
    target->id.inode = (unsigned long long)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return true;
#else
    std::string path = name;
    for (int links = 0;; ++links) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                *error = "cannot use " + path + ": " + Reason();
                return false;
            }
            target->path = path;  // a new file; a missing folder fails when it is written
            return true;
        }
        if (S_ISLNK(st.st_mode)) {
            if (links == 40) {
                *error = "cannot use " + name + ": " + strerror(ELOOP);
                return false;
            }
            std::string to(size_t(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
            ssize_t n = readlink(path.c_str(), &to[0], to.size());
            if (n < 0 || size_t(n) >= to.size()) {
                *error = "cannot follow the symbolic link " + path + ": " + Reason();
                return false;
            }
            to.resize(size_t(n));
            size_t slash = path.find_last_of('/');
            path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = path + " is " + KindOf(st.st_mode) + ", not a regular file";
            return false;
        }
        target->path = path;
        target->exists = true;
        target->attributes = {true, unsigned(st.st_mode & 07777), (long long)st.st_uid,
                              (long long)st.st_gid};
        target->id = {true, (unsigned long long)st.st_dev, (unsigned long long)st.st_ino};
        return true;
    }
#endif
}

bool FileWriteTemporary(const std::string& target, const std::string& content,
                        const FileAttributes& like, PendingFile* pending, std::string* error) {
    return FileWriteTemporary(target, {FilePiece{content.data(), content.size()}}, like, pending,
                              error);
}

bool FileWriteTemporary(const std::string& target, const std::vector<FilePiece>& pieces,
                        const FileAttributes& like, PendingFile* pending, std::string* error) {
    pending->target = target;
    pending->temporary.clear();
    int fd = -1;
    std::string name;
    // Each name is tried once and never taken over: a leftover of an
    // earlier run, or another run's file, only moves this one on.
    for (int attempt = 0; attempt < 10000 && fd < 0; ++attempt) {
        name = target + ".tmp" + std::to_string(attempt);
        BlockSignals(true);
        fd = CreateNew(name);
        if (fd >= 0 && Register(name) < 0) {
            close(fd);
            remove(name.c_str());
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
#ifndef _WIN32
    ApplyAttributes(fd, name, like);
#endif
    // Writing and flushing is the long part: a signal may end it.
    BlockSignals(false);
    bool written = WriteAll(fd, pieces);
    int saved = errno;
    BlockSignals(true);
    if (!written) {
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
    }
    errno = saved;
    if (!written || !FlushAndClose(fd)) {
        *error = "cannot write " + name + ": " + Reason();
        FileDiscard(pending);
        return false;
    }
#ifdef _WIN32
    ApplyAttributes(fd, name, like);
#endif
    return true;
}

bool FileCommit(PendingFile* pending, std::string* error) {
    if (pending->temporary.empty()) return true;
    std::string reason;
    if (!RenameOver(pending->temporary, pending->target, &reason)) {
        *error = "cannot replace " + pending->target + ": " + reason;
        FileDiscard(pending);
        return false;
    }
    Unregister(pending->temporary);
    pending->temporary.clear();
    return true;
}

bool FileCanCommit(const PendingFile& pending, std::string* error) {
#ifdef _WIN32
    HANDLE probe = CreateFileA(pending.target.c_str(), DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
    } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
        *error = "cannot replace " + pending.target + ": it is open in another program";
        return false;
    }
#else
    (void)pending;
    (void)error;
#endif
    return true;
}

void FileDiscard(PendingFile* pending) {
    if (!pending->temporary.empty()) {
        RemoveFile(pending->temporary);
        Unregister(pending->temporary);
    }
    pending->temporary.clear();
}

void FileGuardSignals(bool on) {
#ifdef _WIN32
    (void)on;
#else
    if (on == g_guarding) return;
    if (on) {
        g_guarding = true;
        BlockSignals(true);
        for (int i = 0; i < 3; ++i) {
            sigaction(kGuarded[i], nullptr, &g_previous[i]);
            if (g_previous[i].sa_handler == SIG_IGN) continue;  // e.g. SIGHUP under nohup
            struct sigaction action;
            memset(&action, 0, sizeof(action));
            action.sa_handler = RemoveTemporariesAndDie;
            action.sa_flags = SA_RESETHAND | SA_NODEFER;
            sigemptyset(&action.sa_mask);
            sigaction(kGuarded[i], &action, nullptr);
        }
        return;
    }
    // A signal held back until now ends the process here; every temporary
    // file is gone by then.
    for (int i = 0; i < 3; ++i) sigaction(kGuarded[i], &g_previous[i], nullptr);
    BlockSignals(false);
    g_guarding = false;
#endif
}

bool FileReadAll(const std::string& name, std::string* content, FileId* id, std::string* error) {
    content->clear();
    *id = FileId();
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = "cannot read " + name + ": it is a folder";
        return false;
    }
    int fd = _open(name.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        *error = "cannot open " + name + ": " + Reason();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE handle = HANDLE(_get_osfhandle(fd));
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)) {
        *id = {true, info.dwVolumeSerialNumber,
               (unsigned long long)info.nFileIndexHigh << 32 | info.nFileIndexLow};
        unsigned long long size = (unsigned long long)info.nFileSizeHigh << 32 | info.nFileSizeLow;
        if (size > kFileMaxBytes) {
            _close(fd);
            *error = TooLarge(name);
            return false;
        }
        // One allocation for the whole file, not a doubling chain of copies.
        content->reserve(size_t(size));
    }
#else
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + name + ": " + Reason();
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) == 0) {
        *id = {true, (unsigned long long)st.st_dev, (unsigned long long)st.st_ino};
        if (S_ISREG(st.st_mode) && (unsigned long long)st.st_size > kFileMaxBytes) {
            close(fd);
            *error = TooLarge(name);
            return false;
        }
        // One allocation for the whole file, not a doubling chain of copies.
        if (S_ISREG(st.st_mode)) {
            content->reserve(size_t(st.st_size));
            AskHugePages(*content);
        }
    }
#endif
    // Devices and pipes tell no size: reading stops one byte past the limit.
    char buffer[65536];
    bool failed = false;
    for (;;) {
#ifdef _WIN32
        int n = _read(fd, buffer, sizeof(buffer));
#else
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) failed = true;
        if (n <= 0) break;
        if (content->size() + size_t(n) > kFileMaxBytes) {
            content->clear();
            *error = TooLarge(name);
#ifdef _WIN32
            _close(fd);
#else
            close(fd);
#endif
            return false;
        }
        content->append(buffer, size_t(n));
    }
    if (failed) *error = "cannot read " + name + ": " + Reason();
#ifdef _WIN32
    _close(fd);
#else
    close(fd);
#endif
    return !failed;
}

void FileReportWriteErrors() {
#ifndef _WIN32
    signal(SIGPIPE, SIG_IGN);
#endif
}

bool FileStandardStreamsOpen() {
    bool outputOpen = true;
    for (int fd = 0; fd < 3; ++fd) {
#ifdef _WIN32
        bool open = _get_osfhandle(fd) != -1;
#else
        bool open = fcntl(fd, F_GETFD) != -1;
#endif
        if (open) continue;
        if (fd == 1) outputOpen = false;
#ifdef _WIN32
        (void)fd;
#else
        // The lowest free descriptor is fd itself.
        ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
#endif
    }
    return outputOpen;
}
