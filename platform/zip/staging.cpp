// Crash recovery for the staged extraction: a staging folder with staged files but without
// its commit list is an extraction that never began to commit, and goes; one with the list is
// finished by moving the staged files that are still there into place; an empty one is what a
// finished commit left while removing it.
#include "staging.h"

#include "platform/fs/fs.h"
#include "platform/fs/host.h"
#include "platform/vb/error.h"

#include <algorithm>

namespace zipc {

namespace {

void rollForward(const QString& destinationWindowsPath, const QString& staging) {
    const auto list = fs::readWholeFile(staging + u'/' + QString::fromLatin1(kCommitList));
    if (!list) vb::raise(vb::err::PathFileAccess);
    for (const QByteArray& line : list->split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab < 0) continue;
        const QString stagedName = QString::fromUtf8(line.left(tab));
        const QString relative = QString::fromUtf8(line.mid(tab + 1));
        const QString target = fs::toHost(destinationWindowsPath + u'\\' + relative);
        if (relative.endsWith(u'\\')) {
            fs::createFolders(target);
            continue;
        }
        const QString staged = staging + u'/' + stagedName;
        if (stagedName.isEmpty() || !fs::statusOf(staged, true)) continue; // already in place
        fs::createFolders(target.left(target.lastIndexOf(u'/')));
        if (const fs::SystemError error = fs::renameReplacing(staged, target))
            vb::raise(fs::errorNumberOf(error, vb::err::PathFileAccess));
    }
}

// The staging folders in a destination, in the order of their names.
QStringList stagingFolders(const QString& destination) {
    QStringList names;
    if (const auto entries = fs::listFolder(destination))
        for (const fs::FolderEntry& entry : *entries)
            if (entry.kind == fs::Kind::Folder &&
                entry.name.startsWith(kStagingPrefix, Qt::CaseInsensitive))
                names << entry.name;
    names.sort(Qt::CaseInsensitive);
    return names;
}

bool holdsCommitList(const QString& staging) {
    return fs::statusOf(staging + u'/' + QString::fromLatin1(kCommitList), true).has_value();
}

// Anything but folders.
bool holdsFiles(const QString& staging) {
    const auto entries = fs::listFolder(staging);
    return entries && std::any_of(entries->begin(), entries->end(), [](const fs::FolderEntry& e) {
               return e.kind != fs::Kind::Folder;
           });
}

} // namespace

bool commitBegun(const QString& destinationWindowsPath) {
    const QString destination = fs::toHost(destinationWindowsPath);
    for (const QString& name : stagingFolders(destination))
        if (holdsCommitList(destination + u'/' + name)) return true;
    return false;
}

StagingOutcome recoverStaging(const QString& destinationWindowsPath, bool keepCommitList) {
    const QString destination = fs::toHost(destinationWindowsPath);
    const QStringList folders = stagingFolders(destination);
    StagingOutcome outcome = StagingOutcome::Nothing;
    for (const QString& name : folders) {
        const QString staging = destination + u'/' + name;
        if (holdsCommitList(staging)) {
            rollForward(destinationWindowsPath, staging);
            fs::syncFileSystem(destination);
            outcome = StagingOutcome::RolledForward;
            if (keepCommitList) continue;
        } else if (holdsFiles(staging) && outcome == StagingOutcome::Nothing) {
            outcome = StagingOutcome::Discarded;
        }
        fs::removeTree(staging);
    }
    return outcome;
}

} // namespace zipc
