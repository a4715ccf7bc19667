#pragma once
// Windows path texts over the host file system. The program builds paths such as
// "Z:\opt\quna\config.dat" exactly as it always did; this layer resolves them: a drive table
// maps letters to host folders, "\" and "/" both separate, empty components collapse, and a
// component that is not found as written is matched without regard to case. New files
// reuse an existing name that differs only in case. Failures raise the runtime's numbers
// (53, 76, 70, 75, 61, 68, 71).
#include "platform/fs/host.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace fs {

// Every file and folder the updater keeps for itself beside the files it changes (a copy being
// written, the update journal, the extraction's staging folder) is a dot name starting with
// this prefix: no archive may write such a name, and the start after a killed run removes
// whatever of them it left behind.
inline constexpr char kOwnNamePrefix[] = ".quna-";
inline QString ownName(const char* rest) {
    return QString::fromLatin1(kOwnNamePrefix) + QString::fromLatin1(rest);
}
inline bool isOwnName(const QString& name) {
    return name.startsWith(QLatin1String(kOwnNamePrefix), Qt::CaseInsensitive);
}

struct Drive {
    QChar letter;        // upper case
    QString hostRoot;    // host folder the drive's root maps to
    QString label;       // volume label or host folder, shown in brackets by the drive list
    QString server = {}; // "\\server\share" for a drive reached over the network, else empty
};

// The drive table. The host default is the Wine prefix's when the updater belongs to one
// (see winePrefix): each dosdevices/<letter>: link is a drive whose root is the link's
// target. Without a prefix it is Z: for "/" plus a letter for each mounted removable or
// network volume, the one its mount folder's name begins with when free (D: to Y:). Either
// table is in letter order. An environment may put its own in place (see environment.h).
// Use from one thread: drives() refreshes the host default in place.
std::vector<Drive> hostDrives();
const std::vector<Drive>& drives();

// Checks within a time limit that a drive can be read: raises 68 when the letter is unknown
// or its host folder is missing or unmounted, 71 when it does not answer, has no medium or
// gives an I/O error.
void probeDrive(QChar letter);
// An environment may answer the probes instead of the drives: 0 for ready, else the error
// number to raise.
using ProbeHook = std::function<std::int32_t(QChar letter)>;

// The network volume a host path lies on, as the user knows it: "\\server\share" for a
// server share (UNC, a drive mapped to one, a mounted CIFS share), "server:/export" and the
// like for other network file systems; empty for a local path.
QString networkVolumeOf(const QString& hostPath);
// The network volume of a Windows path when it does not answer within the probe's limit
// (a drive by its probe, a share by reading its root); empty when the path is local or its
// volume answers. Never raises.
QString unansweringServer(const QString& windowsPath);
// The text that tells a server does not answer, naming it and the path concerned.
QString serverNotAnswering(const QString& server, const QString& shownPath);

// Resolution. \\server\share\rest goes through the share's host folder. toHost raises 76
// when the drive or share is unknown. A path that does not exist yields the host path it
// would have (existing parts resolved, the rest as written). toWindows takes the drive or
// share with the longest matching root, a drive before a share with the same root.
QString toHost(const QString& windowsPath);
QString toWindows(const QString& hostPath);

// The Wine prefix the updater belongs to, as a host folder: the first folder at or above the
// updater's own that holds a readable dosdevices folder, else WINEPREFIX when it names such a
// folder; empty when there is none.
QString winePrefix();

// The host folder the updater was started from: the folder of the link it was started through
// (as an installation holds it), else the folder that holds its program file.
QString startedFromHostFolder();

// The updater's own folder as a drive path (no trailing separator except at a root): the
// environment's when it names one, else the folder it was started from.
QString programFolder();

// The folders below one host folder as a long run of changes in it (an extraction) sees them:
// each folder's listing is read once, with the kind of every name, so that resolving many
// paths below the root costs no status call per path. Names are matched as toHost matches
// them (as written, else the least spelling of those that differ only in case). Only the
// owner changes these folders while it lives, and it reports each file or folder it creates.
class FolderTree {
public:
    using Kind = fs::Kind;
    struct Resolved {
        QString hostPath; // existing components spelled as on disk, the rest as given
        qsizetype stop;   // the first component that is not an existing folder (or the count)
        Kind kind;        // of that component; Folder when every component is one
        QString stopPath; // host path of that component (the whole path when none stops)
    };
    explicit FolderTree(QString hostRoot);
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;
    const QString& root() const;
    // Raises when a folder on the way exists but cannot be listed.
    Resolved resolve(const QStringList& components);
    void created(const QString& hostPath, Kind kind);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Existence tests never raise: an unknown drive or a missing drive root reads as absent.
// Existence of a normal file (neither a folder nor hidden nor system).
bool normalFileExists(const QString& windowsPath);
// Existence of a folder or a normal file (not hidden or system).
bool entryExists(const QString& windowsPath);
bool folderExists(const QString& windowsPath);
// Existence of a file of any kind but a folder, hidden and system ones included.
bool anyFileExists(const QString& windowsPath);

// A path without a drive is taken from the current folder, one starting with a single
// separator from the current drive's root.
void makeFolder(const QString& windowsPath);   // 75 if it exists, 76 if the parent is missing
void changeFolder(const QString& windowsPath); // 76 if missing
QString currentFolder();                       // as a drive path

// Reads the first record of `length` bytes, Windows-1252; missing bytes read as blanks.
QString readRecord(const QString& windowsPath, int length);

// Replaces `to` (a link there is replaced, never written through) with a copy of `from`
// carrying its mode and modification time; 53 when `from` is missing, 76 when the
// destination folder is.
void copyFile(const QString& from, const QString& to);
// copyFile without copying where the file system has hard links: `to` becomes a second name
// of `from`, so that neither a backup made this way nor a restore from it needs free space.
// A copy where the file system has no links (or refuses one for this file).
void linkOrCopyFile(const QString& from, const QString& to);
// Renames `from` to `to`, replacing it: needs no free space at all. 53 when `from` is missing.
void moveFile(const QString& from, const QString& to);
// Writes `bytes` as the whole content of a file, on disk before it takes the name (replacing
// what had it), so the name always holds an old or a new content, never a part.
void writeFileReplacing(const QString& windowsPath, const QByteArray& bytes);
void deleteFile(const QString& windowsPath);       // 53 when missing
std::int64_t fileSize(const QString& windowsPath); // 53 when missing

// Hidden or system: the DOS attribute bits of the user.DOSATTRIB extended attribute, or a
// leading dot in the name.
bool isHiddenOrSystem(const QString& hostPath);

// Listings for the folder and file lists: names only, sorted without regard to case.
QStringList subfolders(const QString& windowsPath);
// Normal files matching a pattern with * and ? (case-insensitive), hidden and system out.
// Several patterns may be given separated by ";". Both raise 76 when the folder is missing.
QStringList matchingFiles(const QString& windowsPath, const QString& pattern);

// The Windows path of an existing file with its last name spelled as on disk ("...\\quna.exe"
// for "...\\Quna.EXE" when the file is "quna.exe"); the path unchanged when nothing is there.
QString onDiskSpelling(const QString& windowsPath);

// Gives `to` the permission bits of `from` when `to` has no execute bit of its own (a program
// extracted from an archive made on Windows carries no mode).
void adoptExecutableMode(const QString& from, const QString& to);

// One update per installation at a time, across processes and users: an exclusive advisory
// lock (flock) on a file of our own in the installation folder, which the system drops with
// the process that holds it, also when it is killed, so a holder that dies never leaves the
// installation locked. The holder removes the file as it lets go; a file left by a killed
// holder is simply locked by the next one.
class InstallationLock {
public:
    enum class State {
        Held,        // ours until this object goes
        Busy,        // another process holds it: an update of this installation is running
        Unavailable, // the lock file cannot be made or opened (see raiseUnavailable)
    };
    // Tries once and never waits. Where the file system keeps no locks (some network file
    // systems), the lock counts as held.
    explicit InstallationLock(const QString& windowsFolder);
    ~InstallationLock();
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;
    State state() const { return state_; }
    // Raises what kept the lock file from being opened (a folder the user may not write...).
    [[noreturn]] void raiseUnavailable() const;

private:
    // The system's part: locks the file in the installation's host folder; raises when the
    // file cannot be made or opened.
    State take(const QString& hostFolder);
    std::intptr_t handle_ = -1; // the lock file, open while the lock is held
    QByteArray path_;
    State state_ = State::Unavailable;
    std::int32_t number_ = 0;
    QString description_;
};
inline constexpr char kLockName[] = "update.lock"; // after kOwnNamePrefix

// The update log: $XDG_STATE_HOME/quna-updater/aggiornamenti.log (by default under
// ~/.local/state), kept under 1 MiB with one older file beside it (".1"). Appending never
// raises and never stops an update: a log that cannot be written loses the line.
QString updateLogPath();
void appendToUpdateLog(const QString& line);
// The SHA-256 of a file's content in hex, for the log; empty when it cannot be read.
QString sha256Of(const QString& windowsPath);

// Flushes the file system holding the host path to disk (one call per phase of an update).
void syncFileSystem(const QString& hostPath);

// Fault injection: every file-system step that changes something calls checkpoint(), which
// counts the steps in the environment and, when it has a fault hook, lets it raise an error
// or end the process at a chosen step. The steps of this layer are "copy", "move", "delete",
// "folder" and "chmod", each counted after the checks that refuse the operation and just
// before it, and "copy into place", when a copy is whole under its temporary name.
void checkpoint(const char* what);
using FaultHook = std::function<void(int step, const char* what)>;

// A write past the file-size limit (RLIMIT_FSIZE) would end the process with SIGXFSZ; with
// the signal ignored the write fails with EFBIG, reported as a full disk. Called once at start.
void reportOversizedWrites();

// The runtime's error number for a system error code: a missing file 53, no space left 61,
// no permission or a read-only file system 70, a missing folder on the way 76, a name too
// long 75, an I/O error 57, ...; `fallback` for a code without a number of its own.
std::int32_t errorNumberOf(SystemError error, std::int32_t fallback);

// The one policy for a failed system call on a host path: the number errorNumberOf gives
// (`whenMissing` for a missing entry) and a description that says what failed and where, the path
// shown through its drive or share. No space and no inodes left are both a full disk; a
// name too long says so; an I/O error, a time-out or a lost connection on a network volume
// is 57 naming the server that does not answer.
[[noreturn]] void raiseSystemError(SystemError error, const QString& hostPath,
                                   std::int32_t fallback = 57 /* DeviceIo */,
                                   std::int32_t whenMissing = 53 /* FileNotFound */);
// A host path as the user knows it: through its drive or share, else as it is.
QString shownPath(const QString& hostPath);

} // namespace fs
