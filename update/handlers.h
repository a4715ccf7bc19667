#pragma once
// The handlers of the update archives: the listing of the selected archive and "Elabora".
#include "app/form.h"

namespace update {

void File1_Click(app::Form& f);
void cmdElabora_Click(app::Form& f);

} // namespace update
