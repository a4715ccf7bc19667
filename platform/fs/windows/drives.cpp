// The drive table from the system's own drives, server shares by their names, the drive
// probe and the program's folder, over the wide Windows calls.
#include "platform/fs/windows/windows.h"
#include "platform/vb/error.h"

#include <QDir>
#include <QHash>

#include <winnetwk.h>

namespace fs {
namespace {

using windows::wide;

// No "insert a disk" box for a drive without a medium: the call fails instead.
struct QuietErrors {
    DWORD previous = 0;
    QuietErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous); }
    ~QuietErrors() { ::SetThreadErrorMode(previous, nullptr); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
};

// "\\server\share" of a drive mapped to a share; empty for any other drive.
QString shareOfDrive(QChar letter) {
    const wchar_t local[] = {wchar_t(letter.unicode()), L':', 0};
    wchar_t remote[1024];
    DWORD size = DWORD(std::size(remote));
    if (::WNetGetConnectionW(local, remote, &size) != NO_ERROR) return {};
    return QString::fromWCharArray(remote);
}

// The volume label of a drive root; empty when it has none or does not answer in time.
QString volumeLabel(const QString& root) {
    const auto label = detail::withinProbeLimit<QString>([root] {
        QuietErrors quiet;
        wchar_t name[MAX_PATH + 1];
        const std::wstring path = QDir::toNativeSeparators(root).toStdWString();
        if (!::GetVolumeInformationW(path.c_str(), name, DWORD(std::size(name)), nullptr, nullptr,
                                     nullptr, nullptr, 0))
            return QString();
        return QString::fromWCharArray(name);
    });
    return label.value_or(QString());
}

// The labels of the drive roots, read once per root: reading them may wait for a medium or a
// server, which the drive list must not do each time it is filled.
QString cachedLabel(const QString& root) {
    QHash<QString, QString>& labels = detail::volumeLabels();
    const auto known = labels.constFind(root);
    if (known != labels.constEnd()) return *known;
    return labels[root] = volumeLabel(root);
}

// 0 when the root can be listed, else the system's error.
SystemError readError(const QString& root) {
    QuietErrors quiet;
    SystemError error = 0;
    if (listFolder(root, &error)) return 0;
    return error ? error : SystemError(ERROR_NOT_READY);
}

} // namespace

QString winePrefix() {
    return {}; // Windows itself: no compatibility layer's prefix around the program
}

std::vector<Drive> hostDrives() {
    std::vector<Drive> table;
    const DWORD letters = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(letters & (1u << i))) continue;
        const QChar letter(u'A' + i);
        const QString root = QString(letter) + QStringLiteral(":/");
        const wchar_t path[] = {wchar_t(u'A' + i), L':', L'\\', 0};
        const UINT type = ::GetDriveTypeW(path);
        Drive drive{letter, root, QString()};
        if (type == DRIVE_REMOTE) {
            drive.server = shareOfDrive(letter);
            drive.label = drive.server;
        } else if (type == DRIVE_FIXED || type == DRIVE_RAMDISK) {
            drive.label = cachedLabel(root);
        }
        table.push_back(drive);
    }
    return table;
}

std::optional<QString> detail::findShare(const QString& server, const QString& share) {
    return QStringLiteral("//%1/%2").arg(server, share); // the system reaches shares by name
}

std::vector<detail::Share> detail::shares() {
    return {}; // toWindows shows "//server/share/..." by its own name
}

QString networkVolumeOf(const QString& hostPath) {
    const QString path = QDir::fromNativeSeparators(hostPath);
    // A drive of the table known to be a share (the innermost one) answers first.
    QString bestRoot, bestName;
    for (const Drive& drive : drives())
        if (!drive.server.isEmpty() && detail::isInside(path, drive.hostRoot) &&
            drive.hostRoot.size() > bestRoot.size()) {
            bestRoot = drive.hostRoot;
            bestName = drive.server;
        }
    if (!bestName.isEmpty()) return bestName;
    if (path.startsWith(QStringLiteral("//"))) {
        const QStringList parts = path.mid(2).split(u'/');
        if (parts.size() >= 2) return QStringLiteral("\\\\%1\\%2").arg(parts[0], parts[1]);
        return {};
    }
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (absolute.size() < 2 || absolute[1] != u':') return {};
    const wchar_t root[] = {wchar_t(absolute[0].unicode()), L':', L'\\', 0};
    if (::GetDriveTypeW(root) != DRIVE_REMOTE) return {};
    const QString share = shareOfDrive(absolute[0]);
    return share.isEmpty() ? QString(absolute[0].toUpper()) + u':' : share;
}

bool detail::rootAnswers(const QString& hostRoot) {
    const auto error = withinProbeLimit<SystemError>([hostRoot] { return readError(hostRoot); });
    return error && *error == 0;
}

void detail::probeHostDrive(const Drive& drive) {
    const auto error =
        withinProbeLimit<SystemError>([root = drive.hostRoot] { return readError(root); });
    if (!error) vb::raise(vb::err::DiskNotReady);
    if (*error == 0) return;
    if (*error == ERROR_PATH_NOT_FOUND || *error == ERROR_INVALID_DRIVE ||
        *error == ERROR_BAD_UNIT || *error == ERROR_DIRECTORY)
        vb::raise(vb::err::DeviceUnavailable);
    vb::raise(vb::err::DiskNotReady);
}

QString startedFromHostFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (size == 0) return QDir::currentPath();
        if (size < path.size()) {
            path.resize(size);
            break;
        }
        path.resize(path.size() * 2);
    }
    QString file = QDir::fromNativeSeparators(QString::fromStdWString(path));
    if (file.startsWith(QStringLiteral("//?/UNC/")))
        file = u'/' + file.mid(7);
    else if (file.startsWith(QStringLiteral("//?/")))
        file = file.mid(4);
    return detail::parentOf(QDir::cleanPath(file));
}

} // namespace fs
