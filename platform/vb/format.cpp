#include "format.h"

#include "text.h"

#include <cmath>

namespace vb {

namespace {
QString two(int n) {
    return QString::number(n).rightJustified(2, u'0');
}
QString twoDigitYear(int y) {
    return two(((y % 100) + 100) % 100);
}
} // namespace

QString formatOneDecimal(const QString &text, const QLocale &locale) {
    const auto n = parseNumber(text, locale);
    if (!n) return text;
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    QString out = plain.toString(std::fabs(*n), 'f', 1);
    // A value that rounds to zero keeps no sign, as the classic runtime writes "0.0".
    if (*n < 0 && out != plain.toString(0.0, 'f', 1)) out.prepend(locale.negativeSign());
    return out;
}

QString formatDdMmYy(Date d) {
    const DateParts p = parts(d);
    return two(p.day) + u'-' + two(p.month) + u'-' + twoDigitYear(p.year);
}

QString formatDdMmYyyy(Date d) {
    const DateParts p = parts(d);
    return two(p.day) + u'-' + two(p.month) + u'-' +
           QString::number(p.year).rightJustified(4, u'0');
}

QString formatDdMmYyHhMm(Date d) {
    const DateParts p = parts(d);
    return formatDdMmYy(d) + u' ' + two(p.hour) + u':' + two(p.minute);
}

QString formatGrouped(std::int32_t n, const QLocale &locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(QLocale::DefaultNumberOptions);
    return grouped.toString(qlonglong(n));
}

} // namespace vb
