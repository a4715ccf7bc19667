#include "archive_name.h"

#include "platform/vb/error.h"
#include "platform/vb/text.h"

#include <QLocale>
#include <cmath>

namespace update {

namespace {
// Character positions are counted from 1, as in the naming rule.
QString chars(const QString& name, int from, int count) {
    return name.mid(from - 1, count);
}

// A piece of the date must be a whole number; the accepted written forms are parseNumber's.
int wholeNumber(const QString& text) {
    const std::optional<double> v = vb::parseNumber(text, QLocale());
    if (!v || *v != std::trunc(*v)) vb::raise(vb::err::TypeMismatch);
    return static_cast<int>(*v);
}
} // namespace

bool nameAccepted(const QString& name) {
    if (name.size() < 14) return false;
    return vb::parseNumber(chars(name, 5, 6), QLocale()).has_value();
}

QString versionOf(const QString& name) {
    return chars(name, 3, 1) + u'.' + chars(name, 4, 1);
}

vb::Date dateOf(const QString& name) {
    const int year = wholeNumber(QStringLiteral("20") + chars(name, 5, 2));
    const int month = wholeNumber(chars(name, 7, 2));
    const int day = wholeNumber(chars(name, 9, 2));
    return vb::dateSerial(year, month, day);
}

} // namespace update
