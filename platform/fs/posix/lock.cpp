// The installation lock (see InstallationLock in fs.h) on POSIX systems: flock on the lock file.
#include "platform/fs/fs.h"
#include "platform/fs/posix/posix.h"
#include "platform/vb/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs {

namespace {

bool sameFile(int fd, const QByteArray& path) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

InstallationLock::State InstallationLock::take(const QString& folder) {
    path_ = hostBytes(detail::join(folder, ownName(kLockName)));
    // A holder removes the file as it lets go: a file we locked after that is one nobody else
    // sees, so the lock is taken again on the file at the name. Holders never wait, so a few
    // tries are enough; one that keeps losing the race treats the lock as busy.
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Made with the widest mode the creation mask allows, so that the other users of a
        // shared installation can open it too; another user's file that we may not write is
        // opened for reading, which locks just as well.
        handle_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        int error = errno;
        if (handle_ < 0 && (error == EACCES || error == EPERM || error == EROFS)) {
            handle_ = ::open(path_.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (handle_ < 0 && errno != ENOENT) error = errno; // else: why it could not be made
        }
        if (handle_ < 0)
            raiseSystemError(error, folder, vb::err::PathFileAccess, vb::err::PathNotFound);
        int locked;
        do {
            locked = ::flock(handle_, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0 && errno == EWOULDBLOCK) break;
        // Locked, or a file system that keeps no locks (ENOLCK, EOPNOTSUPP): we go on as
        // the holder.
        if (sameFile(handle_, path_)) return State::Held;
        ::close(handle_);
        handle_ = -1;
    }
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
    return State::Busy;
}

InstallationLock::~InstallationLock() {
    if (state_ != State::Held) return;
    // Removed while still held, so that no one can lock this file once we let go of it; the
    // installation keeps no file of ours once its updates are done.
    ::unlink(path_.constData());
    ::close(handle_);
}

} // namespace fs
