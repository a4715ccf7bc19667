#pragma once
// OLE Automation dates: days since 30 December 1899, the time of day as the fraction.
// Before the zero date the fraction still counts forward from midnight (-1.25 is
// 29 December 1899 at 06:00).
#include <compare>

namespace vb {

struct Date {
    double serial = 0.0; // the zero date, 30-12-1899 00:00
    auto operator<=>(const Date&) const = default;
};

struct DateParts {
    int year, month, day, hour, minute, second;
};

// Year, month and day with carry-over: month 13 is January of the next year, day 0 the
// last day of the previous month.
Date dateSerial(int year, int month, int day);
Date dateTime(int year, int month, int day, int hour, int minute, int second);
DateParts parts(Date d); // rounded to the second

} // namespace vb
