#include "date.h"

#include <QDate>
#include <cmath>

namespace vb {

namespace {
const QDate kZeroDate(1899, 12, 30);

int floorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
} // namespace

Date dateSerial(int year, int month, int day) {
    const int monthIndex = month - 1;
    const int carryYears = floorDiv(monthIndex, 12);
    const QDate first(year + carryYears, monthIndex - carryYears * 12 + 1, 1);
    return Date{double(kZeroDate.daysTo(first.addDays(day - 1)))};
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
    kZeroDate.addDays(static_cast<qint64>(whole)).getDate(&year, &month, &day);
    return DateParts{
        year, month, day, int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60)};
}

} // namespace vb
