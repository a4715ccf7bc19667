#pragma once
// Version information of the updater. version.rc carries the same values for Windows
// builds; both files are written by tools/make_icons.py.

namespace app::version {

constexpr const char* kCompany = "Quna";
constexpr const char* kFileDescription = "Aggiorna versione di QUNA";
constexpr const char* kFileVersion = "1.00";
constexpr const char* kInternalName = "QunaAgg2";
constexpr const char* kOriginalFilename = "QunaAgg2.exe";
constexpr const char* kProductName = "QunaAgg";
constexpr const char* kProductVersion = "1.00";
constexpr const char* kLanguageBlock = "041004B0"; // Italian, Unicode
constexpr int kFileVersionNumbers[4] = {1, 0, 0, 0};

} // namespace app::version
