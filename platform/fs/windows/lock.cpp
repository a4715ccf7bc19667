// The installation lock (see InstallationLock in fs.h) on Windows: the lock file opened with
// no sharing at all, so that no other process can open it while we hold it, and deleted when
// our handle closes, which the system does with the process, also when it is killed.
#include "platform/fs/windows/windows.h"
#include "platform/vb/error.h"

namespace fs {

InstallationLock::State InstallationLock::take(const QString& folder) {
    const QString lockFile = detail::join(folder, ownName(kLockName));
    const std::wstring path = windows::wide(lockFile);
    // A holder that is letting go leaves its file for a moment in a state that refuses every
    // open: a few short tries tell that from a folder we may not write.
    DWORD error = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        HANDLE h =
            ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(h);
            return State::Held;
        }
        error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION) return State::Busy;
        if (error != ERROR_ACCESS_DENIED || !windows::attributesOf(lockFile)) break;
        ::Sleep(25);
    }
    // Still there and still refused: its holder is finishing.
    if (error == ERROR_ACCESS_DENIED && windows::attributesOf(lockFile)) return State::Busy;
    raiseSystemError(SystemError(error), folder, vb::err::PathFileAccess, vb::err::PathNotFound);
}

InstallationLock::~InstallationLock() {
    if (state_ == State::Held) ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); // deletes it
}

} // namespace fs
