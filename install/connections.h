#pragma once
// The two database connections of start-up.
#include "app/form.h"

namespace install {

constexpr const char* kPrimaryPassword = "BlumoKast";
constexpr const char* kFallbackPassword = "Gransoleo";

// A new cnDB in place of the previous one, opened on PathDB with the given password.
void openInstallationDatabase(app::Form& f, const char* password);
// A new cnClient, provider set as a property, opened on the bare PathClient.
void openWorkstationDatabase(app::Form& f);

} // namespace install
