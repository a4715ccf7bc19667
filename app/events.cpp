// Which handler each control's event runs: the one place that knows the handlers of every
// folder.
#include "handlers.h"
#include "update/handlers.h"

namespace app {

void connectEvents(form::Form& f) {
    f.Drive1.Change = [&f] { Drive1_Change(f); };
    f.Dir1.Change = [&f] { Dir1_Change(f); };
    f.Dir1.Click = [&f] { Dir1_Click(f); };
    f.File1.Click = [&f] { update::File1_Click(f); };
    f.cmdElabora.Click = [&f] { update::cmdElabora_Click(f); };
    f.cmdAnnulla.Click = [&f] { cmdAnnulla_Click(f); };
}

} // namespace app
