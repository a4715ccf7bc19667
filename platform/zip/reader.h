#pragma once
// The archive file as libzip reads entry data from it.
#include <QString>
#include <memory>
#include <zip.h>

namespace zipc {

// libzip's handles, given back on every way out.
struct ZipDiscard {
    void operator()(zip_t* za) const { zip_discard(za); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;
struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileClose>;

// Opens the regular file at a host path read-only for libzip, which then reads it through
// positioned reads of one buffer: libzip's own file source goes through a stdio stream that
// seeks the file several times for every entry it opens. Null when the file cannot be opened
// or is no archive libzip can read.
ZipHandle openForReading(const QString& hostPath);

} // namespace zipc
