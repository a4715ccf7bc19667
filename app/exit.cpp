// Every orderly way out starts the main program and ends the updater at once.
#include "handlers.h"

namespace app {

void AvviaProgramma(Form& f) {
    f.host.startProgram(f.PathProgramma + QStringLiteral("\\quna.exe"), ui::kWindowNormalFocus);
    f.host.setPointer(ui::kPointerDefault);
    f.host.endProcess();
}

namespace {
// "Esci" and closing the window have no trap of their own: when the main program cannot be
// started the user is told why, and the updater ends all the same.
void leave(Form& f) {
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
} // namespace

void cmdAnnulla_Click(Form& f) {
    leave(f);
}
void Form_Unload(Form& f) {
    leave(f);
}

} // namespace app
