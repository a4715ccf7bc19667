#pragma once
// The archive component the window holds: a zip archive opened by path, its entries read
// by index, and extraction of listed entries into a destination folder. Every member raises
// vb::VbError on failure. Results are variants, as the window converts them itself.
#include "directory.h"

#include "platform/vb/variant.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

namespace zipc {

// Names directly in the destination folder that are not the archive's to take as it likes,
// matched without regard to case: `untouchable` ones no entry may write (the backup of the
// main program), `fileOnly` ones only a regular file entry may (the main program: never a
// folder, a link or a path through it).
struct ReservedNames {
    QStringList untouchable, fileOnly;
};

class Archive {
public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Makes the archive at a Windows path the current one. 53 when the file is missing,
    // 0x80007D65 when it is not a readable zip archive.
    void OpenArchive(const QString& windowsPath);
    void NumericOption(std::int32_t value);
    void DestinationFolder(const QString& windowsPath);

    vb::Variant EntryCount() const;                        // Long
    vb::Variant EntryName(std::int32_t index) const;       // text, as stored ("\" or "/")
    vb::Variant EntryAttributes(std::int32_t index) const; // Long; 0x10 marks a folder
    vb::Variant EntryDate(std::int32_t index) const;       // Date
    vb::Variant EntrySize(std::int32_t index) const;       // Double (may exceed 32 bits)
    vb::Variant EntryCompressedSize(std::int32_t index) const;

    // Extracts the entry named by a listed text (a folder's text ends in "%"), never over a
    // reserved name. The entry is in the destination folder when CloseArchive returns.
    void ExtractEntry(const QString& listedText, const ReservedNames& reserved = {});
    // Finishes pending extraction and releases the archive; with none open, does nothing.
    // `onCommitted` is called once every staged file is in place and flushed, before the
    // staging folder goes; an error it raises leaves the staging folder (and its commit list)
    // for the crash recovery, and comes out of CloseArchive.
    void CloseArchive(const std::function<void()>& onCommitted = {});
    // Releases the archive and drops what was staged, without committing anything.
    void AbandonArchive();

    bool isOpen() const;
    // The open archive's stamp (an empty one when none is open): what a later open of the
    // same path is compared with, to tell that it is still the archive that was listed.
    ArchiveStamp stamp() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zipc
