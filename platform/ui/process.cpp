#include "host.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace ui {

namespace {
bool isWindowsProgram(const QString& hostPath) {
    QFile f(hostPath);
    return f.open(QIODevice::ReadOnly) && f.read(2) == "MZ";
}
} // namespace

void startDetached(const QString& windowsPath) {
    if (!fs::normalFileExists(windowsPath)) vb::raise(vb::err::FileNotFound);
    const QString hostPath = fs::toHost(windowsPath);
    QString program = hostPath;
    QStringList args;
    if (isWindowsProgram(hostPath)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            vb::raise(vb::err::PathFileAccess,
                      QStringLiteral("Programma Windows: manca il livello di compatibilità per "
                                     "avviarlo"));
        program = wine;
        args << hostPath;
    }
    if (!QProcess::startDetached(program, args, QFileInfo(hostPath).absolutePath()))
        vb::raise(vb::err::PathFileAccess,
                  QStringLiteral("Impossibile avviare il programma ") + windowsPath);
}

} // namespace ui
