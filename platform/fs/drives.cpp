// The drive table as the program sees it (the host's, or one a test injected), the drive
// probe, the program's own folder and the servers that do not answer: the same on every
// system. What the system itself says (its drives, shares, network volumes, whether a root
// answers) comes from the system's folder.
#include "platform/fs/environment.h"
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QDir>

#include <algorithm>

namespace fs {
namespace {

Environment::State& state() {
    return Environment::current().state();
}

bool usingHostTable() {
    return state().injectedDrives.empty();
}

std::vector<Drive>& currentTable() {
    Environment::State& s = state();
    if (!usingHostTable()) return s.injectedDrives;
    if (!s.hostTableRead) {
        s.hostTable = hostDrives();
        s.hostTableRead = true;
    }
    return s.hostTable;
}

// Replaces the cached host table only when it changed, so references to it stay good.
void refreshHostTable() {
    std::vector<Drive> fresh = hostDrives();
    const auto same = [](const Drive& a, const Drive& b) {
        return a.letter == b.letter && a.hostRoot == b.hostRoot && a.label == b.label;
    };
    Environment::State& s = state();
    if (!std::equal(fresh.begin(), fresh.end(), s.hostTable.begin(), s.hostTable.end(), same))
        s.hostTable = std::move(fresh);
    s.hostTableRead = true;
}

} // namespace

bool detail::usingHostDrives() {
    return usingHostTable();
}

QHash<QString, QString>& detail::volumeLabels() {
    return state().volumeLabels;
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

void probeDrive(QChar letter) {
    if (const ProbeHook& probe = state().probe) {
        if (const std::int32_t number = probe(letter.toUpper())) vb::raise(number);
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

QString detail::programHostFolder() {
    if (const QString& chosen = state().programFolder; !chosen.isEmpty()) return chosen;
    static const QString folder = startedFromHostFolder();
    return folder;
}

QString programFolder() {
    return toWindows(detail::programHostFolder());
}

} // namespace fs
