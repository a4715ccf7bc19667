// The host primitives of host.h over the wide Windows calls. Windows keeps no permission
// bits: files and folders read as 0777 (0555 when read-only), and setting bits changes
// nothing, so an archive's Unix modes never make a file read-only that a later update must
// replace.
#include "platform/fs/windows/windows.h"
#include "platform/vb/error.h"

#include <QDir>

#include <algorithm>
#include <utility>

namespace fs {

namespace windows {

std::wstring wide(const QString& hostPath) {
    QString path = QDir::toNativeSeparators(hostPath);
    if (path.startsWith(QLatin1String("\\\\?\\"))) return path.toStdWString();
    if (path.startsWith(QLatin1String("\\\\")))
        path = QStringLiteral("\\\\?\\UNC\\") + path.mid(2);
    else if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\')
        path = QStringLiteral("\\\\?\\") + path;
    return path.toStdWString();
}

std::pair<std::int64_t, std::int64_t> unixTime(const FILETIME& time) {
    constexpr std::int64_t kTicksTo1970 = 116444736000000000LL; // 100 ns from 1601 to 1970
    const std::int64_t ticks =
        (std::int64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) - kTicksTo1970;
    std::int64_t seconds = ticks / 10000000, rest = ticks % 10000000;
    if (rest < 0) {
        --seconds;
        rest += 10000000;
    }
    return {seconds, rest * 100};
}

std::optional<DWORD> attributesOf(const QString& hostPath, SystemError* error) {
    const DWORD attributes = ::GetFileAttributesW(wide(hostPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (error) *error = SystemError(::GetLastError());
        return std::nullopt;
    }
    return attributes;
}

} // namespace windows

namespace {

using windows::Handle;
using windows::result;
using windows::wide;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Kind kindOf(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Kind::Other;
    return Kind::File;
}

std::uint32_t permissionsOf(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0555
               : 0777;
}

Status statusFrom(DWORD attributes, const FILETIME& written, DWORD sizeHigh, DWORD sizeLow,
                  bool followed) {
    const auto [seconds, nanoseconds] = windows::unixTime(written);
    Kind kind = kindOf(attributes);
    if (followed && kind == Kind::Link)
        kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? Kind::Folder : Kind::File;
    return {kind, std::int64_t(sizeHigh) << 32 | sizeLow, seconds, nanoseconds,
            permissionsOf(attributes)};
}

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t valueOf(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

} // namespace

bool isMissing(SystemError error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_NET_NAME || error == ERROR_DIRECTORY;
}

std::optional<Status> statusOf(const QString& hostPath, bool followLinks, SystemError* error) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide(hostPath).c_str(), GetFileExInfoStandard, &data)) {
        if (error) *error = SystemError(::GetLastError());
        return std::nullopt;
    }
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !followLinks)
        return statusFrom(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh,
                          data.nFileSizeLow, false);
    // A link followed: what its target is.
    Handle target(::CreateFileW(wide(hostPath).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!target.valid() || !::GetFileInformationByHandle(target.h, &info)) {
        if (error) *error = SystemError(::GetLastError());
        return std::nullopt;
    }
    return statusFrom(info.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_REPARSE_POINT),
                      info.ftLastWriteTime, info.nFileSizeHigh, info.nFileSizeLow, true);
}

std::optional<FolderEntries> listFolder(const QString& hostPath, SystemError* error) {
    WIN32_FIND_DATAW found;
    HANDLE search =
        ::FindFirstFileExW(wide(detail::join(hostPath, "*")).c_str(), FindExInfoBasic, &found,
                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<FolderEntry> entries;
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD why = ::GetLastError();
        // A root without entries lists nothing; a folder always lists "." at least.
        if (why == ERROR_FILE_NOT_FOUND || why == ERROR_NO_MORE_FILES) return entries;
        if (error) *error = SystemError(why);
        return std::nullopt;
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back(
            {QString::fromWCharArray(found.cFileName), kindOf(found.dwFileAttributes)});
    } while (::FindNextFileW(search, &found));
    const DWORD why = ::GetLastError();
    ::FindClose(search);
    if (why != ERROR_NO_MORE_FILES) {
        if (error) *error = SystemError(why);
        return std::nullopt;
    }
    return entries;
}

std::optional<File> File::openIfPresent(const QString& hostPath) {
    HANDLE h = ::CreateFileW(wide(hostPath).c_str(), GENERIC_READ, kShareAll, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const SystemError why = SystemError(::GetLastError());
        if (isMissing(why)) return std::nullopt;
        raiseSystemError(why, hostPath);
    }
    return File(valueOf(h), hostPath);
}

File File::openForReading(const QString& hostPath, std::int32_t fallback,
                          std::int32_t whenMissing) {
    HANDLE h = ::CreateFileW(wide(hostPath).c_str(), GENERIC_READ, kShareAll, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        raiseSystemError(SystemError(::GetLastError()), hostPath, fallback, whenMissing);
    return File(valueOf(h), hostPath);
}

File File::createNew(const QString& hostPath, std::uint32_t, const QString& shownAs) {
    const QString named = shownAs.isEmpty() ? hostPath : shownAs;
    // Shared for deletion, so that a roll-back may remove it while it is still open.
    HANDLE h = ::CreateFileW(wide(hostPath).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                             kShareAll, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) raiseSystemError(SystemError(::GetLastError()), named);
    return File(valueOf(h), named);
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), shownAs_(std::move(other.shownAs_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ != -1) ::CloseHandle(handleOf(handle_));
        handle_ = std::exchange(other.handle_, -1);
        shownAs_ = std::move(other.shownAs_);
    }
    return *this;
}

File::~File() {
    if (handle_ != -1) ::CloseHandle(handleOf(handle_));
}

Status File::status() const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handleOf(handle_), &info))
        raiseSystemError(SystemError(::GetLastError()), shownAs_);
    return statusFrom(info.dwFileAttributes, info.ftLastWriteTime, info.nFileSizeHigh,
                      info.nFileSizeLow, true);
}

std::int64_t File::tryReadAt(std::uint64_t offset, void* out, std::size_t length,
                             SystemError& error) {
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = DWORD(position);
        at.OffsetHigh = DWORD(position >> 32);
        const DWORD chunk = DWORD(std::min<std::size_t>(length - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(handleOf(handle_), static_cast<char*>(out) + done, chunk, &got, &at)) {
            const DWORD why = ::GetLastError();
            if (why == ERROR_HANDLE_EOF) break;
            error = SystemError(why);
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return std::int64_t(done);
}

void File::writeAll(const void* data, std::size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const DWORD chunk = DWORD(std::min<std::size_t>(length, 1u << 30));
        DWORD put = 0;
        if (!::WriteFile(handleOf(handle_), bytes, chunk, &put, nullptr))
            raiseSystemError(SystemError(::GetLastError()), shownAs_);
        bytes += put;
        length -= put;
    }
}

void File::setPermissions(std::uint32_t) {}

void File::sync() {
    if (!::FlushFileBuffers(handleOf(handle_)))
        raiseSystemError(SystemError(::GetLastError()), shownAs_);
}

void File::close() {
    // A handle opened for reading only cannot be flushed, and has nothing to flush.
    if (!::FlushFileBuffers(handleOf(handle_)) && ::GetLastError() != ERROR_ACCESS_DENIED) {
        const SystemError error = SystemError(::GetLastError());
        ::CloseHandle(handleOf(std::exchange(handle_, -1)));
        raiseSystemError(error, shownAs_);
    }
    if (!::CloseHandle(handleOf(std::exchange(handle_, -1))))
        raiseSystemError(SystemError(::GetLastError()), shownAs_);
}

SystemError renameReplacing(const QString& from, const QString& to) {
    return result(::MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

SystemError linkFile(const QString& from, const QString& to) {
    return result(::CreateHardLinkW(wide(to).c_str(), wide(from).c_str(), nullptr));
}

SystemError copyNew(const QString& from, const QString& to) {
    return result(::CopyFileW(wide(from).c_str(), wide(to).c_str(), TRUE));
}

SystemError setPermissions(const QString& hostPath, std::uint32_t) {
    return windows::attributesOf(hostPath) ? 0 : SystemError(::GetLastError());
}

SystemError createFolder(const QString& hostPath, std::uint32_t) {
    return result(::CreateDirectoryW(wide(hostPath).c_str(), nullptr));
}

SystemError removeFile(const QString& hostPath) {
    const std::wstring path = wide(hostPath);
    if (::DeleteFileW(path.c_str())) return 0;
    const DWORD why = ::GetLastError();
    // A read-only file goes as it does on POSIX, where only the folder's permission counts.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (why == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)))
        return result(::DeleteFileW(path.c_str()));
    return SystemError(why);
}

SystemError removeEmptyFolder(const QString& hostPath) {
    return result(::RemoveDirectoryW(wide(hostPath).c_str()));
}

std::optional<std::uint32_t> creationMask() {
    return std::nullopt; // no creation mask: permission bits mean nothing here
}

} // namespace fs
