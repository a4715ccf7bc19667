// The extraction half of the archive component: each entry is written into a staging folder
// inside the destination and checked there; the commit writes the commit list, moves the
// staged set into place and rolls it back when a step fails. staging.cpp finishes or drops
// what a killed commit left behind.
#include "extraction.h"
#include "reader.h"
#include "staging.h"

#include "platform/fs/host.h"
#include "platform/vb/error.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <optional>

#include <zip.h>

namespace zipc {

namespace {

[[noreturn]] void raiseUnsafe(const QString& name, const char* why) {
    // A NUL would cut the message where it stands: it is shown as "\0".
    vb::raise(vb::err::PathFileAccess, "Nome non sicuro nell'archivio: " +
                                           QString(name).replace(QChar(0), QStringLiteral("\\0")) +
                                           " (" + QString::fromUtf8(why) + ")");
}

// Damaged or unreadable entry data: the archive is not usable as a whole.
[[noreturn]] void raiseBadData(const QString& name, const QString& why) {
    vb::raise(vb::err::NotAnArchive,
              "Voce non leggibile nell'archivio: " + name + " (" + why + ")");
}

// An entry name as folders below the destination: "\" and "/" both separate, empty and "."
// components drop out. Anything that could reach outside the destination is refused.
QStringList safeComponents(const QString& name) {
    // The system calls end a name at a NUL: "Quna.exe<NUL>.txt" would write Quna.exe.
    if (name.contains(QChar(0))) raiseUnsafe(name, "carattere nullo nel nome");
    if (name.startsWith(u'/') || name.startsWith(u'\\')) raiseUnsafe(name, "percorso assoluto");
    if (name.contains(u':')) raiseUnsafe(name, "unità o flusso alternativo");
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype end = 0; end <= name.size(); ++end) {
        if (end < name.size() && name[end] != u'/' && name[end] != u'\\') continue;
        const QStringView part = QStringView(name).sliced(start, end - start);
        start = end + 1;
        if (part.isEmpty() || part == u".") continue;
        if (part == u"..") raiseUnsafe(name, "risale oltre la cartella");
        parts << part.toString();
    }
    // The staging folder, the journal and the copies being written belong to the update
    // that is running: an entry must not write over them.
    if (!parts.isEmpty() && fs::isOwnName(parts.first()))
        raiseUnsafe(name, "nome riservato all'aggiornamento");
    return parts;
}

using Kind = fs::FolderTree::Kind;

} // namespace

struct Extraction::Impl {
    const QString archiveHostPath;
    const std::vector<DirectoryEntry>& entries;
    ZipHandle za;        // entry data, opened by the first entry
    QString destination; // Windows path
    // The destination's folders as resolved for the extraction, and the destination text
    // they were resolved from.
    std::unique_ptr<fs::FolderTree> tree;
    QString treeDestination;

    // Staged files are named n<k>, the files they replace are kept as o<k> until the commit
    // has finished. Only the entry's index is kept: its path is taken from its name again
    // when needed, as tens of thousands of component lists would make most of the memory an
    // update uses.
    struct Staged {
        int index = 0;
        bool folder = false;
        int serial = 0;
    };
    QString stagingDest; // destination host folder the staging belongs to
    QString staging;     // host path of the staging folder, empty until the first entry
    std::vector<Staged> staged;
    QHash<QString, std::size_t> stagedByTarget; // lower-case target path -> index in staged
    QSet<QString> stagedFolders;                // lower-case folders the staged entries need
    std::vector<char> buffer;                   // entry data on its way to a staged file
    std::optional<std::uint32_t> mask;          // fs::creationMask(), read by the first entry
    bool maskRead = false;
    std::optional<vb::VbError> firstError; // the failure that cancelled the extraction
    int serial = 0;

    Impl(const QString& archive, const std::vector<DirectoryEntry>& listed)
        : archiveHostPath(archive), entries(listed) {}
    ~Impl() { removeStaging(); }

    static bool isSymlink(const DirectoryEntry& e) {
        return e.hostSystem == kHostUnix &&
               ((e.externalAttributes >> 16) & kUnixKindMask) == kUnixLink;
    }

    // libzip reads the entry data. It must see the directory this component listed: the same
    // entries, sizes and checksums (the file could have been replaced since it was opened).
    zip_stat_t dataStat(std::int32_t index) {
        const DirectoryEntry& e = entries[std::size_t(index)];
        const QString changed = QStringLiteral("archivio cambiato dopo l'apertura");
        if (!za) {
            za = openForReading(archiveHostPath);
            if (!za) raiseBadData(e.name, QStringLiteral("archivio non leggibile"));
            if (zip_get_num_entries(za.get(), 0) != zip_int64_t(entries.size()))
                raiseBadData(e.name, changed);
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za.get(), zip_uint64_t(index), ZIP_FL_ENC_RAW, &st) != 0)
            raiseBadData(e.name, QString::fromUtf8(zip_strerror(za.get())));
        if (st.size != e.size || st.comp_size != e.compressedSize || st.crc != e.crc)
            raiseBadData(e.name, changed);
        return st;
    }

    // Only this extraction changes the installation folder until it is released, so the
    // destination is resolved once and each of its folders listed once for all entries.
    fs::FolderTree& destinationTree() {
        if (destination.isEmpty())
            vb::raise(vb::err::InvalidCall, "Cartella di destinazione non impostata");
        if (tree && destination == treeDestination) return *tree;
        const QString host = fs::toHost(destination);
        const auto status = fs::statusOf(host, true);
        if (!status || status->kind != Kind::Folder)
            vb::raise(vb::err::PathNotFound, vb::describe(vb::err::PathNotFound) + ": " + host);
        tree = std::make_unique<fs::FolderTree>(host);
        treeDestination = destination;
        return *tree;
    }

    // Where an entry goes, existing names matched without regard to case. Every existing
    // component must be a real folder (never a symbolic link, which could lead outside the
    // destination), and the last one must be of the entry's kind.
    static fs::FolderTree::Resolved target(fs::FolderTree& folders, const QStringList& parts,
                                           bool folder) {
        fs::FolderTree::Resolved found = folders.resolve(parts);
        if (found.kind == Kind::Link)
            raiseUnsafe(parts.join(u'/'), "collegamento simbolico nella destinazione");
        const bool last = found.stop + 1 == parts.size();
        if (found.stop == parts.size() && !folder)
            vb::raise(vb::err::PathFileAccess,
                      "Esiste una cartella al posto del file: " + fs::shownPath(found.hostPath));
        if (found.kind != Kind::Missing && found.kind != Kind::Folder) {
            if (!last || folder)
                vb::raise(vb::err::PathFileAccess, "Esiste un file al posto della cartella: " +
                                                       fs::shownPath(found.stopPath));
            if (found.kind != Kind::File)
                vb::raise(vb::err::PathFileAccess, "Esiste una cartella al posto del file: " +
                                                       fs::shownPath(found.stopPath));
        }
        return found;
    }

    // libzip could not give an entry's data: the archive's file could not be read (said as
    // the system says it, a server that does not answer among them), or the data is damaged.
    [[noreturn]] void raiseReadError(zip_error_t* error, const QString& name) const {
        if (zip_error_code_zip(error) == ZIP_ER_READ && zip_error_code_system(error) != 0)
            fs::raiseSystemError(zip_error_code_system(error), archiveHostPath);
        raiseBadData(name, zip_error_code_zip(error) == ZIP_ER_CRC
                               ? QStringLiteral("CRC errato")
                               : QString::fromUtf8(zip_error_strerror(error)));
    }

    QString stagedPath(char kind, int k) const {
        return staging + u'/' + kind + QString::number(k);
    }

    void stage(const QString& listedText, int index, bool folder, const QString& destinationText,
               const ReservedNames& reserved) {
        // One failed entry cancels the extraction; what made it fail is told again, not a
        // second error of its own.
        if (firstError) throw *firstError;
        // A listed row the archive does not hold: the archive is not the one listed.
        if (index < 0)
            vb::raise(vb::err::ItemNotFound, "Voce non trovata nell'archivio: " + listedText);
        destination = destinationText;
        const QString& name = entries[std::size_t(index)].name;
        const QStringList parts = safeComponents(name);
        if (isSymlink(entries[std::size_t(index)])) raiseUnsafe(name, "collegamento simbolico");
        if (entries[std::size_t(index)].nameCut) raiseUnsafe(name, "carattere nullo nel nome");
        if (parts.isEmpty()) {
            if (folder) return; // "./": the destination itself
            raiseUnsafe(name, "nome vuoto");
        }
        if (reserved.untouchable.contains(parts.first(), Qt::CaseInsensitive))
            raiseUnsafe(name, "nome riservato alla copia di sicurezza");
        if (reserved.fileOnly.contains(parts.first(), Qt::CaseInsensitive) &&
            (folder || parts.size() > 1))
            raiseUnsafe(name, "cartella al posto del programma");
        const QStringList keys = lowerCasePaths(parts);
        refuseClash(keys, folder, name);
        fs::FolderTree& folders = destinationTree();
        const QString& destHost = folders.root();
        if (!staging.isEmpty() && destHost != stagingDest)
            vb::raise(vb::err::InvalidCall,
                      "Cartella di destinazione cambiata durante l'estrazione");
        const fs::FolderTree::Resolved found = target(folders, parts, folder);

        if (staging.isEmpty()) {
            const QString path = destHost + u'/' + kStagingPrefix +
                                 QString::number(QCoreApplication::applicationPid());
            fs::checkpoint("create staging folder");
            if (const fs::SystemError error = fs::createFolder(path, 0700))
                fs::raiseSystemError(error, destHost);
            staging = path;
            stagingDest = destHost;
        }

        Staged item{index, folder, 0};
        if (!folder) {
            item.serial = ++serial;
            writeStaged(index, found, stagedPath('n', item.serial));
        }
        for (qsizetype i = 0; i < keys.size() - (folder ? 0 : 1); ++i)
            stagedFolders.insert(keys[i]);
        // The same target extracted twice: the later extraction wins.
        const QString& key = keys.last();
        if (auto it = stagedByTarget.constFind(key); it != stagedByTarget.cend()) {
            staged[it.value()] = item;
            return;
        }
        stagedByTarget.insert(key, staged.size());
        staged.push_back(item);
    }

    // The lower-case paths of an entry's folders and of the entry: "a", "a/b", "a/b/c.txt".
    static QStringList lowerCasePaths(const QStringList& parts) {
        QStringList keys;
        keys.reserve(parts.size());
        QString key;
        for (const QString& part : parts) {
            if (!key.isEmpty()) key += u'/';
            key += part.toLower();
            keys << key;
        }
        return keys;
    }

    // Within the archive too a name is either a file or a folder. A clash between two entries
    // ("dati" a file, "dati/nuovo.txt" below it) is refused while nothing has been moved.
    void refuseClash(const QStringList& keys, bool folder, const QString& name) const {
        const auto stagedFile = [&](const QString& key) {
            const auto it = stagedByTarget.constFind(key);
            return it != stagedByTarget.cend() && !staged[it.value()].folder;
        };
        for (qsizetype i = 0; i < keys.size() - (folder ? 0 : 1); ++i)
            if (stagedFile(keys[i]))
                vb::raise(vb::err::PathFileAccess,
                          "Esiste un file al posto della cartella: " + name);
        if (!folder && stagedFolders.contains(keys.last()))
            vb::raise(vb::err::PathFileAccess, "Esiste una cartella al posto del file: " + name);
    }

    void writeStaged(int index, const fs::FolderTree::Resolved& target, const QString& path) {
        const DirectoryEntry& e = entries[std::size_t(index)];
        const QString& name = e.name;
        const zip_stat_t st = dataStat(index);
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            raiseBadData(name, QStringLiteral("voce cifrata"));
        if ((st.valid & ZIP_STAT_COMP_METHOD) &&
            !zip_compression_method_supported(st.comp_method, 0))
            raiseBadData(name, QStringLiteral("metodo di compressione non supportato"));

        // Mode: the archive's permission bits when a Unix tool stored them, else those of
        // the file being replaced, else rw-r--r--. Never setuid, setgid or sticky.
        std::uint32_t mode = 0644;
        const std::uint32_t unixMode = e.externalAttributes >> 16;
        if (e.hostSystem == kHostUnix && (unixMode & 0777) != 0) {
            mode = unixMode & 0777;
        } else if (target.kind == Kind::File) {
            const auto existing = fs::statusOf(target.hostPath, false);
            if (existing && existing->kind == Kind::File) mode = existing->permissions;
        }

        // Created with its mode when the mask leaves it whole, else set once it is written.
        if (!maskRead) {
            mask = fs::creationMask();
            maskRead = true;
        }
        const bool modeAtCreation = mask && (mode & *mask) == 0;
        fs::checkpoint("write staged file");
        // Errors name the file the entry becomes, as the user knows it, not its staged copy.
        fs::File out = fs::File::createNew(path, modeAtCreation ? mode : 0600, target.hostPath);

        const ZipFileHandle opened(zip_fopen_index(za.get(), static_cast<zip_uint64_t>(index), 0));
        if (!opened) raiseReadError(zip_get_error(za.get()), name);
        zip_file_t* file = opened.get();

        // Read to the end: libzip checks the CRC and the size only there.
        if (buffer.empty()) buffer.resize(1 << 16);
        zip_uint64_t total = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
            if (n < 0) raiseReadError(zip_file_get_error(file), name);
            if (n == 0) break;
            total += static_cast<zip_uint64_t>(n);
            if ((st.valid & ZIP_STAT_SIZE) && total > st.size)
                raiseBadData(name, QStringLiteral("dimensione errata"));
            out.writeAll(buffer.data(), std::size_t(n));
        }
        if ((st.valid & ZIP_STAT_SIZE) && total != st.size)
            raiseBadData(name, QStringLiteral("dimensione errata"));
        if (!modeAtCreation) out.setPermissions(mode);
        out.close();
    }

    // Below the destination: checked when the entry was staged.
    QStringList partsOf(const Staged& s) const {
        return safeComponents(entries[std::size_t(s.index)].name);
    }

    // "\" separated, a folder ends in "\".
    QString relativePath(const Staged& s) const {
        return partsOf(s).join(u'\\') + (s.folder ? QStringLiteral("\\") : QString());
    }

    QByteArray commitList() const {
        QByteArray text;
        for (const Staged& s : staged) {
            const QString file = s.folder ? QString() : u'n' + QString::number(s.serial);
            text += (file + u'\t' + relativePath(s)).toUtf8() + '\n';
        }
        return text;
    }

    // Undo log of the commit, replayed backwards when a step fails.
    struct Done {
        enum Kind { CreatedFolder, CreatedFile, ReplacedFile } kind;
        QString path, kept;
    };

    // Creates the missing folders leading to a target (and the target itself for a folder).
    void makeFolders(fs::FolderTree& folders, const fs::FolderTree::Resolved& target,
                     const QStringList& parts, bool folder, std::vector<Done>& done) {
        if (target.kind != Kind::Missing) return;
        QString current = target.stopPath;
        for (qsizetype i = target.stop; i < parts.size() - (folder ? 0 : 1); ++i) {
            if (i > target.stop) current += u'/' + parts[i];
            fs::checkpoint("create folder");
            if (const fs::SystemError error = fs::createFolder(current, 0755))
                fs::raiseSystemError(error, current);
            folders.created(current, Kind::Folder);
            done.push_back({Done::CreatedFolder, current, {}});
        }
    }

    void commit(const std::function<void()>& onCommitted) {
        std::vector<Done> done;
        try {
            writeCommitList(staging, commitList());
            // Listed again: the installation folder may have changed since staging.
            fs::FolderTree folders(stagingDest);
            for (const Staged& s : staged) {
                const QStringList parts = partsOf(s);
                const fs::FolderTree::Resolved found = target(folders, parts, s.folder);
                makeFolders(folders, found, parts, s.folder, done);
                if (s.folder) continue;
                const QString& path = found.hostPath;
                const QString from = stagedPath('n', s.serial);
                if (found.kind == Kind::File) {
                    // Keep the original until the whole set is in place; the replacing
                    // rename then swaps the new file in atomically.
                    const QString kept = stagedPath('o', s.serial);
                    fs::checkpoint("keep replaced file");
                    // A copy where the file system has no hard links.
                    if (const fs::SystemError linkError = fs::linkFile(path, kept))
                        if (fs::copyNew(path, kept) != 0) fs::raiseSystemError(linkError, path);
                    fs::checkpoint("move file into place");
                    if (const fs::SystemError error = fs::renameReplacing(from, path))
                        fs::raiseSystemError(error, path);
                    done.push_back({Done::ReplacedFile, path, kept});
                } else {
                    fs::checkpoint("move file into place");
                    if (const fs::SystemError error = fs::renameReplacing(from, path))
                        fs::raiseSystemError(error, path);
                    folders.created(path, Kind::File);
                    done.push_back({Done::CreatedFile, path, {}});
                }
            }
            fs::checkpoint("sync installation folder");
            fs::syncFileSystem(stagingDest);
        } catch (...) {
            rollBack(done);
            throw;
        }
        // The caller records that the files are in place while the commit list still says
        // so on disk; when it cannot, the staging folder stays for the recovery to find.
        if (onCommitted) {
            try {
                onCommitted();
            } catch (...) {
                staging.clear();
                throw;
            }
        }
        // The new set is in place and on disk; a staging folder left behind is only litter.
        // The commit list goes last, so a staging folder that still holds staged files
        // without it is always one whose commit never began.
        try {
            fs::checkpoint("remove staging folder");
            removeStaging();
        } catch (const vb::VbError&) {
        }
    }

    // Recovery steps are not checkpointed: they run because a step already failed.
    void rollBack(const std::vector<Done>& done) {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            switch (it->kind) {
            case Done::ReplacedFile:
                fs::renameReplacing(it->kept, it->path);
                break;
            case Done::CreatedFile:
                fs::removeFile(it->path);
                break;
            case Done::CreatedFolder:
                fs::removeEmptyFolder(it->path);
                break;
            }
        }
        try {
            if (!done.empty()) fs::syncFileSystem(stagingDest);
        } catch (const vb::VbError&) {
        }
    }

    void removeStaging() {
        if (!staging.isEmpty()) removeStagingFolder(staging);
        staging.clear();
        stagingDest.clear();
        staged.clear();
        stagedByTarget.clear();
        stagedFolders.clear();
    }
};

Extraction::Extraction(const QString& archiveHostPath, const std::vector<DirectoryEntry>& entries)
    : d(std::make_unique<Impl>(archiveHostPath, entries)) {}

Extraction::~Extraction() = default;

void Extraction::stage(const QString& listedText, int index, bool folder,
                       const QString& destination, const ReservedNames& reserved) {
    try {
        d->stage(listedText, index, folder, destination, reserved);
    } catch (const vb::VbError& e) {
        // All or nothing: one failed entry cancels the whole extraction of this archive. A
        // file missing on the way is no missing archive file for the caller to pass over.
        d->firstError = e.number() == vb::err::FileNotFound
                            ? vb::VbError(vb::err::PathFileAccess, e.description())
                            : e;
        d->removeStaging();
        throw *d->firstError;
    }
}

bool Extraction::pending() const {
    return !d->firstError && !d->staged.empty();
}

void Extraction::commit(const std::function<void()>& onCommitted) {
    d->commit(onCommitted);
}

} // namespace zipc
