#include "log.h"

#include "platform/fs/fs.h"

#include <QDateTime>
#include <QDir>
#include <QSysInfo>

namespace update {

namespace {

// Time, user, machine and installation: the fields every line starts with, tab-separated.
QString lineStart(const form::Form& f, const QString& event) {
    QString user = qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME"));
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME", QDir::home().dirName());
    // Local time with its offset, so that lines from machines in other zones compare.
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate) + u'\t' + event +
           QStringLiteral("\tutente=") + user + QStringLiteral("\tmacchina=") +
           QSysInfo::machineHostName() + QStringLiteral("\tcartella=") + f.PathProgramma;
}

QString errorFields(const vb::VbError* error) {
    if (!error) return {};
    return QStringLiteral("\terrore=") + QString::number(error->number()) +
           QStringLiteral("\tdescrizione=") + error->description();
}

} // namespace

void logUpdate(const form::Form& f, const QString& outcome, const vb::VbError* error) {
    const QString archive = f.PathArchivio.trimmed();
    qint64 size = -1;
    try {
        size = fs::fileSize(archive);
    } catch (const vb::VbError&) {
    }
    fs::appendToUpdateLog(
        lineStart(f, QStringLiteral("aggiornamento")) + QStringLiteral("\tarchivio=") + archive +
        QStringLiteral("\tbyte=") + QString::number(size) + QStringLiteral("\tsha256=") +
        fs::sha256Of(archive) + QStringLiteral("\tda=") + f.VersioPC + QStringLiteral("\ta=") +
        f.VersArchivio + QStringLiteral("\tesito=") + outcome + errorFields(error));
}

void logRecovery(const form::Form& f, const QString& told, const vb::VbError* error) {
    fs::appendToUpdateLog(lineStart(f, QStringLiteral("ripristino")) + QStringLiteral("\tesito=") +
                          (error ? QStringLiteral("errore") : told) + errorFields(error));
}

} // namespace update
