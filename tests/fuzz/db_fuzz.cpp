// libFuzzer target: arbitrary bytes as a database file, read as the program reads its two
// version records. Any outcome but a VbError (a crash, a hang, a sanitizer report) is a bug.
#include "platform/db/ado.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

const QString& inputPath() {
    static const QString path = [] {
        fs::setDrives({{u'Z', QStringLiteral("/"), QStringLiteral("/")}});
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        db::Connection cn;
        cn.CursorLocation = db::adUseClient;
        cn.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + fs::toWindows(inputPath()) +
                ";JET OLEDB:Database Password=;");
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
