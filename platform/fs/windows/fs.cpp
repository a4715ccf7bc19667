// The operations of fs.h that are system calls, over the wide Windows calls: copies, links,
// renames, flushes, the current folder, the hidden and system attributes, and what a
// system error code means.
#include "platform/fs/windows/windows.h"
#include "platform/vb/error.h"

#include <QDir>

#include <atomic>

namespace fs {

namespace {

using detail::isFolder;
using detail::join;
using detail::nameOf;
using detail::parentOf;
using windows::wide;

// Errors that only a volume reached over the network gives: the server, or the way to it,
// is gone.
bool isConnectionError(SystemError error) {
    switch (error) {
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_CONNECTION_ABORTED:
    case ERROR_CONNECTION_REFUSED:
    case ERROR_NETWORK_BUSY:
    case ERROR_SEM_TIMEOUT:
    case ERROR_REM_NOT_LIST:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NET_RESP:
    case ERROR_VC_DISCONNECTED:
        return true;
    default:
        return false;
    }
}

bool isIoError(SystemError error) {
    return error == ERROR_IO_DEVICE || error == ERROR_CRC || error == ERROR_READ_FAULT ||
           error == ERROR_WRITE_FAULT || error == ERROR_GEN_FAILURE;
}

// Puts a file's content on disk; a file we may not write (another program's, one in use, a
// read-only one) is not one of ours and is passed over.
void flushFile(const QString& hostPath) {
    windows::Handle file(::CreateFileW(wide(hostPath).c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.valid() && !::FlushFileBuffers(file.h))
        raiseSystemError(SystemError(::GetLastError()), hostPath);
}

// A name of our own beside `target` for a file on its way to it.
QString temporaryBeside(const QString& target, const char* kind) {
    static std::atomic<int> serial{0};
    return join(parentOf(target), ownName(kind) + QString::number(::GetCurrentProcessId()) + u'-' +
                                      QString::number(++serial));
}

// Renames the whole file at `temporary` over `target` (a link there is replaced, never
// followed), written through; the temporary goes when the rename fails.
void renameOver(const QString& temporary, const QString& target) {
    if (const SystemError error = renameReplacing(temporary, target)) {
        removeFile(temporary);
        raiseSystemError(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    }
}

// renameOver after the fault step of a copy that is whole under its temporary name.
void putInPlace(const QString& temporary, const QString& target) {
    try {
        checkpoint("copy into place");
    } catch (...) {
        removeFile(temporary);
        throw;
    }
    renameOver(temporary, target);
}

// A copy of `source` under a temporary name beside `target`, renamed over it: an
// interrupted copy never leaves a half-written file under the real name. CopyFile keeps the
// attributes and the modification time.
void copyReplacing(const QString& source, const QString& target) {
    const QString temporary = temporaryBeside(target, "copy-");
    if (!::CopyFileW(wide(source).c_str(), wide(temporary).c_str(), TRUE)) {
        const SystemError error = SystemError(::GetLastError());
        removeFile(temporary);
        // Which side failed: a source that is gone, else the destination.
        if (!statusOf(source, true))
            raiseSystemError(error, source, vb::err::PathFileAccess, vb::err::FileNotFound);
        raiseSystemError(error, target, vb::err::PathFileAccess, vb::err::PathNotFound);
    }
    // A read-only source makes a read-only copy, which the rename could not replace later.
    const std::wstring path = wide(temporary);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    try {
        flushFile(temporary); // whole on disk before it takes the target's name
    } catch (...) {
        removeFile(temporary);
        throw;
    }
    putInPlace(temporary, target);
}

// The checks copyFile makes before it changes anything; the source and target host paths.
std::pair<QString, QString> checkedCopy(const QString& from, const QString& to) {
    const QString source = toHost(from);
    const auto sourceInfo = statusOf(source, true);
    if (!sourceInfo || sourceInfo->kind == Kind::Folder) vb::raise(vb::err::FileNotFound);
    const QString target = toHost(to);
    if (!isFolder(parentOf(target))) vb::raise(vb::err::PathNotFound);
    const auto targetInfo = statusOf(target, false);
    if (targetInfo && targetInfo->kind == Kind::Folder) vb::raise(vb::err::PathFileAccess);
    if (targetInfo && targetInfo->kind == Kind::File && !(targetInfo->permissions & 0200))
        vb::raise(vb::err::PermissionDenied, vb::describe(vb::err::PermissionDenied) +
                                                 QStringLiteral(": ") + shownPath(target));
    return {source, target};
}

} // namespace

bool isHiddenOrSystem(const QString& hostPath) {
    // The updater's own files are hidden everywhere, as their leading dot hides them on Linux.
    if (isOwnName(nameOf(hostPath))) return true;
    const auto attributes = windows::attributesOf(hostPath);
    return attributes && (*attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

void changeFolder(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    if (!isFolder(host)) vb::raise(vb::err::PathNotFound);
    // The current folder is the one call that takes no long-path prefix.
    if (!::SetCurrentDirectoryW(QDir::toNativeSeparators(host).toStdWString().c_str()))
        raiseSystemError(SystemError(::GetLastError()), host, vb::err::PathNotFound,
                         vb::err::PathNotFound);
}

void copyFile(const QString& from, const QString& to) {
    const auto [source, target] = checkedCopy(from, to);
    checkpoint("copy");
    copyReplacing(source, target);
}

// A copy, never a link: Windows refuses to delete any name of a program file that is
// running, so a backup linked to a QUNA still open could not be removed after the update.
// The restore does not need the backup's room anyway: it renames the set-aside program back.
void linkOrCopyFile(const QString& from, const QString& to) {
    copyFile(from, to);
}

void writeFileReplacing(const QString& windowsPath, const QByteArray& bytes) {
    const QString target = toHost(windowsPath);
    const QString temporary = temporaryBeside(target, "copy-");
    try {
        File output = File::createNew(temporary, 0666, target);
        output.writeAll(bytes.constData(), std::size_t(bytes.size()));
        output.close();
    } catch (...) {
        removeFile(temporary);
        throw;
    }
    renameOver(temporary, target);
}

void syncFileSystem(const QString& hostPath) {
    // Windows puts a whole volume on disk only for an administrator. What an update writes
    // is on disk already: every file it writes is flushed as it is closed (File::close, the
    // copies), every rename is written through. A file named here is flushed all the same.
    if (!isFolder(hostPath)) flushFile(hostPath);
}

void reportOversizedWrites() {} // a write past a limit fails with an error of its own here

std::int32_t errorNumberOf(SystemError error, std::int32_t fallback) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return vb::err::FileNotFound;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
        return vb::err::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return vb::err::PermissionDenied;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
        return vb::err::PathNotFound;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
        return vb::err::PathFileAccess;
    case ERROR_NOT_READY:
        return vb::err::DiskNotReady;
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_UNIT:
        return vb::err::DeviceUnavailable;
    default:
        return isIoError(error) ? vb::err::DeviceIo : fallback;
    }
}

detail::ErrorKind detail::kindOf(SystemError error) {
    ErrorKind kind;
    kind.lostConnection = isConnectionError(error);
    kind.io = isIoError(error);
    kind.missing = error == ERROR_FILE_NOT_FOUND;
    if (error == ERROR_FILENAME_EXCED_RANGE) kind.cause = ErrorKind::Cause::NameTooLong;
    if (error == ERROR_WRITE_PROTECT) kind.cause = ErrorKind::Cause::WriteProtected;
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        kind.cause = ErrorKind::Cause::InUse;
    return kind;
}

} // namespace fs
