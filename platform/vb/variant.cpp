#include "variant.h"

#include "error.h"
#include "text.h"

#include <QDate>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace vb {

namespace {

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

QString numberText(double d, const QLocale& locale) {
    // Up to 15 significant digits, no grouping, the locale's decimal separator.
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(d, 'g', 15);
}

QString dateText(Date d, const QLocale& locale) {
    const DateParts p = parts(d);
    QString fmt = locale.dateFormat(QLocale::ShortFormat);
    if (!fmt.contains(QLatin1String("yyyy")))
        fmt.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    const double whole = std::trunc(d.serial);
    const bool hasTime = d.serial != whole;
    const QTime time(p.hour, p.minute, p.second);
    if (whole == 0 && hasTime) return locale.toString(time, QLatin1String("HH:mm:ss"));
    QString out = locale.toString(QDate(p.year, p.month, p.day), fmt);
    if (hasTime) out += u' ' + locale.toString(time, QLatin1String("HH:mm:ss"));
    return out;
}

std::optional<Date> parseDate(const QString& text, const QLocale& locale) {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{1,4})[-/.](\d{1,2})[-/.](\d{1,4})(?:[ T]+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    int a = m.captured(1).toInt(), b = m.captured(2).toInt(), c = m.captured(3).toInt();
    int year, month, day;
    if (m.captured(1).size() == 4) { // year first
        year = a, month = b, day = c;
    } else {
        const bool monthFirst = locale.dateFormat(QLocale::ShortFormat).startsWith(u'M');
        day = monthFirst ? b : a;
        month = monthFirst ? a : b;
        year = c;
        if (m.captured(3).size() <= 2) year += year < 30 ? 2000 : 1900;
    }
    if (!QDate::isValid(year, month, day)) return std::nullopt;
    return dateTime(year, month, day, m.captured(4).toInt(), m.captured(5).toInt(),
                    m.captured(6).toInt());
}

double roundHalfEven(double d) {
    return std::nearbyint(d);
} // default FE_TONEAREST

} // namespace

QString cstr(const Variant& v, const QLocale& locale) {
    return std::visit(
        Overloaded{
            [](Empty) { return QString(); }, [](Null) -> QString { raise(err::InvalidUseOfNull); },
            [&](bool b) {
                const bool it = locale.language() == QLocale::Italian;
                return QString::fromLatin1(b ? (it ? "Vero" : "True") : (it ? "Falso" : "False"));
            },
            [&](Currency c) { return numberText(double(c.scaled) / 10000.0, locale); },
            [&](Date d) { return dateText(d, locale); }, [](const QString& s) { return s; },
            [&](float f) {
                QLocale plain = locale;
                plain.setNumberOptions(QLocale::OmitGroupSeparator);
                return plain.toString(double(f), 'g', 7);
            },
            [&](auto n) { return numberText(double(n), locale); }},
        v.value());
}

double cdbl(const Variant& v, const QLocale& locale) {
    return std::visit(Overloaded{[](Empty) { return 0.0; },
                                 [](Null) -> double { raise(err::InvalidUseOfNull); },
                                 [](bool b) { return b ? -1.0 : 0.0; },
                                 [](Currency c) { return double(c.scaled) / 10000.0; },
                                 [](Date d) { return d.serial; },
                                 [&](const QString& s) {
                                     const auto n = parseNumber(s, locale);
                                     if (!n) raise(err::TypeMismatch);
                                     return *n;
                                 },
                                 [](auto n) { return double(n); }},
                      v.value());
}

Date cdate(const Variant& v, const QLocale& locale) {
    if (v.isEmpty()) return Date{};
    if (v.isNull()) raise(err::InvalidUseOfNull);
    if (const auto* d = std::get_if<Date>(&v.value())) return *d;
    if (const auto* s = std::get_if<QString>(&v.value())) {
        if (const auto d = parseDate(*s, locale)) return *d;
        if (const auto n = parseNumber(*s, locale)) return Date{*n};
        raise(err::TypeMismatch);
    }
    return Date{cdbl(v, locale)};
}

std::int32_t clng(const Variant& v, const QLocale& locale) {
    const double d = roundHalfEven(cdbl(v, locale));
    if (!(d >= std::numeric_limits<std::int32_t>::min() &&
          d <= std::numeric_limits<std::int32_t>::max()))
        raise(err::Overflow);
    return static_cast<std::int32_t>(d);
}

std::int16_t cint(const Variant& v, const QLocale& locale) {
    const double d = roundHalfEven(cdbl(v, locale));
    if (!(d >= -32768.0 && d <= 32767.0)) raise(err::Overflow);
    return static_cast<std::int16_t>(d);
}

namespace {
// Runs a conversion in the user's locale when `needed`, else in any locale (the C one, made
// once), as the result does not depend on it.
template <typename Convert> auto inUserLocale(bool needed, Convert convert) {
    static const QLocale unused = QLocale::c();
    return needed ? convert(QLocale()) : convert(unused);
}
} // namespace

QString cstr(const Variant& v) {
    if (const auto* s = std::get_if<QString>(&v.value())) return *s;
    return inUserLocale(!v.isEmpty() && !v.isNull(), [&](const QLocale& l) { return cstr(v, l); });
}
Date cdate(const Variant& v) {
    return inUserLocale(v.is<QString>(), [&](const QLocale& l) { return cdate(v, l); });
}
double cdbl(const Variant& v) {
    return inUserLocale(v.is<QString>(), [&](const QLocale& l) { return cdbl(v, l); });
}
std::int32_t clng(const Variant& v) {
    return inUserLocale(v.is<QString>(), [&](const QLocale& l) { return clng(v, l); });
}
std::int16_t cint(const Variant& v) {
    return inUserLocale(v.is<QString>(), [&](const QLocale& l) { return cint(v, l); });
}

void Int16Counter::step() {
    if (value_ == std::numeric_limits<std::int16_t>::max()) raise(err::Overflow);
    ++value_;
}

std::int16_t toInt16(std::int64_t v) {
    if (v < std::numeric_limits<std::int16_t>::min() ||
        v > std::numeric_limits<std::int16_t>::max())
        raise(err::Overflow);
    return static_cast<std::int16_t>(v);
}

std::int32_t toInt32(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        raise(err::Overflow);
    return static_cast<std::int32_t>(v);
}

} // namespace vb
