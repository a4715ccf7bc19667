// Path resolution below one folder from listings read once: an extraction of tens of thousands
// of entries would otherwise test every component of every entry's path on disk, several
// times over.
#include "platform/fs/internal.h"
#include "platform/vb/error.h"

#include <QHash>

namespace fs {

struct FolderTree::Impl {
    // One folder's names: each as spelled, with its kind, and the least spelling of the names
    // that fold to the same case.
    struct Listing {
        QHash<QString, Kind> kinds;
        QHash<QString, QString> byFolded;

        void add(const QString& name, Kind kind) {
            kinds.insert(name, kind);
            const QString key = name.toCaseFolded();
            auto it = byFolded.find(key);
            if (it == byFolded.end())
                byFolded.insert(key, name);
            else if (name < it.value())
                it.value() = name;
        }
    };

    QString root;
    QHash<QString, Listing> folders; // by host path

    // A folder that does not exist lists as empty; one that exists but cannot be read raises,
    // as its names would all look missing and an existing file would be taken for a new one.
    const Listing& listing(const QString& folder) {
        if (auto it = folders.constFind(folder); it != folders.cend()) return it.value();
        Listing names;
        SystemError error = 0;
        const auto entries = listFolder(folder, &error);
        if (!entries && !isMissing(error)) raiseSystemError(error, folder, vb::err::PathFileAccess);
        if (entries)
            for (const FolderEntry& entry : *entries)
                names.add(entry.name, entry.kind);
        return folders.insert(folder, std::move(names)).value();
    }
};

FolderTree::FolderTree(QString hostRoot) : d(std::make_unique<Impl>()) {
    d->root = std::move(hostRoot);
}

FolderTree::~FolderTree() = default;

const QString& FolderTree::root() const {
    return d->root;
}

FolderTree::Resolved FolderTree::resolve(const QStringList& components) {
    Resolved result{d->root, components.size(), Kind::Folder, {}};
    qsizetype i = 0;
    for (; i < components.size(); ++i) {
        const Impl::Listing& names = d->listing(result.hostPath);
        const QString& wanted = components[i];
        QString found = wanted;
        auto kind = names.kinds.constFind(wanted);
        if (kind == names.kinds.cend()) {
            found = names.byFolded.value(wanted.toCaseFolded());
            if (!found.isEmpty()) kind = names.kinds.constFind(found);
        }
        const Kind k = kind == names.kinds.cend() ? Kind::Missing : kind.value();
        result.hostPath = detail::join(result.hostPath, found.isEmpty() ? wanted : found);
        if (k != Kind::Folder) {
            result.stop = i;
            result.kind = k;
            break;
        }
    }
    result.stopPath = result.hostPath;
    for (++i; i < components.size(); ++i)
        result.hostPath = detail::join(result.hostPath, components[i]);
    return result;
}

void FolderTree::created(const QString& hostPath, Kind kind) {
    auto it = d->folders.find(detail::parentOf(hostPath));
    if (it != d->folders.end()) it.value().add(detail::nameOf(hostPath), kind);
    // A new folder is empty: nothing to read when a path goes through it.
    if (kind == Kind::Folder) d->folders.insert(hostPath, Impl::Listing{});
}

} // namespace fs
