// The installation lock (see InstallationLock in fs.h) on Windows: the lock file opened with
// no sharing at all, so that no other process can open it while we hold it, and deleted when
// our handle closes, which the system does with the process, also when it is killed.
#include "platform/fs/windows/windows.h"
#include "platform/vb/error.h"

namespace fs {

InstallationLock::InstallationLock(const QString& windowsFolder) {
    QString folder;
    try {
        folder = toHost(windowsFolder);
    } catch (const vb::VbError& e) {
        number_ = e.number();
        description_ = e.description();
        return;
    }
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
            state_ = State::Held;
            return;
        }
        error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            state_ = State::Busy;
            return;
        }
        if (error != ERROR_ACCESS_DENIED || !windows::attributesOf(lockFile)) break;
        ::Sleep(25);
    }
    if (error == ERROR_ACCESS_DENIED && windows::attributesOf(lockFile)) {
        state_ = State::Busy; // still there and still refused: its holder is finishing
        return;
    }
    try {
        raiseSystemError(SystemError(error), folder, vb::err::PathFileAccess,
                         vb::err::PathNotFound);
    } catch (const vb::VbError& e) {
        number_ = e.number();
        description_ = e.description();
    }
}

InstallationLock::~InstallationLock() {
    if (state_ == State::Held) ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); // deletes it
}

void InstallationLock::raiseUnavailable() const {
    vb::raise(number_, description_);
}

} // namespace fs
