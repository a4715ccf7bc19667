#pragma once
// The naming rule of update archives: "qn", the major and minor version characters, then
// the date as yymmdd, e.g. "qn45070218.zip" is version 4.5 of 18 February 2007. Whatever
// follows the date (".zip", " (2).zip" added by a browser) is not read.
#include "platform/vb/date.h"

#include <QString>

namespace update {

// At least 14 characters, with characters 5-10 reading as a number in the user's locale.
// Neither the "qn" prefix nor the extension is checked.
bool nameAccepted(const QString& name);

// Characters 3 and 4 joined by a dot: "qnab070218.zip" gives "a.b".
QString versionOf(const QString& name);

// The date in characters 5-10 (year 2000-2099), with carry-over of out-of-range months and
// days. A piece that is not a whole number raises the type mismatch error.
vb::Date dateOf(const QString& name);

} // namespace update
