#include "fs.h"

#include "platform/vb/error.h"

#include <QFileInfo>
#include <sys/stat.h>

namespace fs {

QString onDiskSpelling(const QString& windowsPath) {
    const QFileInfo host(toHost(windowsPath));
    if (!host.exists()) return windowsPath;
    const qsizetype cut = std::max(windowsPath.lastIndexOf(u'\\'), windowsPath.lastIndexOf(u'/'));
    return windowsPath.left(cut + 1) + host.fileName();
}

void adoptExecutableMode(const QString& from, const QString& to) {
    struct stat source {
    }, target{};
    const QString fromHost = toHost(from), toHostPath = toHost(to);
    if (::stat(hostBytes(fromHost).constData(), &source) != 0)
        raiseSystemError(errno, fromHost, vb::err::FileNotFound);
    if (::lstat(hostBytes(toHostPath).constData(), &target) != 0)
        raiseSystemError(errno, toHostPath, vb::err::FileNotFound);
    if (!S_ISREG(target.st_mode) || (target.st_mode & 0111)) return;
    checkpoint("chmod");
    if (::chmod(hostBytes(toHostPath).constData(), source.st_mode & 0777) != 0)
        raiseSystemError(errno, toHostPath, vb::err::PathFileAccess);
}

} // namespace fs
