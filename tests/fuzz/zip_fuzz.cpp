// libFuzzer target: arbitrary bytes as an update archive: its directory read straight from
// memory, then the archive listed as the window lists it and extracted into a scratch folder.
// Any outcome but a VbError (a crash, a hang, a sanitizer report, a file written outside the
// destination) is a bug.
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"
#include "platform/zip/archive.h"
#include "platform/zip/directory.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

// <temp>/zip_fuzz_<pid>/ holds the input and dest/inner/, the destination: an entry that
// escaped the destination would show up next to "inner" or next to "dest".
const QString& scratch() {
    static const QString path = [] {
        static fs::Environment environment; // in force until the process ends
        environment.setDrives({{u'Z', QStringLiteral("/"), QStringLiteral("/")}});
        const QString p = QDir::temp().filePath(QStringLiteral("zip_fuzz_%1").arg(::getpid()));
        QDir().mkpath(p + "/dest/inner");
        return p;
    }();
    return path;
}

template <typename F> void ignoringErrors(F&& action) {
    try {
        action();
    } catch (const vb::VbError&) {
    }
}

void checkNothingEscaped() {
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    if (QDir(scratch()).entryList(all) != QStringList{"dest", "input.zip"} ||
        QDir(scratch() + "/dest").entryList(all) != QStringList{"inner"})
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zipc::MemorySource bytes(data, size);
    ignoringErrors([&] { zipc::readDirectory(bytes); });
    const QString input = scratch() + "/input.zip";
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    zipc::Archive archive;
    ignoringErrors([&] {
        archive.OpenArchive(fs::toWindows(input));
        const std::int32_t count = vb::clng(archive.EntryCount());
        QStringList listed;
        for (std::int32_t i = 0; i < count; ++i) {
            ignoringErrors([&] {
                const QString name = vb::cstr(archive.EntryName(i));
                const bool folder = vb::clng(archive.EntryAttributes(i)) & 0x10;
                listed << (folder ? name + u'%' : name);
            });
            ignoringErrors([&] { archive.EntryDate(i); });
            ignoringErrors([&] { archive.EntrySize(i); });
            ignoringErrors([&] { archive.EntryCompressedSize(i); });
        }
        archive.DestinationFolder(fs::toWindows(scratch() + "/dest/inner"));
        for (const QString& text : listed.mid(0, 64))
            ignoringErrors([&] { archive.ExtractEntry(text); });
        archive.CloseArchive();
    });
    ignoringErrors([&] { archive.CloseArchive(); });
    checkNothingEscaped();
    QDir(scratch() + "/dest/inner").removeRecursively();
    QDir().mkpath(scratch() + "/dest/inner");
    return 0;
}
