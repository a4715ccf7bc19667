#include "archive.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace zipc {

namespace {

constexpr std::int32_t kFolder = 0x10, kReadOnly = 0x01, kArchiveBit = 0x20;

[[noreturn]] void raiseNotOpen() {
    vb::raise(vb::err::InvalidCall, "Nessun archivio aperto");
}

[[noreturn]] void raiseErrno(int error, const QString& hostPath) {
    const std::int32_t n = fs::errorFromErrno(error, vb::err::DeviceIo);
    vb::raise(n, vb::describe(n) + ": " + hostPath);
}

[[noreturn]] void raiseUnsafe(const QString& name, const char* why) {
    vb::raise(vb::err::PathFileAccess,
              "Nome non sicuro nell'archivio: " + name + " (" + QString::fromUtf8(why) + ")");
}

// Damaged or unreadable entry data: the archive is not usable as a whole.
[[noreturn]] void raiseBadData(const QString& name, const QString& why) {
    vb::raise(vb::err::NotAnArchive,
              "Voce non leggibile nell'archivio: " + name + " (" + why + ")");
}

QByteArray hostBytes(const QString& path) {
    return QFile::encodeName(path);
}

bool lstatOf(const QString& path, struct stat& st) {
    return ::lstat(hostBytes(path).constData(), &st) == 0;
}

void writeAll(int fd, const char* data, zip_int64_t length, const QString& path) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(length));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) raiseErrno(errno, path);
        data += n;
        length -= n;
    }
}

void writeFile(const QString& path, const QByteArray& bytes) {
    const int fd =
        ::open(hostBytes(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) raiseErrno(errno, path);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    writeAll(fd, bytes.constData(), bytes.size(), path);
}

bool validUtf8(const char* text) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString s = decoder(QByteArrayView(text));
    return !decoder.hasError();
}

// An entry name as folders below the destination: "\" and "/" both separate, empty and "."
// components drop out. Anything that could reach outside the destination is refused.
QStringList safeComponents(const QString& name) {
    if (name.startsWith(u'/') || name.startsWith(u'\\')) raiseUnsafe(name, "percorso assoluto");
    if (name.contains(u':')) raiseUnsafe(name, "unità o flusso alternativo");
    QStringList parts;
    for (const QString& part : QString(name).replace(u'\\', u'/').split(u'/')) {
        if (part.isEmpty() || part == u".") continue;
        if (part == u"..") raiseUnsafe(name, "risale oltre la cartella");
        parts << part;
    }
    // The staging folder is the extraction's own: an entry must not write into it.
    if (!parts.isEmpty() && parts.first().startsWith(kStagingPrefix, Qt::CaseInsensitive))
        raiseUnsafe(name, "cartella di lavoro dell'estrazione");
    return parts;
}

// The host path of the destination as the start of the paths below it ("/" at the root).
QString withSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QStringList below(const QString& destHost, const QString& path) {
    return path.mid(withSlash(destHost).size()).split(u'/', Qt::SkipEmptyParts);
}

} // namespace

// libzip turns each entry's DOS date into a time_t with mktime, which reads the time zone file
// again on every call while TZ is unset. Naming the system's zone (what an unset TZ means)
// lets the C library load it once.
static void keepTimeZoneLoaded() {
    static const bool named = [] {
        if (!std::getenv("TZ")) ::setenv("TZ", ":/etc/localtime", 0);
        return true;
    }();
    (void)named;
}

struct Archive::Impl {
    zip_t* za = nullptr;
    QStringList names;                            // decoded, as listed
    mutable QHash<QString, int> byName;           // exact listed names, built on the first lookup
    mutable QHash<QString, int> bySlashes;        // the same with "\" written as "/"
    mutable std::int32_t statIndex = -1;          // the entry whose libzip stat is cached
    std::unique_ptr<fs::FolderListings> listings; // while extracting
    mutable zip_stat_t statCache{};
    QString destination; // Windows path
    std::int32_t numericOption = 0;

    // Extraction of the current open. Staged files are named n<k>, the files they replace
    // are kept as o<k> until the commit has finished.
    struct Staged {
        QStringList parts; // below the destination
        bool folder = false;
        int serial = 0;
    };
    QString stagingDest; // destination host folder the staging belongs to
    QString staging;     // host path of the staging folder, empty until the first entry
    std::vector<Staged> staged;
    QHash<QString, std::size_t> stagedByTarget; // lower-case target path -> index in staged
    bool failed = false;
    int serial = 0;

    ~Impl() { release(); }

    void requireOpen() const {
        if (!za) raiseNotOpen();
    }

    zip_uint64_t entry(std::int32_t index) const {
        requireOpen();
        if (index < 0 || index >= names.size()) vb::raise(vb::err::SubscriptOutOfRange);
        return static_cast<zip_uint64_t>(index);
    }

    // The listing asks for an entry's date and both sizes in a row: one libzip call serves them.
    zip_stat_t stat(std::int32_t index) const {
        if (statIndex >= 0 && index == statIndex) return statCache;
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, entry(index), 0, &st) != 0)
            raiseBadData(names[index], QString::fromUtf8(zip_strerror(za)));
        statIndex = index;
        statCache = st;
        return st;
    }

    // Names are decoded as the archive declares them: UTF-8 when flagged (or carried in the
    // Unicode path extra field, which libzip applies when its checksum matches), otherwise
    // code page 437. One exception: tools on Unix write names in their locale's charset
    // without flagging it, and today that is UTF-8, so an unflagged name from a Unix system
    // that is valid UTF-8 is read as such (this is what unzip does there too).
    QString decodedName(zip_uint64_t i) const {
        const char* strict = zip_get_name(za, i, ZIP_FL_ENC_STRICT);
        const char* raw = zip_get_name(za, i, ZIP_FL_ENC_RAW);
        if (!strict || !raw) return {};
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        zip_file_get_external_attributes(za, i, 0, &opsys, &attr);
        if (qstrcmp(strict, raw) != 0 && opsys == ZIP_OPSYS_UNIX && validUtf8(raw))
            return QString::fromUtf8(raw);
        return QString::fromUtf8(strict);
    }

    std::int32_t attributes(zip_uint64_t i) const {
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        if (zip_file_get_external_attributes(za, i, 0, &opsys, &attr) != 0) attr = 0;
        const QString& name = names[static_cast<qsizetype>(i)];
        std::int32_t result = 0;
        if (opsys == ZIP_OPSYS_DOS || opsys == ZIP_OPSYS_WINDOWS_NTFS || opsys == ZIP_OPSYS_VFAT) {
            result = attr & 0xFF;
        } else {
            // Derived from the Unix mode; a tool that stored no mode (0) tells nothing about
            // write protection.
            const zip_uint32_t mode = attr >> 16;
            if ((mode & S_IFMT) == S_IFDIR) result |= kFolder;
            if (mode != 0 && !(mode & S_IWUSR)) result |= kReadOnly;
            if ((mode & S_IFMT) != S_IFDIR && !name.endsWith(u'/') && !name.endsWith(u'\\'))
                result |= kArchiveBit;
        }
        // Whatever the tool stored, a name ending in a separator is a folder.
        if (name.endsWith(u'/') || name.endsWith(u'\\')) result = (result & ~kArchiveBit) | kFolder;
        return result;
    }

    bool isSymlink(zip_uint64_t i) const {
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        if (zip_file_get_external_attributes(za, i, 0, &opsys, &attr) != 0) return false;
        return opsys == ZIP_OPSYS_UNIX && ((attr >> 16) & S_IFMT) == S_IFLNK;
    }

    void open(const QString& windowsPath) {
        keepTimeZoneLoaded();
        const QString host = fs::toHost(windowsPath);
        struct stat st;
        if (::stat(hostBytes(host).constData(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) vb::raise(vb::err::FileNotFound);
            raiseErrno(errno, host);
        }
        // libzip takes an empty file for an empty archive; a real one has its end record.
        if (!S_ISREG(st.st_mode) || st.st_size == 0) vb::raise(vb::err::NotAnArchive);
        int error = 0;
        za = zip_open(hostBytes(host).constData(), ZIP_RDONLY, &error);
        if (!za) {
            if (error == ZIP_ER_NOENT) vb::raise(vb::err::FileNotFound);
            vb::raise(vb::err::NotAnArchive);
        }
        // Names are decoded once; libzip's own lookup by name is a linear search.
        const zip_int64_t count = zip_get_num_entries(za, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* check = zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_STRICT);
            if (!check) {
                release();
                vb::raise(vb::err::NotAnArchive);
            }
            names << decodedName(static_cast<zip_uint64_t>(i));
        }
    }

    // The window looks entries up by name only to extract them, so the maps are built then,
    // once per open: a listing never pays for them.
    void buildNameMaps() const {
        if (!byName.isEmpty() || names.isEmpty()) return;
        byName.reserve(names.size());
        bySlashes.reserve(names.size());
        for (int i = 0; i < names.size(); ++i) {
            // The first of duplicate names wins, as in a search from the start.
            if (!byName.contains(names[i])) byName.insert(names[i], i);
            const QString slashed = QString(names[i]).replace(u'\\', u'/');
            if (!bySlashes.contains(slashed)) bySlashes.insert(slashed, i);
        }
    }

    int lookup(const QString& text) const {
        buildNameMaps();
        if (auto it = byName.constFind(text); it != byName.cend()) return it.value();
        const QString slashed = QString(text).replace(u'\\', u'/');
        if (auto it = bySlashes.constFind(slashed); it != bySlashes.cend()) return it.value();
        return -1;
    }

    QString destinationHost() const {
        if (destination.isEmpty())
            vb::raise(vb::err::InvalidCall, "Cartella di destinazione non impostata");
        const QString host = fs::toHost(destination);
        struct stat st;
        if (::stat(hostBytes(host).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            vb::raise(vb::err::PathNotFound, vb::describe(vb::err::PathNotFound) + ": " + host);
        return host;
    }

    // The host path an entry goes to, existing names matched without regard to case. Every
    // existing component below the destination must be a real folder (never a symbolic
    // link, which could lead outside), and the last one must be of the entry's kind.
    QString target(const QString& destHost, const QStringList& parts, bool folder) const {
        const QString path = fs::toHost(destination + u'\\' + parts.join(u'\\'));
        if (!path.startsWith(withSlash(destHost)))
            raiseUnsafe(parts.join(u'/'), "fuori dalla destinazione");
        const QStringList steps = below(destHost, path);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const QString current = withSlash(destHost) + steps.mid(0, i + 1).join(u'/');
            struct stat st;
            if (!lstatOf(current, st)) {
                if (errno == ENOENT) break;
                raiseErrno(errno, current);
            }
            const bool last = i + 1 == steps.size();
            if (S_ISLNK(st.st_mode))
                raiseUnsafe(parts.join(u'/'), "collegamento simbolico nella destinazione");
            if ((!last || folder) && !S_ISDIR(st.st_mode))
                vb::raise(vb::err::PathFileAccess,
                          "Esiste un file al posto della cartella: " + current);
            if (last && !folder && !S_ISREG(st.st_mode))
                vb::raise(vb::err::PathFileAccess,
                          "Esiste una cartella al posto del file: " + current);
        }
        return path;
    }

    QString stagedPath(char kind, int k) const {
        return staging + u'/' + kind + QString::number(k);
    }

    void stage(const QString& listedText) {
        if (failed) vb::raise(vb::err::InvalidCall, "Estrazione annullata da un errore precedente");
        int index = lookup(listedText);
        bool folder = index >= 0 && (attributes(static_cast<zip_uint64_t>(index)) & kFolder);
        if (index < 0 && listedText.endsWith(u'%')) {
            index = lookup(listedText.chopped(1));
            folder = index >= 0 && (attributes(static_cast<zip_uint64_t>(index)) & kFolder);
            if (!folder) index = -1;
        }
        if (index < 0)
            vb::raise(vb::err::FileNotFound, "Voce non trovata nell'archivio: " + listedText);
        const QString& name = names[index];
        const QStringList parts = safeComponents(name);
        if (isSymlink(static_cast<zip_uint64_t>(index)))
            raiseUnsafe(name, "collegamento simbolico");
        if (parts.isEmpty()) {
            if (folder) return; // "./": the destination itself
            raiseUnsafe(name, "nome vuoto");
        }
        const QString destHost = destinationHost();
        if (!staging.isEmpty() && destHost != stagingDest)
            vb::raise(vb::err::InvalidCall,
                      "Cartella di destinazione cambiata durante l'estrazione");
        // Only this extraction changes the installation folder until it is released, so each
        // folder is listed once for the case-insensitive matching of all its entries.
        if (!listings) listings = std::make_unique<fs::FolderListings>();
        const QString targetPath = target(destHost, parts, folder);

        if (staging.isEmpty()) {
            const QString path =
                destHost + u'/' + QString::fromLatin1(kStagingPrefix) + QString::number(::getpid());
            fs::checkpoint("create staging folder");
            if (::mkdir(hostBytes(path).constData(), 0700) != 0) raiseErrno(errno, path);
            staging = path;
            stagingDest = destHost;
        }

        Staged item{parts, folder, 0};
        if (!folder) {
            item.serial = ++serial;
            writeStaged(index, targetPath, stagedPath('n', item.serial));
        }
        // The same target extracted twice: the later extraction wins.
        const QString key = parts.join(u'/').toLower();
        if (auto it = stagedByTarget.constFind(key); it != stagedByTarget.cend()) {
            staged[it.value()] = item;
            return;
        }
        stagedByTarget.insert(key, staged.size());
        staged.push_back(item);
    }

    void writeStaged(int index, const QString& targetPath, const QString& path) {
        const QString& name = names[index];
        const zip_stat_t st = stat(index);
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            raiseBadData(name, QStringLiteral("voce cifrata"));
        if ((st.valid & ZIP_STAT_COMP_METHOD) &&
            !zip_compression_method_supported(st.comp_method, 0))
            raiseBadData(name, QStringLiteral("metodo di compressione non supportato"));

        // Mode: the archive's permission bits when a Unix tool stored them, else those of
        // the file being replaced, else rw-r--r--. Never setuid, setgid or sticky.
        mode_t mode = 0644;
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        struct stat existing;
        if (zip_file_get_external_attributes(za, static_cast<zip_uint64_t>(index), 0, &opsys,
                                             &attr) == 0 &&
            opsys == ZIP_OPSYS_UNIX && ((attr >> 16) & 0777) != 0)
            mode = (attr >> 16) & 0777;
        else if (lstatOf(targetPath, existing) && S_ISREG(existing.st_mode))
            mode = existing.st_mode & 0777;

        fs::checkpoint("write staged file");
        const int fd =
            ::open(hostBytes(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) raiseErrno(errno, path);
        struct FdCloser {
            int fd;
            ~FdCloser() { ::close(fd); }
        } closer{fd};

        zip_file_t* file = zip_fopen_index(za, static_cast<zip_uint64_t>(index), 0);
        if (!file) raiseBadData(name, QString::fromUtf8(zip_strerror(za)));
        struct FileCloser {
            zip_file_t* f;
            ~FileCloser() { zip_fclose(f); }
        } fileCloser{file};

        // Read to the end: libzip checks the CRC and the size only there.
        std::vector<char> buffer(1 << 16);
        zip_uint64_t total = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
            if (n < 0) {
                const bool crc = zip_error_code_zip(zip_file_get_error(file)) == ZIP_ER_CRC;
                raiseBadData(name, crc ? QStringLiteral("CRC errato")
                                       : QString::fromUtf8(zip_file_strerror(file)));
            }
            if (n == 0) break;
            total += static_cast<zip_uint64_t>(n);
            if ((st.valid & ZIP_STAT_SIZE) && total > st.size)
                raiseBadData(name, QStringLiteral("dimensione errata"));
            writeAll(fd, buffer.data(), n, path);
        }
        if ((st.valid & ZIP_STAT_SIZE) && total != st.size)
            raiseBadData(name, QStringLiteral("dimensione errata"));
        if (::fchmod(fd, mode) != 0) raiseErrno(errno, path);
    }

    QByteArray commitList() const {
        QByteArray text;
        for (const Staged& s : staged) {
            const QString file = s.folder ? QString() : u'n' + QString::number(s.serial);
            text += (file + u'\t' + s.parts.join(u'\\') + (s.folder ? "\\" : "")).toUtf8() + '\n';
        }
        return text;
    }

    // Undo log of the commit, replayed backwards when a step fails.
    struct Done {
        enum Kind { CreatedFolder, CreatedFile, ReplacedFile } kind;
        QString path, kept;
    };

    // Creates the folders leading to `path` (and `path` itself for a folder entry).
    void makeFolders(const QString& path, bool folder, std::vector<Done>& done) {
        const QStringList steps = below(stagingDest, path);
        for (qsizetype i = 0; i < steps.size() - (folder ? 0 : 1); ++i) {
            const QString current = withSlash(stagingDest) + steps.mid(0, i + 1).join(u'/');
            struct stat st;
            if (lstatOf(current, st) && S_ISDIR(st.st_mode)) continue;
            fs::checkpoint("create folder");
            if (::mkdir(hostBytes(current).constData(), 0755) != 0) raiseErrno(errno, current);
            fs::FolderListings::created(current);
            done.push_back({Done::CreatedFolder, current, {}});
        }
    }

    void commit(const std::function<void()>& onCommitted) {
        std::vector<Done> done;
        try {
            // The commit list is complete before it takes its name, and on disk together
            // with the staged files before the first file is moved.
            const QString list = staging + u'/' + QString::fromLatin1(kCommitList);
            fs::checkpoint("write commit list");
            writeFile(list + ".new", commitList());
            fs::checkpoint("sync staged files");
            fs::syncFileSystem(staging);
            fs::checkpoint("mark commit begun");
            if (::rename(hostBytes(list + ".new").constData(), hostBytes(list).constData()) != 0)
                raiseErrno(errno, list);
            for (const Staged& s : staged) {
                // Checked again: the installation folder may have changed since staging.
                const QString path = target(stagingDest, s.parts, s.folder);
                makeFolders(path, s.folder, done);
                if (s.folder) continue;
                const QString from = stagedPath('n', s.serial);
                struct stat st;
                if (lstatOf(path, st)) {
                    // Keep the original until the whole set is in place; rename() then
                    // swaps the new file in atomically, also under a running program.
                    const QString kept = stagedPath('o', s.serial);
                    fs::checkpoint("keep replaced file");
                    // A copy where the file system has no hard links.
                    if (::link(hostBytes(path).constData(), hostBytes(kept).constData()) != 0) {
                        const int linkError = errno;
                        if (!QFile::copy(path, kept)) raiseErrno(linkError, path);
                    }
                    fs::checkpoint("move file into place");
                    if (::rename(hostBytes(from).constData(), hostBytes(path).constData()) != 0)
                        raiseErrno(errno, path);
                    done.push_back({Done::ReplacedFile, path, kept});
                } else {
                    fs::checkpoint("move file into place");
                    if (::rename(hostBytes(from).constData(), hostBytes(path).constData()) != 0)
                        raiseErrno(errno, path);
                    fs::FolderListings::created(path);
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
            QDir folder(staging);
            for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
                if (name != QLatin1String(kCommitList)) folder.remove(name);
            removeStaging();
        } catch (const vb::VbError&) {
        }
    }

    // Recovery steps are not checkpointed: they run because a step already failed.
    void rollBack(const std::vector<Done>& done) {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            const QByteArray path = hostBytes(it->path);
            switch (it->kind) {
            case Done::ReplacedFile:
                ::rename(hostBytes(it->kept).constData(), path.constData());
                break;
            case Done::CreatedFile:
                ::unlink(path.constData());
                break;
            case Done::CreatedFolder:
                ::rmdir(path.constData());
                break;
            }
        }
        try {
            if (!done.empty()) fs::syncFileSystem(stagingDest);
        } catch (const vb::VbError&) {
        }
    }

    void removeStaging() {
        if (!staging.isEmpty()) QDir(staging).removeRecursively(); // links are not followed
        staging.clear();
        stagingDest.clear();
        staged.clear();
        stagedByTarget.clear();
    }

    // Forgets the archive and anything staged for it.
    void release() {
        listings.reset();
        removeStaging();
        failed = false;
        serial = 0;
        if (za) zip_discard(za);
        za = nullptr;
        names.clear();
        byName.clear();
        bySlashes.clear();
        statIndex = -1;
    }
};

Archive::Archive() : d(std::make_unique<Impl>()) {}
Archive::~Archive() = default;

void Archive::OpenArchive(const QString& windowsPath) {
    d->release();
    d->open(windowsPath);
}

// Recorded only: extraction always replaces existing files.
void Archive::NumericOption(std::int32_t value) {
    d->numericOption = value;
}

void Archive::DestinationFolder(const QString& windowsPath) {
    d->destination = windowsPath;
}

vb::Variant Archive::EntryCount() const {
    d->requireOpen();
    return static_cast<std::int32_t>(d->names.size());
}

vb::Variant Archive::EntryName(std::int32_t index) const {
    d->entry(index);
    return d->names[index];
}

vb::Variant Archive::EntryAttributes(std::int32_t index) const {
    return d->attributes(d->entry(index));
}

// The date and time as stored in the entry's DOS fields, local time as the tool saw it,
// which is what Windows zip tools show; the extended Unix timestamps are not used. libzip
// turns the DOS fields into a time_t through the local time zone, so localtime_r gives them
// back.
vb::Variant Archive::EntryDate(std::int32_t index) const {
    const zip_stat_t st = d->stat(index);
    struct tm t {};
    if (!(st.valid & ZIP_STAT_MTIME) || !localtime_r(&st.mtime, &t)) return vb::Date{};
    return vb::dateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

vb::Variant Archive::EntrySize(std::int32_t index) const {
    return static_cast<double>(d->stat(index).size);
}

vb::Variant Archive::EntryCompressedSize(std::int32_t index) const {
    return static_cast<double>(d->stat(index).comp_size);
}

void Archive::ExtractEntry(const QString& listedText) {
    d->requireOpen();
    try {
        d->stage(listedText);
    } catch (...) {
        // All or nothing: one failed entry cancels the whole extraction of this archive.
        d->failed = true;
        d->removeStaging();
        throw;
    }
}

void Archive::CloseArchive() {
    if (!d->za) return;
    if (!d->failed && !d->staged.empty()) {
        try {
            d->commit(onCommitted);
        } catch (...) {
            d->release();
            throw;
        }
    }
    d->release();
}

void Archive::AbandonArchive() {
    d->release();
}

bool Archive::isOpen() const {
    return d->za != nullptr;
}

QStringList Archive::pendingTargets() const {
    QStringList result;
    for (const Impl::Staged& s : d->staged)
        result << s.parts.join(u'\\') + (s.folder ? QStringLiteral("\\") : QString());
    return result;
}

} // namespace zipc
