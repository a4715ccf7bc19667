// Writes small Jet 4 (Access 2000) database files for tests, demos and benchmarks.
//
// The files hold tables and rows only: no indexes, relationships, queries or properties.
// They are meant to be read, not to be opened and edited by the desktop program.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <variant>
#include <vector>

namespace jet {

enum class ColumnType {
    YesNo,
    Byte,
    Integer,
    Long,
    Currency,
    Single,
    Double,
    DateTime,
    Text,
    Memo
};

struct Column {
    std::string name;
    ColumnType type;
    int length = 50; // Text: characters (1..255); ignored for other types
};

struct DateTime {
    double oleDate; // days since 1899-12-30, time as fraction
};

struct Currency {
    std::int64_t tenThousandths;
};

// std::monostate = Null. Text/Memo take UTF-8 std::string. Numbers as int64/double.
// A value of another type is converted to what the column needs when that is possible.
using Value =
    std::variant<std::monostate, bool, std::int64_t, double, std::string, DateTime, Currency>;

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
    // Rows (by index) that are written and then marked deleted, as Access leaves a deleted
    // row in its page until the database is compacted. Readers must skip them.
    std::vector<std::size_t> deleted = {};
};

struct Database {
    std::vector<Table> tables;
    std::string password; // UTF-8, up to 20 characters, empty = none
    double creationDate = 39000.5;
    // Usage maps as references to map pages, as Access keeps them for tables whose pages
    // spread too far for the bitmap in the map row; always so for tables that large.
    bool referenceMaps = false;
};

// Writes the database to path. Throws std::runtime_error on invalid input or I/O failure.
void write(const Database& db, const std::string& path);

// Reads the text description documented in descriptionHelp(). Throws std::runtime_error whose
// message starts with "line N: ".
Database parseDescription(std::istream& in);

// Reads page 0 of a Jet 4 file and returns its database password (UTF-8), "" when none.
std::string decodePassword(const std::string& path);

// Converts a value to what a column of the given type stores: bool, int64, double, string,
// DateTime, Currency or Null. Throws std::runtime_error when it cannot be converted.
Value convertValue(const Column& column, const Value& value);

// Converts a calendar date and time to an OLE Automation date.
double oleDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The description format, as printed by `jetwrite --help`.
const char* descriptionHelp();

} // namespace jet
