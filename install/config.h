#pragma once
// config.dat: one 50-byte record naming the folder of the installation database.
#include "form/form.h"

namespace install {

constexpr int kConfigRecordLength = 50;

bool configExists(const form::Form& f);
// Beep, the message, then the end of the program: no window, nothing else read or created.
[[noreturn]] void reportMissingConfig(form::Form& f);
QString readConfigRecord(const QString& pathConfig);
QString databasePath(const QString& record); // the trimmed record & "\quna.mdb"

} // namespace install
