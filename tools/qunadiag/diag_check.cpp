// qunadiag check: an administrator's diagnosis of one installation, step by step as the
// window's start-up goes, with the same code. It changes nothing: a pending update is reported,
// not recovered. Exit status 0 when the start-up would get as far as showing both versions.
#include "diag.h"

#include "form/form.h"
#include "install/config.h"
#include "install/connections.h"
#include "install/versions.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/ui/fake_host.h"
#include "platform/vb/error.h"
#include "platform/vb/format.h"
#include "update/safety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

int failures = 0;

void say(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
}
void ok(const QString& what) {
    say(QStringLiteral("  ok      ") + what);
}
void bad(const QString& what) {
    ++failures;
    say(QStringLiteral("  ERRORE  ") + what);
}
void note(const QString& what) {
    say(QStringLiteral("  nota    ") + what);
}

// The record's bytes as text, with the characters that do not belong in a path written out.
QString shown(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        switch (c) {
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\0':
            out += QStringLiteral("\\0");
            break;
        default:
            out += QChar::fromLatin1(c);
        }
    }
    return out;
}

QString hostOf(const QString& windowsPath) {
    try {
        return fs::toHost(windowsPath);
    } catch (const vb::VbError& e) {
        return QStringLiteral("(nessuna: %1)").arg(e.description());
    }
}

void checkConfig(const form::Form& f) {
    say(QStringLiteral("config.dat"));
    QFile file(fs::toHost(f.PathConfig));
    if (!file.open(QIODevice::ReadOnly)) {
        bad(QStringLiteral("%1 non si legge: il programma si chiuderebbe all'avvio")
                .arg(f.PathConfig));
        return;
    }
    const QByteArray bytes = file.read(install::kConfigRecordLength);
    ok(QStringLiteral("%1 byte: \"%2\"").arg(bytes.size()).arg(shown(bytes)));
    const char* names[] = {"un a capo (CR)", "un a capo (LF)", "una tabulazione", "un NUL"};
    const char marks[] = {'\r', '\n', '\t', '\0'};
    for (int k = 0; k < 4; ++k)
        if (const qsizetype at = bytes.indexOf(marks[k]); at >= 0)
            bad(QStringLiteral("contiene %1 alla posizione %2: fa parte del percorso, che "
                               "quindi non esiste; scrivi il file senza a capo (printf, non echo)")
                    .arg(QString::fromLatin1(names[k]))
                    .arg(at + 1));
}

// Opens a database as the window does and reads its version record through the window's own
// reader; false when the start-up would stop here.
bool checkDatabase(form::Form& f, ui::FakeHost& host, bool installation) {
    const QString path = installation ? f.PathDB : f.PathClient;
    say(installation ? QStringLiteral("Database di installazione")
                     : QStringLiteral("Database della postazione"));
    say(QStringLiteral("  percorso %1").arg(shown(path.toUtf8())));
    say(QStringLiteral("  host     %1").arg(shown(hostOf(path).toUtf8())));
    if (const QString server = fs::unansweringServer(path); !server.isEmpty()) {
        bad(QStringLiteral("il server %1 non risponde").arg(server));
        return false;
    }
    QString password;
    try {
        if (installation) {
            try {
                password = QString::fromLatin1(install::kPrimaryPassword);
                install::openInstallationDatabase(f, install::kPrimaryPassword);
            } catch (const vb::VbError& e) {
                if (e.number() != vb::err::BadPassword) throw;
                password = QString::fromLatin1(install::kFallbackPassword);
                install::openInstallationDatabase(f, install::kFallbackPassword);
            }
            ok(QStringLiteral("aperto con la password %1")
                   .arg(password == install::kPrimaryPassword ? "principale" : "di riserva"));
        } else {
            install::openWorkstationDatabase(f);
            ok(QStringLiteral("aperto"));
        }
    } catch (const vb::VbError& e) {
        bad(QStringLiteral("non si apre: %1 (%2)").arg(e.description()).arg(e.number()));
        if (e.number() == vb::err::ProviderFailed)
            note(QStringLiteral("la finestra direbbe \"Percorso archivio in 'config.dat' "
                                "errato!!\""));
        return false;
    }
    host.messages.clear();
    installation ? install::LeggiVersioneDB(f) : install::LeggiVersionePC(f);
    const QString version = installation ? f.Versione : f.VersioPC;
    const vb::Date date = installation ? f.dataver : f.DataVePC;
    for (const ui::ShownMessage& m : host.messages)
        bad(QStringLiteral("lettura della versione: ") +
            QString(m.text).replace(QStringLiteral("\r\n"), QStringLiteral(" / ")));
    if (host.messages.empty())
        ok(QStringLiteral("versione %1 del %2").arg(version, vb::formatDdMmYyyy(date)));
    (installation ? f.cnDB : f.cnClient)->Close();
    return host.messages.empty();
}

void checkUpdates(const form::Form& f) {
    say(QStringLiteral("Aggiornamenti"));
    const QString folder = f.PathProgramma + QStringLiteral("\\Aggiorna");
    if (!fs::folderExists(folder)) {
        note(QStringLiteral("%1 manca: l'aggiornamento lo crea all'avvio").arg(folder));
        return;
    }
    const QStringList archives = fs::matchingFiles(folder, QStringLiteral("qn*.zip"));
    ok(QStringLiteral("%1: %2 archivi qn*.zip").arg(folder).arg(archives.size()));
    for (const QString& name : archives)
        say(QStringLiteral("          %1  %2 byte")
                .arg(name)
                .arg(fs::fileSize(folder + u'\\' + name)));
}

void checkPendingUpdate(form::Form& f) {
    say(QStringLiteral("Aggiornamento in corso o interrotto"));
    const fs::InstallationLock lock(f.PathProgramma);
    if (lock.state() == fs::InstallationLock::State::Busy) {
        note(QStringLiteral("un altro aggiornamento è in corso ora su questa installazione"));
        return;
    }
    const std::optional<QString> state = update::UpdateSafety(f).interruptedState();
    if (!state) {
        ok(QStringLiteral("nessuno"));
        return;
    }
    note(QStringLiteral("un aggiornamento è stato interrotto (stato \"%1\"): il prossimo avvio "
                        "lo sistema")
             .arg(*state));
}

} // namespace

int runCheck(QStringList args) {
    if (args.size() > 1 || (!args.isEmpty() && args[0].startsWith(u"--"))) {
        std::fputs("usage: qunadiag check [FOLDER]\n", stderr);
        return 2;
    }
    const QString folder =
        QDir::cleanPath(QDir::current().absoluteFilePath(args.value(0, QStringLiteral("."))));
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "qunadiag check: %s is not a folder\n", qPrintable(folder));
        return 2;
    }
    fs::Environment environment; // the installation to look at, as the updater's own
    environment.setProgramFolder(folder);
    ui::FakeHost host;
    form::Form f(host);

    say(QStringLiteral("Installazione %1").arg(folder));
    const QString prefix = fs::winePrefix();
    say(prefix.isEmpty() ? QStringLiteral("  Wine: nessuna cartella di Wine sopra; unità dell'host")
                         : QStringLiteral("  Wine: la cartella %1").arg(prefix));
    for (const fs::Drive& d : fs::drives())
        say(QStringLiteral("  unità %1: %2%3")
                .arg(d.letter)
                .arg(d.hostRoot)
                .arg(d.server.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(d.server)));
    try {
        f.PathProgramma = fs::programFolder();
    } catch (const vb::VbError& e) {
        bad(QStringLiteral("la cartella non ha un percorso Windows: %1").arg(e.description()));
        return 1;
    }
    say(QStringLiteral("  percorso Windows %1").arg(f.PathProgramma));
    f.PathConfig = f.PathProgramma + QStringLiteral("\\config.dat");
    if (!install::configExists(f)) {
        bad(QStringLiteral("%1 manca: il programma si chiuderebbe all'avvio").arg(f.PathConfig));
        return 1;
    }
    checkConfig(f);
    f.RecConfig = install::readConfigRecord(f.PathConfig);
    f.PathDB = install::databasePath(f.RecConfig);
    f.PathClient = f.PathProgramma + QStringLiteral("\\dbClient.mdb");
    const bool started = checkDatabase(f, host, true) && checkDatabase(f, host, false);
    checkUpdates(f);
    checkPendingUpdate(f);
    const bool good = started && failures == 0;
    say(good ? QStringLiteral("L'avvio mostrerebbe entrambe le versioni.")
             : QStringLiteral("L'avvio non arriverebbe a mostrare entrambe le versioni."));
    return good ? 0 : 1;
}
