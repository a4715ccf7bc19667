#include "archive.h"
#include "directory.h"
#include "extraction.h"

#include "platform/fs/fs.h"
#include "platform/fs/host.h"
#include "platform/vb/error.h"

#include <QHash>

#include <memory>

namespace zipc {

namespace {

constexpr std::int32_t kFolder = 0x10, kReadOnly = 0x01, kArchiveBit = 0x20;

[[noreturn]] void raiseNotOpen() {
    vb::raise(vb::err::InvalidCall, "Nessun archivio aperto");
}

// The archive's file as the directory reader reads it: a read the system refuses is told as
// the system's error on the archive's path.
class FileBytes final : public ByteSource {
public:
    FileBytes(fs::File& file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, unsigned char* out, std::size_t length) override {
        return file_.readAt(offset, out, length, vb::err::NotAnArchive);
    }

private:
    fs::File& file_;
    std::uint64_t size_;
};

} // namespace

struct Archive::Impl {
    QString hostPath; // of the open archive; empty while none is open
    std::vector<DirectoryEntry> entries;
    mutable QHash<QString, int> byName;    // exact listed names, built on the first lookup
    mutable QHash<QString, int> bySlashes; // names holding "\", by their form with "/" only
    QString destination;                   // Windows path
    std::int32_t numericOption = 0;
    std::unique_ptr<Extraction> extraction; // from the first ExtractEntry of this open
    ArchiveStamp stamp;

    ~Impl() { release(); }

    bool isOpen() const { return !hostPath.isEmpty(); }

    void requireOpen() const {
        if (!isOpen()) raiseNotOpen();
    }

    const DirectoryEntry& entry(std::int32_t index) const {
        requireOpen();
        if (index < 0 || std::size_t(index) >= entries.size())
            vb::raise(vb::err::SubscriptOutOfRange);
        return entries[std::size_t(index)];
    }

    static bool fromWindows(const DirectoryEntry& e) {
        return e.hostSystem == kHostDos || e.hostSystem == kHostNtfs || e.hostSystem == kHostVfat;
    }

    static std::int32_t attributes(const DirectoryEntry& e) {
        const bool separatorAtEnd = e.name.endsWith(u'/') || e.name.endsWith(u'\\');
        std::int32_t result = 0;
        if (fromWindows(e)) {
            result = e.externalAttributes & 0xFF;
        } else {
            // Derived from the Unix mode; a tool that stored no mode (0) tells nothing about
            // write protection.
            const std::uint32_t mode = e.externalAttributes >> 16;
            const bool folder = (mode & kUnixKindMask) == kUnixFolder;
            if (folder) result |= kFolder;
            if (mode != 0 && !(mode & kUnixOwnerWrite)) result |= kReadOnly;
            if (!folder && !separatorAtEnd) result |= kArchiveBit;
        }
        // Whatever the tool stored, a name ending in a separator is a folder.
        if (separatorAtEnd) result = (result & ~kArchiveBit) | kFolder;
        return result;
    }

    void openArchive(const QString& windowsPath) {
        const QString host = fs::toHost(windowsPath);
        // Not blocking: a named pipe must not hang the window (it is refused as no archive).
        std::optional<fs::File> file = fs::File::openIfPresent(host);
        if (!file) vb::raise(vb::err::FileNotFound);
        // A folder or any other non-file is no archive.
        const fs::Status status = file->status();
        if (status.kind != fs::Kind::File) vb::raise(vb::err::NotAnArchive);
        FileBytes bytes(*file, std::uint64_t(status.size));
        entries = readDirectory(bytes, &stamp);
        stamp.seconds = status.seconds;
        stamp.nanoseconds = status.nanoseconds;
        hostPath = host;
    }

    // The window looks entries up by name only to extract them, so the maps are built then,
    // once per open: a listing never pays for them.
    void buildNameMaps() const {
        if (!byName.isEmpty() || entries.empty()) return;
        byName.reserve(qsizetype(entries.size()));
        // Backwards, so that the first of duplicate names wins, as in a search from the start.
        for (int i = int(entries.size()) - 1; i >= 0; --i) {
            const QString& name = entries[std::size_t(i)].name;
            byName.insert(name, i);
            if (name.contains(u'\\')) bySlashes.insert(QString(name).replace(u'\\', u'/'), i);
        }
    }

    // The entry named by a text as written, else the first whose name reads the same with
    // "\" and "/" alike.
    int lookup(const QString& text) const {
        buildNameMaps();
        if (auto it = byName.constFind(text); it != byName.cend()) return it.value();
        int found = -1;
        const QString slashed = QString(text).replace(u'\\', u'/');
        if (slashed != text)
            if (auto it = byName.constFind(slashed); it != byName.cend()) found = it.value();
        if (auto it = bySlashes.constFind(slashed);
            it != bySlashes.cend() && (found < 0 || it.value() < found))
            found = it.value();
        return found;
    }

    // The entry a listed text names (a folder's text ends in "%"), staged for the commit;
    // -1 when none does, which the extraction reports.
    void stage(const QString& listedText, const ReservedNames& reserved) {
        int index = lookup(listedText);
        bool folder = index >= 0 && (attributes(entries[std::size_t(index)]) & kFolder);
        if (index < 0 && listedText.endsWith(u'%')) {
            index = lookup(listedText.chopped(1));
            folder = index >= 0 && (attributes(entries[std::size_t(index)]) & kFolder);
            if (!folder) index = -1;
        }
        if (!extraction) extraction = std::make_unique<Extraction>(hostPath, entries);
        extraction->stage(listedText, index, folder, destination, reserved);
    }

    // Forgets the archive and anything staged for it.
    void release() {
        extraction.reset();
        stamp = {};
        hostPath.clear();
        entries.clear();
        byName.clear();
        bySlashes.clear();
    }
};

Archive::Archive() : d(std::make_unique<Impl>()) {}
Archive::~Archive() = default;

void Archive::OpenArchive(const QString& windowsPath) {
    d->release();
    d->openArchive(windowsPath);
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
    return static_cast<std::int32_t>(d->entries.size());
}

vb::Variant Archive::EntryName(std::int32_t index) const {
    return d->entry(index).name;
}

vb::Variant Archive::EntryAttributes(std::int32_t index) const {
    return d->attributes(d->entry(index));
}

// The date and time as stored in the entry's DOS fields, local time as the tool saw it, which
// is what Windows zip tools show; the extended Unix timestamps are not used. Fields out of
// range carry over (a day 0 is the last day of the month before).
vb::Variant Archive::EntryDate(std::int32_t index) const {
    const DirectoryEntry& e = d->entry(index);
    return vb::dateTime(1980 + (e.dosDate >> 9), (e.dosDate >> 5) & 0xF, e.dosDate & 0x1F,
                        e.dosTime >> 11, (e.dosTime >> 5) & 0x3F, (e.dosTime & 0x1F) * 2);
}

vb::Variant Archive::EntrySize(std::int32_t index) const {
    return static_cast<double>(d->entry(index).size);
}

vb::Variant Archive::EntryCompressedSize(std::int32_t index) const {
    return static_cast<double>(d->entry(index).compressedSize);
}

void Archive::ExtractEntry(const QString& listedText, const ReservedNames& reserved) {
    d->requireOpen();
    d->stage(listedText, reserved);
}

void Archive::CloseArchive(const std::function<void()>& onCommitted) {
    if (!d->isOpen()) return;
    if (d->extraction && d->extraction->pending()) {
        try {
            d->extraction->commit(onCommitted);
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
    return d->isOpen();
}

ArchiveStamp Archive::stamp() const {
    return d->stamp;
}

} // namespace zipc
