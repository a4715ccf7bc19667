// "Esci" and closing the window have no trap of their own: both start the main program.
#include "handlers.h"

namespace app {

void cmdAnnulla_Click(Form& f) {
    AvviaProgrammaOAvvisa(f);
}
void Form_Unload(Form& f) {
    AvviaProgrammaOAvvisa(f);
}

} // namespace app
