// qunadiag db: opens a database as the window opens "quna.mdb" and prints the first row.
// Without --password it tries the window's passwords in the window's order (the installation
// database's primary one, its fallback, none). FILE is a host path or a Windows path as the
// window shows it (C:\QUNAWIN\dbClient.mdb, resolved through the Wine prefix around the
// current folder, as the updater's own).
#include "diag.h"

#include "install/connections.h"
#include "platform/db/ado.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QDir>
#include <cstdio>
#include <optional>

namespace {

void print(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
}

int usage() {
    std::fputs("usage: qunadiag db FILE [--password P] [--table NAME | --query TEXT]\n", stderr);
    return 2;
}

bool isWindowsPath(const QString& path) {
    return (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) ||
           path.startsWith(QStringLiteral("\\\\"));
}

} // namespace

int runDb(QStringList args) {
    QString file, source = QStringLiteral("select * from Accesso");
    std::optional<QString> password;
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

    fs::Environment environment;
    QString windowsPath;
    try {
        if (isWindowsPath(file)) {
            environment.setProgramFolder(QDir::currentPath()); // the prefix around us
            windowsPath = file;
        } else {
            // Z: = "/" names every host path; the letters of the mounted volumes, which take
            // a scan of the mount table, serve only the window's drive list.
            environment.setDrives({{u'Z', QStringLiteral("/"), QStringLiteral("/")}});
            windowsPath = fs::toWindows(file);
        }
        // The connection string is built as the window builds it for the installation
        // database, from the path as the window would see it.
        db::Connection cn;
        cn.CursorLocation = db::adUseClient;
        const QStringList passwords =
            password ? QStringList{*password}
                     : QStringList{QString::fromLatin1(install::kPrimaryPassword),
                                   QString::fromLatin1(install::kFallbackPassword), QString()};
        for (qsizetype i = 0;; ++i) {
            try {
                cn.Open(db::jetConnectionString(windowsPath, passwords[i]), {}, {}, -1);
                break;
            } catch (const vb::VbError& e) {
                if (e.number() != vb::err::BadPassword || i + 1 == passwords.size()) throw;
            }
        }
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
        std::fputs(
            qPrintable(
                QStringLiteral("qunadiag db: error %1: %2\n").arg(e.number()).arg(e.description())),
            stderr);
        return 1;
    }
    return 0;
}
