#pragma once
// How an update survives being interrupted (a killed process, a power loss): the journal it
// keeps in the installation folder while it changes files, the names it works with, and the
// one restore of the main program that both a failing update and the next start use. The
// installation is never left without its main program.
//
// One update per installation: the update and the start's recovery run under the
// installation lock (fs::InstallationLock), so a start never takes a running update for an
// interrupted one, and two updates never change one installation together.
//
// The main program is backed up as a second name of the same file where the file system has
// hard links, and the update sets it aside under a name of our own rather than deleting it, so
// that putting it back is one rename: a restore needs no free space and no free inode.
//
// The journal's states, in the order an update writes them:
//   started    the backup is being made; the main program is still in place
//   backed-up  the backup is on disk; the main program may be set aside
//   committed  the archive's files are in place (written before the extraction's commit list
//              goes, so the journal or that list always tells that the files went in)
//
// What a new start does when it finds a journal. First the extraction's staging is settled: a
// commit that had begun is finished (and the journal learns "committed"), anything else
// staged is dropped. Then, by what is on disk:
//
//   committed? | main program | backup  | the start                          | it says
//   -----------+--------------+---------+------------------------------------+---------------
//   no         | present      | any     | removes the backup                 | annullato,
//              |              |         |                                    | rimasto
//   no         | missing      | present | puts the program back, removes the | annullato,
//              |              |         | backup                             |
//              |              |         |                                    | ripristinata
//   yes        | present      | any     | gives the main program the backup's| completato
//              |              |         | mode, removes the backup           |
//   yes        | missing      | present | puts the program back, removes the | non conteneva
//              |              |         | backup                             |
//              |              |         |                                    | il programma
//   any        | missing      | missing | nothing to restore                 | as the rows
//              |              |         |                                    | above
//
// Then the journal goes. When any of this fails, a warning says so and the journal stays for
// the next start. With or without a journal, the start then sweeps away whatever a killed run
// left under our own names (a copy being written, a journal being replaced, a staging folder).
#include "app/form.h"

namespace update {

enum class UpdateState { Started, BackedUp, Committed };

// The main program and its backup as the update spells them at each use; the file system
// matches names without regard to case, and a restore keeps the spelling found on disk.
inline constexpr char kMainProgram[] = "Quna.exe";       // judged and started after the update
inline constexpr char kMainProgramCopied[] = "Quna.EXE"; // backed up and deleted
inline constexpr char kBackup[] = "Quna.OLD";            // the backup the update writes
inline constexpr char kOldBackup[] = "Quna.old";         // a backup left by an earlier update

// The main program set aside by the update in place of deleting it (one of our own names).
inline constexpr char kSetAside[] = ".quna-program.kept";

// PathProgramma & "\" & name.
QString inInstallation(const app::Form& f, const char* name);
inline QString mainProgram(const app::Form& f) {
    return inInstallation(f, kMainProgramCopied);
}
inline QString backupFile(const app::Form& f) {
    return inInstallation(f, kBackup);
}

// The journal names the main program file as spelled on disk, so a restore keeps its name.
void writeJournal(const app::Form& f, UpdateState state, const QString& mainProgramFile);
void removeJournal(const app::Form& f);

// Finishes or drops what an interrupted extraction left in the installation folder; true
// when its files went in. The journal learns it before the evidence goes.
bool settleExtraction(const app::Form& f, const QString& mainProgramFile);

// With both there, the main program takes its backup's mode: one extracted from an archive
// made on Windows carries none, and would not start.
void adoptBackupMode(const app::Form& f);

// adoptBackupMode; a missing main program is put back under mainProgramFile: the one set
// aside by a rename, else the backup as a second name of it (or a copy). When even a name
// cannot be added (no space, no inode), the backup itself is renamed into place: the program
// is back and the backup is gone. True when the program was put back.
bool restoreMainProgram(const app::Form& f, const QString& mainProgramFile);

// The journal's presence: an update of this installation began and did not finish (or is
// running, when another process holds the lock).
bool journalExists(const app::Form& f);

// Settles an interrupted update as the table above says and tells the user in a plain box,
// then sweeps our own files; the caller holds the installation lock. Shows nothing when there
// is nothing to recover, and never raises. False when the recovery failed: a warning said so
// and the journal stays for the next try.
bool settleInterruptedUpdate(app::Form& f);

// Called at start-up once config.dat was found. When another updater is at work on this
// installation, says so and ends the process without starting the main program (that
// updater starts it when it is done). Otherwise settles an interrupted update under the lock.
void recoverInterruptedUpdate(app::Form& f);

// The warning that another update of this installation is running; `then` says what to do.
QString anotherUpdateRunning(const app::Form& f, const QString& then);

} // namespace update
