#pragma once
// The window's handlers and procedures, each working on the headless form.
#include "form.h"

#include "platform/vb/error.h"

namespace app {

// The maker's web site, named in the messages about missing libraries and damaged archives.
constexpr const char* kWebSite = "www.example.com";

// Start-up: the window's load handler.
void Form_Load(Form& f);

// Folder navigation.
void Drive1_Change(Form& f);
void Dir1_Change(Form& f);
void Dir1_Click(Form& f);

// Exit and relaunch. AvviaProgramma does not return when the main program starts.
void AvviaProgramma(Form& f);
// AvviaProgramma; when the start fails, a critical box says why and the updater ends anyway.
void AvviaProgrammaOAvvisa(Form& f);
void cmdAnnulla_Click(Form& f);
void Form_Unload(Form& f);

// Connects the controls' events to the handlers above and to those of install/ and update/.
void connectEvents(Form& f);

// Clears the archive list's columns and adds the four that the listing fills.
void setupArchiveColumns(Form& f);

// Puts the design-time values on the controls (captions, tool tips, patterns, visibility).
void applyDesignValues(Form& f);

// Messages shared by several handlers.
QString errorMessage(const char* prefix, const vb::VbError& e); // prefix + number CR LF text

} // namespace app

namespace install {
void LeggiVersioneDB(app::Form& f);
void LeggiVersionePC(app::Form& f);
} // namespace install

namespace update {
void File1_Click(app::Form& f);
void cmdElabora_Click(app::Form& f);
} // namespace update
