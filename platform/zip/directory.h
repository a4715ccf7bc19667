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
// A Unix tool stores the entry's mode in the high half of the external attributes, kind bits
// as its own system numbers them.
inline constexpr std::uint32_t kUnixKindMask = 0170000, kUnixFolder = 0040000, kUnixLink = 0120000,
                               kUnixOwnerWrite = 0200;

// What tells one archive file from another that took its name: its size, its modification
// time and a checksum of its central directory.
struct ArchiveStamp {
    std::int64_t size = -1, seconds = 0, nanoseconds = 0;
    std::uint32_t directoryCrc = 0;
    std::uint64_t directorySize = 0;
    friend bool operator==(const ArchiveStamp&, const ArchiveStamp&) = default;
};

// The bytes of an archive: an open file, or memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Up to `length` bytes at `offset`, fewer only at the end. A read that fails raises (a
    // file's as the system's error on its path, not as a damaged archive: a server that
    // stopped answering is no reason to download it again).
    virtual std::size_t readAt(std::uint64_t offset, unsigned char* out, std::size_t length) = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, unsigned char* out, std::size_t length) override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

// Reads the directory of an archive, and the parts of its stamp the directory gives (its size,
// checksum and the archive's size) when asked. Raises 0x80007D65 when the bytes are not a
// readable zip archive: no end record, a directory outside the file or not matching its end
// record, an archive split over several disks, a damaged record, or a name flagged UTF-8 that
// is not.
std::vector<DirectoryEntry> readDirectory(ByteSource& source, ArchiveStamp* stamp = nullptr);

} // namespace zipc
