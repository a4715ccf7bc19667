#pragma once
// How an update survives being interrupted (a killed process, a power loss): the journal it
// keeps in the installation folder while it changes files, the names it works with, the
// commit of the archive's files, and the one restore of the main program that both a failing
// update and the next start use. The installation is never left without its main program.
//
// One update per installation: the update and the start's recovery run under the
// installation lock (fs::InstallationLock), so a start never takes a running update for an
// interrupted one, and two updates never change one installation together.
//
// The main program is backed up as a second name of the same file where the file system has
// hard links, and the update sets it aside under a name of our own rather than deleting it, so
// that putting it back is one rename: a restore needs no free space and no free inode.
//
// The states of an update, each entered by one statement of "Elabora":
//
//   state      | entered by            | on disk                    | journal says
//   -----------+-----------------------+----------------------------+-------------
//   idle       |                       | no journal                 |
//   started    | begin()               | main program in place      | started
//   backed-up  | backedUp()            | the backup too; the main   | backed-up
//              |                       | program may be set aside   |
//   committed  | commit(), once every  | the archive's files in     | committed
//              | staged file is moved  | place (written before the  |
//              |                       | commit list goes, so the   |
//              |                       | journal or that list always|
//              |                       | tells that they went in)   |
//   finished   | finish()              | no journal                 |
//
// An error in any state but idle and finished makes the procedure's trap call abandon(): the
// extraction is settled, the main program restored, and the journal goes unless something
// waits for the next start.
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
#include "form/form.h"

namespace update {

// The main program and its backup as the update spells them at each use; the file system
// matches names without regard to case, and a restore keeps the spelling found on disk.
inline constexpr char kMainProgram[] = "Quna.exe";       // judged and started after the update
inline constexpr char kMainProgramCopied[] = "Quna.EXE"; // backed up and set aside
inline constexpr char kBackup[] = "Quna.OLD";            // the backup the update writes
inline constexpr char kOldBackup[] = "Quna.old";         // a backup left by an earlier update

// PathProgramma & "\" & name.
QString inInstallation(const form::Form& f, const char* name);

// The owner of one installation's update safety: its journal, the extraction's staging, the
// commit, the restore and the recovery of an interrupted update. Each member that an update
// calls is one statement of "Elabora", so its error trap sees each step on its own.
class UpdateSafety {
public:
    explicit UpdateSafety(form::Form& f);

    // started: the journal names the main program as spelled on disk, so a restore keeps it.
    void begin();
    // An old backup goes only when the main program is there to replace it, so a second try
    // after a failed one never destroys the only copy.
    bool oldBackupReplaceable() const;
    void deleteOldBackup();
    void backUp();   // the main program's backup, a second name of it where links exist
    void backedUp(); // the backup is on disk
    // Set aside rather than deleted, so that putting it back needs no free space.
    void setMainProgramAside();
    // The backup is what a failed update gives back, and the main program what the update is
    // judged by and what is started: the archive may replace the latter with a file of its
    // own, and neither in any other way.
    static zipc::ReservedNames reservedNames();
    // CloseArchive: the archive's files go in, and the journal learns it before the commit
    // list goes.
    void commit(zipc::Archive& archive);
    // With both there, the main program takes its backup's mode: one extracted from an archive
    // made on Windows carries none, and would not start.
    void adoptBackupMode();
    // adoptBackupMode; a missing main program is put back under its name on disk: the one set
    // aside by a rename, else the backup as a second name of it (or a copy). When even a name
    // cannot be added (no space, no inode), the backup itself is renamed into place: the
    // program is back and the backup is gone. True when the program was put back.
    bool restore();
    bool mainProgramSetAside() const;
    void removeSetAside();
    void finish(); // the journal goes: nothing is left to recover
    // An unexpected error after the update began: a pending extraction is dropped (or
    // finished, when its commit had begun) and the main program put back when it is gone.
    // True when the installation is back to what it was before the update.
    bool abandon(zipc::Archive& archive);
    bool committed() const { return committed_; }

    // The journal's presence: an update of this installation began and did not finish (or is
    // running, when another process holds the lock).
    bool interrupted() const;
    // The state the journal records ("started", "backed-up", "committed"); nothing when no
    // journal can be read.
    std::optional<QString> interruptedState() const;
    // Settles an interrupted update as the table above says and tells the user in a plain
    // box, then sweeps our own files; the caller holds the installation lock. Shows nothing
    // when there is nothing to recover, and never raises. False when the recovery failed: a
    // warning said so and the journal stays for the next try.
    bool settleInterrupted();
    // Called at start-up once config.dat was found. When another updater is at work on this
    // installation, says so and ends the process without starting the main program (that
    // updater starts it when it is done). Otherwise settles an interrupted update under the
    // lock.
    void recoverAtStart();

private:
    enum class State { Started, BackedUp, Committed }; // the journal's second line
    static const char* stateName(State state);
    void writeJournal(State state);
    void removeJournal();
    bool settleExtraction();
    void recover();
    void sweepOwnFiles();

    form::Form& f;
    // The main program file as it is named on disk: a restore gives it back that name, not
    // the spelling the procedure writes ("\Quna.EXE").
    QString mainProgramFile_;
    bool journal_ = false;   // written by this update and not yet removed
    bool committed_ = false; // the archive's files went in
};

} // namespace update
