#include "platform/fs/fs.h"
#include "platform/fs/host.h"
#include "platform/vb/error.h"

#include <QFileInfo>

namespace fs {

QString onDiskSpelling(const QString& windowsPath) {
    const QFileInfo host(toHost(windowsPath));
    if (!host.exists()) return windowsPath;
    const qsizetype cut = std::max(windowsPath.lastIndexOf(u'\\'), windowsPath.lastIndexOf(u'/'));
    return windowsPath.left(cut + 1) + host.fileName();
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
