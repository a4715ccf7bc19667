#pragma once
// The window's own handlers, and the wiring of every control's event to its handler.
#include "form/form.h"

namespace app {

// Start-up: the window's load handler.
void Form_Load(form::Form& f);
// The help text start-up puts in the panel.
extern const QString kHelpText;

// Folder navigation.
void Drive1_Change(form::Form& f);
void Dir1_Change(form::Form& f);
void Dir1_Click(form::Form& f);

// Exit: both start the main program (see AvviaProgramma).
void cmdAnnulla_Click(form::Form& f);
void Form_Unload(form::Form& f);

// Connects the controls' events to the handlers above and to those of install/ and update/.
// Whoever builds a form that the user (or a test) drives calls it once.
void connectEvents(form::Form& f);

// Clears the archive list's columns and adds the four that the listing fills.
void setupArchiveColumns(form::Form& f);

} // namespace app
