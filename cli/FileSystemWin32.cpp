// The file calls on Windows.
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include <vector>

#include "cli/FileSystem.h"

namespace {

// The system's own words for a Win32 error.
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

// A probe for the right to delete a file: fails with a sharing violation
// while another program holds it open.
bool HeldOpenElsewhere(const std::string& name) {
    HANDLE probe =
        CreateFileA(name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

// The full name of the file or folder an open handle reaches, links
// followed; empty where the system cannot tell.
std::vector<wchar_t> FinalName(HANDLE handle) {
    std::vector<wchar_t> name(MAX_PATH);
    DWORD n = GetFinalPathNameByHandleW(handle, name.data(), DWORD(name.size()), 0);
    if (n >= name.size()) {
        name.resize(n);
        n = GetFinalPathNameByHandleW(handle, name.data(), DWORD(name.size()), 0);
    }
    name.resize(n < name.size() ? n : 0);
    return name;
}

// The name a repair of `name` is written to: a symbolic link (or a name
// that reaches its file another way) gives way to the full name of the
// file it leads to, so that the link stays a link and the ".bak" lies
// beside the real file, as on POSIX. Any other name stays as given, and so
// does every name where the system cannot tell the full names. False where
// the ANSI code page the tool names files in cannot spell the full name
// exactly: a near spelling could name another file.
bool LinkedName(HANDLE handle, const std::string& name, std::string* path) {
    std::vector<wchar_t> final = FinalName(handle), folder;
    size_t cut = name.find_last_of("\\/:");
    std::string within = cut == std::string::npos ? "." : name.substr(0, cut + 1);
    if (cut != std::string::npos && name[cut] == ':') within += '.';  // "C:d.reg"
    HANDLE open =
        CreateFileA(within.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (open != INVALID_HANDLE_VALUE) {
        folder = FinalName(open);
        CloseHandle(open);
    }
    if (final.empty() || folder.empty()) return true;
    std::string leaf = cut == std::string::npos ? name : name.substr(cut + 1);
    if (folder.back() != L'\\') folder.push_back(L'\\');
    size_t at = folder.size();
    folder.resize(at + leaf.size() + 1);
    folder.resize(at + size_t(MultiByteToWideChar(CP_ACP, 0, leaf.data(), int(leaf.size()),
                                                  &folder[at], int(leaf.size() + 1))));
    if (CompareStringOrdinal(folder.data(), int(folder.size()), final.data(), int(final.size()),
                             TRUE) == CSTR_EQUAL)
        return true;
    BOOL lossy = FALSE;
    int n = int(final.size());
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, final.data(), n, nullptr, 0,
                                    nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    path->assign(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, final.data(), n, &(*path)[0], bytes, nullptr,
                        nullptr);
    // The "\\?\" prefix goes where the name stays short enough without it.
    const size_t kRoom = MAX_PATH - 16;  // for the ".bak" and ".tmpN" added to it
    if (path->compare(0, 8, "\\\\?\\UNC\\") == 0 && path->size() - 6 < kRoom)
        path->replace(0, 8, "\\\\");
    else if (path->compare(0, 4, "\\\\?\\") == 0 && path->size() - 4 < kRoom)
        path->erase(0, 4);
    return true;
}

}  // namespace

int SystemCreateNew(const std::string& name) {
    return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

long SystemWrite(int fd, const char* data, size_t size) {
    return _write(fd, data, unsigned(size > (1u << 30) ? 1u << 30 : size));
}

bool SystemFlush(int fd) { return _commit(fd) == 0; }

bool SystemClose(int fd) { return _close(fd) == 0; }

void SystemTakeAttributesOpen(int, const FileAttributes&) {}

// Windows knows only read-only or not, and a read-only file is made so once
// it is written.
void SystemTakeAttributesClosed(const std::string& name, const FileAttributes& like) {
    if (like.known && (like.mode & 0222) == 0)
        SetFileAttributesA(name.c_str(),
                           GetFileAttributesA(name.c_str()) | FILE_ATTRIBUTE_READONLY);
}

void SystemRemove(const std::string& name) {
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    remove(name.c_str());
}

bool SystemRenameOver(const std::string& from, const std::string& to, std::string* reason) {
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
    if (code == ERROR_ACCESS_DENIED && HeldOpenElsewhere(to)) code = ERROR_SHARING_VIOLATION;
    *reason = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
                  ? "it is open in another program"
                  : SystemReason(code);
    return false;
}

void SystemHoldSignals(bool) {}

int SystemOpenForReading(const std::string& name, FileId* id, size_t* size, std::string* error) {
    DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = "cannot read " + name + ": it is a folder";
        return -1;
    }
    int fd = _open(name.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        *error = "cannot open " + name + ": " + strerror(errno);
        return -1;
    }
    *size = SIZE_MAX;
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE handle = HANDLE(_get_osfhandle(fd));
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)) {
        *id = {true, info.dwVolumeSerialNumber,
               (unsigned long long)info.nFileIndexHigh << 32 | info.nFileIndexLow};
        unsigned long long bytes = (unsigned long long)info.nFileSizeHigh << 32 | info.nFileSizeLow;
        *size = bytes < SIZE_MAX ? size_t(bytes) : SIZE_MAX - 1;
    }
    return fd;
}

void SystemReserveForReading(std::string* content, size_t size) { content->reserve(size); }

long SystemRead(int fd, char* buffer, size_t size) {
    return _read(fd, buffer, unsigned(size > 0x7FFFFFFF ? 0x7FFFFFFF : size));
}

// The Windows tool reads files whole: a mapped file could not be replaced
// by a repair while its view is open.
const void* SystemMap(int, size_t, const std::string&) { return nullptr; }

void SystemUnmap(const void*, size_t) {}

bool SystemStamp(int, unsigned long long*, long long*) { return false; }

bool FileResolveTarget(const std::string& name, FileTarget* target, std::string* error) {
    *target = FileTarget();
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
    bool named = disk && LinkedName(handle, name, &target->path);
    CloseHandle(handle);
    if (!disk) {
        *error = name + " is a device, not a regular file";
        return false;
    }
    if (!named) {
        *error = "cannot use " + name +
                 ": the name of the file it leads to cannot be written in this system's code page";
        return false;
    }
    target->exists = true;
    target->attributes.known = true;
    target->attributes.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    target->id.known = true;
    target->id.device = info.dwVolumeSerialNumber;
    target->id.inode = (unsigned long long)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return true;
}

bool FileCanCommit(const PendingFile& pending, std::string* error) {
    if (!HeldOpenElsewhere(pending.target)) return true;
    *error = "cannot replace " + pending.target + ": it is open in another program";
    return false;
}

// Windows has no such signals to guard against, nor SIGPIPE.
void FileGuardSignals(bool) {}

void FileReportWriteErrors() {}

bool FileStandardStreamsOpen() {
    bool outputOpen = true;
    for (int fd = 0; fd < 3; ++fd) {
        if (_get_osfhandle(fd) != -1) continue;
        if (fd == 1) outputOpen = false;
        // The lowest free descriptor is fd itself, as with POSIX's open.
        _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    }
    return outputOpen;
}
