// The folder and file lists: visible entries of one kind, sorted without regard to case.
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace fs {
namespace {

using detail::join;
using detail::statOf;

bool lessIgnoringCase(const QString& a, const QString& b) {
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

bool sameIgnoringCase(QChar a, QChar b) {
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

// "*" matches any run of characters, "?" any one character.
bool matchesWildcards(QStringView name, QStringView pattern) {
    qsizetype n = 0, p = 0, starAt = -1, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || sameIgnoringCase(pattern[p], name[n]))) {
            ++n;
            ++p;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// As on Windows, a pattern ending in ".*" also takes names without an extension ("*.*").
bool matchesPattern(const QString& name, const QString& pattern) {
    return matchesWildcards(name, pattern) ||
           (pattern.endsWith(u".*") && !name.contains(u'.') &&
            matchesWildcards(name, QStringView(pattern).chopped(2)));
}

enum class Kind { Folders, NormalFiles };

// The visible entries of a folder of one kind, sorted without regard to case.
QStringList listFolder(const QString& windowsPath, Kind kind) {
    const QString folder = toHost(windowsPath);
    DIR* dir = ::opendir(hostBytes(folder).constData());
    if (!dir) raiseSystemError(errno, folder, vb::err::PathFileAccess, vb::err::PathNotFound);
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == u"." || name == u"..") continue;
        const QString hostPath = join(folder, name);
        const auto info = statOf(hostPath, true);
        if (!info || isHiddenOrSystem(hostPath)) continue;
        if (kind == Kind::Folders ? S_ISDIR(info->st_mode) : S_ISREG(info->st_mode))
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

} // namespace

QStringList subfolders(const QString& windowsPath) {
    return listFolder(windowsPath, Kind::Folders);
}

QStringList matchingFiles(const QString& windowsPath, const QString& pattern) {
    const QStringList patterns = pattern.split(u';', Qt::SkipEmptyParts);
    QStringList matching;
    for (const QString& name : listFolder(windowsPath, Kind::NormalFiles)) {
        if (std::any_of(patterns.begin(), patterns.end(),
                        [&](const QString& p) { return matchesPattern(name, p.trimmed()); }))
            matching.append(name);
    }
    return matching;
}

} // namespace fs
