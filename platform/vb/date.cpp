#include "date.h"

#include <cmath>

namespace vb {

namespace {
// Days from 1 March of year 0 in the proleptic Gregorian calendar, and back: whole 400-year
// eras, then years of the era counted from March, so that the leap day comes last. Plain
// arithmetic, as a listing converts a date for every archive entry.
constexpr long long kEraDays = 146097;
constexpr long long kZeroDateFromMarch0 = 693899; // 30 December 1899

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

long long daysFromCivil(long long year, int month, int day) {
    year -= month <= 2;
    const long long era = floorDiv(year, 400);
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    return era * kEraDays + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
}

void civilFromDays(long long days, int& year, int& month, int& day) {
    const long long era = floorDiv(days, kEraDays);
    const long long dayOfEra = days - era * kEraDays;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthFromMarch = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    month = int(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    year = int(yearOfEra + era * 400 + (month <= 2));
}
} // namespace

Date dateSerial(int year, int month, int day) {
    const long long monthIndex = month - 1;
    const long long carryYears = floorDiv(monthIndex, 12);
    const long long first =
        daysFromCivil(year + carryYears, int(monthIndex - carryYears * 12 + 1), 1);
    return Date{double(first + day - 1 - kZeroDateFromMarch0)};
}

Date dateTime(int year, int month, int day, int hour, int minute, int second) {
    const double days = dateSerial(year, month, day).serial;
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // The fraction always counts forward from midnight, also before the zero date.
    return Date{days < 0 ? days - fraction : days + fraction};
}

DateParts parts(Date d) {
    double whole = std::trunc(d.serial);
    long long seconds = std::llround(std::fabs(d.serial - whole) * 86400.0);
    if (seconds >= 86400) { // rounding reached the next midnight
        seconds -= 86400;
        whole += d.serial < 0 ? -1 : 1;
    }
    int year = 0, month = 0, day = 0;
    civilFromDays(static_cast<long long>(whole) + kZeroDateFromMarch0, year, month, day);
    return DateParts{
        year, month, day, int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60)};
}

} // namespace vb
