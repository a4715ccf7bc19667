// The archive component on archives made by the zip tools in use (Info-ZIP, bsdtar, 7-Zip
// and libzip), over a temporary folder mapped as drive C:.
#include "platform/fs/environment.h"
#include "platform/zip/archive.h"
#include "platform/zip/staging.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"
#include "support/error_of.h"
#include "support/scratch.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <iconv.h>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

// Failure messages show names and contents as text.
inline std::ostream& operator<<(std::ostream& os, const QString& s) {
    return os << s.toStdString();
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << b.toStdString() << '"';
}

namespace {

// An entry written through libzip: raw name bytes, the host system and attributes.
struct RawEntry {
    QByteArray name;
    QByteArray data;
    zip_uint8_t opsys = ZIP_OPSYS_UNIX;
    zip_uint32_t attributes = 0100644u << 16;
    zip_flags_t encoding = ZIP_FL_ENC_GUESS;
};

class ZipTest : public ::testing::Test, protected Scratch {
protected:
    void SetUp() override {
        // DOS times are local times; a zone with daylight saving time makes that visible.
        setenv("TZ", "Europe/Rome", 1);
        tzset();
        ASSERT_TRUE(temp.isValid());
        QDir(root).mkpath("src");
        QDir(root).mkpath("dest");
        env.setDrives({{u'C', root, "test"}});
    }

    fs::Environment env;

    // Runs a shell command in src/; false when it failed.
    bool run(const QString& command) const {
        const QString line = "cd '" + path("src") + "' && " + command + " >/dev/null 2>&1";
        return std::system(line.toLocal8Bit().constData()) == 0;
    }
    static bool have(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }

    void makeWithLibzip(const QString& relative, const std::vector<RawEntry>& entries) const {
        int error = 0;
        zip_t* za = zip_open(QFile::encodeName(path(relative)).constData(),
                             ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(za, nullptr);
        for (const RawEntry& e : entries) {
            zip_source_t* src = zip_source_buffer(za, e.data.constData(), e.data.size(), 0);
            const zip_int64_t i = zip_file_add(za, e.name.constData(), src, e.encoding);
            ASSERT_GE(i, 0) << e.name.constData();
            zip_file_set_external_attributes(za, i, 0, e.opsys, e.attributes);
        }
        ASSERT_EQ(zip_close(za), 0);
    }

    // Every file and folder below dest/ with its contents (folders end in "/"), staging
    // folders included so that a leftover shows.
    QMap<QString, QByteArray> tree() const {
        QMap<QString, QByteArray> result;
        QDirIterator it(path("dest"), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const QString relative = QDir(path("dest")).relativeFilePath(info.filePath());
            if (info.isSymLink())
                result[relative + "@"] = "";
            else if (info.isDir())
                result[relative + "/"] = "";
            else
                result[relative] = read("dest/" + relative);
        }
        return result;
    }

    // Opens, extracts the listed texts and closes; the first error number, or 0.
    std::int32_t extract(const QString& archive, const QStringList& texts) {
        return errorOf([&] {
            zipc::Archive a;
            a.OpenArchive("C:\\" + archive);
            a.DestinationFolder("C:\\dest");
            std::int32_t first = 0;
            for (const QString& t : texts) {
                const std::int32_t e = errorOf([&] { a.ExtractEntry(t); });
                if (!first) first = e;
            }
            a.CloseArchive();
            if (first) throw vb::VbError(first);
        });
    }
};

// One source tree packed by each tool: the names, the folder bit and the sizes come out the
// same.
TEST_F(ZipTest, ListsWhatEachToolWrote) {
    write("src/dir/a.txt", QByteArray(1000, 'a'));
    write("src/perché.txt", "x");
    QDir().mkpath(path("src/dir/sub"));
    struct Case {
        const char *tool, *command;
        bool folders;
    } cases[] = {
        {"zip", "zip -qr ../a.zip dir perché.txt", true},
        {"zip", "zip -qr -0 ../a.zip dir perché.txt", true},
        {"zip", "zip -qrD ../a.zip dir perché.txt", false},
        {"zip", "zip -qr -fz ../a.zip dir perché.txt", true},
        {"zip", "zip -qr ../a.zip dir perché.txt && echo Quna | zip -qz ../a.zip", true},
        {"bsdtar", "bsdtar -cf ../a.zip --format zip dir perché.txt", true},
        {"7zz", "7zz a -tzip ../a.zip dir perché.txt", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        if (!have(c.tool)) GTEST_SKIP() << c.tool << " missing";
        QFile::remove(path("a.zip"));
        ASSERT_TRUE(run(QString::fromUtf8(c.command)));
        zipc::Archive a;
        a.OpenArchive("c:\\A.ZIP");
        QMap<QString, std::int32_t> listed; // name -> folder bit
        for (std::int32_t i = 0; i < vb::clng(a.EntryCount()); ++i) {
            const QString name = vb::cstr(a.EntryName(i));
            listed[name] = vb::clng(a.EntryAttributes(i)) & 0x10;
            if (name != "dir/a.txt") continue;
            EXPECT_TRUE(a.EntrySize(i).is<double>()); // Long would overflow past 2 GB
            EXPECT_EQ(vb::cdbl(a.EntrySize(i)), 1000.0);
            const bool stored = QByteArray(c.command).contains("-0");
            EXPECT_EQ(vb::cdbl(a.EntryCompressedSize(i)) == 1000.0, stored);
        }
        QMap<QString, std::int32_t> expected{{"dir/a.txt", 0}, {"perché.txt", 0}};
        if (c.folders) expected.insert({{"dir/", 0x10}, {"dir/sub/", 0x10}});
        EXPECT_EQ(listed, expected);
        a.CloseArchive();
    }
}

// The component reads the central directory itself and libzip reads the entry data: both must
// see the same entries, whichever tool wrote the archive.
TEST_F(ZipTest, ListingAgreesWithLibzip) {
    write("src/dir/a.txt", QByteArray(100000, 'a'));
    write("src/dir/b.bin", QByteArray::fromRawData("\x01\x02\x03", 3).repeated(5000));
    write("src/perché.txt", "x");
    QDir().mkpath(path("src/dir/sub"));
    ASSERT_TRUE(run("touch -d '2007-02-18 10:20:31' dir/a.txt"));
    std::vector<RawEntry> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back({"f" + QByteArray::number(i) + ".txt", QByteArray::number(i)});
    makeWithLibzip("libzip.zip", many);
    struct Case {
        const char *tool, *command;
    } cases[] = {
        {"zip", "zip -qr ../a.zip dir perché.txt"},
        {"zip", "zip -qr -fz ../a.zip dir perché.txt"},
        {"zip", "zip -qr ../a.zip dir perché.txt && echo Quna | zip -qz ../a.zip"},
        {"bsdtar", "bsdtar -cf ../a.zip --format zip dir perché.txt"},
        {"7zz", "7zz a -tzip ../a.zip dir perché.txt"},
        {"cp", "cp ../libzip.zip ../a.zip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        if (!have(c.tool)) continue;
        QFile::remove(path("a.zip"));
        ASSERT_TRUE(run(QString::fromUtf8(c.command)));
        int error = 0;
        zip_t* za = zip_open(QFile::encodeName(path("a.zip")).constData(), ZIP_RDONLY, &error);
        ASSERT_NE(za, nullptr);
        zipc::Archive a;
        a.OpenArchive("C:\\a.zip");
        const std::int32_t count = vb::clng(a.EntryCount());
        ASSERT_EQ(count, zip_get_num_entries(za, 0));
        QStringList texts;
        for (std::int32_t i = 0; i < count; ++i) {
            zip_stat_t st;
            ASSERT_EQ(zip_stat_index(za, zip_uint64_t(i), 0, &st), 0);
            const QString name = vb::cstr(a.EntryName(i));
            if (qstrlen(st.name) == std::size_t(name.size())) { // ASCII: no encoding question
                EXPECT_EQ(name, QString::fromUtf8(st.name));
            }
            EXPECT_EQ(vb::cdbl(a.EntrySize(i)), double(st.size)) << name;
            EXPECT_EQ(vb::cdbl(a.EntryCompressedSize(i)), double(st.comp_size)) << name;
            struct tm t {};
            ASSERT_NE(localtime_r(&st.mtime, &t), nullptr);
            const vb::DateParts p = vb::parts(vb::cdate(a.EntryDate(i)));
            EXPECT_EQ(std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second),
                      std::tie(t.tm_year += 1900, t.tm_mon += 1, t.tm_mday, t.tm_hour, t.tm_min,
                               t.tm_sec))
                << name;
            texts << (vb::clng(a.EntryAttributes(i)) & 0x10 ? name + "%" : name);
        }
        zip_discard(za);
        QDir(path("dest")).removeRecursively();
        QDir().mkpath(path("dest"));
        EXPECT_EQ(extract("a.zip", texts), 0);
    }
    EXPECT_EQ(read("dest/f2999.txt"), "2999");
}

// The end record is found from the end of the file, also when the archive comment contains
// something that looks like one.
TEST_F(ZipTest, CommentHoldingAnEndRecordSignature) {
    makeWithLibzip("a.zip", {{"a.txt", "a"}, {"b.txt", "b"}});
    QByteArray bytes = read("a.zip");
    // A fake end record for no entries, its own comment running exactly to the end of the file.
    const QByteArray fake =
        QByteArray("PK\x05\x06", 4) + QByteArray(16, '\0') + QByteArray("\x02\x00", 2) + "xy";
    const QByteArray comment = "Quna " + fake;
    bytes[bytes.size() - 2] = char(comment.size());
    write("a.zip", bytes + comment);
    zipc::Archive a;
    a.OpenArchive("C:\\a.zip");
    EXPECT_EQ(vb::clng(a.EntryCount()), 2);
    EXPECT_EQ(vb::cstr(a.EntryName(1)), "b.txt");
}

// Names not flagged UTF-8 from Windows tools are code page 437, byte for byte as the C
// library's converter reads them.
TEST_F(ZipTest, CodePage437MatchesIconv) {
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += char(b);
    makeWithLibzip("a.zip", {{high, "x", ZIP_OPSYS_DOS, 0x20, ZIP_FL_ENC_CP437}});
    iconv_t cd = iconv_open("UTF-8", "CP437");
    ASSERT_NE(cd, iconv_t(-1));
    QByteArray utf8(high.size() * 4, '\0');
    char* in = high.data();
    char* out = utf8.data();
    std::size_t inLeft = std::size_t(high.size()), outLeft = std::size_t(utf8.size());
    ASSERT_NE(iconv(cd, &in, &inLeft, &out, &outLeft), std::size_t(-1));
    iconv_close(cd);
    utf8.truncate(utf8.size() - qsizetype(outLeft));
    zipc::Archive a;
    a.OpenArchive("C:\\a.zip");
    EXPECT_EQ(vb::cstr(a.EntryName(0)), QString::fromUtf8(utf8));
}

// An archive replaced between the listing and the extraction is not extracted from.
TEST_F(ZipTest, ArchiveChangedAfterOpeningIsRefused) {
    makeWithLibzip("a.zip", {{"a.txt", "old"}, {"b.txt", "b"}});
    makeWithLibzip("other.zip", {{"a.txt", "replaced"}, {"b.txt", "b"}});
    zipc::Archive a;
    a.OpenArchive("C:\\a.zip");
    ASSERT_TRUE(QFile::remove(path("a.zip")) && QFile::rename(path("other.zip"), path("a.zip")));
    a.DestinationFolder("C:\\dest");
    EXPECT_EQ(errorOf([&] { a.ExtractEntry("a.txt"); }), vb::err::NotAnArchive);
    a.CloseArchive();
    EXPECT_TRUE(tree().isEmpty());
}

// Accented names in the encodings tools write them in.
TEST_F(ZipTest, DecodesNamesAsTheArchiveDeclares) {
    // The Unicode path extra field: version 1, CRC-32 of the stored name, the UTF-8 name.
    const QByteArray cp437 = "citt\x85.txt";
    QByteArray unicodePath("\x01", 1);
    const zip_uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(cp437.constData()),
                                   static_cast<uInt>(cp437.size()));
    for (int b = 0; b < 4; ++b)
        unicodePath += char((crc >> (8 * b)) & 0xFF);
    unicodePath += "città.txt";

    makeWithLibzip("a.zip", {{"perché.txt", "1"}, // UTF-8 flagged
                             {"caff\x8A.txt", "2", ZIP_OPSYS_DOS, 0x20, ZIP_FL_ENC_CP437},
                             {cp437, "3", ZIP_OPSYS_DOS, 0x20, ZIP_FL_ENC_CP437},
                             {"@@.txt", "4", ZIP_OPSYS_DOS, 0x20}});
    {
        // libzip keeps the Unicode path field to itself: write it under another id, then
        // patch the id in the local and the central header.
        int error = 0;
        zip_t* za = zip_open(QFile::encodeName(path("a.zip")).constData(), 0, &error);
        ASSERT_EQ(zip_file_extra_field_set(
                      za, 2, 0x7074, ZIP_EXTRA_FIELD_NEW,
                      reinterpret_cast<const zip_uint8_t*>(unicodePath.constData()),
                      static_cast<zip_uint16_t>(unicodePath.size()), ZIP_FL_CENTRAL | ZIP_FL_LOCAL),
                  0);
        ASSERT_EQ(zip_close(za), 0);
        QByteArray bytes = read("a.zip");
        const QByteArray header = QByteArray("\x74\x70", 2) + char(unicodePath.size()) + '\0';
        ASSERT_EQ(bytes.count(header + unicodePath), 2);
        // A Windows name whose bytes happen to be valid UTF-8 (libzip would not write it).
        bytes.replace("@@.txt", "\xC3\xA9.txt");
        bytes.replace(header + unicodePath,
                      QByteArray("\x75\x70", 2) + header.mid(2) + unicodePath);
        write("a.zip", bytes);
    }
    write("src/perché.txt", "5"); // Info-ZIP on Unix: UTF-8 as in the locale, not flagged
    ASSERT_TRUE(run("zip -q ../b.zip perché.txt"));

    zipc::Archive a;
    a.OpenArchive("C:\\a.zip");
    EXPECT_EQ(vb::cstr(a.EntryName(0)), "perché.txt");
    EXPECT_EQ(vb::cstr(a.EntryName(1)), "caffè.txt");
    EXPECT_EQ(vb::cstr(a.EntryName(2)), "città.txt");
    EXPECT_EQ(vb::cstr(a.EntryName(3)), "├⌐.txt"); // from Windows: code page 437 only
    a.OpenArchive("C:\\b.zip");
    EXPECT_EQ(vb::cstr(a.EntryName(0)), "perché.txt");
}

TEST_F(ZipTest, AttributesOfWindowsAndUnixEntries) {
    makeWithLibzip("a.zip", {{"ro.txt", "", ZIP_OPSYS_DOS, 0x21},
                             {"ntfs\\", "", ZIP_OPSYS_WINDOWS_NTFS, 0x10},
                             {"nobit\\", "", ZIP_OPSYS_DOS, 0x00},
                             {"ro-unix.txt", "", ZIP_OPSYS_UNIX, 0100444u << 16},
                             {"rw-unix.txt", "", ZIP_OPSYS_UNIX, 0100600u << 16},
                             {"no-mode.txt", "", ZIP_OPSYS_UNIX, 0}});
    const std::int32_t expected[] = {0x21, 0x10, 0x10, 0x21, 0x20, 0x20};
    zipc::Archive a;
    a.OpenArchive("C:\\a.zip");
    for (std::int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(vb::clng(a.EntryAttributes(i)), expected[i]) << vb::cstr(a.EntryName(i));
}

TEST_F(ZipTest, DateIsTheStoredLocalTime) {
    struct Case {
        const char* touch;
        vb::DateParts shown;
    } cases[] = {
        {"2007-02-18 10:20:30", {2007, 2, 18, 10, 20, 30}},
        {"2007-07-18 23:59:58", {2007, 7, 18, 23, 59, 58}}, // summer time
        {"1999-12-31 00:00:00", {1999, 12, 31, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        write("src/f.txt", "x");
        ASSERT_TRUE(run(QString("touch -d '%1' f.txt && rm -f ../a.zip && zip -q ../a.zip f.txt")
                            .arg(c.touch)));
        zipc::Archive a;
        a.OpenArchive("C:\\a.zip");
        const vb::DateParts p = vb::parts(vb::cdate(a.EntryDate(0)));
        EXPECT_EQ(std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second),
                  std::tie(c.shown.year, c.shown.month, c.shown.day, c.shown.hour, c.shown.minute,
                           c.shown.second))
            << c.touch;
    }
}

TEST_F(ZipTest, OpenRefusesWhatIsNoArchive) {
    write("src/f.txt", QByteArray(5000, 'f'));
    ASSERT_TRUE(run("zip -q ../good.zip f.txt && zip -q ../e.zip f.txt && zip -qd ../e.zip f.txt"));
    const QByteArray good = read("good.zip");
    write("qn45070218.zip", "Questo non è un archivio zip\r\n");
    write("empty.zip", "");
    QDir().mkpath(path("folder.zip"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.zip")).constData(), 0600), 0);
    write("truncated.zip", good.left(good.size() / 2));
    QByteArray damaged = good;
    damaged[damaged.indexOf("PK\x01\x02")] = 'X'; // central directory header signature
    write("damaged.zip", damaged);
    struct Case {
        const char* name;
        std::int32_t error;
    } cases[] = {
        {"missing.zip", vb::err::FileNotFound}, {"qn45070218.zip", vb::err::NotAnArchive},
        {"empty.zip", vb::err::NotAnArchive},   {"folder.zip", vb::err::NotAnArchive},
        {"fifo.zip", vb::err::NotAnArchive},    {"truncated.zip", vb::err::NotAnArchive},
        {"damaged.zip", vb::err::NotAnArchive}, {"good.zip", 0},
    };
    for (const Case& c : cases) {
        zipc::Archive a;
        EXPECT_EQ(errorOf([&] { a.OpenArchive(QString("C:\\") + c.name); }), c.error) << c.name;
        EXPECT_EQ(a.isOpen(), c.error == 0) << c.name;
    }
    zipc::Archive a;
    a.OpenArchive("C:\\e.zip");
    EXPECT_EQ(vb::clng(a.EntryCount()), 0);
}

// Damage to the directory records: each makes the file no readable archive, while bytes
// appended after a sound archive do not.
TEST_F(ZipTest, DamagedDirectoryRecords) {
    makeWithLibzip("good.zip", {{"a.txt", "a"}, {"b.txt", "b"}});
    const QByteArray good = read("good.zip");
    const qsizetype end = good.size() - 22; // no comment: the end record closes the file
    const auto u32At = [&](qsizetype at) {
        return qsizetype(quint8(good[at]) | quint8(good[at + 1]) << 8 | quint8(good[at + 2]) << 16 |
                         quint32(quint8(good[at + 3])) << 24);
    };
    const qsizetype directory = u32At(end + 16);
    const auto patched = [&](qsizetype at, const QByteArray& bytes) {
        return QByteArray(good).replace(at, bytes.size(), bytes);
    };
    struct Case {
        const char* what;
        QByteArray bytes;
        std::int32_t error;
    } cases[] = {
        {"second disk", patched(end + 4, QByteArray("\x01", 1)), vb::err::NotAnArchive},
        {"one entry more than written", patched(end + 10, QByteArray("\x03", 1)),
         vb::err::NotAnArchive},
        {"directory offset off by one", patched(end + 16, QByteArray(1, char(directory + 1))),
         vb::err::NotAnArchive},
        {"directory running into the end record", patched(end + 12, QByteArray("\xFF\x00", 2)),
         vb::err::NotAnArchive},
        {"extra field past the header", patched(directory + 30, QByteArray("\xFF\x00", 2)),
         vb::err::NotAnArchive},
        {"flagged UTF-8, not UTF-8",
         patched(directory + 8, QByteArray("\x00\x08", 2)).replace("a.txt", "\xE0.txt"),
         vb::err::NotAnArchive},
        {"Zip64 locator pointing nowhere",
         good.left(end) + QByteArray("PK\x06\x07", 4) + QByteArray(4, '\0') +
             QByteArray("\x00\x00\x00\x10", 4) + QByteArray(4, '\0') + QByteArray("\x01\0\0\0", 4) +
             good.mid(end),
         vb::err::NotAnArchive},
        {"bytes appended", good + "trailing bytes", 0},
        {"sound", good, 0},
    };
    for (const Case& c : cases) {
        write("a.zip", c.bytes);
        zipc::Archive a;
        EXPECT_EQ(errorOf([&] { a.OpenArchive("C:\\a.zip"); }), c.error) << c.what;
        if (c.error == 0) {
            EXPECT_EQ(vb::clng(a.EntryCount()), 2) << c.what;
        }
    }
}

TEST_F(ZipTest, MembersNeedAnOpenArchiveAndAValidIndex) {
    zipc::Archive a;
    EXPECT_EQ(errorOf([&] { a.EntryCount(); }), vb::err::InvalidCall);
    EXPECT_EQ(errorOf([&] { a.ExtractEntry("x"); }), vb::err::InvalidCall);
    EXPECT_EQ(errorOf([&] { a.CloseArchive(); }), 0);
    makeWithLibzip("a.zip", {{"x", "1"}});
    a.OpenArchive("C:\\a.zip");
    EXPECT_EQ(errorOf([&] { a.EntryName(1); }), vb::err::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { a.EntryDate(-1); }), vb::err::SubscriptOutOfRange);
}

TEST_F(ZipTest, ExtractsIntoPlaceReplacingExistingFiles) {
    write("src/QUNA.EXE", "new program");
    write("src/Dati/Config.dat", "new config");
    QDir().mkpath(path("src/Vuota"));
    ASSERT_TRUE(run("chmod 750 QUNA.EXE && zip -qr ../a.zip QUNA.EXE Dati Vuota"));
    write("dest/quna.exe", "old program");
    write("dest/dati/config.dat", "old config");
    write("dest/other.txt", "untouched");

    EXPECT_EQ(extract("a.zip", {"QUNA.EXE", "Dati/Config.dat", "Vuota/%"}), 0);
    const QMap<QString, QByteArray> expected{{"quna.exe", "new program"},
                                             {"dati/", ""},
                                             {"dati/config.dat", "new config"},
                                             {"other.txt", "untouched"},
                                             {"Vuota/", ""}};
    EXPECT_EQ(tree(), expected);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path("dest/quna.exe")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

TEST_F(ZipTest, ModeComesFromTheArchiveOrTheReplacedFile) {
    write("src/suid", "s");
    write("src/shared", "s");
    // 0666 has bits that the usual creation mask (022) takes away at creation.
    ::umask(022);
    ASSERT_TRUE(run("chmod 4755 suid && chmod 666 shared && zip -q ../a.zip suid shared"));
    makeWithLibzip("b.zip",
                   {{"old.txt", "n", ZIP_OPSYS_DOS, 0x20}, {"new.txt", "n", ZIP_OPSYS_DOS, 0x20}});
    write("dest/old.txt", "o");
    ::chmod(QFile::encodeName(path("dest/old.txt")).constData(), 0600);
    EXPECT_EQ(extract("a.zip", {"suid", "shared"}), 0);
    EXPECT_EQ(extract("b.zip", {"old.txt", "new.txt"}), 0);
    const struct {
        const char* file;
        mode_t mode;
    } cases[] = {{"suid", 0755}, {"shared", 0666}, {"old.txt", 0600}, {"new.txt", 0644}};
    for (const auto& c : cases) {
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(path("dest/") + c.file).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.file;
    }
}

// Whatever goes wrong with one entry, nothing of the archive reaches the destination.
TEST_F(ZipTest, RefusedEntriesLeaveTheDestinationUntouched) {
    write("dest/keep.txt", "keep");
    write("outside/secret", "secret");
    const std::vector<RawEntry> unsafe = {
        {"../x", "x"},
        {"..\\x", "x"},
        {"/abs", "x"},
        {"\\abs", "x"},
        {"C:x", "x"},
        {"\\\\server\\x", "x"},
        {"//server/x", "x"},
        {"a/../../x", "x"},
        {"sub\\..\\..\\x", "x"},
        {".QUNA-STAGING-1/n1", "x"},
    };
    for (const RawEntry& e : unsafe) {
        makeWithLibzip("a.zip", {{"good.txt", "g"}, e});
        EXPECT_EQ(extract("a.zip", {"good.txt", QString::fromUtf8(e.name)}),
                  vb::err::PathFileAccess)
            << e.name.constData();
    }
    ASSERT_TRUE(run("ln -s ../outside/secret link && echo g > good.txt && "
                    "zip -qy ../link.zip good.txt link"));
    EXPECT_EQ(extract("link.zip", {"good.txt", "link"}), vb::err::PathFileAccess);
    // A row the archive does not hold is not passed over as a missing file would be.
    EXPECT_EQ(extract("link.zip", {"good.txt", "nessuna.txt"}), vb::err::ItemNotFound);

    // A symbolic link already in the destination is not followed.
    ASSERT_TRUE(run("ln -s ../outside ../dest/lib && mkdir lib && echo x > lib/secret && "
                    "zip -q ../lib.zip good.txt lib/secret"));
    EXPECT_EQ(extract("lib.zip", {"good.txt", "lib/secret"}), vb::err::PathFileAccess);

    const QMap<QString, QByteArray> expected{{"keep.txt", "keep"}, {"lib@", ""}};
    EXPECT_EQ(tree(), expected);
    EXPECT_EQ(read("outside/secret"), "secret");
}

// Entry data is read through a window of the archive file: entries smaller and larger than
// it, and across its edges, come out whole in archive order and in the reverse order in which
// the window extracts its listed rows.
TEST_F(ZipTest, ReadsEveryEntryInEitherOrder) {
    std::mt19937 random(7);
    std::vector<RawEntry> entries;
    QStringList names;
    for (const int size : {100, 70000, 300000, 5, 900000, 250000, 64, 270000, 1}) {
        QByteArray data(size, Qt::Uninitialized);
        for (char& c : data)
            c = char(random());
        const QByteArray name = "f" + QByteArray::number(entries.size());
        entries.push_back({name, data});
        names << QString::fromLatin1(name);
    }
    makeWithLibzip("a.zip", entries);
    for (const bool reverse : {false, true}) {
        QDir(path("dest")).removeRecursively();
        QDir().mkpath(path("dest"));
        QStringList texts = names;
        if (reverse) std::reverse(texts.begin(), texts.end());
        EXPECT_EQ(extract("a.zip", texts), 0) << reverse;
        for (const RawEntry& e : entries)
            EXPECT_EQ(read("dest/" + QString::fromLatin1(e.name)), e.data)
                << e.name.constData() << (reverse ? " reverse" : "");
    }
}

// A listed text finds its entry as written, else by reading "\\" and "/" alike; of several
// such entries the first.
TEST_F(ZipTest, FindsEntriesWithEitherSeparator) {
    makeWithLibzip("a.zip", {{"a/b.txt", "1"},
                             {"c\\d.txt", "2"},
                             {"e/f.txt", "3"},
                             {"e\\f.txt", "4"},
                             {"g\\h.txt", "5"},
                             {"g/h.txt", "6"},
                             {"m\\n\\o.txt", "7"},
                             {"m/n/o.txt", "8"}});
    const struct {
        const char* text;
        const char* written;
        const char* data;
    } cases[] = {
        {"a\\b.txt", "a/b.txt", "1"},     {"c/d.txt", "c/d.txt", "2"},
        {"e\\f.txt", "e/f.txt", "4"},     {"e/f.txt", "e/f.txt", "3"},
        {"g/h.txt", "g/h.txt", "6"},      {"e/F.txt", nullptr, nullptr},
        {"m\\n/o.txt", "m/n/o.txt", "7"},
    };
    for (const auto& c : cases) {
        QDir(path("dest")).removeRecursively();
        QDir().mkpath(path("dest"));
        EXPECT_EQ(extract("a.zip", {c.text}), c.written ? 0 : vb::err::ItemNotFound) << c.text;
        if (c.written) {
            EXPECT_EQ(read(QStringLiteral("dest/") + c.written), c.data) << c.text;
        }
    }
}

// Where an entry goes among names that differ only in case, and what stands in its way; the
// destination may also change between the extraction and the close.
TEST_F(ZipTest, TargetsAmongExistingNames) {
    struct Case {
        const char* existing; // ";"-separated; a folder ends in "/", a link is "name@target"
        QByteArray entry;
        std::int32_t error;
        const char* written; // where the entry's data is afterwards, when it succeeds
    } cases[] = {
        {"Dati/;dati/", "DATI/x.txt", 0, "Dati/x.txt"}, // the least spelling
        {"Dati/;dati/", "dati/x.txt", 0, "dati/x.txt"}, // as written when that exists
        {"dati/Sub/", "DATI/sub/X.TXT", 0, "dati/Sub/X.TXT"},
        {"dati/X.txt", "DATI/x.TXT", 0, "dati/X.txt"},
        {"dati", "dati/x.txt", vb::err::PathFileAccess, nullptr},
        {"x.txt/", "X.TXT", vb::err::PathFileAccess, nullptr},
        {"lib@../outside", "LIB/x.txt", vb::err::PathFileAccess, nullptr},
        {"dati/lib@../../outside", "Dati/Lib/x.txt", vb::err::PathFileAccess, nullptr},
    };
    for (const Case& c : cases) {
        QDir(path("dest")).removeRecursively();
        QDir().mkpath(path("dest"));
        for (const QString& name : QString::fromUtf8(c.existing).split(u';')) {
            if (name.contains(u'@')) {
                const QStringList link = name.split(u'@');
                QDir().mkpath(QFileInfo(path("dest/" + link[0])).path());
                ASSERT_TRUE(QFile::link(link[1], path("dest/" + link[0])));
            } else if (name.endsWith(u'/')) {
                QDir().mkpath(path("dest/" + name));
            } else {
                write("dest/" + name, "old");
            }
        }
        const QMap<QString, QByteArray> before = tree();
        makeWithLibzip("a.zip", {{c.entry, "new"}});
        EXPECT_EQ(extract("a.zip", {QString::fromUtf8(c.entry)}), c.error) << c.entry.constData();
        if (c.written) {
            EXPECT_EQ(read(QStringLiteral("dest/") + c.written), "new") << c.entry.constData();
            EXPECT_EQ(tree().size(), before.size() + (before.contains(c.written) ? 0 : 1))
                << c.entry.constData();
        } else {
            EXPECT_EQ(tree(), before) << c.entry.constData();
        }
    }

    // A file put where a staged entry's folder goes, after the extraction and before the close.
    QDir(path("dest")).removeRecursively();
    QDir().mkpath(path("dest"));
    makeWithLibzip("a.zip", {{"good.txt", "g"}, {"Nuova/x.txt", "x"}});
    const std::int32_t error = errorOf([&] {
        zipc::Archive a;
        a.OpenArchive("C:\\a.zip");
        a.DestinationFolder("C:\\dest");
        a.ExtractEntry("good.txt");
        a.ExtractEntry("Nuova/x.txt");
        write("dest/nuova", "in the way");
        a.CloseArchive();
    });
    EXPECT_EQ(error, vb::err::PathFileAccess);
    const QMap<QString, QByteArray> expected{{"nuova", "in the way"}};
    EXPECT_EQ(tree(), expected);
}

TEST_F(ZipTest, DamagedOrUnreadableDataIsRefused) {
    write("src/good.txt", "g");
    write("src/data.txt", QByteArray(4000, 'd'));
    ASSERT_TRUE(
        run("zip -q0 ../crc.zip good.txt data.txt && zip -q -P pw ../enc.zip good.txt data.txt"));
    QByteArray crc = read("crc.zip");
    crc[crc.indexOf(QByteArray(100, 'd')) + 50] = 'e';
    write("crc.zip", crc);
    const bool ppmd = have("7zz") && run("7zz a -tzip -mm=PPMd ../ppmd.zip good.txt data.txt");
    write("dest/data.txt", "old");
    struct Case {
        const char* archive;
        bool available;
    } cases[] = {{"crc.zip", true}, {"enc.zip", true}, {"ppmd.zip", ppmd}};
    for (const Case& c : cases) {
        if (!c.available) continue;
        EXPECT_EQ(extract(c.archive, {"good.txt", "data.txt"}), vb::err::NotAnArchive) << c.archive;
        EXPECT_EQ(tree(), (QMap<QString, QByteArray>{{"data.txt", "old"}})) << c.archive;
    }
}

TEST_F(ZipTest, DiskFullIsReportedAndCleanedUp) {
    if (::mount("tmpfs", QFile::encodeName(path("dest")).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    write("src/big", QByteArray(256 * 1024, 'b'));
    const bool made = run("zip -q ../a.zip big");
    const std::int32_t error = extract("a.zip", {"big"});
    const auto left = tree();
    ::umount(QFile::encodeName(path("dest")).constData());
    ASSERT_TRUE(made);
    EXPECT_EQ(error, vb::err::DiskFull);
    EXPECT_TRUE(left.isEmpty());
}

TEST_F(ZipTest, OpeningAnotherArchiveDiscardsPendingExtraction) {
    makeWithLibzip("a.zip", {{"a.txt", "a"}});
    makeWithLibzip("b.zip", {{"b.txt", "b"}});
    zipc::Archive a;
    a.OpenArchive("C:\\a.zip");
    a.DestinationFolder("C:\\dest");
    a.ExtractEntry("a.txt");
    ASSERT_FALSE(tree().isEmpty()); // a.txt waits, staged, in the destination
    ASSERT_FALSE(tree().contains("a.txt"));
    a.OpenArchive("C:\\b.zip");
    a.CloseArchive();
    EXPECT_TRUE(tree().isEmpty());
}

// A failure at any file-system step of an extraction leaves exactly the old or exactly the
// new installation.
TEST_F(ZipTest, FailureAtAnyStepLeavesOldOrNewSet) {
    write("src/QUNA.EXE", "new program");
    write("src/Dati/config.dat", "new config");
    write("src/Nuova/cartella/file.txt", "new file");
    ASSERT_TRUE(run("zip -qr ../a.zip QUNA.EXE Dati Nuova"));
    const QStringList texts = {"QUNA.EXE", "Dati/config.dat", "Nuova/", "Nuova/cartella/%",
                               "Nuova/cartella/file.txt"};
    const auto reset = [&] {
        QDir(path("dest")).removeRecursively();
        write("dest/quna.exe", "old program");
        write("dest/Dati/config.dat", "old config");
    };
    reset();
    const QMap<QString, QByteArray> oldSet = tree();
    int steps = 0;
    QByteArray commitList; // as a recovery after a kill would find it
    const QString list = "dest/" + QString(zipc::kStagingPrefix) + QString::number(::getpid()) +
                         "/" + zipc::kCommitList;
    env.setFault([&](int, const char* what) {
        ++steps;
        if (commitList.isEmpty() && QByteArray(what) == "move file into place")
            commitList = read(list);
    });
    ASSERT_EQ(extract("a.zip", texts), 0);
    EXPECT_EQ(commitList, "n1\tQUNA.EXE\nn2\tDati\\config.dat\n\tNuova\\\n\tNuova\\cartella\\\n"
                          "n3\tNuova\\cartella\\file.txt\n");
    const QMap<QString, QByteArray> newSet = tree();
    ASSERT_GT(steps, 8);

    for (int failAt = 1; failAt <= steps; ++failAt) {
        reset();
        int step = 0;
        env.setFault([&](int, const char* what) {
            if (++step == failAt) throw vb::VbError(vb::err::DeviceIo, what);
        });
        const std::int32_t error = extract("a.zip", texts);
        env.setFault({});
        const QMap<QString, QByteArray> now = tree();
        if (now == oldSet) {
            EXPECT_EQ(error, vb::err::DeviceIo) << "step " << failAt;
        } else {
            // Only the removal of the staging folder may fail after the new set is in place.
            QMap<QString, QByteArray> installed = now;
            installed.removeIf([](QMap<QString, QByteArray>::iterator it) {
                return it.key().startsWith(zipc::kStagingPrefix);
            });
            EXPECT_EQ(installed, newSet) << "step " << failAt;
            EXPECT_EQ(error, 0) << "step " << failAt;
        }
    }
}

} // namespace
