// The drive, folder and file lists kept in step; each move blanks the archive description.
#include "handlers.h"

#include "platform/vb/trap.h"

namespace app {

namespace {

using namespace vb;

// Moves the file list to the open folder. A failure (the folder vanished, the drive went
// away) is told to the user and leaves the file list empty, so the three lists never show
// files of a folder that is not the open one.
void moveFileList(form::Form& f) {
    try {
        f.File1.setPath(f.Dir1.path());
    } catch (const VbError& e) {
        f.File1.clear();
        f.host.messageBox(vb::errorMessage("codice Errore = ", e), ui::Buttons::Ok,
                          ui::Icon::Exclamation);
    }
}

} // namespace

void Drive1_Change(form::Form& f) {
    f.listing.interrupt(); // a listing running in an event-loop pass stops
    run({step([&] { f.Dir1.setPath(f.Drive1.drive()); }),
         step([&] { f.Label2.setCaption(QStringLiteral(" ")); })},
        [&](const VbError& e) {
            switch (e.number()) {
            case err::DeviceUnavailable:
                f.host.messageBox(QStringLiteral("Periferica non disponibile!!"), ui::Buttons::Ok,
                                  ui::Icon::Exclamation);
                return Resume::Next;
            case err::DiskNotReady:
                return f.host.messageBox(QStringLiteral("Disco non pronto!!"),
                                         ui::Buttons::OkCancel,
                                         ui::Icon::Exclamation) == ui::Answer::Ok
                           ? Resume::Retry
                           : Resume::Next;
            }
            f.host.messageBox(QStringLiteral("codice Errore") + QString::number(e.number()) +
                                  e.description(),
                              ui::Buttons::Ok, ui::Icon::Critical);
            f.host.endProcess(); // at once: the main program is not started
        });
}

void Dir1_Change(form::Form& f) {
    f.listing.interrupt(); // a listing running in an event-loop pass stops
    f.Label2.setCaption(QStringLiteral(" "));
    moveFileList(f);
}

void Dir1_Click(form::Form& f) {
    f.listing.interrupt(); // a listing running in an event-loop pass stops
    f.Label2.setCaption(QString());
    moveFileList(f);
}

} // namespace app
