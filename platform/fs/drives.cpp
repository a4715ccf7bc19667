// The drive table as the program sees it (the host's, or one a test injected), the drive
// probe, the program's own folder and the servers that do not answer: the same on every
// system. What the system itself says (its drives, shares, network volumes, whether a root
// answers) comes from the system's folder.
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QDir>

#include <algorithm>

namespace fs {
namespace {

std::vector<Drive> injectedDrives;
std::vector<Drive> hostTable;
bool hostTableRead = false;
ProbeHook probeHook;
QString programFolderOverride;

bool usingHostTable() {
    return injectedDrives.empty();
}

std::vector<Drive>& currentTable() {
    if (!usingHostTable()) return injectedDrives;
    if (!hostTableRead) {
        hostTable = hostDrives();
        hostTableRead = true;
    }
    return hostTable;
}

// Replaces the cached host table only when it changed, so references to it stay good.
void refreshHostTable() {
    std::vector<Drive> fresh = hostDrives();
    const auto same = [](const Drive& a, const Drive& b) {
        return a.letter == b.letter && a.hostRoot == b.hostRoot && a.label == b.label;
    };
    if (!std::equal(fresh.begin(), fresh.end(), hostTable.begin(), hostTable.end(), same))
        hostTable = std::move(fresh);
    hostTableRead = true;
}

} // namespace

bool detail::usingHostDrives() {
    return usingHostTable();
}

void setDrives(std::vector<Drive> table) {
    for (Drive& drive : table) {
        drive.letter = drive.letter.toUpper();
        drive.hostRoot = QDir::cleanPath(QDir::current().absoluteFilePath(drive.hostRoot));
    }
    injectedDrives = std::move(table);
}

const std::vector<Drive>& drives() {
    if (usingHostTable()) refreshHostTable();
    return currentTable();
}

std::optional<Drive> detail::findDrive(QChar letter) {
    const auto lookUp = [&]() -> std::optional<Drive> {
        for (const Drive& drive : currentTable())
            if (drive.letter == letter.toUpper()) return drive;
        return std::nullopt;
    };
    if (auto drive = lookUp()) return drive;
    if (!usingHostTable()) return std::nullopt;
    refreshHostTable();
    return lookUp();
}

void setProbeHook(ProbeHook hook) {
    probeHook = std::move(hook);
}

void probeDrive(QChar letter) {
    if (probeHook) {
        if (const std::int32_t number = probeHook(letter.toUpper())) vb::raise(number);
        return;
    }
    const auto drive = detail::findDrive(letter);
    if (!drive) vb::raise(vb::err::DeviceUnavailable);
    detail::probeHostDrive(*drive);
}

QString unansweringServer(const QString& windowsPath) {
    const QString path = windowsPath.trimmed();
    const bool lettered = path.size() >= 2 && path[1] == u':';
    std::optional<QString> root; // the volume's host folder
    if (lettered) {
        if (const auto drive = detail::findDrive(path[0])) root = drive->hostRoot;
    } else if (path.startsWith(QStringLiteral("\\\\")) || path.startsWith(QStringLiteral("//"))) {
        const QStringList parts =
            QString(path).replace(u'/', u'\\').split(u'\\', Qt::SkipEmptyParts);
        if (parts.size() >= 2) root = detail::findShare(parts[0], parts[1]);
    }
    if (!root) return {};
    const QString server = networkVolumeOf(*root);
    if (server.isEmpty()) return {};
    if (lettered) {
        try {
            probeDrive(path[0]);
            return {};
        } catch (const vb::VbError& e) {
            // A drive that is simply not there is no server's fault.
            return e.number() == vb::err::DeviceUnavailable ? QString() : server;
        }
    }
    return detail::rootAnswers(*root) ? QString() : server;
}

QString serverNotAnswering(const QString& server, const QString& shownPath) {
    return (server.isEmpty() ? QStringLiteral("Il server non risponde")
                             : QStringLiteral("Il server %1 non risponde").arg(server)) +
           QStringLiteral(": ") + shownPath;
}

void setProgramFolderForTests(const QString& hostPath) {
    programFolderOverride = hostPath;
}

QString detail::programHostFolder() {
    if (!programFolderOverride.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(programFolderOverride));
    static const QString folder = startedFromHostFolder();
    return folder;
}

QString programFolder() {
    return toWindows(detail::programHostFolder());
}

} // namespace fs
