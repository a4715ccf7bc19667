#include "platform/fs/fs.h"
#include "platform/fs/host.h"
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QFileInfo>

namespace fs {

QString onDiskSpelling(const QString& windowsPath) {
    const QString host = toHost(windowsPath);
    if (!statusOf(host, true)) return windowsPath;
    // The name as the folder lists it: where the file system ignores case, the path found
    // keeps the case it was asked with.
    QStringList names;
    for (const FolderEntry& entry : listFolder(detail::parentOf(host)).value_or(FolderEntries()))
        names << entry.name;
    const QString name = detail::matchIgnoringCase(names, detail::nameOf(host));
    const qsizetype cut = std::max(windowsPath.lastIndexOf(u'\\'), windowsPath.lastIndexOf(u'/'));
    return windowsPath.left(cut + 1) + (name.isEmpty() ? detail::nameOf(host) : name);
}

void adoptExecutableMode(const QString& from, const QString& to) {
    const QString fromHost = toHost(from), toHostPath = toHost(to);
    SystemError error = 0;
    const auto source = statusOf(fromHost, true, &error);
    if (!source) raiseSystemError(error, fromHost, vb::err::FileNotFound);
    const auto target = statusOf(toHostPath, false, &error);
    if (!target) raiseSystemError(error, toHostPath, vb::err::FileNotFound);
    if (target->kind != Kind::File || (target->permissions & 0111)) return;
    checkpoint("chmod");
    if ((error = setPermissions(toHostPath, source->permissions)))
        raiseSystemError(error, toHostPath, vb::err::PathFileAccess);
}

} // namespace fs
