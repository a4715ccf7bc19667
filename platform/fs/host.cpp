// The parts of host.h built on its primitives, the same on every system.
#include "platform/fs/host.h"
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

namespace fs {

std::size_t File::readAt(std::uint64_t offset, void* out, std::size_t length,
                         std::int32_t fallback) {
    SystemError error = 0;
    const std::int64_t got = tryReadAt(offset, out, length, error);
    if (got < 0) raiseSystemError(error, shownAs_, fallback);
    return std::size_t(got);
}

void removeTree(const QString& hostPath) {
    if (const auto entries = listFolder(hostPath))
        for (const FolderEntry& entry : *entries) {
            const QString path = detail::join(hostPath, entry.name);
            if (entry.kind == Kind::Folder)
                removeTree(path);
            else
                removeFile(path);
        }
    removeEmptyFolder(hostPath);
}

bool createFolders(const QString& hostPath) {
    const auto status = statusOf(hostPath, true);
    if (status) return status->kind == Kind::Folder;
    const QString parent = detail::parentOf(hostPath);
    if (parent != hostPath && !createFolders(parent)) return false;
    return createFolder(hostPath, 0777) == 0 || statusOf(hostPath, true).has_value();
}

std::optional<QByteArray> readWholeFile(const QString& hostPath) {
    try {
        std::optional<File> file = File::openIfPresent(hostPath);
        if (!file) return std::nullopt;
        QByteArray bytes(qsizetype(file->status().size), Qt::Uninitialized);
        bytes.truncate(qsizetype(file->readAt(0, bytes.data(), std::size_t(bytes.size()))));
        // A file that grew since its size was taken is read to its end.
        for (char chunk[4096];;) {
            const std::size_t got = file->readAt(std::uint64_t(bytes.size()), chunk, sizeof chunk);
            if (got == 0) break;
            bytes.append(chunk, qsizetype(got));
        }
        return bytes;
    } catch (const vb::VbError&) {
        return std::nullopt;
    }
}

} // namespace fs
