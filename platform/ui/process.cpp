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
    QProcess process;
    process.setProgram(hostPath);
    process.setWorkingDirectory(QFileInfo(hostPath).absolutePath());
    if (isWindowsProgram(hostPath)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            vb::raise(vb::err::PathFileAccess,
                      QStringLiteral("Programma Windows: manca il livello di compatibilità per "
                                     "avviarlo"));
        process.setProgram(wine);
        process.setArguments({hostPath});
        // The program belongs to the prefix of the installation, whatever the user's default.
        if (const QString prefix = fs::winePrefix(); !prefix.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("WINEPREFIX"), prefix);
            process.setProcessEnvironment(environment);
        }
    }
    if (!process.startDetached())
        vb::raise(vb::err::PathFileAccess,
                  QStringLiteral("Impossibile avviare il programma ") + windowsPath);
}

} // namespace ui
