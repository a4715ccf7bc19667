#include "journal.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"
#include "platform/zip/staging.h"

#include <QFile>
#include <QSaveFile>

namespace update {

namespace {

const char* stateName(UpdateState s) {
    switch (s) {
    case UpdateState::Started:
        return "started";
    case UpdateState::BackedUp:
        return "backed-up";
    case UpdateState::Committed:
        return "committed";
    }
    return "";
}

QString journalHostPath(const app::Form& f) {
    return fs::toHost(f.PathProgramma + QString::fromLatin1(kJournalName));
}

bool sameContent(const QString& windowsPath, const QString& otherWindowsPath) {
    QFile a(fs::toHost(windowsPath)), b(fs::toHost(otherWindowsPath));
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    while (!a.atEnd())
        if (a.read(1 << 16) != b.read(1 << 16)) return false;
    return true;
}

} // namespace

QString mainProgram(const app::Form& f) {
    return f.PathProgramma + QStringLiteral("\\Quna.EXE");
}
QString backupFile(const app::Form& f) {
    return f.PathProgramma + QStringLiteral("\\Quna.OLD");
}

void writeJournal(const app::Form& f, UpdateState state, const QString& mainProgramFile) {
    fs::checkpoint("journal");
    QSaveFile file(journalHostPath(f)); // written whole and flushed, then renamed into place
    const QByteArray text =
        QByteArray("quna-update 1\n") + stateName(state) + '\n' + mainProgramFile.toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        vb::raise(vb::err::PathFileAccess);
}

void removeJournal(const app::Form& f) {
    fs::checkpoint("journal");
    QFile::remove(journalHostPath(f));
}

void recoverInterruptedUpdate(app::Form& f) {
    QFile file(journalHostPath(f));
    if (!file.exists()) return;
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    const QList<QByteArray> lines = text.split('\n');
    // The main program as it was spelled on disk before the update deleted it.
    const QString mainProgramFile =
        lines.size() > 2 && !lines[2].isEmpty() ? QString::fromUtf8(lines[2]) : mainProgram(f);
    const zipc::StagingOutcome staging = zipc::recoverStaging(f.PathProgramma);
    const QByteArray state = lines.size() > 1 ? lines[1] : QByteArray();

    const bool mainPresent = fs::normalFileExists(mainProgram(f));
    const bool backupPresent = fs::normalFileExists(backupFile(f));
    // The extraction removes its staging folder as soon as its files are in place, before the
    // journal can say so: a backed-up journal with no staging folder and a main program that
    // is no longer a copy of its backup means the archive's files were all put in place.
    const bool replaced = state == stateName(UpdateState::BackedUp) &&
                          staging == zipc::StagingOutcome::Nothing && mainPresent &&
                          backupPresent && !sameContent(mainProgram(f), backupFile(f));
    const bool committed = staging == zipc::StagingOutcome::RolledForward ||
                           state == stateName(UpdateState::Committed) || replaced;
    // A main program the archive put in place takes its backup's mode, as the update gives it.
    if (committed && mainPresent && backupPresent)
        fs::adoptExecutableMode(backupFile(f), mainProgram(f));
    QString told;
    if (!mainPresent && backupPresent) {
        fs::copyFile(backupFile(f), mainProgramFile);
        told = committed ? QStringLiteral("L'aggiornamento interrotto non conteneva il programma "
                                          "QUNA: ripristinata la versione precedente.")
                         : QStringLiteral("L'aggiornamento interrotto è stato annullato: "
                                          "ripristinata la versione precedente di QUNA.");
    } else {
        told = committed ? QStringLiteral("L'aggiornamento interrotto è stato completato.")
                         : QStringLiteral("L'aggiornamento interrotto è stato annullato: "
                                          "QUNA è rimasto alla versione precedente.");
    }
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    // The backup was made by the interrupted update; with the main program in place it goes.
    if (fs::normalFileExists(mainProgram(f)) && backupPresent) fs::deleteFile(backupFile(f));
    removeJournal(f);
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    f.host.messageBox(told, ui::Buttons::Ok, ui::Icon::None);
}

} // namespace update
