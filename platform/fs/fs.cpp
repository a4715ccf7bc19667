// Windows path texts resolved over the host file system, and the file operations the
// program uses.
#include "platform/fs/fs.h"
#include "platform/fs/environment.h"
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QDir>

#include <algorithm>
#include <array>

namespace fs {
namespace {

using detail::isFolder;
using detail::join;
using detail::parentOf;

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

// The entry of `folder` called `name`: as written when that exists, else the least spelling
// of those that differ only in case; empty when there is none.
QString findEntry(const QString& folder, const QString& name) {
    if (statusOf(join(folder, name), false)) return name;
    QStringList names;
    for (const FolderEntry& entry : listFolder(folder).value_or(FolderEntries()))
        names << entry.name;
    return detail::matchIgnoringCase(names, name);
}

} // namespace

QString detail::matchIgnoringCase(const QStringList& names, const QString& name) {
    if (names.contains(name)) return name;
    QString least;
    for (const QString& candidate : names)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0 &&
            (least.isEmpty() || candidate < least))
            least = candidate;
    return least;
}

bool detail::isFolder(const QString& hostPath) {
    const auto status = statusOf(hostPath, true);
    return status && status->kind == Kind::Folder;
}

QString detail::parentOf(const QString& hostPath) {
    const qsizetype slash = hostPath.lastIndexOf(u'/');
    if (slash <= 0) return QStringLiteral("/");
    // A drive's root keeps its separator: "C:" alone is that drive's current folder.
    if (slash == 2 && hostPath[1] == u':') return hostPath.left(3);
    return hostPath.left(slash);
}

QString detail::nameOf(const QString& hostPath) {
    return hostPath.mid(hostPath.lastIndexOf(u'/') + 1);
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
    const auto status = statusOf(hostPath, true);
    return status && status->kind == Kind::File && !isHiddenOrSystem(hostPath);
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

} // namespace

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
    const auto inside = [&](const QString& root) { return detail::isInside(path, root); };
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
    // A share reached by its own name ("//server/share/..." where the system keeps them so).
    if (bestName.isEmpty() && path.startsWith(QStringLiteral("//"))) {
        const QStringList parts = path.mid(2).split(u'/');
        if (parts.size() >= 2 && !parts[0].isEmpty() && !parts[1].isEmpty()) {
            bestName = QStringLiteral("\\\\%1\\%2").arg(parts[0], parts[1]);
            bestRoot = QStringLiteral("//%1/%2").arg(parts[0], parts[1]);
        }
    }
    if (bestName.isEmpty()) vb::raise(vb::err::PathNotFound);
    QString rest = path.mid(bestRoot.size());
    if (rest.startsWith(u'/')) rest.remove(0, 1);
    // A drive's root is "C:\\"; a share's root is the share itself.
    if (rest.isEmpty() && bestName.startsWith(u'\\')) return bestName;
    return bestName + u'\\' + rest.replace(u'/', u'\\');
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
    if (statusOf(host, false)) vb::raise(vb::err::PathFileAccess);
    if (!isFolder(parentOf(host))) vb::raise(vb::err::PathNotFound);
    checkpoint("folder");
    if (const SystemError error = createFolder(host, 0777))
        raiseSystemError(error, host, vb::err::PathFileAccess, vb::err::PathNotFound);
}

QString currentFolder() {
    return toWindows(QDir::currentPath());
}

QString readRecord(const QString& windowsPath, int length) {
    if (length < 1) vb::raise(vb::err::InvalidCall);
    const QString host = toHost(windowsPath);
    File file = File::openForReading(host, vb::err::PathFileAccess, vb::err::FileNotFound);
    if (file.status().kind == Kind::Folder) vb::raise(vb::err::PathFileAccess);

    QByteArray record(length, ' '); // a short file reads as its bytes followed by blanks
    file.readAt(0, record.data(), std::size_t(length));
    return decodeWindows1252(record);
}

void moveFile(const QString& from, const QString& to) {
    const QString source = toHost(from);
    const auto status = statusOf(source, false);
    if (!status || status->kind == Kind::Folder) vb::raise(vb::err::FileNotFound);
    const QString target = toHost(to);
    checkpoint("move");
    if (const SystemError error = renameReplacing(source, target))
        raiseSystemError(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
}

bool anyFileExists(const QString& windowsPath) {
    const auto host = tryHost(windowsPath);
    if (!host) return false;
    const auto status = statusOf(*host, false);
    return status && status->kind != Kind::Folder;
}

void deleteFile(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    const auto status = statusOf(host, false);
    if (!status || status->kind == Kind::Folder) vb::raise(vb::err::FileNotFound);
    checkpoint("delete");
    if (const SystemError error = removeFile(host))
        raiseSystemError(error, host, vb::err::PathFileAccess, vb::err::FileNotFound);
}

std::int64_t fileSize(const QString& windowsPath) {
    const auto status = statusOf(toHost(windowsPath), true);
    if (!status || status->kind == Kind::Folder) vb::raise(vb::err::FileNotFound);
    return status->size;
}

void checkpoint(const char* what) {
    Environment::State& environment = Environment::current().state();
    const int step = ++environment.checkpointSteps;
    if (environment.fault) environment.fault(step, what);
}

void raiseSystemError(SystemError error, const QString& hostPath, std::int32_t fallback,
                      std::int32_t whenMissing) {
    using Cause = detail::ErrorKind::Cause;
    const QString where = shownPath(hostPath);
    const detail::ErrorKind kind = detail::kindOf(error);
    if (kind.lostConnection || kind.io) {
        // An I/O error is the server's only on a network volume; a disk's own is told as such.
        const QString server = networkVolumeOf(hostPath);
        if (kind.lostConnection || !server.isEmpty())
            vb::raise(vb::err::DeviceIo, serverNotAnswering(server, where));
    }
    const std::int32_t number = kind.missing ? whenMissing : errorNumberOf(error, fallback);
    QString what = vb::describe(number);
    switch (kind.cause) {
    case Cause::Usual:
        break;
    case Cause::NameTooLong:
        what = QStringLiteral("Nome troppo lungo per il file system");
        break;
    case Cause::ReadOnlyFileSystem:
        what += QStringLiteral(" (file system di sola lettura)");
        break;
    case Cause::WriteProtected:
        what += QStringLiteral(" (disco protetto da scrittura)");
        break;
    case Cause::InUse:
        what += QStringLiteral(" (file in uso da un altro programma)");
        break;
    }
    vb::raise(number, what + QStringLiteral(": ") + where);
}

QString shownPath(const QString& hostPath) {
    try {
        return toWindows(hostPath);
    } catch (const vb::VbError&) {
        return hostPath;
    }
}

} // namespace fs
