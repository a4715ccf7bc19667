#pragma once
// The two version records of start-up: the installation's and the workstation's.
#include "form/form.h"

namespace install {

void LeggiVersioneDB(form::Form& f);
void LeggiVersionePC(form::Form& f);

} // namespace install
