#pragma once
// The two database connections of start-up.
#include "form/form.h"

namespace install {

constexpr const char* kPrimaryPassword = "BlumoKast";
constexpr const char* kFallbackPassword = "Gransoleo";

// A new cnDB in place of the previous one, opened on PathDB with the given password.
void openInstallationDatabase(form::Form& f, const char* password);
// A new cnClient, provider set as a property, opened on the bare PathClient.
void openWorkstationDatabase(form::Form& f);

} // namespace install
