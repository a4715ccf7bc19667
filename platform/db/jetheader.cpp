#include "jetheader.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace db::jet {

void rc4(const unsigned char* key, int keyLength, unsigned char* data, int length) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

namespace {

constexpr int encryptedStart = 0x18;
constexpr int passwordOffset = 0x42;
constexpr int creationDateOffset = 0x72;

// The four mask bytes of a Jet 4 password: the whole days of the creation date.
void creationDateMask(const unsigned char* header, unsigned char mask[4]) {
    double date;
    std::memcpy(&date, header + creationDateOffset, sizeof date);
    // A garbage date must not make the conversion undefined; such a file has no usable mask.
    const double days = std::isfinite(date) ? std::floor(date) : 0.0;
    const auto whole = days >= -2147483648.0 && days <= 2147483647.0
                           ? static_cast<std::uint32_t>(static_cast<std::int32_t>(days))
                           : 0u;
    for (int i = 0; i < 4; ++i)
        mask[i] = static_cast<unsigned char>(whole >> (8 * i));
}

} // namespace

std::optional<Header> readHeader(const QByteArray& page0) {
    if (page0.size() < headerBytes) return std::nullopt;
    unsigned char h[headerBytes];
    std::memcpy(h, page0.constData(), headerBytes);
    if (h[0] != 0 || std::memcmp(h + 4, "Standard Jet DB", 15) != 0) return std::nullopt;

    Header header;
    header.version = h[0x14];
    if (header.version != 0 && header.version != 1) return std::nullopt;
    const bool jet4 = header.version == 1;
    header.pageSize = jet4 ? 4096 : 2048;

    static const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    rc4(key, 4, h + encryptedStart, jet4 ? 128 : 126);

    header.key =
        quint32(h[0x3E]) | quint32(h[0x3F]) << 8 | quint32(h[0x40]) << 16 | quint32(h[0x41]) << 24;

    if (jet4) {
        unsigned char mask[4];
        creationDateMask(h, mask);
        QString password;
        for (int i = 0; i < 40; i += 2) {
            const unsigned char lo = h[passwordOffset + i] ^ mask[i % 4];
            const unsigned char hi = h[passwordOffset + i + 1] ^ mask[(i + 1) % 4];
            const char16_t unit = static_cast<char16_t>(lo | hi << 8);
            if (unit == 0) break;
            password += QChar(unit);
        }
        header.password = password;
    } else {
        const char* text = reinterpret_cast<const char*>(h + passwordOffset);
        header.password = QString::fromLatin1(text, static_cast<int>(strnlen(text, 20)));
    }
    return header;
}

} // namespace db::jet
