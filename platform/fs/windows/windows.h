#pragma once
// Shared by the Windows implementation files of the file-system layer. Host paths are
// Windows paths in Qt's spelling ("C:/QUNAWIN/DATI", "//server/quna/DATI"); the system calls
// take them as wide texts with backslashes, absolute ones with the long-path prefix so that
// no path is cut at 260 characters.
#include "platform/fs/internal.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace fs::windows {

// A host path as the wide system calls want it.
std::wstring wide(const QString& hostPath);

// An open handle, closed on every way out.
struct Handle {
    HANDLE h;
    explicit Handle(HANDLE h) : h(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) ::CloseHandle(h);
    }
    bool valid() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

// GetLastError() of a call that returned FALSE, else 0.
inline SystemError result(BOOL returned) {
    return returned ? 0 : SystemError(::GetLastError());
}

// Seconds and nanoseconds since 1970 of a file time (100 ns since 1601).
std::pair<std::int64_t, std::int64_t> unixTime(const FILETIME& time);

// Attributes of an existing entry; nothing, with the reason in `error`, when it cannot be read.
std::optional<DWORD> attributesOf(const QString& hostPath, SystemError* error = nullptr);

} // namespace fs::windows
