// The window's load handler: everything that prepares an update.
#include "handlers.h"
#include "install/config.h"
#include "install/connections.h"
#include "install/versions.h"
#include "shape.h"
#include "update/safety.h"

#include "form/messages.h"
#include "platform/fs/fs.h"
#include "platform/vb/format.h"
#include "platform/vb/text.h"
#include "platform/vb/trap.h"

namespace app {

const QString kHelpText =
    QStringLiteral("Se l'archivio (o gli archivi) per l'aggiornamento, ricevuti o scaricati \r\n"
                   "da Internet, non sono nella cartella 'C:\\QUNAWIN\\AGGIORNA', \r\n"
                   "seleziona il percorso in cui si trovano, e, quando appaiono nella \r\n"
                   "finestra, clicca sull'archivio scelto e controlla\r\n"
                   "la descrizione del contenuto che appare accanto.");

namespace {

using namespace vb;

// The drive and folder the lists start in: the "Aggiorna" folder on the data drive when the
// installation data lie on a lettered drive and that folder exists there, else our own.
std::pair<QString, QString> defaultUpdateFolder(const form::Form& f) {
    const QString own = f.PathProgramma + QStringLiteral("\\Aggiorna");
    if (f.PathDB.mid(1, 1) == QStringLiteral(":")) {
        const QString candidate =
            f.PathDB.left(2) + f.PathProgramma.mid(2) + QStringLiteral("\\Aggiorna");
        if (fs::entryExists(candidate)) return {f.PathDB.left(2), candidate};
    }
    return {f.PathProgramma.left(2), own};
}

Resume startupTrap(form::Form& f, const VbError& e) {
    switch (e.number()) {
    case err::ComponentMissing:
    case err::ClassNotRegistered:
        f.host.messageBox(QStringLiteral("ATTENZIONE! Librerie di QUNA non aggiornate!!\r\n"
                                         "\r\n"
                                         "Scarica le librerie dal sito: '") +
                              QString::fromUtf8(form::msg::kWebSite) +
                              QStringLiteral("' ed esegui l'installazione\r\n"
                                             "Per chiarimenti chiama l'assistenza tecnica"),
                          ui::Buttons::Ok, ui::Icon::Exclamation);
        return Resume::End;
    case err::ProviderFailed: {
        // A database on a server that does not answer: config.dat is right, the server is not.
        const QString database = f.PathClient.isEmpty() ? f.PathDB : f.PathClient;
        const QString told = form::msg::unlessServerSilent(
            QStringLiteral("Percorso archivio in 'config.dat' errato!!"), database, database);
        f.host.beep();
        f.host.messageBox(told, ui::Buttons::Ok, ui::Icon::Critical);
        return Resume::End;
    }
    case err::BadPassword:
        // One retry with the fallback password, always on the installation database. A
        // failure of that opening is reported like any other error and ends the start-up.
        try {
            install::openInstallationDatabase(f, install::kFallbackPassword);
        } catch (const VbError& again) {
            f.host.messageBox(vb::errorMessage("Codice errore = ", again), ui::Buttons::Ok,
                              ui::Icon::None);
            return Resume::End;
        }
        return Resume::Next;
    default:
        f.host.messageBox(vb::errorMessage("Codice errore = ", e), ui::Buttons::Ok, ui::Icon::None);
        return Resume::End;
    }
}

} // namespace

void setupArchiveColumns(form::Form& f) {
    f.lv.clearColumns();
    f.lv.addColumn(QStringLiteral("Nome"), 1300, ui::ListView::Align::Left);
    f.lv.addColumn(QStringLiteral("Data"), 1500, ui::ListView::Align::Center);
    f.lv.addColumn(QStringLiteral("Non compresso"), 1400, ui::ListView::Align::Right);
    f.lv.addColumn(QStringLiteral("Compresso"), 1400, ui::ListView::Align::Right);
}

void Form_Load(form::Form& f) {
    Block body{
        step([&] { f.SSPanel1.setCaption(kHelpText); }),
        step([&] { f.PathProgramma = fs::programFolder(); }),
        step([&] { fs::changeFolder(f.PathProgramma); }),
        step([&] { f.PathConfig = f.PathProgramma + QStringLiteral("\\config.dat"); }),
        when([&] { return !install::configExists(f); },
             {step([&] { install::reportMissingConfig(f); })}), // ends the process
        step([&] { update::UpdateSafety(f).recoverAtStart(); }),
        step([&] { f.RecConfig = install::readConfigRecord(f.PathConfig); }),
        step([&] { f.PathDB = install::databasePath(f.RecConfig); }),
        step([&] { install::openInstallationDatabase(f, install::kPrimaryPassword); }),
        step([&] { install::LeggiVersioneDB(f); }),
        step([&] { f.cnDB->Close(); }),
        step([&] { f.PathClient = f.PathProgramma + QStringLiteral("\\dbClient.mdb"); }),
        step([&] { install::openWorkstationDatabase(f); }),
        step([&] { install::LeggiVersionePC(f); }),
        step([&] { f.cnClient->Close(); }),
        step([&] {
            f.lblVersDB.setCaption(formatOneDecimal(f.Versione) + QStringLiteral("  del  ") +
                                   formatDdMmYy(f.dataver));
        }),
        step([&] {
            f.lblVersPC.setCaption(formatOneDecimal(f.VersioPC) + QStringLiteral("  del ") +
                                   formatDdMmYy(f.DataVePC));
        }),
        step([&] { f.lblPathArchivi.setCaption(f.PathDB); }),
        when([&] { return !fs::entryExists(f.PathProgramma + QStringLiteral("\\Aggiorna")); },
             {step([&] { fs::makeFolder(f.PathProgramma + QStringLiteral("\\Aggiorna")); })}),
        step([&] {
            const auto [drive, folder] = defaultUpdateFolder(f);
            f.Drive1.setDrive(drive);
            f.Dir1.setPath(folder);
        }),
        step([&] { f.File1.setPattern(QStringLiteral("qn*.zip")); }),
        step([&] { setupArchiveColumns(f); }),
        step([&] { ImpostaForma(*f.window, RGN_ARROTONDATO); }),
        step([&] { f.window->show(); }),
        when([&] { return f.File1.listCount() > 0; },
             {
                 step([&] { f.File1.setListIndex(f.File1.listCount() - 1); }),
                 step([&] { f.window->focusElabora(); }),
             }),
        step([&] { f.Zip1.NumericOption(0); }),
    };
    run(body, [&](const VbError& e) { return startupTrap(f, e); });
}

} // namespace app
