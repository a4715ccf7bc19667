#include "text.h"

namespace vb {

QString trim(const QString& s) {
    qsizetype first = 0, last = s.size();
    while (first < last && s[first] == u' ')
        ++first;
    while (last > first && s[last - 1] == u' ')
        --last;
    return s.mid(first, last - first);
}

int compareText(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::optional<double> parseNumber(const QString& s, const QLocale& locale) {
    const QString t = trim(s);
    const QString decimal = locale.decimalPoint();
    QString canonical;
    bool digits = false, separator = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (i == 0 && (c == u'+' || c == u'-')) {
            canonical += c;
        } else if (c >= u'0' && c <= u'9') {
            canonical += c;
            digits = true;
        } else if (!separator && t.mid(i, decimal.size()) == decimal) {
            canonical += u'.';
            separator = true;
            i += decimal.size() - 1;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    bool ok = false;
    const double v = canonical.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace vb
