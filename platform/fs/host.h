#pragma once
// The file-system primitives on host paths that the layers above the Windows path semantics
// need for files of their own (the archive being read, the staged files of an extraction, the
// update journal): files read and written at positions, folder listings with kinds, renames,
// links, folders and permission bits. The interface is the same on every system; each system
// implements it in a folder of its own (posix/). Failures that raise go through
// raiseSystemError with the path concerned; those that return a SystemError leave the
// decision to the caller (a roll-back goes on past a failed step).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace fs {

// The system's own code for a failed call (errno on POSIX); 0 for none.
using SystemError = int;

enum class Kind : std::uint8_t { Missing, Folder, File, Link, Other };

// True for a failure that says the entry, or a folder on its way, is missing.
bool isMissing(SystemError error);

struct Status {
    Kind kind = Kind::Missing;
    std::int64_t size = 0;
    std::int64_t seconds = 0, nanoseconds = 0; // the last modification
    std::uint32_t permissions = 0;             // rwx for the owner, the group and the others
};

// Nothing, with the reason in `error` when asked, when the path cannot be examined. Without
// following links a link is Kind::Link.
std::optional<Status> statusOf(const QString& hostPath, bool followLinks,
                               SystemError* error = nullptr);

// A folder's entries ("." and ".." left out) with their kinds, links not followed.
struct FolderEntry {
    QString name;
    Kind kind;
};
using FolderEntries = std::vector<FolderEntry>;
// Nothing, with the reason in `error` when asked, when the folder cannot be listed.
std::optional<FolderEntries> listFolder(const QString& hostPath, SystemError* error = nullptr);

// An open file, closed on every way out.
class File {
public:
    // Opens an existing file for reading; a named pipe or a device never makes it wait.
    // Nothing when the file, or a folder on its way, is missing; other failures raise.
    static std::optional<File> openIfPresent(const QString& hostPath);
    // Opens an existing file for reading, raising as raiseSystemError does with `fallback`
    // and `whenMissing`.
    static File openForReading(const QString& hostPath, std::int32_t fallback,
                               std::int32_t whenMissing);
    // Creates a file that does not exist yet, with `permissions` as far as the process's
    // creation mask lets them through. Errors name `shownAs` (the file the caller makes,
    // when this one is a stand-in for it), else the path.
    static File createNew(const QString& hostPath, std::uint32_t permissions,
                          const QString& shownAs = {});

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    Status status() const;
    // Up to `length` bytes at `offset`, fewer only at the end of the file. A failed read
    // raises with `fallback` as the number of an error that has none of its own.
    std::size_t readAt(std::uint64_t offset, void* out, std::size_t length,
                       std::int32_t fallback = 57 /* DeviceIo */);
    // readAt without raising: the count, or -1 with `error` set.
    std::int64_t tryReadAt(std::uint64_t offset, void* out, std::size_t length, SystemError& error);
    // Appends the whole of `data`, going on after an interruption or a short write.
    void writeAll(const void* data, std::size_t length);
    void setPermissions(std::uint32_t permissions);
    void sync(); // the content on disk
    // Closes now, raising what the close reports (a network file system may report a full
    // disk only here). On a system that puts a whole file system on disk only for an
    // administrator (Windows), a file written through this object is put on disk first;
    // elsewhere syncFileSystem does that for every file at once.
    void close();

private:
    File(std::intptr_t handle, QString shownAs) : handle_(handle), shownAs_(std::move(shownAs)) {}
    std::intptr_t handle_ = -1;
    QString shownAs_;
};

// Renames `from` to `to`, replacing what `to` names.
SystemError renameReplacing(const QString& from, const QString& to);
// Gives the file `from` the second name `to`.
SystemError linkFile(const QString& from, const QString& to);
// Copies the file `from` to `to`, which must not exist yet, with its permission bits.
SystemError copyNew(const QString& from, const QString& to);
SystemError setPermissions(const QString& hostPath, std::uint32_t permissions);
SystemError createFolder(const QString& hostPath, std::uint32_t permissions);
SystemError removeFile(const QString& hostPath);
SystemError removeEmptyFolder(const QString& hostPath);

// Built on the primitives above, the same on every system (host.cpp):
// Removes a folder with everything in it, never following a link; what cannot go stays.
void removeTree(const QString& hostPath);
// Creates a folder and the missing folders on its way; false when one cannot be made.
bool createFolders(const QString& hostPath);
// The whole content of a file; nothing when it cannot be opened or read.
std::optional<QByteArray> readWholeFile(const QString& hostPath);

// The permission bits the process's file creation mask takes away; nothing when the system
// does not say (reading it must not change it for a moment under other threads).
std::optional<std::uint32_t> creationMask();

} // namespace fs
