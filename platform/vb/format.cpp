#include "format.h"

#include "text.h"

#include <algorithm>
#include <cmath>

namespace vb {

namespace {
// Writes n as two digits (the last two of a larger number) at p.
void putTwo(char* p, int n) {
    n = ((n % 100) + 100) % 100;
    p[0] = char('0' + n / 10);
    p[1] = char('0' + n % 10);
}

// "dd-mm-yy" into a buffer of at least 8 characters; listing thousands of entries calls this
// once per row, so it builds the text in place.
void putDdMmYy(char* out, const DateParts& p) {
    putTwo(out, p.day);
    out[2] = '-';
    putTwo(out + 3, p.month);
    out[5] = '-';
    putTwo(out + 6, p.year);
}
} // namespace

QString formatOneDecimal(const QString& text, const QLocale& locale) {
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
    char out[8];
    putDdMmYy(out, parts(d));
    return QString::fromLatin1(out, sizeof out);
}

QString formatDdMmYyyy(Date d) {
    const DateParts p = parts(d);
    return formatDdMmYy(d).left(6) + QString::number(p.year).rightJustified(4, u'0');
}

QString formatDdMmYyHhMm(Date d) {
    const DateParts p = parts(d);
    char out[14];
    putDdMmYy(out, p);
    out[8] = ' ';
    putTwo(out + 9, p.hour);
    out[11] = ':';
    putTwo(out + 12, p.minute);
    return QString::fromLatin1(out, sizeof out);
}

QString formatGrouped(std::int32_t n, const QLocale& locale) {
    // The separators are asked of the locale once, not once per listed entry: asking the
    // system locale costs more than writing the number.
    static thread_local QLocale cached;
    static thread_local QString group = cached.groupSeparator(), minus = cached.negativeSign();
    if (!(locale == cached)) {
        cached = locale;
        group = locale.groupSeparator();
        minus = locale.negativeSign();
    }
    char digits[16];
    qsizetype count = 0;
    std::int64_t v = n < 0 ? -std::int64_t(n) : n;
    do {
        digits[count++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    // Written in place into a string of the final length: one allocation per number.
    const qsizetype sign = n < 0 ? minus.size() : 0;
    QString out(sign + count + (count - 1) / 3 * group.size(), Qt::Uninitialized);
    QChar* p = out.data();
    p = std::copy_n(minus.constData(), sign, p);
    for (qsizetype i = count - 1; i >= 0; --i) {
        *p++ = QLatin1Char(digits[i]);
        if (i > 0 && i % 3 == 0) p = std::copy_n(group.constData(), group.size(), p);
    }
    return out;
}

} // namespace vb
