// Our Jet reader against mdbtools, the independent oracle: on every Access-made file of the
// shared test data and on random files our writer makes, the tables must be those
// `mdb-tables` lists and every row and value what `mdb-export` prints.
#include "platform/db/jetreader.h"
#include "support/shared.h"
#include "tools/jetwriter/jetwriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>

namespace {

using db::jet::Column;
using db::jet::Value;

// mdb-export's separators and its mark for Null: characters no test value holds.
const QString fieldEnd = QStringLiteral("\x1f"), rowEnd = QStringLiteral("\x1e");
const QString nullMark = QStringLiteral("\x02");

QString output(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(300000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A value as `mdb-export -b hex -T "%Y-%m-%d %H:%M:%S"` prints it.
QString exported(const Column& column, const Value& value) {
    return std::visit(
        [&](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return nullMark;
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? QStringLiteral("1") : QStringLiteral("0");
            } else if constexpr (std::is_same_v<T, vb::Currency>) {
                const quint64 magnitude = v.scaled < 0 ? 0 - quint64(v.scaled) : quint64(v.scaled);
                return QStringLiteral("%1%2.%3")
                    .arg(v.scaled < 0 ? "-" : "")
                    .arg(magnitude / 10000)
                    .arg(magnitude % 10000, 4, 10, QChar(u'0'));
            } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
                // The C library's rounding, which is not Qt's on exact halves.
                char text[40];
                std::snprintf(text, sizeof text, std::is_same_v<T, float> ? "%.8g" : "%.16g",
                              double(v));
                return QString::fromLatin1(text);
            } else if constexpr (std::is_same_v<T, vb::Date>) {
                const vb::DateParts p = vb::parts(v);
                return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                                         p.hour, p.minute, p.second);
            } else if constexpr (std::is_same_v<T, QString>) {
                return v.isEmpty() ? nullMark : v; // mdb-export prints an empty text as Null
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                // mdb-export converts binary and OLE values only; others print as Null.
                const bool binary = column.type == db::jet::Binary || column.type == db::jet::Ole;
                return binary ? QString::fromLatin1(v.toHex().toUpper()) : nullMark;
            } else {
                return QString::number(v);
            }
        },
        value);
}

struct Counts {
    int files = 0, tables = 0, rows = 0, values = 0, differences = 0;
};

// Reads every table of the file with our reader and with mdbtools and counts what differs.
void compareWithOracle(const QString& path, Counts& counts) {
    SCOPED_TRACE(path.toStdString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto header = db::jet::readHeader(bytes.left(db::jet::headerBytes));
    ASSERT_TRUE(header);
    db::jet::MemoryPages pages(bytes, header->pageSize);
    db::jet::Reader reader(pages, *header);
    ++counts.files;

    QStringList names;
    for (const auto& entry : reader.tables())
        names << entry.name;
    EXPECT_EQ(names, output("mdb-tables", {"-S", "-1", path}).split(u'\n', Qt::SkipEmptyParts));

    for (const auto& entry : reader.tables()) {
        SCOPED_TRACE(entry.name.toStdString());
        ++counts.tables;
        const db::jet::TableDef table = reader.tableDefinition(entry.tdefPage);
        QStringList ours;
        reader.scan(table, [&](const db::jet::Row& row) {
            QStringList fields;
            for (std::size_t i = 0; i < table.columns.size(); ++i)
                fields << exported(table.columns[i], row.value(i));
            ours << fields.join(fieldEnd);
            return true;
        });
        QStringList theirs =
            output("mdb-export", {"-H", "-Q", "-d", fieldEnd, "-R", rowEnd, "-0", nullMark, "-T",
                                  "%Y-%m-%d %H:%M:%S", "-b", "hex", path, entry.name})
                .split(rowEnd);
        theirs.removeLast(); // after the last row's end
        EXPECT_EQ(ours.size(), theirs.size());
        counts.rows += int(theirs.size());
        for (qsizetype r = 0; r < std::min(ours.size(), theirs.size()); ++r) {
            const QStringList a = ours[r].split(fieldEnd), b = theirs[r].split(fieldEnd);
            EXPECT_EQ(a.size(), b.size()) << "row " << r;
            for (qsizetype c = 0; c < std::min(a.size(), b.size()); ++c) {
                ++counts.values;
                if (a[c] == b[c]) continue;
                if (++counts.differences <= 10)
                    ADD_FAILURE() << "row " << r << " column "
                                  << table.columns[c].name.toStdString() << ": ours \""
                                  << a[c].left(80).toStdString() << "\", mdb-export \""
                                  << b[c].left(80).toStdString() << "\"";
            }
        }
    }
}

// Text of the given length from a pool that mixes what Jet 4 stores compressed (Latin-1)
// with what it cannot (other scripts, characters whose low byte is zero).
std::string randomText(std::mt19937& random, std::size_t length) {
    static const char32_t pool[] = {U'a', U'b', U'Z', U'0', U'9', U' ', U',',  U'"',  U'\n',
                                    U'à', U'é', U'ß', U'€', U'ж', U'Ā', U'中', U'\'', U'\t'};
    std::u32string text;
    for (std::size_t i = 0; i < length; ++i)
        text += pool[random() % std::size(pool)];
    return QString::fromUcs4(text.data(), qsizetype(text.size())).toStdString();
}

struct WriterCase {
    const char* name;
    unsigned seed;
    int rows;
    std::vector<std::size_t> memoLengths; // characters, taken in turn by the memo column
    int deleteEvery;                      // 0: no deleted rows
    const char* password;
    bool referenceMaps;
};

// A table with a column of every type the writer knows, random values and some Nulls.
jet::Database randomDatabase(const WriterCase& c) {
    using jet::ColumnType;
    std::mt19937 random(c.seed);
    jet::Table table{"Tipi",
                     {{"SiNo", ColumnType::YesNo},
                      {"Byte", ColumnType::Byte},
                      {"Intero", ColumnType::Integer},
                      {"Lungo", ColumnType::Long},
                      {"Valuta", ColumnType::Currency},
                      {"Singolo", ColumnType::Single},
                      {"Doppio", ColumnType::Double},
                      {"Data", ColumnType::DateTime},
                      {"Testo", ColumnType::Text, 255},
                      {"Breve", ColumnType::Text, 4},
                      {"Memo", ColumnType::Memo}},
                     {}};
    const auto real = [&] {
        return std::ldexp(double(random()) - 2147483648.0, int(random() % 40) - 20);
    };
    for (int r = 0; r < c.rows; ++r) {
        std::vector<jet::Value> row{
            random() % 2 == 0, std::int64_t(random() % 256), std::int64_t(random() % 65536) - 32768,
            std::int64_t(random()) - 2147483648LL,
            jet::Currency{std::int64_t(random()) * std::int64_t(random() % 100000) *
                          (random() % 2 ? 1 : -1)},
            double(float(real())), real(),
            // mdb-export prints no date before 1900 correctly; whole seconds from 1900 to 2100.
            jet::DateTime{2.0 + int(random() % 73000) + int(random() % 86400) / 86400.0},
            randomText(random, random() % 256), randomText(random, random() % 5),
            randomText(random, c.memoLengths.empty() ? random() % 100
                                                     : c.memoLengths[r % c.memoLengths.size()])};
        for (std::size_t i = 1; i < row.size(); ++i)
            if (random() % 10 == 0) row[i] = std::monostate{};
        table.rows.push_back(std::move(row));
        if (c.deleteEvery && r % c.deleteEvery == 1) table.deleted.push_back(std::size_t(r));
    }
    jet::Table small{"Accesso",
                     {{"Versione", ColumnType::Text, 20}, {"dataver", ColumnType::DateTime}},
                     {{std::string("4.5"), jet::DateTime{39131.5}}}};
    jet::Database database{{std::move(table), std::move(small)}, c.password, 39000.5 + c.seed};
    database.referenceMaps = c.referenceMaps;
    return database;
}

class JetOracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("mdb-export").isEmpty())
            GTEST_SKIP() << "mdbtools (mdb-export, mdb-tables) is not installed";
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        RecordProperty("files", counts.files);
        RecordProperty("tables", counts.tables);
        RecordProperty("rows", counts.rows);
        RecordProperty("values", counts.values);
        RecordProperty("differences", counts.differences);
        std::printf("oracle: %d files, %d tables, %d rows, %d values compared, %d differences\n",
                    counts.files, counts.tables, counts.rows, counts.values, counts.differences);
    }
    QTemporaryDir dir;
    Counts counts;
};

TEST_F(JetOracleTest, AccessMadeFilesReadAsMdbtoolsReadsThem) {
    const QDir folder(sharedFolder() + "/testdata/mdb");
    const QStringList files = folder.entryList({"*.mdb"}, QDir::Files, QDir::Name);
    if (files.isEmpty()) GTEST_SKIP() << "no Access-made files in " << folder.path().toStdString();
    for (const QString& name : files)
        compareWithOracle(folder.filePath(name), counts);
    EXPECT_EQ(counts.differences, 0);
}

// The Access 97 sample with a third row in Table1 longer than 256 bytes, so that its variable
// offsets need the jump table (no Access-made Jet 3 row of the test data is that long), and
// with Windows-1252 letters outside ASCII in its text.
TEST_F(JetOracleTest, Jet3RowPast256BytesReadsAsMdbtoolsReadsIt) {
    QFile in(sharedFolder() + "/testdata/mdb/access97-sample.mdb");
    if (!in.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no Access 97 sample in the shared data";
    QByteArray bytes = in.readAll();
    constexpr int page = 31 * 2048; // Table1's data page: two rows, the second from 0x7A2
    const QByteArray second = bytes.mid(page + 0x7A2, 0x7D8 - 0x7A2);
    QByteArray a(240, 'a'), b(60, 'b');
    a[5] = '\xE0'; // à
    a[6] = '\x80'; // €
    b[0] = '\xE9'; // é
    QByteArray row;
    row += char(9);           // columns
    row += second.mid(1, 31); // the second row's fixed part
    row += a + b;             // A from offset 32, B from 272, the end at 332
    row += char(332 - 256);   // offsets, low bytes: the end, B, A
    row += char(272 - 256);
    row += char(32);
    row += char(1);    // jump table: from variable entry 1 (B) on, 256 more
    row += char(2);    // variable columns
    row += "\xFF\x01"; // null mask: all nine present (I, a Yes/No, true)
    const int start = 0x7A2 - int(row.size());
    bytes.replace(page + start, row.size(), row);
    bytes[page + 8] = 3; // rows
    bytes[page + 14] = char(start & 0xFF);
    bytes[page + 15] = char(start >> 8);
    const QString path = dir.filePath("jet3-long-row.mdb");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    compareWithOracle(path, counts);
    EXPECT_EQ(counts.differences, 0);
    // Not Null on both sides: the row reads as written.
    db::jet::MemoryPages pages(bytes, 2048);
    db::jet::Reader reader(pages, *db::jet::readHeader(bytes.left(db::jet::headerBytes)));
    const db::jet::TableDef table = reader.tableDefinition(reader.findTable("Table1")->tdefPage);
    QStringList texts;
    reader.scan(table, [&](const db::jet::Row& r) {
        texts << std::get<QString>(r.value(0)) + u'/' + std::get<QString>(r.value(1));
        return true;
    });
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[2], "aaaaaà€" + QString(233, u'a') + "/é" + QString(59, u'b'));
}

TEST_F(JetOracleTest, WriterFilesReadAsMdbtoolsReadsThem) {
    const WriterCase cases[] = {
        {"types", 1, 60, {}, 0, "", false},
        {"memos", 2, 8, {0, 1024, 10240, 102400}, 0, "", false}, // 0 B, 2, 20, 200 KB stored
        {"many rows", 3, 3000, {}, 0, "", false},
        {"reference maps", 6, 3000, {}, 0, "", true},
        {"deleted rows", 4, 400, {}, 3, "", false},
        {"password", 5, 30, {700, 3000}, 4, "BlumoKast", true},
    };
    for (const WriterCase& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name) + ".mdb");
        jet::write(randomDatabase(c), path.toStdString());
        compareWithOracle(path, counts);
    }
    EXPECT_EQ(counts.differences, 0);
}

} // namespace
