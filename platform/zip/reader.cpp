#include "reader.h"

#include "platform/fs/host.h"
#include "platform/vb/error.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace zipc {

namespace {

// Entries are read one after another in archive order or, as the window lists them with the
// last entry on top, in reverse order; either way one window of the file serves many small
// entries with one read. A request larger than the window goes straight to the caller.
struct FileSource {
    fs::File file;
    zip_uint64_t size = 0;
    zip_uint64_t position = 0;
    static constexpr zip_uint64_t kAhead = 64 * 1024;
    std::vector<char> window = std::vector<char>(256 * 1024);
    zip_uint64_t windowStart = 0, windowLength = 0;
    zip_error_t error;

    explicit FileSource(fs::File opened) : file(std::move(opened)) { zip_error_init(&error); }
    ~FileSource() { zip_error_fini(&error); }

    // Positioned read; -1 with the error set on failure.
    zip_int64_t readAt(char* out, zip_uint64_t length, zip_uint64_t offset) {
        fs::SystemError failure = 0;
        const std::int64_t n = file.tryReadAt(offset, out, std::size_t(length), failure);
        if (n < 0) zip_error_set(&error, ZIP_ER_READ, failure);
        return n;
    }

    zip_int64_t read(char* out, zip_uint64_t length) {
        zip_uint64_t done = 0;
        while (done < length && position < size) {
            if (position >= windowStart && position < windowStart + windowLength) {
                const zip_uint64_t n =
                    std::min(length - done, windowStart + windowLength - position);
                std::memcpy(out + done, window.data() + (position - windowStart), n);
                position += n;
                done += n;
                continue;
            }
            const bool direct = length - done >= window.size();
            // Going backwards, the window ends a little after the position, so that the
            // entries before it are in the window too.
            const zip_uint64_t start =
                position >= windowStart
                    ? position
                    : std::max(position + kAhead, zip_uint64_t(window.size())) - window.size();
            const zip_int64_t n = direct ? readAt(out + done, length - done, position)
                                         : readAt(window.data(), window.size(), start);
            if (n < 0) return -1;
            if (n == 0) break; // the file became shorter: libzip reports the entry as damaged
            if (direct) {
                position += zip_uint64_t(n);
                done += zip_uint64_t(n);
            } else {
                windowStart = start;
                windowLength = zip_uint64_t(n);
                if (position >= start + windowLength) break; // nothing left at the position
            }
        }
        return zip_int64_t(done);
    }

    zip_int64_t call(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            position = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return read(static_cast<char*>(data), length);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = size;
            st->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error, data, length);
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t to =
                zip_source_seek_compute_offset(position, size, data, length, &error);
            if (to < 0) return -1;
            position = zip_uint64_t(to);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return zip_int64_t(position);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                ZIP_SOURCE_SUPPORTS, -1);
        case ZIP_SOURCE_FREE:
            delete this;
            return 0;
        default:
            zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

zip_int64_t callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    return static_cast<FileSource*>(state)->call(data, length, command);
}

} // namespace

ZipHandle openForReading(const QString& hostPath) {
    // Whatever has taken the archive's place, a named pipe must not hang (the file layer
    // never waits on one).
    std::optional<fs::File> file;
    std::optional<fs::Status> status;
    try {
        file = fs::File::openIfPresent(hostPath);
        if (file) status = file->status();
    } catch (const vb::VbError&) {
        return nullptr;
    }
    if (!status || status->kind != fs::Kind::File) return nullptr;
    auto state = std::make_unique<FileSource>(std::move(*file));
    state->size = zip_uint64_t(status->size);
    zip_source_t* source = zip_source_function_create(callback, state.get(), nullptr);
    if (!source) return nullptr;
    state.release(); // the source frees it
    ZipHandle za(zip_open_from_source(source, ZIP_RDONLY, nullptr));
    if (!za) zip_source_free(source);
    return za;
}

} // namespace zipc
