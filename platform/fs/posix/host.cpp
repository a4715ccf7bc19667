// The host primitives of host.h over POSIX system calls.
#include "platform/fs/host.h"
#include "platform/fs/posix/posix.h"
#include "platform/vb/error.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs {

namespace {

Kind kindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return Kind::Folder;
    if (S_ISREG(mode)) return Kind::File;
    if (S_ISLNK(mode)) return Kind::Link;
    return Kind::Other;
}

Status statusFrom(const struct stat& info) {
    return {kindOfMode(info.st_mode), std::int64_t(info.st_size), std::int64_t(info.st_mtim.tv_sec),
            std::int64_t(info.st_mtim.tv_nsec), std::uint32_t(info.st_mode & 0777)};
}

int fdOf(std::intptr_t handle) {
    return int(handle);
}

SystemError result(int returned) {
    return returned == 0 ? 0 : errno;
}

} // namespace

bool isMissing(SystemError error) {
    return error == ENOENT || error == ENOTDIR;
}

std::optional<Status> statusOf(const QString& hostPath, bool followLinks, SystemError* error) {
    struct stat info;
    const QByteArray path = hostBytes(hostPath);
    const int got =
        followLinks ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info);
    if (got != 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    return statusFrom(info);
}

std::optional<FolderEntries> listFolder(const QString& hostPath, SystemError* error) {
    DIR* dir = ::opendir(hostBytes(hostPath).constData());
    if (!dir) {
        if (error) *error = errno;
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        Kind kind = Kind::Other;
        switch (entry->d_type) {
        case DT_DIR:
            kind = Kind::Folder;
            break;
        case DT_REG:
            kind = Kind::File;
            break;
        case DT_LNK:
            kind = Kind::Link;
            break;
        case DT_UNKNOWN: { // file systems that do not store the kind in the folder
            struct stat info;
            if (::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                kind = kindOfMode(info.st_mode);
            break;
        }
        default:
            break;
        }
        entries.push_back({QFile::decodeName(name), kind});
    }
    ::closedir(dir);
    return entries;
}

std::optional<File> File::openIfPresent(const QString& hostPath) {
    const int fd = ::open(hostBytes(hostPath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (isMissing(errno)) return std::nullopt;
        raiseSystemError(errno, hostPath);
    }
    return File(fd, hostPath);
}

File File::openForReading(const QString& hostPath, std::int32_t fallback,
                          std::int32_t whenMissing) {
    const int fd = ::open(hostBytes(hostPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) raiseSystemError(errno, hostPath, fallback, whenMissing);
    return File(fd, hostPath);
}

File File::createNew(const QString& hostPath, std::uint32_t permissions, const QString& shownAs) {
    const QString named = shownAs.isEmpty() ? hostPath : shownAs;
    const int fd = ::open(hostBytes(hostPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          mode_t(permissions));
    if (fd < 0) raiseSystemError(errno, named);
    return File(fd, named);
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), shownAs_(std::move(other.shownAs_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(fdOf(handle_));
        handle_ = std::exchange(other.handle_, -1);
        shownAs_ = std::move(other.shownAs_);
    }
    return *this;
}

File::~File() {
    if (handle_ >= 0) ::close(fdOf(handle_));
}

Status File::status() const {
    struct stat info;
    if (::fstat(fdOf(handle_), &info) != 0) raiseSystemError(errno, shownAs_);
    return statusFrom(info);
}

std::int64_t File::tryReadAt(std::uint64_t offset, void* out, std::size_t length,
                             SystemError& error) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fdOf(handle_), static_cast<char*>(out) + done, length - done,
                                  off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            return -1;
        }
        if (n == 0) break;
        done += std::size_t(n);
    }
    return std::int64_t(done);
}

void File::writeAll(const void* data, std::size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fdOf(handle_), bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) raiseSystemError(errno, shownAs_);
        bytes += n;
        length -= std::size_t(n);
    }
}

void File::setPermissions(std::uint32_t permissions) {
    if (::fchmod(fdOf(handle_), mode_t(permissions)) != 0) raiseSystemError(errno, shownAs_);
}

void File::sync() {
    if (::fdatasync(fdOf(handle_)) != 0) raiseSystemError(errno, shownAs_);
}

void File::close() {
    const int closed = ::close(fdOf(std::exchange(handle_, -1)));
    if (closed != 0) raiseSystemError(errno, shownAs_);
}

SystemError renameReplacing(const QString& from, const QString& to) {
    return result(::rename(hostBytes(from).constData(), hostBytes(to).constData()));
}

SystemError linkFile(const QString& from, const QString& to) {
    return result(::link(hostBytes(from).constData(), hostBytes(to).constData()));
}

SystemError copyNew(const QString& from, const QString& to) {
    const int input = ::open(hostBytes(from).constData(), O_RDONLY | O_CLOEXEC);
    if (input < 0) return errno;
    struct stat info;
    int output = -1;
    SystemError error = 0;
    if (::fstat(input, &info) != 0)
        error = errno;
    else if ((output = ::open(hostBytes(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              info.st_mode & 0777)) < 0)
        error = errno;
    std::array<char, 64 * 1024> buffer;
    while (error == 0) {
        const ssize_t got = ::read(input, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) error = errno;
            break;
        }
        for (ssize_t put = 0; error == 0 && put < got;) {
            const ssize_t n = ::write(output, buffer.data() + put, std::size_t(got - put));
            if (n < 0 && errno != EINTR) error = errno;
            if (n > 0) put += n;
        }
    }
    ::close(input);
    if (output >= 0 && ::close(output) != 0 && error == 0) error = errno;
    if (error != 0 && output >= 0) ::unlink(hostBytes(to).constData());
    return error;
}

SystemError setPermissions(const QString& hostPath, std::uint32_t permissions) {
    return result(::chmod(hostBytes(hostPath).constData(), mode_t(permissions)));
}

SystemError createFolder(const QString& hostPath, std::uint32_t permissions) {
    return result(::mkdir(hostBytes(hostPath).constData(), mode_t(permissions)));
}

SystemError removeFile(const QString& hostPath) {
    return result(::unlink(hostBytes(hostPath).constData()));
}

SystemError removeEmptyFolder(const QString& hostPath) {
    return result(::rmdir(hostBytes(hostPath).constData()));
}

std::optional<std::uint32_t> creationMask() {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (!status) return std::nullopt;
    std::optional<std::uint32_t> mask;
    char line[256];
    while (!mask && std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "Umask:", 6) == 0)
            mask = std::uint32_t(std::strtol(line + 6, nullptr, 8));
    std::fclose(status);
    return mask;
}

} // namespace fs
