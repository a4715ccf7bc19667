#include "safety.h"

#include "log.h"

#include "form/messages.h"

#include "platform/fs/fs.h"
#include "platform/fs/host.h"
#include "platform/vb/error.h"
#include "platform/zip/staging.h"

namespace update {

namespace {

// The main program set aside by the update in place of deleting it (one of our own names).
constexpr char kSetAside[] = ".quna-program.kept";

QString journalPath(const form::Form& f) {
    return f.PathProgramma + u'\\' + fs::ownName("update.journal");
}

QString journalHostPath(const form::Form& f) {
    return fs::toHost(journalPath(f));
}

QString mainProgram(const form::Form& f) {
    return inInstallation(f, kMainProgramCopied);
}

QString backupFile(const form::Form& f) {
    return inInstallation(f, kBackup);
}

// The main program as it was spelled on disk before the update deleted it: the journal's
// third line, when it names that file in the installation folder; else its usual name.
QString journalMainProgram(const form::Form& f, const QList<QByteArray>& lines) {
    const QString named = lines.size() > 2 ? QString::fromUtf8(lines[2]) : QString();
    const QString usual = inInstallation(f, kMainProgram);
    return named.compare(usual, Qt::CaseInsensitive) == 0 ? named : usual;
}

} // namespace

QString inInstallation(const form::Form& f, const char* name) {
    return f.PathProgramma + u'\\' + QString::fromLatin1(name);
}

UpdateSafety::UpdateSafety(form::Form& form) : f(form), mainProgramFile_(mainProgram(form)) {}

const char* UpdateSafety::stateName(State state) {
    static constexpr const char* names[] = {"started", "backed-up", "committed"};
    return names[static_cast<int>(state)];
}

void UpdateSafety::writeJournal(State state) {
    fs::checkpoint("journal");
    fs::writeFileReplacing(journalPath(f), QByteArray("quna-update 1\n") + stateName(state) + '\n' +
                                               mainProgramFile_.toUtf8() + '\n');
}

void UpdateSafety::removeJournal() {
    fs::checkpoint("journal");
    fs::removeFile(journalHostPath(f));
}

void UpdateSafety::begin() {
    mainProgramFile_ = fs::onDiskSpelling(mainProgram(f));
    writeJournal(State::Started);
    journal_ = true;
}

bool UpdateSafety::oldBackupReplaceable() const {
    return fs::normalFileExists(inInstallation(f, kOldBackup)) &&
           fs::normalFileExists(mainProgram(f));
}

void UpdateSafety::deleteOldBackup() {
    fs::deleteFile(inInstallation(f, kOldBackup));
}

void UpdateSafety::backUp() {
    fs::linkOrCopyFile(mainProgram(f), backupFile(f));
}

void UpdateSafety::backedUp() {
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    writeJournal(State::BackedUp);
}

void UpdateSafety::setMainProgramAside() {
    fs::moveFile(mainProgram(f), inInstallation(f, kSetAside));
}

zipc::ReservedNames UpdateSafety::reservedNames() {
    return {{QString::fromLatin1(kBackup)}, {QString::fromLatin1(kMainProgram)}};
}

void UpdateSafety::commit(zipc::Archive& archive) {
    archive.CloseArchive([this] {
        committed_ = true;
        writeJournal(State::Committed);
    });
}

void UpdateSafety::adoptBackupMode() {
    if (fs::normalFileExists(mainProgram(f)) && fs::normalFileExists(backupFile(f)))
        fs::adoptExecutableMode(backupFile(f), mainProgram(f));
}

bool UpdateSafety::mainProgramSetAside() const {
    return fs::anyFileExists(inInstallation(f, kSetAside));
}

void UpdateSafety::removeSetAside() {
    // Windows keeps the file of a program that is still running (an old QUNA left open): it
    // stays under our own name, and a later start's sweep removes it; the update itself is
    // complete.
    try {
        fs::deleteFile(inInstallation(f, kSetAside));
    } catch (const vb::VbError& e) {
        if (e.number() != vb::err::PermissionDenied ||
            !fs::anyFileExists(inInstallation(f, kSetAside)))
            throw;
    }
}

void UpdateSafety::finish() {
    if (journal_) removeJournal();
    journal_ = false;
}

// Finishes or drops what an interrupted extraction left in the installation folder; true
// when its files went in. The journal learns it before the evidence goes.
bool UpdateSafety::settleExtraction() {
    bool recorded = true;
    if (zipc::commitBegun(f.PathProgramma)) {
        try {
            writeJournal(State::Committed);
        } catch (const vb::VbError& e) {
            // On a full disk the roll-forward still goes on, as it needs no space; the commit
            // list then stays as the record that the files went in.
            if (e.number() != vb::err::DiskFull) throw;
            recorded = false;
        }
    }
    return zipc::recoverStaging(f.PathProgramma, !recorded) == zipc::StagingOutcome::RolledForward;
}

bool UpdateSafety::restore() {
    adoptBackupMode();
    if (fs::normalFileExists(mainProgram(f))) return false;
    const QString setAside = inInstallation(f, kSetAside);
    if (fs::anyFileExists(setAside)) {
        fs::moveFile(setAside, mainProgramFile_);
    } else if (fs::normalFileExists(backupFile(f))) {
        try {
            fs::linkOrCopyFile(backupFile(f), mainProgramFile_);
        } catch (const vb::VbError& e) {
            if (e.number() != vb::err::DiskFull) throw;
            // Not even room for a name: the backup itself goes back into place, and gets its
            // own name again if it can.
            fs::moveFile(backupFile(f), mainProgramFile_);
            try {
                fs::linkOrCopyFile(mainProgramFile_, backupFile(f));
            } catch (const vb::VbError&) {
            }
        }
    } else {
        return false;
    }
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    return true;
}

bool UpdateSafety::abandon(zipc::Archive& archive) {
    if (!journal_) return true;
    try {
        archive.AbandonArchive();
        const bool rolledForward = settleExtraction();
        restore();
        const QString setAside = inInstallation(f, kSetAside);
        const bool present = fs::normalFileExists(mainProgram(f));
        if (present && fs::anyFileExists(setAside)) {
            try {
                fs::deleteFile(setAside);
            } catch (const vb::VbError&) {
            }
        }
        // The journal stays while something waits for the next start: a main program to put
        // back, or the set-aside one to remove.
        const bool pending =
            fs::anyFileExists(setAside) || (!present && fs::normalFileExists(backupFile(f)));
        if (!pending) removeJournal();
        return present && !rolledForward;
    } catch (const vb::VbError&) {
        // The journal stays: the next start finishes the recovery.
        return false;
    }
}

bool UpdateSafety::interrupted() const {
    return fs::anyFileExists(journalPath(f));
}

std::optional<QString> UpdateSafety::interruptedState() const {
    const std::optional<QByteArray> text = fs::readWholeFile(journalHostPath(f));
    if (!text) return std::nullopt;
    return QString::fromUtf8(text->split('\n').value(1));
}

// Whatever a killed run left under the updater's own names (a copy being written, a journal
// being replaced, a staging folder) is litter once no journal needs it.
void UpdateSafety::sweepOwnFiles() {
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

void UpdateSafety::recover() {
    const QByteArray text = fs::readWholeFile(journalHostPath(f)).value_or(QByteArray());
    const QList<QByteArray> lines = text.split('\n');
    mainProgramFile_ = journalMainProgram(f, lines);
    const bool rolledForward = settleExtraction();
    const QByteArray state = lines.size() > 1 ? lines[1] : QByteArray();

    const bool committed = rolledForward || state == stateName(State::Committed);
    const bool backupPresent = fs::normalFileExists(backupFile(f));
    const bool restored = restore();
    const QString told = form::msg::interruptedUpdateSettled(committed, restored);
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    // The backup was made by the interrupted update; with the main program in place it goes.
    if (fs::normalFileExists(mainProgram(f)) && backupPresent &&
        fs::normalFileExists(backupFile(f)))
        fs::deleteFile(backupFile(f));
    removeJournal();
    fs::syncFileSystem(fs::toHost(f.PathProgramma));
    logRecovery(f, told);
    f.host.messageBox(told, ui::Buttons::Ok, ui::Icon::None);
}

bool UpdateSafety::settleInterrupted() {
    if (interrupted()) {
        try {
            recover();
        } catch (const vb::VbError& e) {
            logRecovery(f, {}, &e);
            // The journal and what it needs stay for the next start to try again; this one
            // goes on, so the window opens and "Esci" says what keeps QUNA from starting.
            f.host.messageBox(form::msg::kInterruptedUpdateUnsettled +
                                  vb::errorMessage("codice Errore = ", e),
                              ui::Buttons::Ok, ui::Icon::Exclamation);
            return false;
        }
    }
    sweepOwnFiles();
    return true;
}

void UpdateSafety::recoverAtStart() {
    // Held only while the recovery runs: an updater whose window stays open keeps no one
    // else from updating until it begins an update itself.
    const fs::InstallationLock lock(f.PathProgramma);
    if (lock.state() == fs::InstallationLock::State::Busy) {
        f.host.messageBox(
            form::msg::anotherUpdateRunning(f.PathProgramma, form::msg::kWaitThenStart),
            ui::Buttons::Ok, ui::Icon::Exclamation);
        f.host.endProcess();
        return;
    }
    // Without a lock file (a folder this user may not write) nothing can be changed here
    // anyway; what the recovery cannot do it says.
    settleInterrupted();
}

} // namespace update
