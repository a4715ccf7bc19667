// Every orderly way out starts the main program and ends the updater at once.
#include "handlers.h"

namespace app {

void AvviaProgramma(Form& f) {
    f.host.startProgram(f.PathProgramma + QStringLiteral("\\quna.exe"), ui::kWindowNormalFocus);
    f.host.setPointer(ui::kPointerDefault);
    f.host.endProcess();
}

// When the main program cannot be started the user is told why, and the updater ends all the
// same: it has nothing left to offer.
void AvviaProgrammaOAvvisa(Form& f) {
    try {
        AvviaProgramma(f);
    } catch (const vb::VbError& e) {
        f.host.setPointer(ui::kPointerDefault);
        f.host.messageBox(QStringLiteral("Impossibile avviare il programma QUNA:\r\n") +
                              f.PathProgramma + QStringLiteral("\\quna.exe\r\n") + e.description(),
                          ui::Buttons::Ok, ui::Icon::Critical);
        f.host.endProcess();
    }
}

// "Esci" and closing the window have no trap of their own.
void cmdAnnulla_Click(Form& f) {
    AvviaProgrammaOAvvisa(f);
}
void Form_Unload(Form& f) {
    AvviaProgrammaOAvvisa(f);
}

} // namespace app
