// The drive table and the drive probe.
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <sys/statvfs.h>
#include <thread>

namespace fs {
namespace {

struct Mount {
    QString mountPoint;
    QString fsType;
    QString source;
};

std::vector<Drive> injectedDrives;
std::vector<Drive> hostTable;
bool hostTableRead = false;
ProbeHook probeHook;

// A drive that does not answer within this time is not ready.
constexpr auto kProbeLimit = std::chrono::seconds(3);

bool usingHostTable() {
    return injectedDrives.empty();
}

// Mount tables write blanks and backslashes in names as octal escapes ("\040").
QString unescapeOctal(const std::string &text) {
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

// The mounts as the kernel lists them; a later mount on the same folder hides an earlier one.
std::vector<Mount> readMounts() {
    std::map<QString, Mount> byFolder;
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
        byFolder[mount.mountPoint] = mount;
    }
    std::vector<Mount> mounts;
    for (const auto &[folder, mount] : byFolder)
        mounts.push_back(mount);
    return mounts;
}

bool isNetworkType(const QString &type) {
    static const QStringList kNetworkTypes = {"nfs",   "nfs4",        "cifs",        "smb3",
                                              "smbfs", "sshfs",       "fuse.sshfs",  "ncpfs",
                                              "afs",   "fuse.rclone", "fuse.davfs2", "davfs"};
    return kNetworkTypes.contains(type);
}

// The kernel's removable flag for a block device, found on the disk when the device is a
// partition of it.
bool hasRemovableFlag(const QString &device) {
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty()) return false;
    const QString sysfs = QFileInfo("/sys/class/block/" + name).canonicalFilePath();
    if (sysfs.isEmpty()) return false;
    for (const QString &flag : {sysfs + "/removable", sysfs + "/../removable"}) {
        QFile file(flag);
        if (file.open(QIODevice::ReadOnly)) return file.readAll().trimmed() == "1";
    }
    return false;
}

bool isRemovable(const Mount &mount) {
    if (!mount.source.startsWith("/dev/")) return false; // tmpfs and the like are no volumes
    for (const char *folder : {"/media/", "/run/media/", "/mnt/"})
        if (mount.mountPoint.startsWith(QLatin1String(folder))) return true;
    return hasRemovableFlag(mount.source);
}

// udev names its label links with "\x20"-style escapes.
QString unescapeHex(const QString &text) {
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
QString labelOf(const Mount &mount) {
    const QString device = QFileInfo(mount.source).canonicalFilePath();
    QDir labels("/dev/disk/by-label");
    for (const QFileInfo &link : labels.entryInfoList(QDir::System | QDir::Files)) {
        if (!device.isEmpty() && link.canonicalFilePath() == device)
            return unescapeHex(link.fileName());
    }
    return mount.mountPoint;
}

bool isMountPoint(const QString &folder) {
    const auto mounts = readMounts();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const Mount &m) { return m.mountPoint == folder; });
}

std::vector<Drive> &currentTable() {
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
    const auto same = [](const Drive &a, const Drive &b) {
        return a.letter == b.letter && a.hostRoot == b.hostRoot && a.label == b.label;
    };
    if (!std::equal(fresh.begin(), fresh.end(), hostTable.begin(), hostTable.end(), same))
        hostTable = std::move(fresh);
    hostTableRead = true;
}

// errno of reading the folder's file system and its first entry, 0 when both work.
int readError(const QByteArray &folder) {
    struct statvfs volume;
    if (::statvfs(folder.constData(), &volume) != 0) return errno;
    DIR *dir = ::opendir(folder.constData());
    if (!dir) return errno;
    errno = 0;
    ::readdir(dir);
    const int error = errno;
    ::closedir(dir);
    return error;
}

} // namespace

std::vector<Drive> hostDrives() {
    std::vector<Drive> table{{u'Z', "/", "/"}};
    char16_t next = u'D';
    for (const Mount &mount : readMounts()) {
        if (next >= u'Z') break;
        if (mount.mountPoint == "/") continue;
        if (isNetworkType(mount.fsType) || isRemovable(mount))
            table.push_back({QChar(next++), mount.mountPoint, labelOf(mount)});
    }
    return table;
}

void setDrives(std::vector<Drive> table) {
    for (Drive &drive : table) {
        drive.letter = drive.letter.toUpper();
        drive.hostRoot = QDir::cleanPath(QDir::current().absoluteFilePath(drive.hostRoot));
    }
    injectedDrives = std::move(table);
}

const std::vector<Drive> &drives() {
    if (usingHostTable()) refreshHostTable();
    return currentTable();
}

std::optional<Drive> detail::findDrive(QChar letter) {
    const auto lookUp = [&]() -> std::optional<Drive> {
        for (const Drive &drive : currentTable())
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
    // A volume's folder left behind after the volume went away is no drive any more.
    if (usingHostTable() && drive->hostRoot != "/" && !isMountPoint(drive->hostRoot))
        vb::raise(vb::err::DeviceUnavailable);

    // A dead network share or a drive without medium can hang the calls for minutes; the
    // probe thread is left behind in that case and ends when the calls finally return.
    auto outcome = std::make_shared<std::promise<int>>();
    std::future<int> result = outcome->get_future();
    std::thread([outcome, root = detail::encoded(drive->hostRoot)] {
        outcome->set_value(readError(root));
    }).detach();
    if (result.wait_for(kProbeLimit) != std::future_status::ready) vb::raise(vb::err::DiskNotReady);
    const int error = result.get();
    if (error == 0) return;
    if (error == ENOENT || error == ENOTDIR) vb::raise(vb::err::DeviceUnavailable);
    vb::raise(vb::err::DiskNotReady);
}

namespace {
QString &programFolderOverride() {
    static QString folder;
    return folder;
}
} // namespace

void setProgramFolderForTests(const QString &hostPath) { programFolderOverride() = hostPath; }

QString programFolder() {
    if (!programFolderOverride().isEmpty()) return toWindows(programFolderOverride());
    QString folder;
    if (QCoreApplication::instance())
        folder = QCoreApplication::applicationDirPath();
    else
        folder = QFile::decodeName(
            std::filesystem::read_symlink("/proc/self/exe").parent_path().native().c_str());
    return toWindows(folder);
}

} // namespace fs
