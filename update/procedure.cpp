// "Elabora": checks the selected archive, asks for confirmation, backs up the main program,
// extracts the archive over the installation folder and judges the result by the presence
// of the main program, restoring the backup when it is missing.
#include "handlers.h"
#include "log.h"
#include "safety.h"

#include "form/messages.h"
#include "platform/fs/fs.h"
#include "platform/vb/format.h"
#include "platform/vb/text.h"
#include "platform/vb/trap.h"

namespace update {

namespace {

using namespace vb;

constexpr std::int32_t DIM_MINIMA_ARCHIVIO = 3000000;

const QString kNoPath = QStringLiteral("Percorso archivio di aggiornamento non selezionato!!");
const QString kNotFound = QStringLiteral("Archivio %1 non trovato!!");
const QString kNotSelected =
    QStringLiteral("Archivio di aggiornamento non selezionato o danneggiato!!");
const QString kDamaged =
    QStringLiteral("ATTENZIONE!! File di aggiornamento (*.Zip) è danneggiato\r\n"
                   "Aggiornamento impossibile: prova a riscaricarlo da ") +
    QString::fromUtf8(form::msg::kWebSite);
const QString kOlderVersion =
    QStringLiteral("ATTENZIONE!! La versione del file di aggiornamento selezionato\r\n"
                   "è antecedente a quella del programma di QUNA già installato!!\r\n"
                   "Aggiornamento annullato!!");
const QString kOlderDate =
    QStringLiteral("ATTENZIONE!! La versione dell'aggiornamento selezionato è \r\n"
                   "antecedente al programma QUNA già installato!!\r\n"
                   "Aggiornamento annullato!!");
const QString kConfirm = QStringLiteral("Confermi l'elaborazione di aggiornamento di QUNA \r\n"
                                        "Dalla versione %1 del %2\r\n"
                                        "Alla versione %3 del %4 ?");
const QString kCancelled = QStringLiteral("Aggiornamento versione Qunawin annullata!!");
const QString kFailed = QStringLiteral("ATTENZIONE!! L'aggiornamento non è andato a buon fine !\r\n"
                                       "Ripristino la versione precedente");
const QString kDone = QStringLiteral("Elaborazione terminata!!!");

enum class Beep { No, Yes };

// If refused Then: [Beep], the text into Messaggio and shown as a warning, Exit Sub. The text
// is composed when the refusal is made.
Stmt refusal(form::Form& f, Beep beep, std::function<QString()> text,
             std::function<bool()> refused) {
    Block refuse{
        step([&f, beep, text = std::move(text)] {
            if (beep == Beep::Yes) f.host.beep();
            f.Messaggio = text();
            f.host.messageBox(f.Messaggio, ui::Buttons::Ok, ui::Icon::Exclamation);
        }),
        exitHandler(),
    };
    return when(std::move(refused), std::move(refuse));
}

Stmt refusal(form::Form& f, Beep beep, const QString& text, std::function<bool()> refused) {
    return refusal(
        f, beep, [text] { return text; }, std::move(refused));
}

// "Archivio ... non trovato!!", unless the archive's server does not answer: then that is
// what keeps it from being found.
QString archiveNotFound(const form::Form& f) {
    return form::msg::unlessServerSilent(kNotFound.arg(f.PathArchivio), f.PathArchivio,
                                         f.PathArchivio);
}

// The archive at the selected path is still the one the listing read: replaced or changed
// since then, it is not the archive the window shows, and is not installed.
bool stillTheListedArchive(const form::Form& f) {
    zipc::Archive now;
    try {
        now.OpenArchive(f.PathArchivio);
    } catch (const VbError&) {
        return false;
    }
    return now.stamp() == f.listedArchive;
}

} // namespace

void cmdElabora_Click(form::Form& f) {
    if (f.listing.running()) { // the selected archive's listing has not finished
        f.host.beep();
        return;
    }
    std::int32_t size = 0;
    ui::Answer answer = ui::Answer::Yes;
    std::optional<fs::InstallationLock> lock;
    UpdateSafety safety(f);
    const Block checks{
        refusal(f, Beep::Yes, kNoPath, [&] { return trim(f.PathArchivio).isEmpty(); }),
        refusal(
            f, Beep::Yes, [&] { return archiveNotFound(f); },
            [&] { return !fs::normalFileExists(f.PathArchivio); }),
        refusal(f, Beep::Yes, kNotSelected,
                [&] { return trim(f.Label2.caption()).isEmpty() || !stillTheListedArchive(f); }),
        step([&] { size = toInt32(fs::fileSize(f.PathArchivio)); }),
        when([&] { return size < DIM_MINIMA_ARCHIVIO; },
             {
                 step([&] { f.host.messageBox(kDamaged, ui::Buttons::Ok, ui::Icon::Exclamation); }),
                 exitHandler(),
             }),
        refusal(f, Beep::Yes, kOlderVersion,
                [&] { return compareText(f.VersArchivio, f.VersioPC) < 0; }),
        refusal(f, Beep::Yes, kOlderDate, [&] { return f.DataArchivio < f.DataVePC; }),
        step([&] {
            f.Messaggio = kConfirm.arg(f.VersioPC, formatDdMmYy(f.DataVePC), f.VersArchivio,
                                       formatDdMmYy(f.DataArchivio));
            answer = f.host.messageBox(f.Messaggio, ui::Buttons::YesNo, ui::Icon::Question);
        }),
        refusal(f, Beep::No, kCancelled, [&] { return answer == ui::Answer::No; }),
        // One update per installation: held until this procedure returns or the process ends.
        step([&] { lock.emplace(f.PathProgramma); }),
        refusal(
            f, Beep::Yes,
            [&] {
                return form::msg::anotherUpdateRunning(f.PathProgramma, form::msg::kRetryWhenDone);
            },
            [&] { return lock->state() == fs::InstallationLock::State::Busy; }),
        when([&] { return lock->state() == fs::InstallationLock::State::Unavailable; },
             {step([&] { lock->raiseUnavailable(); }), exitHandler()}),
        // The question may have stayed open for long: the archive is checked again.
        refusal(
            f, Beep::Yes, [&] { return archiveNotFound(f); },
            [&] { return !fs::normalFileExists(f.PathArchivio); }),
        refusal(f, Beep::Yes, kNotSelected, [&] { return !stillTheListedArchive(f); }),
        // An update that died since this window opened is settled before a new one begins.
        when([&] { return safety.interrupted() && !safety.settleInterrupted(); }, {exitHandler()}),
    };

    // From here on the update changes files: a failure gives the pointer back and keeps the
    // main program (see the trap).
    bool began = false, busy = false;
    std::int16_t row = 0;
    const zipc::ReservedNames reserved = UpdateSafety::reservedNames();
    const Block update{
        step([&] {
            began = true;
            f.host.setPointer(ui::kPointerBusy);
            busy = true;
        }),
        step([&] { safety.begin(); }),
        when([&] { return safety.oldBackupReplaceable(); },
             {
                 step([&] { safety.deleteOldBackup(); }),
             }),
        step([&] { safety.backUp(); }),
        step([&] { safety.backedUp(); }),
        step([&] { safety.setMainProgramAside(); }),
        step([&] { f.Zip1.OpenArchive(trim(f.PathArchivio)); }),
        step([&] {
            if (!f.Zip1.isOpen() || f.Zip1.stamp() != f.listedArchive)
                raise(err::PathFileAccess, form::msg::archiveChangedSinceListing(f.PathArchivio));
        }),
        step([&] { f.Zip1.NumericOption(0); }),
        step([&] { f.Zip1.DestinationFolder(f.PathProgramma); }),
        forInt16(row, 1, [&] { return f.lv.rowCount(); },
                 {
                     step([&] { f.Zip1.ExtractEntry(f.lv.row(row - 1).text, reserved); }),
                     step([&] { form::showUpdateProgress(f, row); }),
                 }),
        step([&] { safety.commit(f.Zip1); }),
        step([&] { safety.adoptBackupMode(); }),
        step([&] {
            f.host.setPointer(ui::kPointerDefault);
            busy = false;
        }),
        step([&] { f.PathEseguibile = inInstallation(f, kMainProgram); }),
        when([&] { return !fs::normalFileExists(f.PathEseguibile); },
             {
                 step([&] { safety.restore(); }),
                 step([&] {
                     logUpdate(f, QStringLiteral("ripristinato: l'archivio non conteneva il "
                                                 "programma"));
                 }),
                 step([&] {
                     f.Messaggio = kFailed;
                     f.host.messageBox(f.Messaggio, ui::Buttons::Ok, ui::Icon::None);
                 }),
                 step([&] { safety.finish(); }),
                 // With neither the main program nor its backup there is nothing to start:
                 // that is said, and the updater ends, rather than reporting success.
                 step([&] { lock.reset(); }), // all is done; the process ends next
                 step([&] { form::AvviaProgrammaOAvvisa(f); }),
             }),
        when([&] { return fs::normalFileExists(inInstallation(f, kMainProgram)); },
             {
                 step([&] { safety.deleteOldBackup(); }),
             }),
        when([&] { return safety.mainProgramSetAside(); },
             {
                 step([&] { safety.removeSetAside(); }),
             }),
        step([&] { safety.finish(); }),
        step([&] { logUpdate(f, QStringLiteral("completato")); }),
        step([&] { f.host.messageBox(kDone, ui::Buttons::Ok, ui::Icon::None); }),
        step([&] { lock.reset(); }), // all is done; the process ends next
        step([&] { form::AvviaProgramma(f); }),
    };

    Block body = checks;
    body.insert(body.end(), update.begin(), update.end());
    run(body, [&](const VbError& e) {
        if (e.number() == err::FileNotFound) return Resume::Next;
        if (busy) f.host.setPointer(ui::kPointerDefault);
        const bool restored = safety.abandon(f.Zip1);
        const bool keptOld = began && !safety.committed() && restored;
        f.Messaggio = vb::errorMessage("codice Errore = ", e);
        if (keptOld) f.Messaggio += QStringLiteral("\r\n") + form::msg::kPreviousVersionKept;
        if (began)
            logUpdate(f,
                      keptOld ? QStringLiteral("errore: QUNA è rimasto alla versione precedente")
                              : QStringLiteral("errore"),
                      &e);
        f.host.messageBox(f.Messaggio, ui::Buttons::Ok, ui::Icon::Exclamation);
        return Resume::End;
    });
}

} // namespace update
