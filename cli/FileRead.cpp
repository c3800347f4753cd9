#include "cli/FileRead.h"

#include <errno.h>
#include <string.h>

#include "cli/FileSystem.h"

bool FileReadAll(const std::string& name, size_t maxBytes, std::string* content, FileId* id,
                 std::string* error) {
    content->clear();
    *id = FileId();
    const std::string tooLarge =
        name + " is larger than " + std::to_string(maxBytes >> 20) + " MiB; it was not read";
    size_t size;
    int fd = SystemOpenForReading(name, id, &size, error);
    if (fd < 0) return false;
    if (size != SIZE_MAX && size > maxBytes) {
        SystemClose(fd);
        *error = tooLarge;
        return false;
    }
    // One allocation for the whole file, not a doubling chain of copies.
    if (size != SIZE_MAX) SystemReserveForReading(content, size);
    // Devices and pipes tell no size: reading stops one byte past the limit.
    char buffer[65536];
    long n;
    while ((n = SystemRead(fd, buffer, sizeof(buffer))) > 0) {
        if (content->size() + size_t(n) > maxBytes) {
            SystemClose(fd);
            content->clear();
            *error = tooLarge;
            return false;
        }
        content->append(buffer, size_t(n));
    }
    if (n < 0) *error = "cannot read " + name + ": " + strerror(errno);
    SystemClose(fd);
    return n == 0;
}

bool FileMapOrRead(const std::string& name, size_t maxBytes, bool mapAllowed, FileContent* content,
                   FileId* id, std::string* error) {
    FileRelease(content);
    *id = FileId();
    size_t size;
    int fd = mapAllowed ? SystemOpenForReading(name, id, &size, error) : -1;
    if (fd >= 0 && size != SIZE_MAX && size > 0 && size <= maxBytes &&
        SystemStamp(fd, &content->size, &content->changed) && content->size == size &&
        (content->mapped = SystemMap(fd, size, name))) {
        content->fd = fd;
        content->bytes = std::string_view(static_cast<const char*>(content->mapped), size);
        return true;
    }
    if (fd >= 0) SystemClose(fd);
    if (!FileReadAll(name, maxBytes, &content->read, id, error)) return false;
    content->bytes = content->read;
    return true;
}

bool FileStillAsMapped(const std::string& name, const FileContent& content, std::string* error) {
    unsigned long long size;
    long long changed;
    if (!content.mapped || (SystemStamp(content.fd, &size, &changed) && size == content.size &&
                            changed == content.changed))
        return true;
    *error = name + " changed while it was read; no file was changed";
    return false;
}

void FileRelease(FileContent* content) {
    if (content->mapped) SystemUnmap(content->mapped, content->bytes.size());
    if (content->fd >= 0) SystemClose(content->fd);
    *content = FileContent();
}
