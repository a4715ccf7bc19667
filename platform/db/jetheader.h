#pragma once
// Page 0 of a Jet database: the version, the page size and the database password, which the
// provider checks before it reads anything else of the file.
#include <QByteArray>
#include <QString>
#include <optional>

namespace db::jet {

struct Header {
    int version = 0;  // 0 Jet 3 (Access 97), 1 Jet 4 (Access 2000 to 2003)
    int pageSize = 0; // 2048 or 4096
    QString password; // empty when the database has none
    quint32 key = 0;  // non-zero for an encoded database, whose pages are all encrypted
};

// Bytes of page 0 that readHeader needs (the Jet 3 page is the smaller one).
constexpr int headerBytes = 2048;

// Decodes the start of page 0. nullopt when the bytes are not a Jet 3 or Jet 4 header.
std::optional<Header> readHeader(const QByteArray& page0);

// RC4, in place. Page 0 hides its header fields behind it.
void rc4(const unsigned char* key, int keyLength, unsigned char* data, int length);

} // namespace db::jet
