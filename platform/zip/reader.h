#pragma once
// The archive file as libzip reads entry data from it.
#include <QByteArray>
#include <zip.h>

namespace zipc {

// Opens the regular file at a host path read-only for libzip, which then reads it through
// positioned reads of one buffer: libzip's own file source goes through a stdio stream that
// seeks the file several times for every entry it opens. Null when the file cannot be opened
// or is no archive libzip can read.
zip_t* openForReading(const QByteArray& hostPath);

} // namespace zipc
