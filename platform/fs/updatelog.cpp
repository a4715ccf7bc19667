// The update log: one line per update and per recovery, for an administrator to read.
#include "platform/fs/fs.h"

#include "platform/vb/error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace fs {

namespace {

// Past this size the log becomes its one older file and starts again.
constexpr qint64 kLogLimit = 1 << 20;

} // namespace

QString updateLogPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
#ifdef _WIN32
    // The user's local application data, where Windows programs keep what they note.
    if (!QDir::isAbsolutePath(state))
        state = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
#endif
    if (!QDir::isAbsolutePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quna-updater/aggiornamenti.log");
}

void appendToUpdateLog(const QString& line) {
    // Whatever fails here, the update goes on: the log only tells what happened.
    const QString path = updateLogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (QFileInfo(path).size() > kLogLimit) {
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    QString flat = line;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" / ")).replace(u'\n', u' ');
    log.write(flat.toUtf8() + '\n');
}

QString sha256Of(const QString& windowsPath) {
    try {
        QFile file(toHost(windowsPath));
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
        return QString::fromLatin1(hash.result().toHex());
    } catch (const vb::VbError&) {
        return {};
    }
}

} // namespace fs
