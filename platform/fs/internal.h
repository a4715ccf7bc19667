#pragma once
// Shared by the files of the file-system layer; not for the rest of the program.
#include "platform/fs/fs.h"
#include "platform/fs/host.h"

#include <QByteArray>
#include <QFile>
#include <optional>

namespace fs::detail {

// The drive for a letter (either case). The host table is read again once when the letter
// is not in it, so a volume mounted since the last look is found.
std::optional<Drive> findDrive(QChar letter);

// The letters of lettered volumes without a prefix, by their mount folders in the order they
// were mounted: the letter the folder's name begins with (D to Y, else D), or the next free
// one after it, wrapping from Y to D; a null letter once all are taken. Taken in mount order,
// a volume that appears later never moves the letter of one already there.
std::vector<QChar> volumeLetters(const QStringList& mountFolders);

// The host folder of the server share \\server\share (names compared without regard to
// case): the prefix's dosdevices/unc/<server>/<share>, else a mounted CIFS file system of
// that source; nothing when neither has it.
std::optional<QString> findShare(const QString& server, const QString& share);

// The shares a host path may lie in, for showing it back as a Windows path.
struct Share {
    QString hostRoot;
    QString name; // "\\server\share"
};
std::vector<Share> shares();

inline QString join(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool isFolder(const QString& hostPath); // links followed
QString parentOf(const QString& hostPath);
QString nameOf(const QString& hostPath);

// The one match of a name in a folder's names: as written when it is there, else the least
// spelling in ordinal order of those that differ from it only in case (so the choice never
// depends on the order a folder lists them in); empty when there is none. FolderTree keeps
// the same rule in its own index.
QString matchIgnoringCase(const QStringList& names, const QString& name);

} // namespace fs::detail
