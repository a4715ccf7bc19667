// libFuzzer target: arbitrary bytes as a database file, read as the program reads its two
// version records. Any outcome but a VbError (a crash, a hang, a sanitizer report) is a bug.
// Built with QUNA_DB_FUZZ_REWRITE (db_rewrite_fuzz) the input is two files: the first four
// bytes give the length of the one that is opened, and the rest replaces it in place once the
// connection is open, as a compaction on another workstation would.
#include "platform/db/ado.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace {

const QString& inputPath() {
    static const QString path = [] {
        static fs::Environment environment; // in force until the process ends
        environment.setDrives({{u'Z', QStringLiteral("/"), QStringLiteral("/")}});
        return QDir::temp().filePath(QStringLiteral("db_fuzz_%1.mdb").arg(::getpid()));
    }();
    return path;
}

void readFields(const db::Recordset& rs, const char* a, const char* b) {
    for (const char* name : {a, b}) {
        try {
            rs.Fields(name);
        } catch (const vb::VbError&) {
        }
    }
}

// Writes the bytes over the input file without replacing it: the same file, new contents.
bool overwrite(const QByteArray& bytes, QIODevice::OpenMode mode) {
    QFile file(inputPath());
    return file.open(mode) && file.write(bytes) == bytes.size() && file.resize(bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray opened =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
#ifdef QUNA_DB_FUZZ_REWRITE
    if (size < 4) return 0;
    std::uint32_t length = 0;
    std::memcpy(&length, data, 4);
    opened = opened.mid(4);
    const QByteArray later = opened.mid(qsizetype(length % std::uint32_t(opened.size() + 1)));
    opened.chop(later.size());
#endif
    if (!overwrite(opened, QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    try {
        db::Connection cn;
        cn.CursorLocation = db::adUseClient;
        cn.Open(db::jetConnectionString(fs::toWindows(inputPath()), {}));
#ifdef QUNA_DB_FUZZ_REWRITE
        if (!overwrite(later, QIODevice::ReadWrite)) return 0;
#endif
        try {
            db::Recordset rs;
            rs.Open(QStringLiteral("select * from Accesso"), cn, db::adOpenStatic,
                    db::adLockPessimistic, db::adCmdText);
            readFields(rs, "Versione", "dataver");
        } catch (const vb::VbError&) {
        }
        db::Recordset rs;
        rs.Open(QStringLiteral("Configurazione"), cn, db::adOpenStatic, db::adLockPessimistic,
                db::adCmdTable);
        readFields(rs, "VersioPC", "DataVePC");
        for (const QString& name : rs.FieldNames())
            rs.Fields(name);
    } catch (const vb::VbError&) {
    }
    return 0;
}
