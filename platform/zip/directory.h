#pragma once
// The central directory of a zip archive, read in one pass: every entry's name, sizes, CRC,
// attributes and DOS date and time.
//
// libzip reads the same records when it opens an archive, but it allocates several objects per
// entry and turns every DOS date into a time_t through mktime: on a 32,767-entry update its open
// alone took as long as a whole `unzip -l` of the archive, before the window had listed
// anything. So the component reads the directory itself, which is all a listing needs, and
// opens the archive with libzip only to read entry data (decompression, CRC checks), checking
// then that libzip sees the same entries.
#include <QString>
#include <cstdint>
#include <vector>

namespace zipc {

struct DirectoryEntry {
    QString name;         // decoded as the archive declares it, up to a NUL
    bool nameCut = false; // the stored name went on after a NUL: not the file it names
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    std::uint32_t externalAttributes = 0;
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;
    std::uint8_t hostSystem = 0; // the high byte of "version made by"
};

// Host systems as the zip format numbers them.
inline constexpr std::uint8_t kHostDos = 0, kHostUnix = 3, kHostNtfs = 10, kHostVfat = 14;

// What tells one archive file from another that took its name: its size, its modification
// time and a checksum of its central directory.
struct ArchiveStamp {
    std::int64_t size = -1, seconds = 0, nanoseconds = 0;
    std::uint32_t directoryCrc = 0;
    std::uint64_t directorySize = 0;
    friend bool operator==(const ArchiveStamp&, const ArchiveStamp&) = default;
};

// Reads the directory of the archive open as `fd` (at `hostPath`, which errors name), and
// its stamp when asked. Raises 0x80007D65 when the file is not a readable zip archive: no
// end record, a directory outside the file or not matching its end record, an archive split
// over several disks, a damaged record, or a name flagged UTF-8 that is not. A read the
// system refuses raises as the system's error.
std::vector<DirectoryEntry> readDirectory(int fd, const QString& hostPath,
                                          ArchiveStamp* stamp = nullptr);

} // namespace zipc
