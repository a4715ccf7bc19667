// Windows path texts resolved over the host file system, and the file operations the
// program uses.
#include "platform/fs/fs.h"
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs {
namespace {

using detail::join;
using detail::statOf;

std::atomic<int> checkpointSteps{0};
FaultHook faultHook;

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

// raiseSystemError with the path; `whenMissing` says what a missing entry means for this
// operation (a missing file, or a missing folder on the way).
[[noreturn]] void raiseErrno(int error, const QString& hostPath, std::int32_t fallback,
                             std::int32_t whenMissing) {
    raiseSystemError(error, hostPath, fallback, whenMissing);
}

bool isFolder(const QString& hostPath) {
    const auto info = statOf(hostPath, true);
    return info && S_ISDIR(info->st_mode);
}

QString parentOf(const QString& hostPath) {
    const qsizetype slash = hostPath.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : hostPath.left(slash);
}

QString nameOf(const QString& hostPath) {
    return hostPath.mid(hostPath.lastIndexOf(u'/') + 1);
}

bool isSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}

bool hasDrive(const QString& path) {
    if (path.size() < 2 || path[1] != u':') return false;
    const char16_t c = path[0].toUpper().unicode();
    return c >= u'A' && c <= u'Z';
}

struct WindowsPath {
    QChar letter;           // the drive, or none for a server share
    QString server, share;  // the share of a path "\\server\share\..."
    QStringList components; // no empty, "." or ".." components left
};

// The drive ("C:") or the share ("\\server\share") of a full path.
QString volumeOf(const QString& path) {
    if (hasDrive(path)) return path.left(2);
    const QStringList parts = QString(path).replace(u'/', u'\\').split(u'\\', Qt::SkipEmptyParts);
    return parts.size() < 2 ? QString() : QStringLiteral("\\\\%1\\%2").arg(parts[0], parts[1]);
}

WindowsPath parse(const QString& path) {
    const bool isShare = path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
    QString full = path;
    if (!hasDrive(path) && !isShare) {
        const QString current = currentFolder();
        full = !path.isEmpty() && isSeparator(path[0]) ? volumeOf(current) + path
                                                       : current + u'\\' + path;
    }
    WindowsPath parsed;
    QString rest = full;
    rest.replace(u'/', u'\\');
    if (hasDrive(full)) {
        parsed.letter = full[0].toUpper();
        rest = rest.mid(2);
    }
    QStringList components = rest.split(u'\\', Qt::SkipEmptyParts);
    if (parsed.letter.isNull()) {
        // "\\server\share" is the root of the share's path; no share, no path.
        if (components.size() < 2) vb::raise(vb::err::PathNotFound);
        parsed.server = components.takeFirst();
        parsed.share = components.takeFirst();
    }
    for (const QString& component : components) {
        if (component == u"..") {
            if (!parsed.components.isEmpty()) parsed.components.removeLast();
        } else if (component != u".") {
            parsed.components.append(component);
        }
    }
    return parsed;
}

// The entry of `folder` called `name`: as written when that exists, else the first in
// ordinal order of those that differ only in case; empty when there is none.
QString findEntry(const QString& folder, const QString& name) {
    if (statOf(join(folder, name), false)) return name;
    DIR* dir = ::opendir(hostBytes(folder).constData());
    if (!dir) return {};
    QStringList matches;
    while (const dirent* entry = ::readdir(dir)) {
        const QString candidate = QFile::decodeName(entry->d_name);
        if (candidate.compare(name, Qt::CaseInsensitive) == 0) matches.append(candidate);
    }
    ::closedir(dir);
    if (matches.isEmpty()) return {};
    return *std::min_element(matches.begin(), matches.end());
}

} // namespace

Descriptor::~Descriptor() {
    if (fd >= 0) ::close(fd);
}

QByteArray hostBytes(const QString& hostPath) {
    return QFile::encodeName(hostPath);
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

namespace {

std::optional<QString> tryHost(const QString& windowsPath) {
    try {
        return toHost(windowsPath);
    } catch (const vb::VbError&) {
        return std::nullopt;
    }
}

bool isNormalFile(const QString& hostPath) {
    const auto info = statOf(hostPath, true);
    return info && S_ISREG(info->st_mode) && !isHiddenOrSystem(hostPath);
}

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; the five unassigned bytes keep their
// own code, as the Windows conversion does.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = byte >= 0x80 && byte <= 0x9F ? QChar(kWindows1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

// Writes a copy of `source` next to `target` under a hidden temporary name and renames it
// over `target`: a link at `target` is replaced rather than followed, and an interrupted copy
// never leaves a half-written file under the real name.
void copyReplacing(const QString& source, const QString& target) {
    Descriptor input(::open(hostBytes(source).constData(), O_RDONLY | O_CLOEXEC));
    if (input.fd < 0) raiseErrno(errno, source, vb::err::PathFileAccess, vb::err::FileNotFound);
    struct stat sourceInfo;
    if (::fstat(input.fd, &sourceInfo) != 0)
        raiseErrno(errno, source, vb::err::PathFileAccess, vb::err::FileNotFound);

    QByteArray temporary = hostBytes(join(parentOf(target), ownName("copy-XXXXXX")));
    Descriptor output(::mkstemp(temporary.data()));
    if (output.fd < 0) raiseErrno(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    const auto failWith = [&](int error, const QString& path) {
        ::unlink(temporary.constData());
        raiseErrno(error, path, vb::err::PathFileAccess, vb::err::PathNotFound);
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
            raiseErrno(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
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
        raiseErrno(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
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

std::optional<struct stat> detail::statOf(const QString& hostPath, bool followLinks) {
    struct stat info;
    const QByteArray path = hostBytes(hostPath);
    const int result =
        followLinks ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info);
    if (result != 0) return std::nullopt;
    return info;
}

QString toHost(const QString& windowsPath) {
    const WindowsPath parsed = parse(windowsPath);
    QString host;
    if (parsed.letter.isNull()) {
        const auto root = detail::findShare(parsed.server, parsed.share);
        if (!root) vb::raise(vb::err::PathNotFound);
        host = *root;
    } else {
        const auto drive = detail::findDrive(parsed.letter);
        if (!drive) vb::raise(vb::err::PathNotFound);
        host = drive->hostRoot;
    }
    if (!isFolder(host)) vb::raise(vb::err::DeviceUnavailable);
    bool resolving = true; // once a component is missing, the rest is taken as written
    for (const QString& component : parsed.components) {
        const QString found = resolving ? findEntry(host, component) : QString();
        resolving = !found.isEmpty();
        host = join(host, resolving ? found : component);
    }
    return host;
}

QString toWindows(const QString& hostPath) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(hostPath));
    const auto inside = [&](const QString& root) {
        return root == u"/" || path == root || path.startsWith(root + u'/');
    };
    QString bestRoot, bestName; // the longest matching root wins; drives come first
    for (const Drive& drive : drives())
        if (inside(drive.hostRoot) &&
            (bestName.isEmpty() || drive.hostRoot.size() > bestRoot.size())) {
            bestRoot = drive.hostRoot;
            bestName = QString(drive.letter) + u':';
        }
    for (const detail::Share& share : detail::shares())
        if (inside(share.hostRoot) &&
            (bestName.isEmpty() || share.hostRoot.size() > bestRoot.size())) {
            bestRoot = share.hostRoot;
            bestName = share.name;
        }
    if (bestName.isEmpty()) vb::raise(vb::err::PathNotFound);
    QString rest = path.mid(bestRoot.size());
    if (rest.startsWith(u'/')) rest.remove(0, 1);
    // A drive's root is "C:\\"; a share's root is the share itself.
    if (rest.isEmpty() && bestName.startsWith(u'\\')) return bestName;
    return bestName + u'\\' + rest.replace(u'/', u'\\');
}

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

bool normalFileExists(const QString& windowsPath) {
    const auto host = tryHost(windowsPath);
    return host && isNormalFile(*host);
}

bool entryExists(const QString& windowsPath) {
    const auto host = tryHost(windowsPath);
    return host && (isNormalFile(*host) || (isFolder(*host) && !isHiddenOrSystem(*host)));
}

bool folderExists(const QString& windowsPath) {
    const auto host = tryHost(windowsPath);
    return host && isFolder(*host);
}

void makeFolder(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    if (statOf(host, false)) vb::raise(vb::err::PathFileAccess);
    if (!isFolder(parentOf(host))) vb::raise(vb::err::PathNotFound);
    checkpoint("folder");
    if (::mkdir(hostBytes(host).constData(), 0777) != 0)
        raiseErrno(errno, host, vb::err::PathFileAccess, vb::err::PathNotFound);
}

void changeFolder(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    if (!isFolder(host)) vb::raise(vb::err::PathNotFound);
    if (::chdir(hostBytes(host).constData()) != 0)
        raiseErrno(errno, host, vb::err::PathNotFound, vb::err::PathNotFound);
}

QString currentFolder() {
    return toWindows(QDir::currentPath());
}

QString readRecord(const QString& windowsPath, int length) {
    if (length < 1) vb::raise(vb::err::InvalidCall);
    const QString host = toHost(windowsPath);
    Descriptor file(::open(hostBytes(host).constData(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) raiseErrno(errno, host, vb::err::PathFileAccess, vb::err::FileNotFound);
    struct stat info;
    if (::fstat(file.fd, &info) != 0 || S_ISDIR(info.st_mode)) vb::raise(vb::err::PathFileAccess);

    QByteArray record(length, ' '); // a short file reads as its bytes followed by blanks
    for (qsizetype filled = 0; filled < length;) {
        const ssize_t got = ::read(file.fd, record.data() + filled, length - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) raiseSystemError(errno, host);
        if (got == 0) break;
        filled += got;
    }
    return decodeWindows1252(record);
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

void moveFile(const QString& from, const QString& to) {
    const QString source = toHost(from);
    const auto info = statOf(source, false);
    if (!info || S_ISDIR(info->st_mode)) vb::raise(vb::err::FileNotFound);
    const QString target = toHost(to);
    checkpoint("move");
    if (::rename(hostBytes(source).constData(), hostBytes(target).constData()) != 0)
        raiseErrno(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
}

void writeFileReplacing(const QString& windowsPath, const QByteArray& bytes) {
    const QString target = toHost(windowsPath);
    QByteArray temporary = hostBytes(join(parentOf(target), ownName("copy-XXXXXX")));
    Descriptor output(::mkstemp(temporary.data()));
    if (output.fd < 0) raiseErrno(errno, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    const auto failWith = [&](int error) {
        ::unlink(temporary.constData());
        raiseErrno(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    };
    if (const int error = writeAll(output.fd, bytes.constData(), bytes.size())) failWith(error);
    if (::fdatasync(output.fd) != 0) failWith(errno);
    const int closed = ::close(output.fd);
    output.fd = -1;
    if (closed != 0) failWith(errno);
    if (::rename(temporary.constData(), hostBytes(target).constData()) != 0) failWith(errno);
}

bool anyFileExists(const QString& windowsPath) {
    const auto host = tryHost(windowsPath);
    if (!host) return false;
    const auto info = statOf(*host, false);
    return info && !S_ISDIR(info->st_mode);
}

void deleteFile(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    const auto info = statOf(host, false);
    if (!info || S_ISDIR(info->st_mode)) vb::raise(vb::err::FileNotFound);
    checkpoint("delete");
    if (::unlink(hostBytes(host).constData()) != 0)
        raiseErrno(errno, host, vb::err::PathFileAccess, vb::err::FileNotFound);
}

std::int64_t fileSize(const QString& windowsPath) {
    const auto info = statOf(toHost(windowsPath), true);
    if (!info || S_ISDIR(info->st_mode)) vb::raise(vb::err::FileNotFound);
    return info->st_size;
}

void syncFileSystem(const QString& hostPath) {
    Descriptor handle(::open(hostBytes(hostPath).constData(), O_RDONLY | O_CLOEXEC));
    if (handle.fd < 0)
        handle.fd = ::open(hostBytes(parentOf(hostPath)).constData(), O_RDONLY | O_CLOEXEC);
    if (handle.fd < 0) raiseErrno(errno, hostPath, vb::err::PathFileAccess, vb::err::PathNotFound);
#ifdef __linux__
    if (::syncfs(handle.fd) == 0) return;
#else
    ::sync();
#endif
    if (::fsync(handle.fd) != 0) raiseSystemError(errno, hostPath);
}

void checkpoint(const char* what) {
    const int step = ++checkpointSteps;
    if (faultHook) faultHook(step, what);
}

void setFaultHook(FaultHook hook) {
    faultHook = std::move(hook);
}
int checkpointCount() {
    return checkpointSteps;
}
void resetCheckpoints() {
    checkpointSteps = 0;
}

void reportOversizedWrites() {
    std::signal(SIGXFSZ, SIG_IGN);
}

std::int32_t errorFromErrno(int error, std::int32_t fallback) {
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

QString shownPath(const QString& hostPath) {
    try {
        return toWindows(hostPath);
    } catch (const vb::VbError&) {
        return hostPath;
    }
}

void raiseSystemError(int error, const QString& hostPath, std::int32_t fallback,
                      std::int32_t whenMissing) {
    const QString where = shownPath(hostPath);
    if (isConnectionError(error) || error == EIO) {
        // An I/O error is the server's only on a network volume; a disk's own is told as such.
        const QString server = networkVolumeOf(hostPath);
        if (isConnectionError(error) || !server.isEmpty())
            vb::raise(vb::err::DeviceIo, serverNotAnswering(server, where));
    }
    const std::int32_t number = error == ENOENT ? whenMissing : errorFromErrno(error, fallback);
    QString what = vb::describe(number);
    if (error == ENAMETOOLONG)
        what = QStringLiteral("Nome troppo lungo per il file system");
    else if (error == EROFS)
        what += QStringLiteral(" (file system di sola lettura)");
    vb::raise(number, what + QStringLiteral(": ") + where);
}

} // namespace fs
