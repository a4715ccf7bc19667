// The database layer read against real files: Access-made ones from the shared test data and
// ones our Jet 4 writer makes, including damaged copies.
#include "platform/db/ado.h"
#include "platform/db/jetheader.h"
#include "platform/db/jetreader.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"
#include "support/error_of.h"
#include "support/shared.h"
#include "tools/jetwriter/jetwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <thread>

namespace {

using vb::Variant;
namespace err = vb::err;

const QString jetProvider = QString::fromLatin1(db::kJetProvider);

// Access-made files kept beside the source tree, not in it.
QString sharedMdbFolder() {
    return sharedFolder() + "/testdata/mdb";
}

QString sharedMdb(const char* name) {
    return sharedMdbFolder() + u'/' + QLatin1String(name);
}

class DbTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.setDrives({{u'Z', QStringLiteral("/"), QStringLiteral("/")}});
        ASSERT_TRUE(dir.isValid());
    }
    fs::Environment env;

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QString write(const jet::Database& database, const char* name) const {
        const QString file = path(name);
        jet::write(database, file.toStdString());
        return file;
    }
    QString write(std::vector<jet::Table> tables, const char* name = "test.mdb") const {
        jet::Database database;
        database.tables = std::move(tables);
        return write(database, name);
    }

    QTemporaryDir dir;
};

// Tests that read the Access-made files: skipped where the shared test data are absent.
class AccessMadeTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        if (!QDir(sharedMdbFolder()).exists())
            GTEST_SKIP() << "no Access-made test files in " << sharedMdbFolder().toStdString()
                         << " (../shared/testdata/mdb beside the source tree)";
    }
};

// The connection string the program builds for the installation database.
QString connectionString(const QString& hostPath, const QString& password) {
    return db::jetConnectionString(fs::toWindows(hostPath), password);
}

// Opens the file, then the table through "select * from", and returns one field.
Variant firstField(const QString& hostPath, const QString& table, const QString& field,
                   const QString& password = {}) {
    db::Connection cn;
    cn.CursorLocation = db::adUseClient;
    cn.Open(connectionString(hostPath, password), {}, {}, -1);
    db::Recordset rs;
    rs.Open(QString("select * from " + table), cn, db::adOpenStatic, db::adLockPessimistic,
            db::adCmdText);
    return rs.Fields(field);
}

jet::Table versionTable(const char* name, const char* text) {
    using jet::ColumnType;
    return {name,
            {{"Versione", ColumnType::Text, 20}, {"dataver", ColumnType::DateTime}},
            {{std::string(text), jet::DateTime{jet::oleDate(2024, 3, 15, 10, 30)}}}};
}

TEST_F(AccessMadeTest, AccessMadeFilesGiveTheirFirstRow) {
    struct Case {
        const char* file;
        const char* field;
        Variant expected;
    };
    const Case cases[] = {
        {"access2000-sample.mdb", "A", "abcdefg"},
        {"access2000-sample.mdb", "G", vb::dateTime(1974, 9, 21, 0, 0, 0)},
        {"access97-sample.mdb", "A", "a"},
        {"access97-sample.mdb", "g", vb::dateTime(1981, 12, 12, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(firstField(sharedMdb(c.file), "Table1", c.field), c.expected);
    }
}

TEST_F(AccessMadeTest, AccessMadeFilesHaveNoAccessoTable) {
    for (const char* file :
         {"access2000-sample.mdb", "access97-sample.mdb", "access2000-empty.mdb"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(errorOf([&] { firstField(sharedMdb(file), "Accesso", "Versione"); }),
                  err::TableNotFound);
    }
}

TEST_F(DbTest, EachColumnTypeBecomesItsVariant) {
    using jet::ColumnType;
    struct Case {
        jet::Column column;
        jet::Value stored;
        Variant expected;
    };
    const Case cases[] = {
        {{"Testo", ColumnType::Text, 50}, std::string("4.5 àèé"), "4.5 àèé"},
        {{"TestoVuoto", ColumnType::Text, 50}, std::string(), QString()},
        {{"Memo", ColumnType::Memo}, std::string(3000, 'm'), QString(3000, u'm')},
        {{"Byte", ColumnType::Byte}, std::int64_t{200}, std::uint8_t{200}},
        {{"Intero", ColumnType::Integer}, std::int64_t{-12345}, std::int16_t{-12345}},
        {{"Lungo", ColumnType::Long}, std::int64_t{2000000000}, std::int32_t{2000000000}},
        {{"Singolo", ColumnType::Single}, 1.5, 1.5f},
        {{"Doppio", ColumnType::Double}, -2.25e10, -2.25e10},
        {{"Valuta", ColumnType::Currency}, jet::Currency{123456789}, vb::Currency{123456789}},
        {{"Vero", ColumnType::YesNo}, true, true},
        {{"Falso", ColumnType::YesNo}, false, false},
        {{"Data", ColumnType::DateTime},
         jet::DateTime{45000.75},
         vb::dateTime(2023, 3, 15, 18, 0, 0)},
        {{"DataAntica", ColumnType::DateTime}, jet::DateTime{-1.25}, vb::Date{-1.25}},
    };
    jet::Table table{"Tipi", {}, {{}, {}}};
    for (const Case& c : cases) {
        table.columns.push_back(c.column);
        table.rows[0].push_back(c.stored);
        // The second row is all Null: only the first is read, so it must not leak through.
        table.rows[1].push_back(std::monostate{});
    }
    const QString file = write({table});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column.name);
        EXPECT_EQ(firstField(file, "Tipi", QString::fromStdString(c.column.name)), c.expected);
    }
}

TEST_F(DbTest, NullFieldsAreNullExceptYesNo) {
    using jet::ColumnType;
    const ColumnType types[] = {ColumnType::Text,    ColumnType::Memo,     ColumnType::Byte,
                                ColumnType::Integer, ColumnType::Long,     ColumnType::Single,
                                ColumnType::Double,  ColumnType::Currency, ColumnType::DateTime,
                                ColumnType::YesNo};
    jet::Table table{"Nulli", {}, {{}}};
    for (ColumnType type : types) {
        table.columns.push_back({"c" + std::to_string(table.columns.size()), type});
        table.rows[0].push_back(std::monostate{});
    }
    const QString file = write({table});
    for (const jet::Column& column : table.columns) {
        SCOPED_TRACE(column.name);
        const Variant value = firstField(file, "Nulli", QString::fromStdString(column.name));
        // A Yes/No column has no Null: its null-mask bit is the value.
        EXPECT_EQ(value, column.type == ColumnType::YesNo ? Variant(false) : Variant(vb::Null{}));
    }
}

TEST_F(DbTest, RecordsetErrors) {
    jet::Table empty = versionTable("Vuota", "");
    empty.rows.clear();
    const QString file = write({versionTable("Accesso", "4.5"), empty});
    db::Connection cn;
    cn.Open(connectionString(file, {}));
    db::Recordset rs;

    struct Case {
        const char* what;
        std::function<void()> action;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"fields before open", [&] { rs.Fields("Versione"); }, err::ObjectClosed},
        {"move before open", [&] { rs.MoveFirst(); }, err::ObjectClosed},
        {"close before open", [&] { rs.Close(); }, err::ObjectClosed},
        {"missing table", [&] { rs.Open("Manca", cn, 3, 2, db::adCmdTable); }, err::TableNotFound},
        {"other command text",
         [&] { rs.Open("select Versione from Accesso where 1", cn, 3, 2, db::adCmdText); },
         err::TableNotFound},
        {"a column the table lacks",
         [&] { rs.Open("select Versione, Manca from Accesso", cn, 3, 2, db::adCmdText); },
         err::ItemNotFound},
        {"a list of columns",
         [&] { rs.Open("select [VERSIONE] from Accesso", cn, 3, 2, db::adCmdText); }, 0},
        {"only the columns listed", [&] { EXPECT_EQ(rs.FieldNames(), QStringList{"Versione"}); },
         0},
        {"close the list", [&] { rs.Close(); }, 0},
        {"open empty table", [&] { rs.Open("select * from Vuota", cn, 3, 2, db::adCmdText); }, 0},
        {"move in empty table", [&] { rs.MoveFirst(); }, err::NoCurrentRecord},
        {"field in empty table", [&] { rs.Fields("Versione"); }, err::NoCurrentRecord},
        {"unknown field in empty table", [&] { rs.Fields("Manca"); }, err::ItemNotFound},
        {"close empty", [&] { rs.Close(); }, 0},
        {"open by name", [&] { rs.Open("ACCESSO", cn, 3, 2, db::adCmdTable); }, 0},
        {"field without regard to case", [&] { EXPECT_EQ(rs.Fields("VERSIONE"), "4.5"); }, 0},
        {"move first", [&] { rs.MoveFirst(); }, 0},
        {"unknown field", [&] { rs.Fields("Versione2"); }, err::ItemNotFound},
        {"close", [&] { rs.Close(); }, 0},
        {"close twice", [&] { rs.Close(); }, err::ObjectClosed},
        {"bracketed command text",
         [&] { rs.Open("SELECT * FROM [Accesso];", cn, 3, 2, db::adCmdText); }, 0},
        {"close connection", [&] { cn.Close(); }, 0},
        {"row kept after the connection closed", [&] { EXPECT_EQ(rs.Fields("Versione"), "4.5"); },
         0},
        {"close connection twice", [&] { cn.Close(); }, err::ObjectClosed},
        {"open on closed connection",
         [&] {
             db::Recordset other;
             other.Open("select * from Accesso", cn, 3, 2, db::adCmdText);
         },
         err::ObjectClosed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(errorOf(c.action), c.expected);
    }
}

TEST_F(DbTest, DatabasePassword) {
    struct Case {
        const char* stored;
        const char* given;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"", "", 0},
        {"", "BlumoKast", 0},
        {"BlumoKast", "BlumoKast", 0},
        {"BlumoKast", "blumokast", err::BadPassword},
        {"BlumoKast", "", err::BadPassword},
        {"BlumoKast", "Gransoleo", err::BadPassword},
        {"BlumoKast", "BlumoKast ", err::BadPassword},
        {"Pàsswörd", "Pàsswörd", 0},
        {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst", 0},
        {"abcdefghijklmnopqrst", "abcdefghijklmnopqrs", err::BadPassword},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " / " + c.given);
        jet::Database database{{versionTable("Accesso", "7.1")}, c.stored, 38000.25 + n};
        const QString file = write(database, ("p" + std::to_string(n++) + ".mdb").c_str());
        EXPECT_EQ(errorOf([&] {
                      EXPECT_EQ(firstField(file, "Accesso", "Versione", QString::fromUtf8(c.given)),
                                "7.1");
                  }),
                  c.expected);
    }
}

TEST_F(AccessMadeTest, Jet3DatabasePassword) {
    // The Access 97 sample with a password put into its header: 20 plain bytes at 0x42
    // inside the RC4-hidden block.
    QFile in(sharedMdb("access97-sample.mdb"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    static const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    auto* block = reinterpret_cast<unsigned char*>(bytes.data()) + 0x18;
    db::jet::rc4(key, 4, block, 126);
    std::memcpy(block + 0x42 - 0x18, "Gransoleo", 9);
    db::jet::rc4(key, 4, block, 126);
    QFile out(path("jet3.mdb"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    struct Case {
        const char* given;
        std::int32_t expected;
    };
    for (const Case& c :
         {Case{"Gransoleo", 0}, Case{"gransoleo", err::BadPassword}, Case{"", err::BadPassword}}) {
        SCOPED_TRACE(c.given);
        EXPECT_EQ(
            errorOf([&] { EXPECT_EQ(firstField(out.fileName(), "Table1", "A", c.given), "a"); }),
            c.expected);
    }
}

TEST_F(DbTest, ConnectionStrings) {
    const QString file = write({versionTable("Configurazione", "4.5")});
    const QString windows = fs::toWindows(file);
    struct Case {
        QString text;
        QString provider;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + windows + ";", {}, 0},
        {"provider=microsoft.jet.oledb.4.0;DATA SOURCE=" + windows +
             ";jet oledb:database password=x",
         {},
         0},
        {"Data Source=" + windows, jetProvider, 0},
        {windows, jetProvider, 0},
        {windows.toUpper(), jetProvider, 0}, // the file system resolves the case
        {windows, {}, err::ProviderFailed},
        {"Provider=SQLOLEDB;Data Source=" + windows, {}, err::ProviderFailed},
        {"Provider=Microsoft.Jet.OLEDB.4.0;", {}, err::ProviderFailed},
        {"Q:\\nessuno\\dbClient.mdb", jetProvider, err::ProviderFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        db::Connection cn;
        cn.Provider = c.provider;
        cn.CursorLocation = db::adUseClient;
        EXPECT_EQ(errorOf([&] { cn.Open(c.text, {}, {}, -1); }), c.expected);
        EXPECT_EQ(cn.isOpen(), c.expected == 0);
        EXPECT_EQ(cn.CursorLocation, db::adUseClient);
        if (c.expected == 0) {
            db::Recordset rs;
            rs.Open("Configurazione", cn, 3, 2, db::adCmdTable);
            EXPECT_EQ(rs.Fields("Versione"), "4.5");
        }
    }
}

TEST_F(DbTest, UnusableFilesFailWithoutCrashing) {
    const QString good = write({versionTable("Accesso", "4.5")}, "good.mdb");
    QFile in(good);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    std::mt19937 random(42);
    QByteArray noise(3 * 4096, '\0');
    for (char& b : noise)
        b = static_cast<char>(random());
    QByteArray badMagic = bytes;
    badMagic[6] = 'x';
    QByteArray aceVersion = bytes;
    aceVersion[0x14] = 2;

    struct Case {
        const char* name;
        std::optional<QByteArray> content; // nullopt: nothing is written
    };
    const Case cases[] = {
        {"missing.mdb", std::nullopt},
        {"testo.mdb", QByteArray("Versione=4.5\r\n")},
        {"vuoto.mdb", QByteArray()},
        {"rumore.mdb", noise},
        {"magia.mdb", badMagic},
        {"versione.mdb", aceVersion},
        {"cut100.mdb", bytes.left(100)},
        {"cut2048.mdb", bytes.left(2048)},
        {"cut4096.mdb", bytes.left(4096)},
        {"cut2pages.mdb", bytes.left(2 * 4096)},
        {"cut2pages1.mdb", bytes.left(2 * 4096 + 1)},
        {"cutlast.mdb", bytes.left(bytes.size() - 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(c.name);
        if (c.content) {
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(*c.content);
        }
        EXPECT_EQ(errorOf([&] { firstField(file, "Accesso", "Versione"); }), err::ProviderFailed);
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("cartella.mdb"));
    EXPECT_EQ(errorOf([&] { firstField(path("cartella.mdb"), "Accesso", "Versione"); }),
              err::ProviderFailed);
}

TEST_F(AccessMadeTest, DamagedObjectPropertiesDoNotStopTheCatalog) {
    // Found by fuzzing: 64 zero bytes in the property blobs of the Access 97 sample's catalog
    // (page 46) make libmdb's own catalog reader loop without end. The tables stay readable.
    QFile in(sharedMdb("access97-sample.mdb"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.replace(46 * 2048 + 541, 64, QByteArray(64, '\0'));
    QFile out(path("props.mdb"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    EXPECT_EQ(firstField(out.fileName(), "Table1", "A"), "a");
}

TEST_F(DbTest, FaultHookSeesTheHostPathAndInjectsErrors) {
    const QString file = write({versionTable("Accesso", "4.5")});
    QString seen;
    env.setDatabaseOpen([&](const QString& hostPath) {
        seen = hostPath;
        vb::raise(err::ProviderFailed);
    });
    db::Connection cn;
    EXPECT_EQ(errorOf([&] { cn.Open(connectionString(file, {})); }), err::ProviderFailed);
    EXPECT_EQ(seen, file);
    EXPECT_FALSE(cn.isOpen());
}

// A compaction on another workstation rewrites the shared database in place while this one
// opens it. Each opening either reads a record or fails with an error; none may crash (the
// sanitizer build sees any read outside a page).
TEST_F(DbTest, FileRewrittenWhileItIsOpenedNeverCrashes) {
    const auto image = [&](const char* name, std::vector<jet::Table> tables) {
        QFile in(write(std::move(tables), name));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        return in.readAll();
    };
    jet::Table filler{"Altro", {{"Testo", jet::ColumnType::Text, 200}}, {}};
    for (int i = 0; i < 300; ++i)
        filler.rows.push_back({std::string(150, char('a' + i % 26))});
    // The same tables in another order, as a compaction may lay them out.
    const QByteArray before = image("prima.mdb", {versionTable("Accesso", "4.5"), filler});
    const QByteArray after = image("dopo.mdb", {filler, versionTable("Accesso", "4.6")});
    const QString file = path("quna.mdb");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(before);
    }

    // One rewrite runs alongside each opening: in place, page by page, sometimes cut short at
    // a random length or after emptying the file, as a rewrite seen half-way.
    std::atomic<bool> stop{false};
    std::atomic<int> openings{0};
    std::thread compaction([&] {
        std::mt19937 random(7);
        for (int done = 0; !stop;) {
            if (openings == done) {
                std::this_thread::yield();
                continue;
            }
            done = openings;
            const QByteArray& bytes = done % 2 ? after : before;
            const std::uint32_t how = random() % 4;
            QFile rewrite(file); // opened in place, not truncated unless asked
            if (!rewrite.open(QIODevice::ReadWrite)) continue;
            if (how == 0) rewrite.resize(0);
            const qsizetype end =
                how <= 1 ? qsizetype(random() % std::uint32_t(bytes.size())) : bytes.size();
            for (qsizetype at = 0; at < end; at += 4096) {
                const auto n = std::min<qsizetype>(4096, end - at);
                if (!rewrite.seek(at) || rewrite.write(bytes.constData() + at, n) < 0) break;
                rewrite.flush();
                std::this_thread::yield();
            }
            if (how != 1) rewrite.resize(end);
        }
    });
    int read = 0;
    for (int i = 0; i < 300; ++i) {
        ++openings;
        try {
            const Variant v = firstField(file, "Accesso", "Versione");
            read += v.is<QString>();
        } catch (const vb::VbError&) {
        }
    }
    stop = true;
    compaction.join();
    RecordProperty("records read", read);

    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(after);
    out.close();
    EXPECT_EQ(firstField(file, "Accesso", "Versione"), "4.6");
}

// Little-endian fields of a file image, for the damage done below.
quint32 get16(const QByteArray& b, qsizetype at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8;
}
quint32 get32(const QByteArray& b, qsizetype at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}
void put16(QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8 & 0xFF);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// Where the structures of a Jet 4 file image lie, found as the reader finds them.
struct Image {
    QByteArray bytes;
    static constexpr int page = 4096, rowCount = 12;
    quint32 tdef(const char* table) {
        const auto header = db::jet::readHeader(bytes.left(db::jet::headerBytes));
        db::jet::MemoryPages pages(bytes, header->pageSize);
        return db::jet::Reader(pages, *header).findTable(table)->tdefPage;
    }
    qsizetype dataPage(quint32 owner) const { // the first data page the table owns
        for (qsizetype p = 1; p < bytes.size() / page; ++p)
            if (bytes[p * page] == 0x01 && get32(bytes, p * page + 4) == owner) return p;
        return -1;
    }
    qsizetype rowOffsetAt(qsizetype dataPage, int row) const {
        return dataPage * page + rowCount + 2 + 2 * row;
    }
    qsizetype rowAt(qsizetype dataPage, int row) const {
        return dataPage * page + (get16(bytes, rowOffsetAt(dataPage, row)) & 0x1FFF);
    }
    qsizetype find(const QByteArray& what) const { return bytes.indexOf(what); }
};

// The reader follows what Jet leaves in a file (moved and deleted rows) and fails with the
// provider's error, never a crash or a hang, on structures that point astray or loop.
TEST_F(DbTest, RowAndPageStructures) {
    using jet::ColumnType;
    const std::string memo(9000, 'm'); // 18,000 bytes: a chain of long-value rows
    jet::Table accesso{"Accesso",
                       {{"Versione", ColumnType::Text, 20}, {"Note", ColumnType::Memo}},
                       {{std::string("4.5"), memo}, {std::string("4.4"), std::string("b")}}};
    jet::Table altro{"Altro",
                     {{"Versione", ColumnType::Text, 20}, {"Note", ColumnType::Memo}},
                     {{std::string("4.6"), std::string("c")}}};
    QFile in(write({accesso, altro}, "base.mdb"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray base = in.readAll();
    const QByteArray memoField = QByteArray::fromHex("50460000"); // 18,000, in a chain

    struct Case {
        const char* what;
        std::function<void(Image&)> damage;
        Variant expected; // Versione of the first row; an Integer is the error expected
    };
    const Case cases[] = {
        {"as written", [](Image&) {}, "4.5"},
        {"first row deleted",
         [](Image& i) {
             const qsizetype p = i.dataPage(i.tdef("Accesso"));
             put16(i.bytes, i.rowOffsetAt(p, 0), get16(i.bytes, i.rowOffsetAt(p, 0)) | 0xC000);
         },
         "4.4"},
        {"first row moved to another page",
         [](Image& i) {
             const qsizetype p = i.dataPage(i.tdef("Accesso")), q = i.dataPage(i.tdef("Altro"));
             put32(i.bytes, i.rowAt(p, 0), quint32(q) << 8);
             put16(i.bytes, i.rowOffsetAt(p, 0), get16(i.bytes, i.rowOffsetAt(p, 0)) | 0x4000);
         },
         "4.6"},
        {"moved row pointing at itself",
         [](Image& i) {
             const qsizetype p = i.dataPage(i.tdef("Accesso"));
             put32(i.bytes, i.rowAt(p, 0), quint32(p) << 8);
             put16(i.bytes, i.rowOffsetAt(p, 0), get16(i.bytes, i.rowOffsetAt(p, 0)) | 0x4000);
         },
         err::ProviderFailed},
        {"row count past the page",
         [](Image& i) { put16(i.bytes, i.dataPage(i.tdef("Accesso")) * Image::page + 12, 4000); },
         err::ProviderFailed},
        {"catalog definition continued on itself",
         [](Image& i) { put32(i.bytes, 2 * 4096 + 4, 2); }, err::ProviderFailed},
        {"table definition continued on itself",
         [](Image& i) {
             const quint32 t = i.tdef("Accesso");
             put32(i.bytes, t * Image::page + 4, t);
         },
         err::ProviderFailed},
        {"table definition continued past the file",
         [](Image& i) { put32(i.bytes, i.tdef("Accesso") * Image::page + 4, 0x7FFFFF); },
         err::ProviderFailed},
        {"usage map of an unknown kind",
         [](Image& i) {
             const quint32 map = get32(i.bytes, i.tdef("Accesso") * Image::page + 55);
             i.bytes[i.rowAt(map >> 8, int(map & 0xFF))] = 7;
         },
         err::ProviderFailed},
        {"reference map naming a page past the file",
         [](Image& i) {
             const quint32 map = get32(i.bytes, i.tdef("Accesso") * Image::page + 55);
             const qsizetype at = i.rowAt(map >> 8, int(map & 0xFF));
             i.bytes[at] = 1;
             put32(i.bytes, at + 1, 0x7FFFFF);
         },
         err::ProviderFailed},
        {"memo chain that loops",
         [&](Image& i) {
             const quint32 first = get32(i.bytes, i.find(memoField) + 4);
             put32(i.bytes, i.rowAt(first >> 8, int(first & 0xFF)), first);
         },
         err::ProviderFailed},
        {"memo pointing past the file",
         [&](Image& i) { put32(i.bytes, i.find(memoField) + 4, 0x7FFFFF00); }, err::ProviderFailed},
        {"memo longer than its chain", [&](Image& i) { i.bytes[i.find(memoField) + 2] = 0x10; },
         err::ProviderFailed},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image image{base};
        c.damage(image);
        const QString file = path(("s" + std::to_string(n++) + ".mdb").c_str());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(image.bytes);
        out.close();
        if (c.expected.is<QString>())
            EXPECT_EQ(firstField(file, "Accesso", "Versione"), c.expected);
        else
            EXPECT_EQ(errorOf([&] { firstField(file, "Accesso", "Versione"); }),
                      std::get<std::int32_t>(c.expected.value()));
    }
    EXPECT_EQ(firstField(path("s0.mdb"), "Accesso", "Note"), QString::fromStdString(memo));
}

TEST_F(DbTest, LargeTableGivesItsFirstRow) {
    jet::Table table = versionTable("Accesso", "row 0");
    for (int i = 1; i < 2000; ++i)
        table.rows.push_back({"row " + std::to_string(i), jet::DateTime{40000.0 + i}});
    const QString file = write({table});
    EXPECT_EQ(firstField(file, "Accesso", "Versione"), "row 0");
    EXPECT_EQ(firstField(file, "Accesso", "dataver"), vb::dateTime(2024, 3, 15, 10, 30, 0));
}

} // namespace
