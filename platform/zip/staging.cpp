// Crash recovery for the staged extraction: a staging folder with staged files but without
// its commit list is an extraction that never began to commit, and goes; one with the list is
// finished by moving the staged files that are still there into place; an empty one is what a
// finished commit left while removing it.
#include "staging.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace zipc {

namespace {

void rollForward(const QString& destinationWindowsPath, const QString& staging) {
    QFile list(staging + u'/' + QString::fromLatin1(kCommitList));
    if (!list.open(QIODevice::ReadOnly)) vb::raise(vb::err::PathFileAccess);
    for (const QByteArray& line : list.readAll().split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab < 0) continue;
        const QString stagedName = QString::fromUtf8(line.left(tab));
        const QString relative = QString::fromUtf8(line.mid(tab + 1));
        const QString target = fs::toHost(destinationWindowsPath + u'\\' + relative);
        if (relative.endsWith(u'\\')) {
            QDir().mkpath(target);
            continue;
        }
        const QString staged = staging + u'/' + stagedName;
        if (stagedName.isEmpty() || !QFile::exists(staged)) continue; // already in place
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (std::rename(fs::hostBytes(staged).constData(), fs::hostBytes(target).constData()) != 0)
            vb::raise(fs::errorFromErrno(errno, vb::err::PathFileAccess));
    }
}

QStringList stagingFolders(const QString& destination) {
    return QDir(destination)
        .entryList({kStagingPrefix + u'*'},
                   QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
}

} // namespace

bool commitBegun(const QString& destinationWindowsPath) {
    const QString destination = fs::toHost(destinationWindowsPath);
    for (const QString& name : stagingFolders(destination))
        if (QDir(destination + u'/' + name).exists(QString::fromLatin1(kCommitList))) return true;
    return false;
}

StagingOutcome recoverStaging(const QString& destinationWindowsPath, bool keepCommitList) {
    const QString destination = fs::toHost(destinationWindowsPath);
    const QStringList folders = stagingFolders(destination);
    StagingOutcome outcome = StagingOutcome::Nothing;
    for (const QString& name : folders) {
        const QString staging = destination + u'/' + name;
        const QDir folder(staging);
        if (folder.exists(QString::fromLatin1(kCommitList))) {
            rollForward(destinationWindowsPath, staging);
            fs::syncFileSystem(destination);
            outcome = StagingOutcome::RolledForward;
            if (keepCommitList) continue;
        } else if (!folder.isEmpty(QDir::Files | QDir::Hidden | QDir::System) &&
                   outcome == StagingOutcome::Nothing) {
            outcome = StagingOutcome::Discarded;
        }
        QDir(staging).removeRecursively();
    }
    return outcome;
}

} // namespace zipc
