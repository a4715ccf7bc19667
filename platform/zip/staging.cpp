// The commit list is written whole under a temporary name and renamed into place. Crash
// recovery for the staged extraction: a staging folder with staged files but without
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

void writeCommitList(const QString& staging, const QByteArray& list) {
    const QString path = staging + u'/' + QString::fromLatin1(kCommitList);
    const QString written = path + ".new";
    fs::checkpoint("write commit list");
    fs::removeFile(written); // a list a failed commit left in this staging folder
    fs::File file = fs::File::createNew(written, 0600);
    file.writeAll(list.constData(), std::size_t(list.size()));
    file.close();
    fs::checkpoint("sync staged files");
    fs::syncFileSystem(staging);
    fs::checkpoint("mark commit begun");
    if (const fs::SystemError error = fs::renameReplacing(written, path))
        fs::raiseSystemError(error, path);
}

// The extraction writes only plain files there; anything else is left to the recursive
// removal (which never follows links).
void removeStagingFolder(const QString& staging) {
    if (const auto entries = fs::listFolder(staging)) {
        bool hasList = false;
        for (const fs::FolderEntry& entry : *entries) {
            if (entry.name == QLatin1String(kCommitList))
                hasList = true;
            else
                fs::removeFile(staging + u'/' + entry.name);
        }
        if (hasList) fs::removeFile(staging + u'/' + QLatin1String(kCommitList));
    }
    if (fs::removeEmptyFolder(staging) != 0 && fs::statusOf(staging, false))
        fs::removeTree(staging);
}

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
