#include "directory.h"

#include "platform/vb/error.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <zlib.h>

namespace zipc {

namespace {

// Record layouts (all numbers little-endian).
constexpr std::uint32_t kEndSignature = 0x06054b50;     // end of central directory
constexpr std::uint32_t kLocatorSignature = 0x07064b50; // Zip64 end record locator
constexpr std::uint32_t kEnd64Signature = 0x06064b50;   // Zip64 end of central directory
constexpr std::uint32_t kHeaderSignature = 0x02014b50;  // central directory file header
constexpr std::size_t kEndSize = 22, kLocatorSize = 20, kEnd64Size = 56, kHeaderSize = 46;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kZip64Field = 0x0001, kUnicodePathField = 0x7075;
constexpr std::uint16_t kUtf8Flag = 1u << 11;

[[noreturn]] void notAnArchive() {
    vb::raise(vb::err::NotAnArchive);
}

std::uint16_t u16(const unsigned char* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
std::uint32_t u32(const unsigned char* p) {
    return std::uint32_t(u16(p)) | std::uint32_t(u16(p + 2)) << 16;
}
std::uint64_t u64(const unsigned char* p) {
    return std::uint64_t(u32(p)) | std::uint64_t(u32(p + 4)) << 32;
}

// Bytes read from the file, not initialised first: a directory can take megabytes.
struct Bytes {
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;
    const unsigned char* begin() const { return data.get(); }
    const unsigned char* end() const { return data.get() + size; }
};

// Reads exactly `length` bytes at `offset`; a short read is a damaged archive.
Bytes readAt(ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    Bytes bytes{std::make_unique_for_overwrite<unsigned char[]>(length), length};
    if (source.readAt(offset, bytes.data.get(), length) != length) notAnArchive();
    return bytes;
}

// Code page 437 from 0x80 on; below it is ASCII.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

QString fromCp437(const char* bytes, std::size_t length) {
    QString text(qsizetype(length), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (std::size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = b < 0x80 ? char16_t(b) : kCp437High[b - 0x80];
    }
    return text;
}

bool isAscii(const char* bytes, std::size_t length) {
    return std::all_of(bytes, bytes + length, [](char c) { return (c & 0x80) == 0; });
}

// UTF-8 text, or a null string when the bytes are not valid UTF-8.
QString strictUtf8(const char* bytes, std::size_t length) {
    if (isAscii(bytes, length)) return QString::fromLatin1(bytes, qsizetype(length));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes, qsizetype(length)));
    return decoder.hasError() ? QString() : text;
}

// See DirectoryEntry::name.
QString decodeName(const char* raw, std::size_t length, bool flaggedUtf8, std::uint8_t host,
                   const QString& unicodePath, bool& cut) {
    const std::size_t whole = length;
    length = std::size_t(std::find(raw, raw + length, '\0') - raw);
    cut = length < whole && (flaggedUtf8 || unicodePath.isNull());
    if (flaggedUtf8) {
        QString text = strictUtf8(raw, length);
        if (text.isNull()) notAnArchive();
        return text;
    }
    if (!unicodePath.isNull()) return unicodePath;
    if (host == kHostUnix) {
        QString text = strictUtf8(raw, length);
        if (!text.isNull()) return text;
    }
    return fromCp437(raw, length);
}

// Where the central directory is and how many entries it holds.
struct Extent {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
};

// The directory an end record at `endOffset` describes, when it is consistent: one disk, a
// Zip64 record where its locator points, the directory inside the file before the end
// record and beginning with a file header.
std::optional<Extent> extentOf(ByteSource& source, const unsigned char* end,
                               std::uint64_t endOffset) {
    if (u16(end + 4) != 0 || u16(end + 6) != 0 || u16(end + 8) != u16(end + 10)) return {};
    Extent extent{u16(end + 10), u32(end + 12), u32(end + 16)};
    std::uint64_t directoryEnd = endOffset;
    if (endOffset >= kLocatorSize) {
        const std::uint64_t locatorOffset = endOffset - kLocatorSize;
        const Bytes locator = readAt(source, locatorOffset, kLocatorSize);
        const unsigned char* l = locator.begin();
        if (u32(l) == kLocatorSignature) {
            const std::uint64_t end64Offset = u64(l + 8);
            if (u32(l + 4) != 0 || u32(l + 16) > 1 || end64Offset > locatorOffset ||
                locatorOffset - end64Offset < kEnd64Size)
                return {};
            const Bytes end64 = readAt(source, end64Offset, kEnd64Size);
            const unsigned char* e = end64.begin();
            if (u32(e) != kEnd64Signature || u32(e + 16) != 0 || u32(e + 20) != 0 ||
                u64(e + 24) != u64(e + 32))
                return {};
            extent = {u64(e + 32), u64(e + 40), u64(e + 48)};
            directoryEnd = end64Offset;
        }
    }
    if (extent.offset > directoryEnd || extent.size > directoryEnd - extent.offset) return {};
    if (extent.entries > 0 &&
        (extent.size < 4 || u32(readAt(source, extent.offset, 4).begin()) != kHeaderSignature))
        return {};
    return extent;
}

// The end record is the last thing in the file, followed only by the archive comment, which
// may itself hold something that looks like an end record. So the first consistent record
// whose comment ends exactly at the end of the file is taken (an earlier one holds any later
// one in its comment); failing that, the last consistent one that fits, as after an archive
// with bytes appended to it.
Extent findDirectory(ByteSource& source, std::uint64_t fileSize) {
    if (fileSize < kEndSize) notAnArchive();
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndSize + kMaxComment);
    const std::uint64_t tailStart = fileSize - tailSize;
    const Bytes tail = readAt(source, tailStart, tailSize);
    const std::size_t last = tailSize - kEndSize;
    auto candidate = [&](std::size_t at, bool exact) -> std::optional<Extent> {
        const unsigned char* end = tail.begin() + at;
        if (u32(end) != kEndSignature) return {};
        const std::size_t recordEnd = at + kEndSize + u16(end + 20);
        if (exact ? recordEnd != tailSize : recordEnd > tailSize) return {};
        return extentOf(source, end, tailStart + at);
    };
    for (std::size_t at = 0; at <= last; ++at)
        if (const auto extent = candidate(at, true)) return *extent;
    for (std::size_t at = last + 1; at-- > 0;)
        if (const auto extent = candidate(at, false)) return *extent;
    notAnArchive();
}

// Reads one file header at `p` (within `end`); returns the next header's position.
const unsigned char* readHeader(const unsigned char* p, const unsigned char* end,
                                DirectoryEntry& entry) {
    if (std::size_t(end - p) < kHeaderSize || u32(p) != kHeaderSignature) notAnArchive();
    const std::uint16_t flags = u16(p + 8);
    const std::size_t nameLength = u16(p + 28), extraLength = u16(p + 30),
                      commentLength = u16(p + 32);
    if (std::size_t(end - p) - kHeaderSize < nameLength + extraLength + commentLength)
        notAnArchive();
    const char* name = reinterpret_cast<const char*>(p + kHeaderSize);
    const unsigned char* extra = p + kHeaderSize + nameLength;
    const unsigned char* extraEnd = extra + extraLength;

    entry.hostSystem = p[5];
    entry.dosTime = u16(p + 12);
    entry.dosDate = u16(p + 14);
    entry.crc = u32(p + 16);
    entry.compressedSize = u32(p + 20);
    entry.size = u32(p + 24);
    entry.externalAttributes = u32(p + 38);
    const std::uint32_t localOffset = u32(p + 42);

    QString unicodePath;
    // Extra fields; padding too short for a field header at the end is tolerated.
    while (extraEnd - extra >= 4) {
        const std::uint16_t id = u16(extra);
        const std::size_t length = u16(extra + 2);
        const unsigned char* data = extra + 4;
        if (std::size_t(extraEnd - data) < length) notAnArchive();
        if (id == kZip64Field) {
            // Only the values saturated in the header are here, in this order.
            const unsigned char* field = data;
            auto take = [&](std::uint64_t& value) {
                if (data + length - field < 8) notAnArchive();
                value = u64(field);
                field += 8;
            };
            std::uint64_t ignored = 0;
            if (entry.size == 0xFFFFFFFF) take(entry.size);
            if (entry.compressedSize == 0xFFFFFFFF) take(entry.compressedSize);
            if (localOffset == 0xFFFFFFFF) take(ignored);
        } else if (id == kUnicodePathField && length >= 5 && data[0] == 1) {
            // Valid only for exactly the stored name it was written with.
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(name), uInt(nameLength));
            if (u32(data + 1) == crc)
                unicodePath = strictUtf8(reinterpret_cast<const char*>(data + 5), length - 5);
        }
        extra = data + length;
    }
    entry.name = decodeName(name, nameLength, flags & kUtf8Flag, entry.hostSystem, unicodePath,
                            entry.nameCut);
    return extraEnd + commentLength;
}

} // namespace

std::size_t MemorySource::readAt(std::uint64_t offset, unsigned char* out, std::size_t length) {
    if (offset >= size_) return 0;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(length, size_ - offset));
    std::memcpy(out, data_ + offset, n);
    return n;
}

std::vector<DirectoryEntry> readDirectory(ByteSource& source, ArchiveStamp* stamp) {
    const std::uint64_t size = source.size();
    const Extent extent = findDirectory(source, size);
    const Bytes bytes = readAt(source, extent.offset, extent.size);
    const unsigned char* p = bytes.begin();
    // Each header takes at least kHeaderSize bytes: a count beyond that cannot be right.
    if (extent.entries > bytes.size / kHeaderSize) notAnArchive();
    std::vector<DirectoryEntry> entries(extent.entries);
    for (DirectoryEntry& entry : entries)
        p = readHeader(p, bytes.end(), entry);
    if (stamp) {
        std::uint32_t crc = 0;
        for (std::size_t done = 0; done < bytes.size;) {
            const uInt chunk = uInt(std::min<std::size_t>(bytes.size - done, 1u << 30));
            crc = std::uint32_t(::crc32(crc, bytes.begin() + done, chunk));
            done += chunk;
        }
        stamp->size = std::int64_t(size);
        stamp->directoryCrc = crc;
        stamp->directorySize = std::uint64_t(bytes.size);
    }
    return entries;
}

} // namespace zipc
