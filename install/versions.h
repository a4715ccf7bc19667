#pragma once
// The two version records of start-up: the installation's and the workstation's.
#include "app/form.h"

namespace install {

void LeggiVersioneDB(app::Form& f);
void LeggiVersionePC(app::Form& f);

} // namespace install
