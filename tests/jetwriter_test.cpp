// Files written by the Jet writer are read back with the mdbtools command-line programs, an
// independent reader, so these tests check the bytes on disk rather than the writer's own view.
#include "jetwriter.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using jet::Column;
using jet::ColumnType;
using jet::Value;

namespace {

struct Result {
    int status;
    std::string output;
};

Result run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// Only for paths and names the tests make up: none contains a single quote.
std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!s.empty() && s.back() == separator) parts.push_back("");
    return parts;
}

using Rows = std::vector<std::vector<std::string>>;

// The rows as mdb-export prints them: Null as NULL, ISO dates, \n and \t escaped.
Rows exportRows(const std::string& file, const std::string& table) {
    const Result r = run("mdb-export -H -Q -d '|' -0 NULL -e -T '%Y-%m-%dT%H:%M:%S' " +
                         quoted(file) + " " + quoted(table));
    EXPECT_EQ(r.status, 0) << r.output;
    Rows rows;
    for (const std::string& line : split(r.output, '\n'))
        if (!line.empty()) rows.push_back(split(line, '|'));
    return rows;
}

// The type mdb-schema gives a column, e.g. "Text (50)" or "Long Integer".
std::string schemaType(const std::string& schema, const std::string& table,
                       const std::string& column) {
    const std::size_t start = schema.find("CREATE TABLE [" + table + "]");
    if (start == std::string::npos) return "<no table " + table + ">";
    const std::size_t end = schema.find(");", start);
    const std::size_t at = schema.find("\t[" + column + "]", start);
    if (at == std::string::npos || at > end) return "<no column " + column + ">";
    std::string type = schema.substr(at + column.size() + 3);
    type = type.substr(0, type.find('\n'));
    type.erase(0, type.find_first_not_of('\t'));
    while (!type.empty() && (type.back() == ',' || type.back() == ' '))
        type.pop_back();
    return type;
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

class JetWriter : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("jetwriter_test_" + std::to_string(getpid()) + "_" + info->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

// ---- column types ----

struct TypeCase {
    const char* label;
    Column column;
    Value value;
    std::string exported; // as mdb-export prints the value
    std::string schema;   // as mdb-schema names the column type
};

const jet::Value kNull{};

std::vector<TypeCase> typeCases() {
    const std::string accented = "perché città àèéìòù";
    return {
        {"yes", {"v", ColumnType::YesNo}, true, "1", "Boolean NOT NULL"},
        {"no", {"v", ColumnType::YesNo}, false, "0", "Boolean NOT NULL"},
        {"byte", {"v", ColumnType::Byte}, std::int64_t{255}, "255", "Byte"},
        {"integer", {"v", ColumnType::Integer}, std::int64_t{-32768}, "-32768", "Integer"},
        {"long", {"v", ColumnType::Long}, std::int64_t{2147483647}, "2147483647", "Long Integer"},
        {"currency", {"v", ColumnType::Currency}, jet::Currency{-123456}, "-12.3456", "Currency"},
        {"single", {"v", ColumnType::Single}, 1.5, "1.5", "Single"},
        {"double", {"v", ColumnType::Double}, -1234.5678, "-1234.5678", "Double"},
        {"datetime",
         {"v", ColumnType::DateTime},
         jet::DateTime{jet::oleDate(2007, 2, 18, 10, 30)},
         "2007-02-18T10:30:00",
         "DateTime"},
        // Latin-1 text is stored compressed, anything else as UTF-16.
        {"text accented", {"v", ColumnType::Text}, accented, accented, "Text (50)"},
        {"text beyond Latin-1", {"v", ColumnType::Text, 20}, "€ 5 – Ā ☃", "€ 5 – Ā ☃", "Text (20)"},
        {"text short", {"v", ColumnType::Text, 2}, "ab", "ab", "Text (2)"},
        {"text 255",
         {"v", ColumnType::Text, 255},
         repeat("è", 255),
         repeat("è", 255),
         "Text (255)"},
        {"text escapes", {"v", ColumnType::Text}, "a\nb\tc", "a\\nb\\tc", "Text (50)"},
        // Memos: in the row, one long-value row, chains over two and several pages.
        {"memo inline", {"v", ColumnType::Memo}, accented, accented, "Memo/Hyperlink (255)"},
        {"memo 1000 compressed",
         {"v", ColumnType::Memo},
         repeat("à", 1000),
         repeat("à", 1000),
         "Memo/Hyperlink (255)"},
        {"memo 3000",
         {"v", ColumnType::Memo},
         repeat("abc", 1000),
         repeat("abc", 1000),
         "Memo/Hyperlink (255)"},
        {"memo 5000",
         {"v", ColumnType::Memo},
         repeat("perché", 5000 / 6 + 1),
         repeat("perché", 5000 / 6 + 1),
         "Memo/Hyperlink (255)"},
        {"memo 20000",
         {"v", ColumnType::Memo},
         repeat("città€", 20000 / 6),
         repeat("città€", 20000 / 6),
         "Memo/Hyperlink (255)"},
        // Values of another type are converted to the column's.
        {"integer into text", {"v", ColumnType::Text}, std::int64_t{42}, "42", "Text (50)"},
        {"decimal into text", {"v", ColumnType::Text}, 4.5, "4.5", "Text (50)"},
        {"text into double (Versione)", {"Versione", ColumnType::Double}, "4.5", "4.5", "Double"},
        {"text into long", {"v", ColumnType::Long}, "-12", "-12", "Long Integer"},
        {"whole double into integer", {"v", ColumnType::Integer}, 3.0, "3", "Integer"},
        {"decimal into currency", {"v", ColumnType::Currency}, 12.34, "12.3400", "Currency"},
        {"text into datetime",
         {"v", ColumnType::DateTime},
         "2007-02-18",
         "2007-02-18T00:00:00",
         "DateTime"},
        {"text into yesno", {"v", ColumnType::YesNo}, "yes", "1", "Boolean NOT NULL"},
    };
}

// Each case is a table of its own in one file: id, the value, a fixed column after it. The
// second row holds Null, which a Yes/No column stores as false.
TEST_F(JetWriter, EveryColumnTypeReadsBack) {
    const auto cases = typeCases();
    jet::Database db;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TypeCase& c = cases[i];
        db.tables.push_back({"T" + std::to_string(i),
                             {{"id", ColumnType::Long}, c.column, {"after", ColumnType::Double}},
                             {{std::int64_t{1}, c.value, 0.25}, {std::int64_t{2}, kNull, 0.5}}});
    }
    const std::string file = path("types.mdb");
    jet::write(db, file);

    EXPECT_EQ(run("mdb-ver " + quoted(file)).output, "JET4\n");
    const Result schema = run("mdb-schema " + quoted(file));
    ASSERT_EQ(schema.status, 0);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TypeCase& c = cases[i];
        SCOPED_TRACE(c.label);
        const std::string table = "T" + std::to_string(i);
        EXPECT_EQ(schemaType(schema.output, table, c.column.name), c.schema);
        const std::string null = c.column.type == ColumnType::YesNo ? "0" : "NULL";
        const Rows expected{{"1", c.exported, "0.25"}, {"2", null, "0.5"}};
        EXPECT_EQ(exportRows(file, table), expected);
    }
}

// ---- Nulls ----

TEST_F(JetWriter, NullsInEveryPosition) {
    const std::vector<Column> columns{{"a", ColumnType::Text},
                                      {"b", ColumnType::Long},
                                      {"c", ColumnType::Memo},
                                      {"d", ColumnType::Text},
                                      {"e", ColumnType::DateTime}};
    const jet::DateTime date{jet::oleDate(2020, 5, 17)};
    const std::string memo = repeat("x", 300);
    const std::vector<std::pair<std::vector<Value>, std::string>> cases{
        {{kNull, std::int64_t{1}, memo, "d", date},
         ",1,\"" + memo + "\",\"d\",\"05/17/20 00:00:00\""},
        {{"a", std::int64_t{2}, kNull, "d", date}, "\"a\",2,,\"d\",\"05/17/20 00:00:00\""},
        {{"a", kNull, memo, kNull, date}, "\"a\",,\"" + memo + "\",,\"05/17/20 00:00:00\""},
        {{"a", std::int64_t{4}, memo, "d", kNull}, "\"a\",4,\"" + memo + "\",\"d\","},
        {{kNull, kNull, kNull, kNull, kNull}, ",,,,"},
        // Empty strings are not Null, but mdbtools prints them alike.
        {{"", std::int64_t{0}, "", "", date}, ",0,,,\"05/17/20 00:00:00\""},
    };
    jet::Database db;
    db.tables.push_back({"Nulls", columns, {}});
    for (const auto& c : cases)
        db.tables[0].rows.push_back(c.first);
    const std::string file = path("nulls.mdb");
    jet::write(db, file);

    // The default CSV output: Nulls are empty fields.
    const Result r = run("mdb-export -H " + quoted(file) + " Nulls");
    ASSERT_EQ(r.status, 0);
    const auto lines = split(r.output.substr(0, r.output.find_last_not_of('\n') + 1), '\n');
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(lines[i], cases[i].second) << i;
}

// ---- many rows, several tables ----

TEST_F(JetWriter, TwoThousandRowsSpanSeveralPages) {
    jet::Database db;
    db.tables.push_back({"Movimenti",
                         {{"id", ColumnType::Long},
                          {"descrizione", ColumnType::Text, 100},
                          {"quando", ColumnType::DateTime},
                          {"importo", ColumnType::Currency}},
                         {}});
    const int count = 2000;
    for (int i = 0; i < count; ++i)
        db.tables[0].rows.push_back({std::int64_t{i}, "riga " + std::to_string(i) + " perché",
                                     jet::DateTime{39000.0 + i}, jet::Currency{i * 125}});
    const std::string file = path("many.mdb");
    const auto start = std::chrono::steady_clock::now();
    jet::write(db, file);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
    EXPECT_GT(fs::file_size(file), 20u * 4096) << "expected the rows to need many data pages";

    const Rows rows = exportRows(file, "Movimenti");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        // Day 39000 is 2006-10-10; let the C library's calendar count on from there.
        std::tm tm{};
        tm.tm_year = 2006 - 1900, tm.tm_mon = 9, tm.tm_mday = 10 + i, tm.tm_hour = 12;
        tm.tm_isdst = -1;
        std::mktime(&tm);
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &tm);
        char money[32];
        std::snprintf(money, sizeof money, "%d.%04d", i * 125 / 10000, i * 125 % 10000);
        const std::vector<std::string> expected{std::to_string(i),
                                                "riga " + std::to_string(i) + " perché",
                                                std::string(date) + "T00:00:00", money};
        ASSERT_EQ(rows[i], expected) << "row " << i;
    }
}

TEST_F(JetWriter, SeveralTablesAndAnEmptyOne) {
    jet::Database db;
    db.tables.push_back({"Accesso",
                         {{"Versione", ColumnType::Text}, {"dataver", ColumnType::DateTime}},
                         {{"4.5", jet::DateTime{jet::oleDate(2007, 2, 18)}}}});
    db.tables.push_back({"Vuota", {{"x", ColumnType::Long}, {"y", ColumnType::Memo}}, {}});
    db.tables.push_back({"Configurazione",
                         {{"Chiave", ColumnType::Text, 20}, {"Valore", ColumnType::Memo}},
                         {{"lingua", "italiano"}, {"città", "Città di Castello"}}});
    const std::string file = path("tables.mdb");
    jet::write(db, file);

    EXPECT_EQ(run("mdb-tables -1 " + quoted(file)).output, "Accesso\nVuota\nConfigurazione\n");
    EXPECT_EQ(exportRows(file, "Accesso"), (Rows{{"4.5", "2007-02-18T00:00:00"}}));
    EXPECT_EQ(exportRows(file, "Vuota"), Rows{});
    EXPECT_EQ(run("mdb-export " + quoted(file) + " Vuota").output, "x,y\n");
    EXPECT_EQ(exportRows(file, "Configurazione"),
              (Rows{{"lingua", "italiano"}, {"città", "Città di Castello"}}));
}

// ---- password ----

TEST_F(JetWriter, PasswordDecodesFromHeader) {
    const std::vector<std::pair<std::string, double>> cases{
        {"BlumoKast", 39000.5}, {"perché", 45123.75}, {"abcdefghijklmnopqrst", 39000.5},
        {"a b", 1.0},           {"", 39000.5},        {"", 45123.75},
    };
    for (const auto& [password, created] : cases) {
        SCOPED_TRACE(password + " / " + std::to_string(created));
        jet::Database db;
        db.password = password;
        db.creationDate = created;
        db.tables.push_back({"T", {{"x", ColumnType::Long}}, {{std::int64_t{7}}}});
        const std::string file = path("password.mdb");
        jet::write(db, file);
        EXPECT_EQ(jet::decodePassword(file), password);
        EXPECT_EQ(run("mdb-ver " + quoted(file)).output, "JET4\n");
        EXPECT_EQ(exportRows(file, "T"), Rows{{"7"}});
    }
    jet::Database tooLong;
    tooLong.password = "abcdefghijklmnopqrstu";
    EXPECT_THROW(jet::write(tooLong, path("x.mdb")), std::runtime_error);
}

// ---- dates ----

TEST(JetDates, OleAutomationDates) {
    // Reference values of the OLE Automation date: -1.25 is 1899-12-29 06:00.
    EXPECT_EQ(jet::oleDate(1899, 12, 30), 0.0);
    EXPECT_EQ(jet::oleDate(1900, 1, 1), 2.0);
    EXPECT_EQ(jet::oleDate(2007, 2, 18, 18), 39131.75);
    EXPECT_EQ(jet::oleDate(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(jet::oleDate(1800, 1, 1), -36522.0);
}

// ---- the description format and jetwrite ----

TEST_F(JetWriter, DescriptionThroughJetwrite) {
    const std::string description = R"(# example
password BlumoKast
table Accesso
column Versione text 50
column dataver datetime
row "4.5" 2007-02-18
row NULL 2007-02-18T10:30:00

table Configurazione
column Chiave text 20
column Valore memo
column Numero double
column Attivo yesno
column Prezzo currency
repeat 3
row "città" "perché \"sì\"\\" 12 true 922337203685477.5807
row "n" 4.5 "4.5" false -0.0001
)";
    const std::string file = path("described.mdb");
    const Result r = run("printf '%s' " + quoted(description) + " | " JETWRITE_PATH " - " +
                         quoted(file) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;

    EXPECT_EQ(jet::decodePassword(file), "BlumoKast");
    EXPECT_EQ(run("mdb-tables -1 " + quoted(file)).output, "Accesso\nConfigurazione\n");
    const Result schema = run("mdb-schema " + quoted(file));
    EXPECT_EQ(schemaType(schema.output, "Accesso", "Versione"), "Text (50)");
    EXPECT_EQ(schemaType(schema.output, "Configurazione", "Prezzo"), "Currency");
    EXPECT_EQ(exportRows(file, "Accesso"),
              (Rows{{"4.5", "2007-02-18T00:00:00"}, {"NULL", "2007-02-18T10:30:00"}}));
    const std::vector<std::string> repeated{"città", "perché \"sì\"\\\\", "12", "1",
                                            "922337203685477.5807"};
    EXPECT_EQ(exportRows(file, "Configurazione"),
              (Rows{repeated, repeated, repeated, {"n", "4.5", "4.5", "0", "-0.0001"}}));
}

TEST_F(JetWriter, DescriptionErrorsNameTheLine) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"table T\ncolumn Versione double\nrow \"4.5a\"\n", "line 3: column Versione (double)"},
        {"column x long\n", "line 1: column before any table"},
        {"table T\ncolumn x long\n\n# two values\nrow 1 2\n", "line 5: table T has 1 columns"},
        {"table T\ncolumn x frobnicate\n", "line 2: unknown column type"},
        {"table T\ncolumn x byte\nrow 256\n", "line 3: column x (byte) cannot take 256"},
        {"table T\ncolumn x integer\nrow 1.5\n", "line 3: column x (integer)"},
        {"table T\ncolumn x text 3\nrow \"abcd\"\n", "line 3: column x (text 3)"},
        {"table T\ncolumn x text\nrow \"abc\n", "line 3: unterminated"},
        {"table T\ncolumn x long\nrepeat 5\n", "line 3: repeat must be followed by a row"},
        {"table T\ncolumn x long\nrepeat 5\ntable U\n", "line 4: repeat must be followed"},
        {"table T\n", "line 1: table T has no columns"},
        {"bogus\n", "line 1: unknown keyword bogus"},
        {"table T\ncolumn x datetime\nrow 2007-02-30\n", "line 3: invalid date 2007-02-30"},
        {"table T\ncolumn x long\nrow abc\n", "line 3: unrecognised value abc"},
        {"password a\npassword b\n", "line 2: password given twice"},
        {"table T\ncolumn x long\ntable t\n", "line 3: duplicate table"},
    };
    for (const auto& [description, message] : cases) {
        SCOPED_TRACE(description);
        std::istringstream in(description);
        try {
            jet::parseDescription(in);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    // jetwrite reports it and fails without writing a file.
    std::ofstream(path("bad.txt")) << "table T\ncolumn x long\nrow x\n";
    const Result r =
        run(JETWRITE_PATH " " + quoted(path("bad.txt")) + " " + quoted(path("bad.mdb")) + " 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("line 3"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(path("bad.mdb")));
    const Result help = run(JETWRITE_PATH " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("repeat"), std::string::npos);
}

TEST_F(JetWriter, InvalidDatabasesAreRefused) {
    const auto database = [](std::vector<jet::Table> tables) {
        jet::Database db;
        db.tables = std::move(tables);
        return db;
    };
    const Column x{"x", ColumnType::Long};
    const std::vector<std::pair<const char*, jet::Database>> cases{
        {"duplicate table", database({{"A", {x}, {}}, {"a", {x}, {}}})},
        {"no columns", database({{"A", {}, {}}})},
        {"wrong value count", database({{"A", {x}, {std::vector<Value>{}}}})},
        {"value out of range", database({{"A", {{"x", ColumnType::Byte}}, {{std::int64_t{-1}}}}})},
        {"text length 0", database({{"A", {{"x", ColumnType::Text, 0}}, {}}})},
        {"duplicate column", database({{"A", {x, x}, {}}})},
    };
    for (const auto& [label, db] : cases)
        EXPECT_THROW(jet::write(db, path("refused.mdb")), std::runtime_error) << label;
}

} // namespace
