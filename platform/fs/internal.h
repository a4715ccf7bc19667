#pragma once
// Shared by the files of the file-system layer; not for the rest of the program.
#include "platform/fs/fs.h"
#include "platform/fs/host.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace fs::detail {

// The drive for a letter (either case). The host table is read again once when the letter
// is not in it, so a volume mounted since the last look is found.
std::optional<Drive> findDrive(QChar letter);

// True while the drive table is the host's own (no test injected one).
bool usingHostDrives();
// The volume labels read so far, by drive root.
QHash<QString, QString>& volumeLabels();

// A drive that does not answer within this time is not ready.
inline constexpr auto kProbeLimit = std::chrono::seconds(3);

// Runs `work` on a thread of its own and waits for it at most the probe limit; nothing when
// it has not answered by then. A dead network share or a drive without medium can hang the
// calls for minutes: the thread is left behind and ends when they finally return.
template <typename Result> std::optional<Result> withinProbeLimit(std::function<Result()> work) {
    auto outcome = std::make_shared<std::promise<Result>>();
    std::future<Result> result = outcome->get_future();
    std::thread([outcome, work = std::move(work)] { outcome->set_value(work()); }).detach();
    if (result.wait_for(kProbeLimit) != std::future_status::ready) return std::nullopt;
    return result.get();
}

// The system's part of the drive probe: raises 68 when the drive's root is not there, 71
// when it does not answer within the limit or cannot be read.
void probeHostDrive(const Drive& drive);
// True when the root of a volume can be read within the probe limit.
bool rootAnswers(const QString& hostRoot);

// The updater's own folder as a host folder (the environment's when it names one).
QString programHostFolder();

// The letters of lettered volumes without a prefix, by their mount folders in the order they
// were mounted: the letter the folder's name begins with (D to Y, else D), or the next free
// one after it, wrapping from Y to D; a null letter once all are taken. Taken in mount order,
// a volume that appears later never moves the letter of one already there.
std::vector<QChar> volumeLetters(const QStringList& mountFolders);

// The host folder of the server share \\server\share (names compared without regard to
// case): the prefix's dosdevices/unc/<server>/<share>, else a mounted CIFS file system of
// that source; nothing when neither has it.
std::optional<QString> findShare(const QString& server, const QString& share);

// The shares a host path may lie in, for showing it back as a Windows path.
struct Share {
    QString hostRoot;
    QString name; // "\\server\share"
};
std::vector<Share> shares();

inline QString join(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

// Host paths are compared as the host's file system compares names.
#ifdef _WIN32
inline constexpr Qt::CaseSensitivity kHostCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity kHostCase = Qt::CaseSensitive;
#endif
// True when the host path is `root` or lies below it ("/" and "C:/" end in their separator).
inline bool isInside(const QString& path, const QString& root) {
    if (root.endsWith(u'/')) return path.startsWith(root, kHostCase);
    return path.compare(root, kHostCase) == 0 || path.startsWith(root + u'/', kHostCase);
}

// What the one error policy (raiseSystemError) needs to know of a system's error code.
struct ErrorKind {
    bool lostConnection = false; // a time-out or a lost connection: always a server's fault
    bool io = false;             // an I/O error: a server's fault on a network volume
    bool missing = false;        // the entry is not there
    enum class Cause { Usual, NameTooLong, ReadOnlyFileSystem, WriteProtected, InUse };
    Cause cause = Cause::Usual; // said beside (or instead of) the number's own text
};
ErrorKind kindOf(SystemError error);

bool isFolder(const QString& hostPath); // links followed
QString parentOf(const QString& hostPath);
QString nameOf(const QString& hostPath);

// The one match of a name in a folder's names: as written when it is there, else the least
// spelling in ordinal order of those that differ from it only in case (so the choice never
// depends on the order a folder lists them in); empty when there is none. FolderTree keeps
// the same rule in its own index.
QString matchIgnoringCase(const QStringList& names, const QString& name);

} // namespace fs::detail
