// "Esci" and closing the window have no trap of their own: both start the main program.
#include "handlers.h"

namespace app {

void cmdAnnulla_Click(form::Form& f) {
    form::AvviaProgrammaOAvvisa(f);
}
void Form_Unload(form::Form& f) {
    form::AvviaProgrammaOAvvisa(f);
}

} // namespace app
