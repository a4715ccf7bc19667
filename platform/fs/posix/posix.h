#pragma once
// Shared by the POSIX implementation files of the file-system layer.
#include "platform/fs/internal.h"

#include <optional>
#include <sys/stat.h>

namespace fs {

// A host path as the system calls want it.
inline QByteArray hostBytes(const QString& hostPath) {
    return QFile::encodeName(hostPath);
}

} // namespace fs

namespace fs::posix {

// An open file descriptor, closed on every way out (a negative one is not closed).
struct Descriptor {
    int fd;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();
};

// Writes the whole of data, going on after an interruption or a short write: 0, or the errno
// of the write that failed.
int writeAll(int fd, const char* data, std::int64_t length);

// stat() or, when links are not to be followed, lstat(); nothing when the call fails.
std::optional<struct stat> statOf(const QString& hostPath, bool followLinks);

} // namespace fs::posix
