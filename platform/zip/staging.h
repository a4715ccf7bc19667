#pragma once
// What an interrupted extraction left in a destination folder.
#include <QString>

namespace zipc {

enum class StagingOutcome {
    Nothing,       // no staging folder was there, or an empty one
    Discarded,     // the extraction had not begun to commit: its staged files were removed
    RolledForward, // the commit had begun: the remaining staged files were moved into place
};

// True when an extraction left a staging folder whose commit had begun.
bool commitBegun(const QString& destinationWindowsPath);

// Finishes or discards what a killed extraction left in the destination folder.
StagingOutcome recoverStaging(const QString& destinationWindowsPath);

} // namespace zipc
