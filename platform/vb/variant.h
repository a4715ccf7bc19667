#pragma once
// A variant value as the program's components hand them over, with the classic
// conversions. Numbers written as text use the user's locale (QLocale()).
#include "date.h"

#include <QLocale>
#include <QString>
#include <cstdint>
#include <variant>

namespace vb {

struct Empty {
    bool operator==(const Empty&) const = default;
};
struct Null {
    bool operator==(const Null&) const = default;
};
struct Currency { // fixed point, ten-thousandths
    std::int64_t scaled;
    bool operator==(const Currency&) const = default;
};

class Variant {
public:
    using Value = std::variant<Empty, Null, bool, std::uint8_t, std::int16_t, std::int32_t, float,
                               double, Currency, Date, QString>;
    Variant() = default;
    template <typename T>
    requires std::is_constructible_v<Value, T> Variant(T v) : value_(std::move(v)) {}
    Variant(const char* utf8) : value_(QString::fromUtf8(utf8)) {}

    const Value& value() const { return value_; }
    bool isNull() const { return std::holds_alternative<Null>(value_); }
    bool isEmpty() const { return std::holds_alternative<Empty>(value_); }
    template <typename T> bool is() const { return std::holds_alternative<T>(value_); }
    bool operator==(const Variant&) const = default;

private:
    Value value_;
};

// Conversions: Null raises 94, a text that is no number or date raises 13, a value out of
// range raises 6. Whole-number conversions round halves to even.
QString cstr(const Variant& v, const QLocale& locale);
Date cdate(const Variant& v, const QLocale& locale);
double cdbl(const Variant& v, const QLocale& locale);
std::int32_t clng(const Variant& v, const QLocale& locale);
std::int16_t cint(const Variant& v, const QLocale& locale);
// The same in the user's locale, which is looked up only when a text is read or written: a
// listing converts five values per archive entry, and most hold no text.
QString cstr(const Variant& v);
Date cdate(const Variant& v);
double cdbl(const Variant& v);
std::int32_t clng(const Variant& v);
std::int16_t cint(const Variant& v);

// A 16-bit loop counter: stepping past 32,767 raises the overflow error.
class Int16Counter {
public:
    explicit Int16Counter(std::int16_t start) : value_(start) {}
    std::int16_t value() const { return value_; }
    void step();

private:
    std::int16_t value_;
};

// Narrows a whole number to the 16-bit range or raises the overflow error.
std::int16_t toInt16(std::int64_t v);
std::int32_t toInt32(std::int64_t v);

} // namespace vb
