#include "recovery.h"

#include "log.h"

#include "app/form.h"
#include "platform/fs/fs.h"
#include "platform/fs/host.h"
#include "platform/vb/error.h"
#include "platform/zip/staging.h"

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

QString journalPath(const app::Form& f) {
    return f.PathProgramma + u'\\' + fs::ownName("update.journal");
}

QString journalHostPath(const app::Form& f) {
    return fs::toHost(journalPath(f));
}

} // namespace

QString inInstallation(const app::Form& f, const char* name) {
    return f.PathProgramma + u'\\' + QString::fromLatin1(name);
}

void writeJournal(const app::Form& f, UpdateState state, const QString& mainProgramFile) {
    fs::checkpoint("journal");
    fs::writeFileReplacing(journalPath(f), QByteArray("quna-update 1\n") + stateName(state) + '\n' +
                                               mainProgramFile.toUtf8() + '\n');
}

void removeJournal(const app::Form& f) {
    fs::checkpoint("journal");
    fs::removeFile(journalHostPath(f));
}

bool settleExtraction(const app::Form& f, const QString& mainProgramFile) {
    bool recorded = true;
    if (zipc::commitBegun(f.PathProgramma)) {
        try {
            writeJournal(f, UpdateState::Committed, mainProgramFile);
        } catch (const vb::VbError& e) {
            // On a full disk the roll-forward still goes on, as it needs no space; the commit
            // list then stays as the record that the files went in.
            if (e.number() != vb::err::DiskFull) throw;
            recorded = false;
        }
    }
    return zipc::recoverStaging(f.PathProgramma, !recorded) == zipc::StagingOutcome::RolledForward;
}

void adoptBackupMode(const app::Form& f) {
    if (fs::normalFileExists(mainProgram(f)) && fs::normalFileExists(backupFile(f)))
        fs::adoptExecutableMode(backupFile(f), mainProgram(f));
}

bool journalExists(const app::Form& f) {
    return fs::anyFileExists(journalPath(f));
}

bool restoreMainProgram(const app::Form& f, const QString& mainProgramFile) {
    adoptBackupMode(f);
    if (fs::normalFileExists(mainProgram(f))) return false;
    const QString setAside = inInstallation(f, kSetAside);
    if (fs::anyFileExists(setAside)) {
        fs::moveFile(setAside, mainProgramFile);
    } else if (fs::normalFileExists(backupFile(f))) {
        try {
            fs::linkOrCopyFile(backupFile(f), mainProgramFile);
        } catch (const vb::VbError& e) {
            if (e.number() != vb::err::DiskFull) throw;
            // Not even room for a name: the backup itself goes back into place, and gets its
            // own name again if it can.
            fs::moveFile(backupFile(f), mainProgramFile);
            try {
                fs::linkOrCopyFile(mainProgramFile, backupFile(f));
            } catch (const vb::VbError&) {
            }
        }
    } else {
        return false;
    }
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    return true;
}

namespace {

// The main program as it was spelled on disk before the update deleted it: the journal's
// third line, when it names that file in the installation folder; else its usual name.
QString journalMainProgram(const app::Form& f, const QList<QByteArray>& lines) {
    const QString named = lines.size() > 2 ? QString::fromUtf8(lines[2]) : QString();
    const QString usual = inInstallation(f, kMainProgram);
    return named.compare(usual, Qt::CaseInsensitive) == 0 ? named : usual;
}

// Whatever a killed run left under the updater's own names (a copy being written, a journal
// being replaced, a staging folder) is litter once no journal needs it.
void sweepOwnFiles(const app::Form& f) {
    const QString folder = fs::toHost(f.PathProgramma);
    const QString lock = fs::ownName(fs::kLockName);
    for (const fs::FolderEntry& entry : fs::listFolder(folder).value_or(fs::FolderEntries())) {
        if (!fs::isOwnName(entry.name) || entry.name == lock)
            continue; // another start may lock the lock file at any moment
        const QString path = folder + u'/' + entry.name;
        if (entry.kind == fs::Kind::Folder)
            fs::removeTree(path); // links inside are not followed
        else
            fs::removeFile(path);
    }
}

void recover(app::Form& f) {
    const QByteArray text = fs::readWholeFile(journalHostPath(f)).value_or(QByteArray());
    const QList<QByteArray> lines = text.split('\n');
    const QString mainProgramFile = journalMainProgram(f, lines);
    const bool rolledForward = settleExtraction(f, mainProgramFile);
    const QByteArray state = lines.size() > 1 ? lines[1] : QByteArray();

    const bool committed = rolledForward || state == stateName(UpdateState::Committed);
    const bool backupPresent = fs::normalFileExists(backupFile(f));
    QString told;
    if (restoreMainProgram(f, mainProgramFile)) {
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
    if (fs::normalFileExists(mainProgram(f)) && backupPresent &&
        fs::normalFileExists(backupFile(f)))
        fs::deleteFile(backupFile(f));
    removeJournal(f);
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    logRecovery(f, told);
    f.host.messageBox(told, ui::Buttons::Ok, ui::Icon::None);
}

} // namespace

bool settleInterruptedUpdate(app::Form& f) {
    if (journalExists(f)) {
        try {
            recover(f);
        } catch (const vb::VbError& e) {
            logRecovery(f, {}, &e);
            // The journal and what it needs stay for the next start to try again; this one
            // goes on, so the window opens and "Esci" says what keeps QUNA from starting.
            f.host.messageBox(
                QStringLiteral(
                    "ATTENZIONE!! Impossibile completare l'aggiornamento interrotto\r\n") +
                    vb::errorMessage("codice Errore = ", e),
                ui::Buttons::Ok, ui::Icon::Exclamation);
            return false;
        }
    }
    sweepOwnFiles(f);
    return true;
}

void recoverInterruptedUpdate(app::Form& f) {
    // Held only while the recovery runs: an updater whose window stays open keeps no one
    // else from updating until it begins an update itself.
    const fs::InstallationLock lock(f.PathProgramma);
    if (lock.state() == fs::InstallationLock::State::Busy) {
        f.host.messageBox(
            anotherUpdateRunning(f, QStringLiteral("Attendi che sia terminato, poi avvia di nuovo "
                                                   "QUNA o l'aggiornamento.")),
            ui::Buttons::Ok, ui::Icon::Exclamation);
        f.host.endProcess();
        return;
    }
    // Without a lock file (a folder this user may not write) nothing can be changed here
    // anyway; what the recovery cannot do it says.
    settleInterruptedUpdate(f);
}

QString anotherUpdateRunning(const app::Form& f, const QString& then) {
    return QStringLiteral("ATTENZIONE!! Un altro aggiornamento di QUNA è in corso nella "
                          "cartella %1!!\r\n")
               .arg(f.PathProgramma) +
           then;
}

} // namespace update
