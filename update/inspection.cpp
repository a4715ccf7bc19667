// A click on an archive in the file list: the name rule, the description and the listing.
#include "archive_name.h"
#include "handlers.h"

#include "form/messages.h"
#include "platform/fs/fs.h"
#include "platform/vb/format.h"
#include "platform/vb/trap.h"

namespace update {

namespace {

using namespace vb;

const QString kBadName = QStringLiteral("Nome del file di aggiornamento errato!!");
const QString kIncompatible = QStringLiteral(
    "Formato archivio non compatibile con WinZip\r\nImpossibile visualizzarne il contenuto");
constexpr std::int32_t kFolderAttribute = 0x10;

// The listing dropped: the archive closed, the description blanked (so that "Elabora"
// refuses it) and the list hidden. A listing stages nothing, so closing cannot fail and the
// three statements can stand as one step.
void dropListing(form::Form& f) {
    f.listedArchive = {};
    f.Zip1.CloseArchive();
    f.Label2.setCaption(QString());
    f.lv.setVisible(false);
}

Resume inspectionTrap(form::Form& f, const VbError& e) {
    const bool wasOpen = f.Zip1.isOpen();
    dropListing(f);
    if (e.number() == err::NotAnArchive) {
        // A server that stopped answering is no reason to download the archive again.
        f.host.messageBox(
            form::msg::unlessServerSilent(kIncompatible, f.PathArchivio, f.PathArchivio),
            ui::Buttons::Ok, ui::Icon::Exclamation);
        return Resume::End;
    }
    if (e.number() == err::InvalidPropertyValue) return Resume::End;
    f.host.messageBox(vb::errorMessage("codice Errore = ", e), ui::Buttons::Ok,
                      ui::Icon::Exclamation);
    // Closed, the archive has nothing more to list: every remaining entry would fail again,
    // one box each. The listing stops as a failed counter step stops it, after the loop,
    // where what was listed is shown.
    if (wasOpen) {
        f.lv.setVisible(true);
        return Resume::End;
    }
    return Resume::Next;
}

void inspect(form::Form& f) {
    std::int16_t i = 0;
    QString name;
    const QLocale locale; // the user's, looked up once for the whole listing
    std::int32_t attributes = 0;
    const Block badName{
        step([&] { f.host.messageBox(kBadName, ui::Buttons::Ok, ui::Icon::Exclamation); }),
        step([&] { dropListing(f); }),
        exitHandler(),
    };
    // Another click or a change of folder arrived during the event-loop pass: this listing is
    // dropped unfinished (its description blanked, so it cannot be installed).
    const Block interrupted{
        step([&] { dropListing(f); }),
        exitHandler(),
    };
    const Block body{
        step([&] { f.NomeArchivio = f.File1.fileName(); }),
        when([&] { return f.NomeArchivio.size() < 14; }, badName),
        when([&] { return !nameAccepted(f.NomeArchivio); }, badName),
        when([&] { return f.File1.path().endsWith(u'\\'); },
             {step([&] { f.PathArchivio = f.File1.path() + f.NomeArchivio; })},
             {step([&] { f.PathArchivio = f.File1.path() + u'\\' + f.NomeArchivio; })}),
        step([&] { fs::fileSize(f.PathArchivio); }), // raises when missing or unreachable
        step([&] { f.VersArchivio = versionOf(f.NomeArchivio); }),
        // One step: a date piece that is no whole number leaves the description blank, so
        // neither it nor "Elabora" can use the previous archive's date.
        step([&] {
            f.DataArchivio = dateOf(f.NomeArchivio);
            f.Label2.setCaption(QStringLiteral("Aggiorna Quna alla ver. ") + f.VersArchivio +
                                QStringLiteral(" del ") + formatDdMmYyyy(f.DataArchivio));
        }),
        when([&] { return !f.PathArchivio.isEmpty(); },
             {
                 step([&] { f.Zip1.OpenArchive(f.PathArchivio); }),
                 step([&] { f.listedArchive = f.Zip1.stamp(); }),
                 step([&] { f.Zip1.NumericOption(0); }),
                 step([&] { f.lv.clearRows(); }),
                 forInt16(
                     i, 0, [&] { return std::int64_t(clng(f.Zip1.EntryCount())) - 1; },
                     {
                         step([&] {
                             name = cstr(f.Zip1.EntryName(i));
                             attributes = clng(f.Zip1.EntryAttributes(i));
                         }),
                         step([&] {
                             f.lv.insertAtTop(attributes & kFolderAttribute ? name + u'%' : name);
                         }),
                         step([&] { f.host.doEvents(); }),
                         when([&] { return f.listing.interrupted(); }, interrupted),
                         step([&] {
                             f.lv.setSubItem(1, 1, formatDdMmYyHhMm(cdate(f.Zip1.EntryDate(i))));
                         }),
                         step([&] {
                             f.lv.setSubItem(1, 2,
                                             formatGrouped(clng(f.Zip1.EntrySize(i)), locale));
                         }),
                         step([&] {
                             f.lv.setSubItem(
                                 1, 3, formatGrouped(clng(f.Zip1.EntryCompressedSize(i)), locale));
                         }),
                     }),
                 step([&] { f.Zip1.CloseArchive(); }),
             }),
        step([&] { f.lv.setVisible(true); }),
    };
    run(body, [&](const VbError& e) { return inspectionTrap(f, e); });
}

} // namespace

void File1_Click(form::Form& f) {
    f.listing.run([&] { inspect(f); }, [&] { return f.File1.listIndex() >= 0; });
}

} // namespace update
