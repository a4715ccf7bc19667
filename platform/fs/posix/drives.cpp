// The drive table (the Wine prefix's, else the host's mounts), server shares and the drive
// probe.
#include "platform/fs/posix/posix.h"
#include "platform/vb/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace fs {
namespace {

struct Mount {
    QString mountPoint;
    QString fsType;
    QString source;
};

// Mount tables write blanks and backslashes in names as octal escapes ("\040").
QString unescapeOctal(const std::string& text) {
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && isOctal(text[i + 1]) &&
            isOctal(text[i + 2]) && isOctal(text[i + 3])) {
            plain += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                       (text[i + 3] - '0'));
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return QFile::decodeName(QByteArray::fromStdString(plain));
}

// The mounts in the order they were mounted, as the kernel lists them; a later mount on the
// same folder hides an earlier one.
std::vector<Mount> readMounts() {
    std::vector<Mount> mounts;
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;)
            words.push_back(word);
        // id parent dev root mount-point options [optional...] - type source super-options
        const auto dash = std::find(words.begin(), words.end(), "-");
        if (words.size() < 5 || dash == words.end() || words.end() - dash < 3) continue;
        Mount mount{unescapeOctal(words[4]), QString::fromStdString(*(dash + 1)),
                    unescapeOctal(*(dash + 2))};
        std::erase_if(mounts, [&](const Mount& m) { return m.mountPoint == mount.mountPoint; });
        mounts.push_back(mount);
    }
    return mounts;
}

bool isNetworkType(const QString& type) {
    static const QStringList kNetworkTypes = {"nfs",   "nfs4",        "cifs",        "smb3",
                                              "smbfs", "sshfs",       "fuse.sshfs",  "ncpfs",
                                              "afs",   "fuse.rclone", "fuse.davfs2", "davfs"};
    return kNetworkTypes.contains(type);
}

// The kernel's removable flag for a block device, found on the disk when the device is a
// partition of it.
bool hasRemovableFlag(const QString& device) {
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty()) return false;
    const QString sysfs = QFileInfo("/sys/class/block/" + name).canonicalFilePath();
    if (sysfs.isEmpty()) return false;
    for (const QString& flag : {sysfs + "/removable", sysfs + "/../removable"}) {
        QFile file(flag);
        if (file.open(QIODevice::ReadOnly)) return file.readAll().trimmed() == "1";
    }
    return false;
}

bool isRemovable(const Mount& mount) {
    if (!mount.source.startsWith("/dev/")) return false; // tmpfs and the like are no volumes
    for (const char* folder : {"/media/", "/run/media/", "/mnt/"})
        if (mount.mountPoint.startsWith(QLatin1String(folder))) return true;
    return hasRemovableFlag(mount.source);
}

// udev names its label links with "\x20"-style escapes.
QString unescapeHex(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    QByteArray plain;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bool isHex = false;
        const int value = bytes.mid(i + 2, 2).toInt(&isHex, 16);
        if (bytes.mid(i, 2) == "\\x" && i + 3 < bytes.size() && isHex) {
            plain += static_cast<char>(value);
            i += 3;
        } else {
            plain += bytes[i];
        }
    }
    return QFile::decodeName(plain);
}

// The volume label when udev published one for the device, else the mount folder.
QString labelOf(const Mount& mount) {
    const QString device = QFileInfo(mount.source).canonicalFilePath();
    QDir labels("/dev/disk/by-label");
    for (const QFileInfo& link : labels.entryInfoList(QDir::System | QDir::Files)) {
        if (!device.isEmpty() && link.canonicalFilePath() == device)
            return unescapeHex(link.fileName());
    }
    return mount.mountPoint;
}

bool isMountPoint(const QString& folder) {
    const auto mounts = readMounts();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const Mount& m) { return m.mountPoint == folder; });
}

bool isShareType(const QString& type) {
    return type == u"cifs" || type == u"smb3" || type == u"smbfs";
}

// The names in a folder, "." and ".." left out; none when it cannot be read.
QStringList entryNames(const QString& folder) {
    QStringList names;
    for (const FolderEntry& entry : listFolder(folder).value_or(FolderEntries()))
        names << entry.name;
    return names;
}

// The host folder an entry of dosdevices stands for: a link's target, a relative one taken
// from the link's own folder, or the entry itself when it is no link. Only the link is read,
// never its target, so a dead share cannot hold this up.
QString entryRoot(const QString& folder, const QString& name) {
    const QString entry = detail::join(folder, name);
    std::array<char, 4096> target;
    const ssize_t size = ::readlink(hostBytes(entry).constData(), target.data(), target.size());
    if (size <= 0 || size == ssize_t(target.size())) return entry;
    const QString text = QFile::decodeName(QByteArray(target.data(), size));
    return QDir::cleanPath(QDir(folder).absoluteFilePath(text));
}

// A Wine prefix: a folder whose dosdevices folder can be read.
bool isPrefix(const QString& folder) {
    return listFolder(detail::join(folder, "dosdevices")).has_value();
}

// The path the program was started by (its first argument), or empty.
QString startedAs() {
    if (QCoreApplication::instance()) {
        const QStringList arguments = QCoreApplication::arguments();
        return arguments.isEmpty() ? QString() : arguments.first();
    }
    std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    return QFile::decodeName(first.c_str());
}

// The folder the program was started from. Started through a link placed in an
// installation folder, the program belongs to the folder of the link, not to the one that
// holds the program file (which /proc/self/exe names). The path it was started by counts only
// when it leads to this very program; a relative one is read against the folder the process
// started in, so the answer is taken once, before start-up changes the current folder.
} // namespace

QString startedFromHostFolder() {
    const QString file = QFile::decodeName(std::filesystem::read_symlink("/proc/self/exe").c_str());
    const QString invoked = startedAs();
    if (invoked.contains(u'/')) {
        const QFileInfo link(QDir::current().absoluteFilePath(invoked));
        if (link.canonicalFilePath() == QFileInfo(file).canonicalFilePath())
            return QDir::cleanPath(link.absolutePath());
    }
    return QFileInfo(file).absolutePath();
}

namespace {

// The label Wine keeps in a drive root, first line only; empty when there is none.
QString readWindowsLabel(const QString& root) {
    // Not blocking: a named pipe in its place must not hold the drive list up.
    posix::Descriptor file(::open(hostBytes(detail::join(root, ".windows-label")).constData(),
                                  O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::array<char, 256> text;
    const ssize_t size = ::read(file.fd, text.data(), text.size());
    if (size <= 0) return {};
    return QString::fromUtf8(text.data(), size).section(u'\n', 0, 0).trimmed();
}

// The .windows-label of each drive root, read once per root: a root that does not answer
// within the probe limit counts as having none.
const QHash<QString, QString>& windowsLabels(const std::vector<Drive>& table) {
    QHash<QString, QString>& labels = detail::volumeLabels();
    QStringList unread;
    for (const Drive& drive : table)
        if (!labels.contains(drive.hostRoot)) unread << drive.hostRoot;
    if (unread.isEmpty()) return labels;
    const auto read = detail::withinProbeLimit<QStringList>([unread] {
        QStringList found;
        for (const QString& root : unread)
            found << readWindowsLabel(root);
        return found;
    });
    for (qsizetype i = 0; i < unread.size(); ++i)
        labels.insert(unread[i], read ? read->at(i) : QString());
    return labels;
}

// The prefix's drives: each dosdevices/<letter>: entry, in either case ("c::" and the like
// are devices, not drives). Labels come from .windows-label, else the volume's own label,
// else the drive's folder.
std::vector<Drive> prefixDrives(const QString& prefix, const std::vector<Mount>& mounts) {
    const QString devices = detail::join(prefix, "dosdevices");
    std::map<char16_t, QString> names; // by letter; Wine's own lower-case spelling wins
    for (const QString& name : entryNames(devices)) {
        if (name.size() != 2 || name[1] != u':') continue;
        const char16_t letter = name[0].toUpper().unicode();
        if (letter < u'A' || letter > u'Z') continue;
        const auto [it, added] = names.emplace(letter, name);
        if (!added && name[0].isLower()) it->second = name;
    }
    std::vector<Drive> table;
    for (const auto& [letter, name] : names)
        table.push_back({QChar(letter), entryRoot(devices, name), QString()});
    const QHash<QString, QString>& labels = windowsLabels(table);
    for (Drive& drive : table) {
        drive.label = labels.value(drive.hostRoot);
        for (const Mount& mount : mounts)
            if (drive.label.isEmpty() && mount.mountPoint == drive.hostRoot)
                drive.label = labelOf(mount);
        if (drive.label.isEmpty()) drive.label = drive.hostRoot;
    }
    return table;
}

// Without a prefix: Z: for "/" and a letter for each network or removable volume.
std::vector<Drive> mountedDrives(const std::vector<Mount>& mounts) {
    std::vector<const Mount*> volumes;
    QStringList folders;
    for (const Mount& mount : mounts)
        if (mount.mountPoint != "/" && (isNetworkType(mount.fsType) || isRemovable(mount))) {
            volumes.push_back(&mount);
            folders << mount.mountPoint;
        }
    const std::vector<QChar> letters = detail::volumeLetters(folders);
    std::vector<Drive> table{{u'Z', "/", "/"}};
    for (std::size_t i = 0; i < volumes.size(); ++i)
        if (!letters[i].isNull())
            table.push_back({letters[i], volumes[i]->mountPoint, labelOf(*volumes[i])});
    return table;
}

// errno of reading the folder's file system and its first entry, 0 when both work.
int readError(const QByteArray& folder) {
    struct statvfs volume;
    if (::statvfs(folder.constData(), &volume) != 0) return errno;
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return errno;
    errno = 0;
    ::readdir(dir);
    const int error = errno;
    ::closedir(dir);
    return error;
}

} // namespace

QString winePrefix() {
    for (QString folder = detail::programHostFolder();;) {
        if (isPrefix(folder)) return folder;
        if (folder == u"/" || folder.isEmpty()) break;
        const qsizetype slash = folder.lastIndexOf(u'/');
        folder = slash <= 0 ? QStringLiteral("/") : folder.left(slash);
    }
    // Wine's own convention, for an updater kept outside its prefix.
    const QString named = qEnvironmentVariable("WINEPREFIX");
    if (QDir::isAbsolutePath(named) && isPrefix(named)) return QDir::cleanPath(named);
    return {};
}

std::vector<Drive> hostDrives() {
    const std::vector<Mount> mounts = readMounts();
    const QString prefix = winePrefix();
    std::vector<Drive> table =
        prefix.isEmpty() ? std::vector<Drive>() : prefixDrives(prefix, mounts);
    if (table.empty()) table = mountedDrives(mounts); // a prefix without drives is of no use
    std::sort(table.begin(), table.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return table;
}

std::vector<QChar> detail::volumeLetters(const QStringList& mountFolders) {
    constexpr int kLetters = 'Y' - 'D' + 1;
    std::array<bool, kLetters> taken{};
    std::vector<QChar> letters;
    for (const QString& folder : mountFolders) {
        const QString name = folder.section(u'/', -1);
        const char16_t first = name.isEmpty() ? 0 : name[0].toUpper().unicode();
        const int preferred = first >= u'D' && first <= u'Y' ? first - u'D' : 0;
        letters.emplace_back();
        for (int i = 0; i < kLetters; ++i) {
            const int slot = (preferred + i) % kLetters;
            if (taken[slot]) continue;
            taken[slot] = true;
            letters.back() = QChar(u'D' + slot);
            break;
        }
    }
    return letters;
}

std::optional<QString> detail::findShare(const QString& server, const QString& share) {
    if (const QString prefix = winePrefix(); !prefix.isEmpty()) {
        const QString unc = detail::join(prefix, "dosdevices/unc");
        const QString serverName = detail::matchIgnoringCase(entryNames(unc), server);
        const QString serverFolder = detail::join(unc, serverName);
        const QString shareName = serverName.isEmpty()
                                      ? QString()
                                      : detail::matchIgnoringCase(entryNames(serverFolder), share);
        if (!shareName.isEmpty()) return entryRoot(serverFolder, shareName);
    }
    const QString source = QStringLiteral("//%1/%2").arg(server, share);
    const std::vector<Mount> mounts = readMounts();
    for (auto mount = mounts.rbegin(); mount != mounts.rend(); ++mount) // the latest first
        if (isShareType(mount->fsType) &&
            QString(mount->source).replace(u'\\', u'/').compare(source, Qt::CaseInsensitive) == 0)
            return mount->mountPoint;
    return std::nullopt;
}

std::vector<detail::Share> detail::shares() {
    std::vector<Share> found;
    if (const QString prefix = winePrefix(); !prefix.isEmpty()) {
        const QString unc = detail::join(prefix, "dosdevices/unc");
        for (const QString& server : entryNames(unc))
            for (const QString& share : entryNames(detail::join(unc, server)))
                found.push_back({entryRoot(detail::join(unc, server), share),
                                 QStringLiteral("\\\\%1\\%2").arg(server, share)});
    }
    for (const Mount& mount : readMounts()) {
        const QStringList parts = QString(mount.source).replace(u'\\', u'/').split(u'/');
        // "//server/share" splits into "", "", server, share.
        if (isShareType(mount.fsType) && parts.size() == 4 && parts[0].isEmpty() &&
            parts[1].isEmpty() && !parts[2].isEmpty() && !parts[3].isEmpty())
            found.push_back(
                {mount.mountPoint, QStringLiteral("\\\\%1\\%2").arg(parts[2], parts[3])});
    }
    return found;
}

namespace {

// How the user knows a network mount: "\\server\share" for a share, else its source
// ("server:/export", "anna@server:/dati").
QString volumeName(const Mount& mount) {
    const QStringList parts = QString(mount.source).replace(u'\\', u'/').split(u'/');
    if (isShareType(mount.fsType) && parts.size() >= 4 && parts[0].isEmpty() && parts[1].isEmpty())
        return QStringLiteral("\\\\%1\\%2").arg(parts[2], parts[3]);
    return mount.source;
}

} // namespace

QString networkVolumeOf(const QString& hostPath) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(hostPath));
    QString bestRoot, bestName; // the innermost volume wins
    const auto consider = [&](const QString& root, const QString& name) {
        const bool inside = root == u"/" || path == root || path.startsWith(root + u'/');
        if (!name.isEmpty() && inside && (bestName.isEmpty() || root.size() > bestRoot.size())) {
            bestRoot = root;
            bestName = name;
        }
    };
    for (const Drive& drive : drives())
        consider(drive.hostRoot, drive.server);
    for (const detail::Share& share : detail::shares())
        consider(share.hostRoot, share.name);
    for (const Mount& mount : readMounts())
        if (isNetworkType(mount.fsType)) consider(mount.mountPoint, volumeName(mount));
    return bestName;
}

bool detail::rootAnswers(const QString& hostRoot) {
    const auto error =
        detail::withinProbeLimit<int>([host = hostBytes(hostRoot)] { return readError(host); });
    return error && *error == 0;
}

void detail::probeHostDrive(const Drive& drive) {
    // A volume's folder left behind after the volume went away is no drive any more (a
    // prefix's drives are links to any folder, not volumes).
    if (usingHostDrives() && winePrefix().isEmpty() && drive.hostRoot != "/" &&
        !isMountPoint(drive.hostRoot))
        vb::raise(vb::err::DeviceUnavailable);

    const auto error = detail::withinProbeLimit<int>(
        [root = hostBytes(drive.hostRoot)] { return readError(root); });
    if (!error) vb::raise(vb::err::DiskNotReady);
    if (*error == 0) return;
    // A dangling link, a link loop or a link to a file: the drive is not there at all.
    if (*error == ENOENT || *error == ENOTDIR || *error == ELOOP)
        vb::raise(vb::err::DeviceUnavailable);
    vb::raise(vb::err::DiskNotReady);
}

} // namespace fs
