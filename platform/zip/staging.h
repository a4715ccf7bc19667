#pragma once
// What an interrupted extraction left in a destination folder.
#include <QString>

namespace zipc {

enum class StagingOutcome {
    Nothing,       // no staging folder was there
    Discarded,     // the extraction had not begun to commit: its staged files were removed
    RolledForward, // the commit had begun: the remaining staged files were moved into place
};

// Finishes or discards what a killed extraction left in the destination folder.
StagingOutcome recoverStaging(const QString& destinationWindowsPath);

} // namespace zipc
