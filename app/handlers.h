#pragma once
// The window's own handlers, and the wiring of every control's event to its handler.
#include "form.h"

namespace app {

// Start-up: the window's load handler.
void Form_Load(Form& f);
// The help text start-up puts in the panel.
extern const QString kHelpText;

// Folder navigation.
void Drive1_Change(Form& f);
void Dir1_Change(Form& f);
void Dir1_Click(Form& f);

// Exit: both start the main program (see AvviaProgramma).
void cmdAnnulla_Click(Form& f);
void Form_Unload(Form& f);

// Connects the controls' events to the handlers above and to those of install/ and update/.
// Whoever builds a form that the user (or a test) drives calls it once.
void connectEvents(Form& f);

// Clears the archive list's columns and adds the four that the listing fills.
void setupArchiveColumns(Form& f);

} // namespace app
