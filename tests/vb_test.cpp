// The runtime semantics the program relies on, under Italian and English locales.
#include "platform/vb/error.h"
#include "platform/vb/format.h"
#include "platform/vb/text.h"
#include "platform/vb/variant.h"
#include "support/error_of.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace vb;

namespace {
const QLocale kItalian(QLocale::Italian, QLocale::Italy);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

} // namespace

TEST(Dates, SerialsAndCarryOver) {
    struct Case {
        int y, m, d;
        double serial;
    } cases[] = {
        {1899, 12, 30, 0},    {1899, 12, 29, -1},    {1900, 1, 1, 2},
        {2007, 2, 18, 39131}, {2007, 13, 18, 39465}, // month 13: January 2008
        {2007, 2, 0, 39113},                         // day 0: 31 January
        {2007, 0, 1, 39052},                         // month 0: December 2006
        {2000, 99, 1, 39508},                        // 98 months on: March 2008
        {2007, 4, 31, 39203},                        // 31 April: 1 May
    };
    for (const Case& c : cases)
        EXPECT_EQ(dateSerial(c.y, c.m, c.d).serial, c.serial) << c.y << '-' << c.m << '-' << c.d;
}

// Across the whole range of dates (years 100 to 9999), against Qt's calendar.
TEST(Dates, DaysAgreeWithQDate) {
    const QDate zero(1899, 12, 30);
    for (long long serial = -657434; serial <= 2958465; serial += 997) {
        const QDate expected = zero.addDays(serial);
        const DateParts p = parts(Date{double(serial)});
        ASSERT_EQ(QDate(p.year, p.month, p.day), expected) << serial;
        ASSERT_EQ(dateSerial(p.year, p.month, p.day).serial, double(serial)) << serial;
    }
}

TEST(Dates, PartsIncludingNegativeAndTime) {
    const DateParts p = parts(Date{-1.25});
    EXPECT_EQ(p.year, 1899);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 6);
    const Date t = dateTime(2007, 2, 18, 14, 5, 59);
    EXPECT_EQ(formatDdMmYyHhMm(t), "18-02-07 14:05");
    EXPECT_EQ(parts(t).second, 59);
    EXPECT_EQ(dateTime(1899, 12, 29, 6, 0, 0).serial, -1.25);
}

TEST(Format, DatePatterns) {
    EXPECT_EQ(formatDdMmYy(Date{}), "30-12-99");
    EXPECT_EQ(formatDdMmYy(dateSerial(2007, 3, 5)), "05-03-07");
    EXPECT_EQ(formatDdMmYyyy(dateSerial(2007, 2, 18)), "18-02-2007");
    EXPECT_EQ(formatDdMmYyyy(dateSerial(2099, 12, 31)), "31-12-2099");
}

TEST(Format, OneDecimalOnText) {
    struct Case {
        const char* text;
        const char* italian;
        const char* english;
    } cases[] = {
        {"4", "4,0", "4.0"},       {"4,5", "4,5", "4,5"},
        {"4.5", "4.5", "4.5"},     {"", "", ""},
        {"abc", "abc", "abc"},     {" 12 ", "12,0", "12.0"},
        {"-0,04", "0,0", "-0,04"}, {".5", ".5", "0.5"},
        {"4,56", "4,6", "4,56"},   {"-3", "-3,0", "-3.0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatOneDecimal(c.text, kItalian), QString::fromUtf8(c.italian)) << c.text;
        EXPECT_EQ(formatOneDecimal(c.text, kEnglish), QString::fromUtf8(c.english)) << c.text;
    }
}

TEST(Format, Grouped) {
    EXPECT_EQ(formatGrouped(1234567, kItalian), "1.234.567");
    EXPECT_EQ(formatGrouped(1234567, kEnglish), "1,234,567");
    EXPECT_EQ(formatGrouped(0, kItalian), "0");
    EXPECT_EQ(formatGrouped(999, kItalian), "999");
    EXPECT_EQ(formatGrouped(-2147483647 - 1, kEnglish), "-2,147,483,648");
}

TEST(Text, TrimRemovesOnlyBlanks) {
    EXPECT_EQ(trim("  a b  "), "a b");
    EXPECT_EQ(trim("\ta\t"), "\ta\t");
    EXPECT_EQ(trim(QString::fromLatin1("x\0 ", 3)), QString::fromLatin1("x\0", 2));
    EXPECT_EQ(trim("   "), "");
}

TEST(Text, OrdinalComparison) {
    EXPECT_LT(compareText("4.10", "4.5"), 0);
    EXPECT_GT(compareText("4.5", "4.10"), 0);
    EXPECT_LT(compareText("", "4.5"), 0);
    EXPECT_LT(compareText("4", "4.5"), 0);
    EXPECT_LT(compareText("A", "a"), 0);
    EXPECT_EQ(compareText("4.5", "4.5"), 0);
}

TEST(Text, NumberForms) {
    struct Case {
        const char* text;
        bool italian, english;
    } cases[] = {
        {"070218", true, true}, {"07O218", false, false}, {" 12 ", true, true},
        {"+12", true, true},    {"-1", true, true},       {"1,5", true, false},
        {"1.5", false, true},   {"1e5", false, false},    {"", false, false},
        {"+", false, false},    {"1,2,3", false, false},  {"--1", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseNumber(c.text, kItalian).has_value(), c.italian) << c.text;
        EXPECT_EQ(parseNumber(c.text, kEnglish).has_value(), c.english) << c.text;
    }
}

TEST(Conversions, ToText) {
    EXPECT_EQ(cstr(Variant(4.5), kItalian), "4,5");
    EXPECT_EQ(cstr(Variant(4.5), kEnglish), "4.5");
    EXPECT_EQ(cstr(Variant(std::int32_t(1234567)), kItalian), "1234567");
    EXPECT_EQ(cstr(Variant(QString("4.5")), kItalian), "4.5");
    EXPECT_EQ(cstr(Variant(Currency{45000}), kItalian), "4,5");
    EXPECT_EQ(cstr(Variant(true), kItalian), "Vero");
    EXPECT_EQ(cstr(Variant(), kItalian), "");
    EXPECT_EQ(cstr(Variant(dateSerial(2007, 2, 18)), kItalian), "18/02/2007");
    EXPECT_EQ(errorOf([] { cstr(Variant(Null{})); }), err::InvalidUseOfNull);
}

TEST(Conversions, NumbersAndDatesWithErrors) {
    struct Case {
        Variant v;
        std::int32_t clngError, cintError, cdateError;
    } cases[] = {
        {Variant(Null{}), 94, 94, 94},        {Variant(QString("abc")), 13, 13, 13},
        {Variant(40000.0), 0, 6, 0},          {Variant(3e9), 6, 6, 0},
        {Variant(QString("32767")), 0, 0, 0}, {Variant(QString("32768")), 0, 6, 0},
        {Variant(std::int16_t(5)), 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorOf([&] { clng(c.v, kItalian); }), c.clngError);
        EXPECT_EQ(errorOf([&] { cint(c.v, kItalian); }), c.cintError);
        EXPECT_EQ(errorOf([&] { cdate(c.v, kItalian); }), c.cdateError);
    }
    EXPECT_EQ(clng(Variant(2.5)), 2); // halves round to even
    EXPECT_EQ(clng(Variant(3.5)), 4);
    EXPECT_EQ(cdate(Variant(QString("18/02/2007")), kItalian), dateSerial(2007, 2, 18));
    EXPECT_EQ(cdate(Variant(QString("02/18/2007")), kEnglish), dateSerial(2007, 2, 18));
    EXPECT_EQ(cdate(Variant(QString("2007-02-18")), kEnglish), dateSerial(2007, 2, 18));
    EXPECT_EQ(cdate(Variant()), Date{});
}

TEST(Conversions, SixteenBitCounter) {
    Int16Counter c(32766);
    c.step();
    EXPECT_EQ(c.value(), 32767);
    EXPECT_EQ(errorOf([&] { c.step(); }), err::Overflow);
    EXPECT_EQ(errorOf([] { toInt16(32768); }), err::Overflow);
    EXPECT_EQ(errorOf([] { toInt32(std::int64_t(1) << 31); }), err::Overflow);
}

TEST(Errors, DescriptionsComeFromOneTable) {
    EXPECT_EQ(VbError(53).description(), "File non trovato");
    EXPECT_EQ(VbError(err::BadPassword).number(), -2147217843);
    EXPECT_EQ(VbError(err::NotAnArchive).number(), -2147451547);
    EXPECT_FALSE(describe(12345).isEmpty());
}
