#pragma once
// Text helpers with the classic runtime's meaning.
#include <QLocale>
#include <QString>
#include <optional>

namespace vb {

// Removes leading and trailing blanks (the space character only; tabs and NULs stay).
QString trim(const QString& s);

// Ordinal comparison, code unit by code unit; a prefix is the lesser. <0, 0, >0.
int compareText(const QString& a, const QString& b);

// Reads a text as a number written in the locale's notation. The accepted forms are kept
// here, in one place: blanks at both ends, at most one sign, digits with at most one decimal
// separator of the locale, and at least one digit. Grouping separators, exponents and
// currency signs are not accepted, so "4.5" under an Italian locale is not a number.
std::optional<double> parseNumber(const QString& s, const QLocale& locale);

} // namespace vb
