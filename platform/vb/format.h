#pragma once
// The display patterns the program uses.
#include "date.h"

#include <QLocale>
#include <QString>
#include <cstdint>

namespace vb {

// "0.0" applied to a text: a text that reads as a number in the locale is written with at
// least one integer digit and one decimal, the locale's separator; any other text,
// the empty one included, comes back unchanged.
QString formatOneDecimal(const QString& text, const QLocale& locale = QLocale());

// "dd-mm-yy", "dd-mm-yyyy" and "dd-mm-yy hh:mm", hyphens and colon literal.
QString formatDdMmYy(Date d);
QString formatDdMmYyyy(Date d);
QString formatDdMmYyHhMm(Date d);

// "#,###,##0": the whole number with the locale's digit grouping.
QString formatGrouped(std::int32_t n, const QLocale& locale);

} // namespace vb
