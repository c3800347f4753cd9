// The file calls on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/FileSystem.h"

namespace {

std::string Reason() { return strerror(errno); }

const int kGuarded[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
bool g_guarding = false;

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (int i = 0; i < kTemporarySlots; ++i)
        if (g_temporaryUsed[i]) unlink(g_temporary[i]);
    // The handler was reset to the default on entry and the signal is not
    // held back inside it: raising it again ends the process as it would
    // have ended without the handler.
    raise(signal);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Where a symbolic link found at `link` leads: a relative target is taken
// from the link's own folder, not from the working folder.
std::string LinkTarget(const std::string& link, const std::string& to) {
    size_t slash = link.find_last_of('/');
    return to[0] == '/' || slash == std::string::npos ? to : link.substr(0, slash + 1) + to;
}

}  // namespace

int SystemCreateNew(const std::string& name) {
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

long SystemWrite(int fd, const char* data, size_t size) {
    for (;;) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        return long(n);
    }
}

bool SystemFlush(int fd) { return fsync(fd) == 0; }

bool SystemClose(int fd) { return close(fd) == 0; }

// Owner and group only where the process may set them; the mode last, as a
// change of owner clears set-id bits.
void SystemTakeAttributesOpen(int fd, const FileAttributes& like) {
    if (!like.known) return;
    if (fchown(fd, uid_t(like.owner), gid_t(like.group)) != 0)
        if (fchown(fd, uid_t(-1), gid_t(like.group)) != 0) {
            // Neither may be set: the file stays the process's own.
        }
    fchmod(fd, mode_t(like.mode));
}

void SystemTakeAttributesClosed(const std::string&, const FileAttributes&) {}

void SystemRemove(const std::string& name) { remove(name.c_str()); }

bool SystemRenameOver(const std::string& from, const std::string& to, std::string* reason) {
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
}

void SystemHoldSignals(bool hold) {
    if (!g_guarding) return;
    sigset_t set;
    sigemptyset(&set);
    for (int s : kGuarded) sigaddset(&set, s);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

int SystemOpenForReading(const std::string& name, FileId* id, size_t* size, std::string* error) {
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + name + ": " + Reason();
        return -1;
    }
    *size = SIZE_MAX;
    struct stat st;
    if (fstat(fd, &st) == 0) {
        *id = {true, (unsigned long long)st.st_dev, (unsigned long long)st.st_ino};
        if (S_ISREG(st.st_mode))
            *size = (unsigned long long)st.st_size < SIZE_MAX ? size_t(st.st_size) : SIZE_MAX - 1;
    }
    return fd;
}

// Memory reserved for a large file is mapped in as it is first written:
// 4 KB at a time, each a fault that can cost more than reading the 4 KB.
// Asking for huge pages (where the system has them on request) maps 2 MB a
// fault; the memory used stays the same.
void SystemReserveForReading(std::string* content, size_t size) {
    content->reserve(size);
#ifdef MADV_HUGEPAGE
    const uintptr_t kPage = 4096, kHuge = 2 << 20;
    uintptr_t from = (uintptr_t(content->data()) + kPage - 1) & ~(kPage - 1);
    uintptr_t to = (uintptr_t(content->data()) + content->capacity()) & ~(kPage - 1);
    if (to > from + kHuge) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

long SystemRead(int fd, char* buffer, size_t size) {
    for (;;) {
        ssize_t n = read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return long(n);
    }
}

namespace {

char g_mappedName[4096];

// A page of the mapped file that is gone: the file was cut shorter while
// it was read. Nothing has been written yet; the message and the status
// are all that is left to do.
extern "C" void MappedFileCut(int) {
    const char a[] = "portmedic-scan: ",
               b[] = " was cut shorter while it was read; no file was changed\n";
    if (write(2, a, sizeof a - 1) < 0 || write(2, g_mappedName, strlen(g_mappedName)) < 0 ||
        write(2, b, sizeof b - 1) < 0) {
    }
    _exit(2);
}

}  // namespace

const void* SystemMap(int fd, size_t size, const std::string& name) {
    void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (at == MAP_FAILED) return nullptr;
    snprintf(g_mappedName, sizeof g_mappedName, "%s", name.c_str());
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = MappedFileCut;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
    return at;
}

void SystemUnmap(const void* at, size_t size) {
    munmap(const_cast<void*>(at), size);
    signal(SIGBUS, SIG_DFL);
}

bool SystemStamp(int fd, unsigned long long* size, long long* changed) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    *size = (unsigned long long)st.st_size;
    *changed = (long long)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool FileResolveTarget(const std::string& name, FileTarget* target, std::string* error) {
    *target = FileTarget();
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
            if (n <= 0 || size_t(n) >= to.size()) {
                *error = "cannot follow the symbolic link " + path + ": " + Reason();
                return false;
            }
            to.resize(size_t(n));
            path = LinkTarget(path, to);
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
}

bool FileCanCommit(const PendingFile&, std::string*) { return true; }

void FileGuardSignals(bool on) {
    if (on == g_guarding) return;
    if (on) {
        g_guarding = true;
        SystemHoldSignals(true);
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
    SystemHoldSignals(false);
    g_guarding = false;
}

void FileReportWriteErrors() { signal(SIGPIPE, SIG_IGN); }

bool FileStandardStreamsOpen() {
    bool outputOpen = true;
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        if (fd == 1) outputOpen = false;
        // The lowest free descriptor is fd itself.
        open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
    return outputOpen;
}
