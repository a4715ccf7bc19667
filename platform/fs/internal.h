#pragma once
// Shared by the files of the file-system layer; not for the rest of the program.
#include "platform/fs/fs.h"

#include <QByteArray>
#include <QFile>
#include <optional>
#include <sys/stat.h>

namespace fs::detail {

// The drive for a letter (either case). The host table is read again once when the letter
// is not in it, so a volume mounted since the last look is found.
std::optional<Drive> findDrive(QChar letter);

// A host path as the system calls want it.
inline QByteArray encoded(const QString &hostPath) {
    return QFile::encodeName(hostPath);
}

inline QString join(const QString &folder, const QString &name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

// stat() or, when links are not to be followed, lstat(); nothing when the call fails.
std::optional<struct stat> statOf(const QString &hostPath, bool followLinks);

} // namespace fs::detail
