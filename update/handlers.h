#pragma once
// The handlers of the update archives: the listing of the selected archive and "Elabora".
#include "form/form.h"

namespace update {

void File1_Click(form::Form& f);
void cmdElabora_Click(form::Form& f);

} // namespace update
