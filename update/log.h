#pragma once
// What the update log holds: one line per update and per recovery of an interrupted one, so
// that an administrator can tell afterwards what happened on a workstation and why.
#include "form/form.h"
#include "platform/vb/error.h"

namespace update {

// An update's end: "completato", "ripristinato" (the archive held no main program),
// "errore" (with the error, and whether the previous version stayed).
void logUpdate(const form::Form& f, const QString& outcome, const vb::VbError* error = nullptr);
// A start's recovery of an interrupted update: what it told the user, or the error that kept
// it from finishing.
void logRecovery(const form::Form& f, const QString& told, const vb::VbError* error = nullptr);

} // namespace update
