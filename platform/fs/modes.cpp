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
    const QByteArray fromHost = hostBytes(toHost(from)), toHostPath = hostBytes(toHost(to));
    if (::stat(fromHost.constData(), &source) != 0 || ::lstat(toHostPath.constData(), &target) != 0)
        vb::raise(errorFromErrno(errno, vb::err::FileNotFound));
    if (!S_ISREG(target.st_mode) || (target.st_mode & 0111)) return;
    checkpoint("chmod");
    if (::chmod(toHostPath.constData(), source.st_mode & 0777) != 0)
        vb::raise(errorFromErrno(errno, vb::err::PathFileAccess));
}

} // namespace fs
