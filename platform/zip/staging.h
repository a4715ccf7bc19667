#pragma once
// The staging folder of an extraction and its commit list: how they are written, removed, and
// finished or dropped when a killed process left them in a destination folder.
#include "platform/fs/fs.h"

#include <QString>

namespace zipc {

// Extraction first writes every entry into a staging folder inside the destination, named
// this prefix plus the process id (a dot name, so the file lists hide it): staged files are
// n1, n2, ... CloseArchive then writes the commit list and moves the staged files into
// place; the files they replace are kept there as o1, o2, ... until all moves are done.
inline const QString kStagingPrefix = fs::ownName("staging-");
// The commit list, present once CloseArchive has begun to move files: one UTF-8 line per
// target, the staged file name (empty for a folder), a tab, the destination-relative path
// ("\" separated, a folder ends in "\"). Every staged file was complete before it was
// written, so an interrupted commit can be finished by moving the remaining staged files.
inline constexpr char kCommitList[] = "commit";

// Writes the commit list into a staging folder: complete before it takes its name, and on
// disk together with the staged files before the first file is moved.
void writeCommitList(const QString& staging, const QByteArray& list);

// Removes a staging folder: its files first and the commit list last, so that a staging
// folder that still holds staged files without its list is always one whose commit never
// began.
void removeStagingFolder(const QString& staging);

enum class StagingOutcome {
    Nothing,       // no staging folder was there, or an empty one
    Discarded,     // the extraction had not begun to commit: its staged files were removed
    RolledForward, // the commit had begun: the remaining staged files were moved into place
};

// True when an extraction left a staging folder whose commit had begun.
bool commitBegun(const QString& destinationWindowsPath);

// Finishes or discards what a killed extraction left in the destination folder. With
// `keepCommitList`, a finished commit keeps its staging folder and list: the evidence that the
// files went in, for a caller that could not record it anywhere else.
StagingOutcome recoverStaging(const QString& destinationWindowsPath, bool keepCommitList = false);

} // namespace zipc
