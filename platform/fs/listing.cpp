// The folder and file lists: visible entries of one kind, sorted without regard to case.
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <algorithm>

namespace fs {
namespace {

using detail::join;

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

enum class Wanted { Folders, NormalFiles };

// The visible entries of a folder of one kind, sorted without regard to case.
QStringList visibleEntries(const QString& windowsPath, Wanted kind) {
    const QString folder = toHost(windowsPath);
    SystemError error = 0;
    const auto entries = listFolder(folder, &error);
    if (!entries) raiseSystemError(error, folder, vb::err::PathFileAccess, vb::err::PathNotFound);
    QStringList names;
    for (const FolderEntry& entry : *entries) {
        const QString hostPath = join(folder, entry.name);
        const auto status = statusOf(hostPath, true); // a link counts as what it leads to
        if (!status || isHiddenOrSystem(hostPath)) continue;
        if (status->kind == (kind == Wanted::Folders ? Kind::Folder : Kind::File))
            names.append(entry.name);
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

} // namespace

QStringList subfolders(const QString& windowsPath) {
    return visibleEntries(windowsPath, Wanted::Folders);
}

QStringList matchingFiles(const QString& windowsPath, const QString& pattern) {
    const QStringList patterns = pattern.split(u';', Qt::SkipEmptyParts);
    QStringList matching;
    for (const QString& name : visibleEntries(windowsPath, Wanted::NormalFiles)) {
        if (std::any_of(patterns.begin(), patterns.end(),
                        [&](const QString& p) { return matchesPattern(name, p.trimmed()); }))
            matching.append(name);
    }
    return matching;
}

} // namespace fs
