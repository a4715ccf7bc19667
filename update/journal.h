#pragma once
// A small journal kept in the installation folder while an update changes files, so that
// the next start can finish or undo an update that was interrupted (a killed process, a
// power loss) and the installation is never left without its main program.
#include "app/form.h"

namespace update {

enum class UpdateState {
    Started,   // the backup is being made; the main program is still in place
    BackedUp,  // the backup is on disk; the main program may be gone
    Committed, // the archive's files are in place
};

// The journal names the main program file as spelled on disk, so a restore keeps its name.
void writeJournal(const app::Form& f, UpdateState state, const QString& mainProgramFile);
void removeJournal(const app::Form& f);

// Finishes or drops what an interrupted extraction left in the installation folder; true
// when its files went in. The journal learns it before the evidence goes.
bool settleExtraction(const app::Form& f, const QString& mainProgramFile);

// Called at start-up once config.dat was found: when an update was interrupted, undoes it
// (before its files were committed) or finishes it (after), then tells the user in a plain
// box; when that fails, says so in a warning and leaves the journal for the next start.
// Then removes what a killed run left under the updater's own names. Shows nothing when
// there is nothing to recover, and never raises.
void recoverInterruptedUpdate(app::Form& f);

// The main program's files, as the update procedure names them.
QString mainProgram(const app::Form& f); // "\Quna.EXE"
QString backupFile(const app::Form& f);  // "\Quna.OLD"

} // namespace update
