// The update archive naming rule on the names users actually download.
#include "update/archive_name.h"

#include "platform/vb/error.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

class NamingTest : public ::testing::Test {
protected:
    // Users run the program with Italian settings: decimal comma, dot for grouping.
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

struct NameCase {
    const char* name;
    bool accepted;
};

TEST_F(NamingTest, Acceptance) {
    const NameCase cases[] = {
        {"qn45070218.zip", true},
        {"qn4507021.zip", false},     // 13 characters
        {"qn45070218.zi", false},     // 13 characters, although the date is complete
        {"qn45070218abcd", true},     // 14 characters without any extension
        {"qn45O70218.zip", false},    // letter O in the date
        {"qn45070218 (2).zip", true}, // a browser's copy suffix
        {"xx45070218.zip", true},     // the prefix is not checked
        {"qn45070218.rar", true},     // nor the extension
        {"qn45-70218.zip", true},     // "-70218" reads as a number
        {"qn4507,218.zip", true},     // decimal comma of the locale
        {"qn4507.218.zip", false},    // grouping dot is not part of a number
        {"qn45 70218.zip", true},     // leading blank is allowed by the number rule
        {"qn45      .zip", false},    // blanks only
        {"", false},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(update::nameAccepted(QString::fromUtf8(c.name)), c.accepted) << c.name;
}

TEST_F(NamingTest, Version) {
    EXPECT_EQ(update::versionOf("qn45070218.zip"), "4.5");
    EXPECT_EQ(update::versionOf("qnab070218.zip"), "a.b");
}

struct DateCase {
    const char* name;
    int year, month, day;
};

TEST_F(NamingTest, DateWithCarryOver) {
    const DateCase cases[] = {
        {"qn45070218.zip", 2007, 2, 18},  {"qn45070218 (2).zip", 2007, 2, 18},
        {"qn45071318.zip", 2008, 1, 18},  // month 13: January of the next year
        {"qn45070018.zip", 2006, 12, 18}, // month 00: December of the previous year
        {"qn45070200.zip", 2007, 1, 31},  // day 00: last day of the previous month
        {"qn45079901.zip", 2015, 3, 1},   // month 99: March eight years later
        {"qn45070230.zip", 2007, 3, 2},   // 30 February runs into March
        {"qn45000101.zip", 2000, 1, 1},   {"qn45991231.zip", 2099, 12, 31},
        {"qn450702 8.zip", 2007, 2, 8},  // a blank before the day digit is allowed
        {"qn450702,0.zip", 2007, 1, 31}, // ",0" reads as zero under the decimal comma
    };
    for (const DateCase& c : cases) {
        const vb::DateParts p = vb::parts(update::dateOf(QString::fromUtf8(c.name)));
        EXPECT_EQ(p.year, c.year) << c.name;
        EXPECT_EQ(p.month, c.month) << c.name;
        EXPECT_EQ(p.day, c.day) << c.name;
    }
}

TEST_F(NamingTest, PiecesThatAreNotWholeNumbersRaiseTypeMismatch) {
    const char* cases[] = {
        "qn45+70218.zip", // "20+7" is no number
        "qn45 70218.zip", // "20 7" neither, although the name is accepted
        "qn45O70218.zip",
        "qn4507,518.zip", // month ",5" is a half
        "qn4507021.zip",  // day "1." is no number under Italian settings
    };
    for (const char* name : cases) {
        try {
            update::dateOf(QString::fromUtf8(name));
            ADD_FAILURE() << name << " gave a date";
        } catch (const vb::VbError& e) {
            EXPECT_EQ(e.number(), vb::err::TypeMismatch) << name;
        }
    }
}

} // namespace
