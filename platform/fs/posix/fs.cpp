// The operations of fs.h that are system calls, over POSIX: copies, links, renames, syncs,
// the current folder, DOS attributes in extended attributes, and what an errno means.
#include "platform/fs/posix/posix.h"
#include "platform/vb/error.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs {

namespace posix {

Descriptor::~Descriptor() {
    if (fd >= 0) ::close(fd);
}

int writeAll(int fd, const char* data, std::int64_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(length));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        data += n;
        length -= n;
    }
    return 0;
}

std::optional<struct stat> statOf(const QString& hostPath, bool followLinks) {
    struct stat info;
    const QByteArray path = hostBytes(hostPath);
    const int result =
        followLinks ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info);
    if (result != 0) return std::nullopt;
    return info;
}

} // namespace posix

namespace {

using detail::isFolder;
using detail::join;
using detail::nameOf;
using detail::parentOf;
using posix::Descriptor;
using posix::statOf;
using posix::writeAll;

// Errors that only a volume reached over the network gives: the server, or the way to it,
// is gone.
bool isConnectionError(int error) {
    switch (error) {
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENOTCONN:
    case ECONNRESET:
    case ECONNREFUSED:
    case ECONNABORTED:
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
    case ESTALE:
    case EREMOTEIO:
    case ENOLINK:
    case ECOMM:
        return true;
    default:
        return false;
    }
}

// Writes a copy of `source` next to `target` under a hidden temporary name and renames it
// over `target`: a link at `target` is replaced rather than followed, and an interrupted copy
// never leaves a half-written file under the real name.
void copyReplacing(const QString& source, const QString& target) {
    Descriptor input(::open(hostBytes(source).constData(), O_RDONLY | O_CLOEXEC));
    if (input.fd < 0)
        raiseSystemError(errno, source, vb::err::PathFileAccess, vb::err::FileNotFound);
    struct stat sourceInfo;
    if (::fstat(input.fd, &sourceInfo) != 0)
        raiseSystemError(errno, source, vb::err::PathFileAccess, vb::err::FileNotFound);

    QByteArray temporary = hostBytes(join(parentOf(target), ownName("copy-XXXXXX")));
    Descriptor output(::mkstemp(temporary.data()));
    if (output.fd < 0)
        raiseSystemError(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    const auto failWith = [&](int error, const QString& path) {
        ::unlink(temporary.constData());
        raiseSystemError(error, path, vb::err::PathFileAccess, vb::err::PathNotFound);
    };

    std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t got = ::read(input.fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failWith(errno, source);
        if (got == 0) break;
        if (const int error = writeAll(output.fd, buffer.data(), got)) failWith(error, target);
    }
    const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::fchmod(output.fd, sourceInfo.st_mode & 07777) != 0 || ::futimens(output.fd, times) != 0)
        failWith(errno, target);
    const int closed = ::close(output.fd); // a network file system may report a full disk here
    output.fd = -1;
    if (closed != 0) failWith(errno, target);
    try {
        checkpoint("copy into place"); // the copy is whole under its temporary name
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    if (::rename(temporary.constData(), hostBytes(target).constData()) != 0)
        failWith(errno, target);
}

// Gives `source` the second name `target` under a temporary name first, renamed over `target`
// as copyReplacing does. False, with nothing changed, where the file system has no hard links
// or refuses one for this file (a file of another user under the system's link protection).
bool linkReplacing(const QString& source, const QString& target) {
    static std::atomic<int> serial{0};
    const QByteArray temporary =
        hostBytes(join(parentOf(target), ownName("link-") + QString::number(::getpid()) + u'-' +
                                             QString::number(++serial)));
    if (::link(hostBytes(source).constData(), temporary.constData()) != 0) {
        switch (errno) {
        case EPERM:
        case EOPNOTSUPP:
        case EMLINK:
        case EXDEV:
        case ENOSYS:
            return false;
        default:
            raiseSystemError(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
        }
    }
    try {
        checkpoint("copy into place");
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    if (::rename(temporary.constData(), hostBytes(target).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        raiseSystemError(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    }
    return true;
}

// The checks copyFile makes before it changes anything; the source and target host paths.
std::pair<QString, QString> checkedCopy(const QString& from, const QString& to) {
    const QString source = toHost(from);
    const auto sourceInfo = statOf(source, true);
    if (!sourceInfo || S_ISDIR(sourceInfo->st_mode)) vb::raise(vb::err::FileNotFound);
    const QString target = toHost(to);
    if (!isFolder(parentOf(target))) vb::raise(vb::err::PathNotFound);
    const auto targetInfo = statOf(target, false);
    if (targetInfo && S_ISDIR(targetInfo->st_mode)) vb::raise(vb::err::PathFileAccess);
    // A file the user may not write stays, as a read-only file does on Windows.
    if (targetInfo && S_ISREG(targetInfo->st_mode) &&
        ::access(hostBytes(target).constData(), W_OK) != 0 && errno == EACCES)
        vb::raise(vb::err::PermissionDenied, vb::describe(vb::err::PermissionDenied) +
                                                 QStringLiteral(": ") + shownPath(target));
    return {source, target};
}

} // namespace

bool isHiddenOrSystem(const QString& hostPath) {
    const QString name = nameOf(hostPath);
    if (name.startsWith(u'.') && name != u"." && name != u"..") return true;

    // Samba keeps the DOS attributes as a hex text ("0x22"), newer versions followed by a
    // NUL and a binary tail; a value that does not start with such a text is ignored.
    const QByteArray path = hostBytes(hostPath);
    const ssize_t size = ::getxattr(path.constData(), "user.DOSATTRIB", nullptr, 0);
    if (size <= 0) return false;
    QByteArray value(size, '\0');
    const ssize_t got = ::getxattr(path.constData(), "user.DOSATTRIB", value.data(), value.size());
    if (got <= 0) return false;
    value.truncate(got);
    const QByteArray text = value.left(value.indexOf('\0') < 0 ? got : value.indexOf('\0'));
    if (!text.startsWith("0x") && !text.startsWith("0X")) return false;
    bool isHex = false;
    const uint attributes = text.mid(2).toUInt(&isHex, 16);
    constexpr uint kHidden = 0x02, kSystem = 0x04;
    return isHex && (attributes & (kHidden | kSystem)) != 0;
}

void changeFolder(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    if (!isFolder(host)) vb::raise(vb::err::PathNotFound);
    if (::chdir(hostBytes(host).constData()) != 0)
        raiseSystemError(errno, host, vb::err::PathNotFound, vb::err::PathNotFound);
}

void copyFile(const QString& from, const QString& to) {
    const auto [source, target] = checkedCopy(from, to);
    checkpoint("copy");
    copyReplacing(source, target);
}

void linkOrCopyFile(const QString& from, const QString& to) {
    const auto [source, target] = checkedCopy(from, to);
    checkpoint("copy");
    if (!linkReplacing(source, target)) copyReplacing(source, target);
}

void writeFileReplacing(const QString& windowsPath, const QByteArray& bytes) {
    const QString target = toHost(windowsPath);
    QByteArray temporary = hostBytes(join(parentOf(target), ownName("copy-XXXXXX")));
    Descriptor output(::mkstemp(temporary.data()));
    if (output.fd < 0)
        raiseSystemError(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    const auto failWith = [&](int error) {
        ::unlink(temporary.constData());
        raiseSystemError(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    };
    if (const int error = writeAll(output.fd, bytes.constData(), bytes.size())) failWith(error);
    if (::fdatasync(output.fd) != 0) failWith(errno);
    const int closed = ::close(output.fd);
    output.fd = -1;
    if (closed != 0) failWith(errno);
    if (::rename(temporary.constData(), hostBytes(target).constData()) != 0) failWith(errno);
}

void syncFileSystem(const QString& hostPath) {
    Descriptor handle(::open(hostBytes(hostPath).constData(), O_RDONLY | O_CLOEXEC));
    if (handle.fd < 0)
        handle.fd = ::open(hostBytes(parentOf(hostPath)).constData(), O_RDONLY | O_CLOEXEC);
    if (handle.fd < 0)
        raiseSystemError(errno, hostPath, vb::err::PathFileAccess, vb::err::PathNotFound);
#ifdef __linux__
    if (::syncfs(handle.fd) == 0) return;
#else
    ::sync();
#endif
    if (::fsync(handle.fd) != 0) raiseSystemError(errno, hostPath);
}

void reportOversizedWrites() {
    std::signal(SIGXFSZ, SIG_IGN);
}

std::int32_t errorNumberOf(int error, std::int32_t fallback) {
    switch (error) {
    case ENOENT:
        return vb::err::FileNotFound;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return vb::err::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return vb::err::PermissionDenied;
    case ENOTDIR:
        return vb::err::PathNotFound;
    case ENAMETOOLONG:
        return vb::err::PathFileAccess;
    case EIO:
        return vb::err::DeviceIo;
#ifdef ENOMEDIUM
    case ENOMEDIUM:
        return vb::err::DiskNotReady;
#endif
    case ENXIO:
    case ENODEV:
        return vb::err::DeviceUnavailable;
    default:
        return fallback;
    }
}

detail::ErrorKind detail::kindOf(int error) {
    ErrorKind kind;
    kind.lostConnection = isConnectionError(error);
    kind.io = error == EIO;
    kind.missing = error == ENOENT;
    if (error == ENAMETOOLONG) kind.cause = ErrorKind::Cause::NameTooLong;
    if (error == EROFS) kind.cause = ErrorKind::Cause::ReadOnlyFileSystem;
    return kind;
}

} // namespace fs
