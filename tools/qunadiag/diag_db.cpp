// qunadiag db: opens a database as the window opens "quna.mdb" and prints the first row.
#include "diag.h"

#include "platform/db/ado.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <cstdio>

namespace {

void print(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
}

int usage() {
    std::fputs("usage: qunadiag db FILE [--password P] [--table NAME | --query TEXT]\n", stderr);
    return 2;
}

} // namespace

int runDb(QStringList args) {
    QString file, password, source = QStringLiteral("select * from Accesso");
    std::int32_t options = db::adCmdText;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if ((arg == u"--password" || arg == u"--table" || arg == u"--query") && !args.isEmpty()) {
            const QString value = args.takeFirst();
            if (arg == u"--password") {
                password = value;
            } else {
                source = value;
                options = arg == u"--table" ? db::adCmdTable : db::adCmdText;
            }
        } else if (file.isEmpty() && !arg.startsWith(u"--")) {
            file = arg;
        } else {
            return usage();
        }
    }
    if (file.isEmpty()) return usage();

    // FILE is a host path, and Z: = "/" names every host path; the letters of the mounted
    // volumes, which take a scan of the mount table, serve only the window's drive list.
    fs::setDrives({{u'Z', QStringLiteral("/"), QStringLiteral("/")}});
    try {
        // The connection string is built as the window builds it for the installation
        // database, from the path as the window would see it.
        db::Connection cn;
        cn.CursorLocation = db::adUseClient;
        cn.Open(db::jetConnectionString(fs::toWindows(file), password), {}, {}, -1);
        db::Recordset rs;
        rs.Open(source, cn, db::adOpenStatic, db::adLockPessimistic, options);
        rs.MoveFirst();
        for (const QString& name : rs.FieldNames()) {
            const vb::Variant value = rs.Fields(name);
            print(name + u'\t' + (value.isNull() ? QString() : vb::cstr(value)));
        }
        rs.Close();
        cn.Close();
    } catch (const vb::VbError& e) {
        print(QStringLiteral("error %1: %2").arg(e.number()).arg(e.description()));
        return 1;
    }
    return 0;
}
