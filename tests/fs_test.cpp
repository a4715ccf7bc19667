// Windows paths over a temporary folder mapped as drive C:, and the file operations on it.
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/fs/internal.h"
#include "platform/vb/error.h"
#include "support/error_of.h"
#include "support/scratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

class FsTest : public ::testing::Test, protected Scratch {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        env.setDrives({{u'C', root, "test"}, {u'Z', "/", "/"}, {u'M', root + "/gone", "gone"}});
        env.resetCheckpoints();
    }
    void TearDown() override {
        QDir::setCurrent(startFolder);
        if (savedPrefix.isNull())
            qunsetenv("WINEPREFIX");
        else
            qputenv("WINEPREFIX", savedPrefix);
    }
    void folder(const QString& relative) const { QDir().mkpath(path(relative)); }
    // False when the file system refuses user extended attributes.
    bool setDosAttributes(const QString& relative, const QByteArray& value) const {
        return ::setxattr(QFile::encodeName(path(relative)).constData(), "user.DOSATTRIB",
                          value.constData(), value.size(), 0) == 0;
    }

    void link(const QString& target, const QString& relative) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(path(relative)).constData()),
                  0)
            << relative.toStdString();
    }
    // A Wine prefix "pfx" as an installation has it, with the updater in C:\QUNAWIN and the
    // host's own drive table in use (no WINEPREFIX).
    void makePrefix() {
        folder("pfx/drive_c/QUNAWIN/DATI");
        write("pfx/drive_c/QUNAWIN/DATI/quna.mdb", "x");
        folder("share/QUNA");
        write("share/QUNA/x.txt", "x");
        write("file.txt", "x");
        folder("lower");
        folder("upper");
        link("../drive_c", "pfx/dosdevices/c:");
        link("/", "pfx/dosdevices/z:");
        link(path("share"), "pfx/dosdevices/S:"); // upper case, as some tools write them
        link(path("missing"), "pfx/dosdevices/d:");
        link("e:", "pfx/dosdevices/e:"); // a link to itself
        link(path("file.txt"), "pfx/dosdevices/f:");
        link(path("lower"), "pfx/dosdevices/h:");
        link(path("upper"), "pfx/dosdevices/H:"); // Wine's lower-case spelling wins
        link("/dev/null", "pfx/dosdevices/d::");  // a device, not a drive
        link("/dev/ttyS0", "pfx/dosdevices/com1");
        link(path("share/QUNA"), "pfx/dosdevices/unc/server/quna");
        link(path("share"), "pfx/dosdevices/unc/Server2/Docs");
        qunsetenv("WINEPREFIX");
        env.setProgramFolder(path("pfx/drive_c/QUNAWIN"));
        env.setDrives({});
    }

    QString startFolder = QDir::currentPath();
    QByteArray savedPrefix = qgetenv("WINEPREFIX");
    fs::Environment env;
};

TEST_F(FsTest, ResolvesComponentsIgnoringCase) {
    write("Quna/Config.DAT", "x");
    write("config.dat", "x");
    write("quna.old", "x");
    write("Readme.txt", "x");
    write("README.TXT", "x");
    folder("Quna/Data");
    struct Case {
        const char* windows;
        const char* host; // relative to the drive root
    } cases[] = {
        {"C:\\Quna\\Config.DAT", "Quna/Config.DAT"},
        {"c:\\QUNA\\config.dat", "Quna/Config.DAT"},
        {"C:/quna/data", "Quna/Data"},
        {"C:\\\\config.dat", "config.dat"}, // a drive root "C:\" with "\config.dat" appended
        {"C:\\Quna\\.\\Data\\..\\\\Config.DAT", "Quna/Config.DAT"},
        {"C:\\..\\..\\Quna", "Quna"}, // never above the drive root
        {"C:\\quna\\New\\File.txt", "Quna/New/File.txt"},
        {"C:\\Quna.OLD", "quna.old"}, // a new file reuses the name differing in case
        {"C:\\Readme.txt", "Readme.txt"},
        {"C:\\readme.TXT", "README.TXT"}, // no exact name: the first in sorted order
    };
    for (const Case& c : cases)
        EXPECT_EQ(fs::toHost(c.windows), path(c.host)) << c.windows;
    EXPECT_EQ(fs::toHost("C:"), root);
    EXPECT_EQ(fs::toHost("C:\\"), root);
    EXPECT_EQ(errorOf([] { fs::toHost("Q:\\config.dat"); }), vb::err::PathNotFound);
    EXPECT_EQ(errorOf([] { fs::toHost("M:\\config.dat"); }), vb::err::DeviceUnavailable);

    fs::changeFolder("c:\\quna");
    EXPECT_EQ(fs::currentFolder(), "C:\\Quna");
    EXPECT_EQ(fs::toHost("data"), path("Quna/Data"));
    EXPECT_EQ(fs::toHost("\\QUNA.old"), path("quna.old"));
}

TEST_F(FsTest, HostPathsAsDrivePaths) {
    folder("Quna/Data");
    env.setDrives({{u'Z', "/", "/"}, {u'C', root, "c"}, {u'D', root + "/Quna/", "d"}});
    EXPECT_EQ(fs::toWindows(path("Quna/Data")), "D:\\Data"); // the longest root wins
    EXPECT_EQ(fs::toWindows(root), "C:\\");
    EXPECT_EQ(fs::toWindows("/opt/quna"), "Z:\\opt\\quna");
    EXPECT_EQ(fs::toWindows("/"), "Z:\\");
    for (const QString& host : {path("Quna/Data"), root, QString("/opt/quna")})
        EXPECT_EQ(fs::toHost(fs::toWindows(host)), host);

    const QString program = fs::programFolder();
    EXPECT_FALSE(program.endsWith(u'\\'));
    EXPECT_EQ(fs::toHost(program),
              QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath());
}

TEST_F(FsTest, ExistenceOfFilesFoldersAndHiddenEntries) {
    write("plain.txt", "x");
    write(".dotted", "x");
    folder("Folder");
    folder(".hiddenfolder");
    ASSERT_EQ(::symlink(QFile::encodeName(path("plain.txt")).constData(),
                        QFile::encodeName(path("link.txt")).constData()),
              0);
    struct Case {
        const char* windows;
        bool normalFile, entry, folder;
    } cases[] = {
        {"C:\\PLAIN.TXT", true, true, false},      {"C:\\link.txt", true, true, false},
        {"C:\\folder", false, true, true},         {"C:\\.dotted", false, false, false},
        {"C:\\.hiddenfolder", false, false, true}, {"C:\\missing.txt", false, false, false},
        {"Q:\\plain.txt", false, false, false},    {"M:\\plain.txt", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fs::normalFileExists(c.windows), c.normalFile) << c.windows;
        EXPECT_EQ(fs::entryExists(c.windows), c.entry) << c.windows;
        EXPECT_EQ(fs::folderExists(c.windows), c.folder) << c.windows;
    }
}

TEST_F(FsTest, DosAttributesHideFiles) {
    struct Case {
        const char* name;
        QByteArray attributes;
        bool visible;
    } cases[] = {
        {"config.dat", "0x22", false},                            // hidden + archive
        {"system.dat", "0x24", false},                            // system + archive
        {"archive.dat", "0x20", true},                            // archive only
        {"blob.dat", QByteArray("0x2\0\4\0\4\0\0\0", 10), false}, // text with a binary tail
        {"binary.dat", QByteArray("\2\0\0\0", 4), true},          // binary only: ignored
    };
    for (const Case& c : cases) {
        write(c.name, "x");
        if (!setDosAttributes(c.name, c.attributes))
            GTEST_SKIP() << "no user extended attributes here; the dot rule still applies";
        EXPECT_EQ(fs::normalFileExists(QString("C:\\") + c.name), c.visible) << c.name;
        EXPECT_EQ(fs::isHiddenOrSystem(path(c.name)), !c.visible) << c.name;
    }
}

TEST_F(FsTest, ReadsFirstRecordAsWindows1252) {
    struct Case {
        QByteArray bytes;
        QString record;
    } cases[] = {
        {QByteArray(50, 'A'), QString(50, u'A')},
        {QByteArray(50, 'B') + "tail", QString(50, u'B')},
        {"abc", "abc" + QString(47, u' ')},
        {"", QString(50, u' ')},
        {QByteArray("\xE0\x80\t\0\r\n\x9F", 7),
         QString::fromUtf8("à€\t") + QChar(0) + "\r\n" + QChar(0x178) + QString(43, u' ')},
    };
    for (const Case& c : cases) {
        write("record.dat", c.bytes);
        EXPECT_EQ(fs::readRecord("C:\\RECORD.DAT", 50), c.record) << c.bytes.toHex().constData();
    }
}

TEST_F(FsTest, FailuresRaiseTheRuntimeNumbers) {
    write("source.txt", "x");
    folder("Folder");
    struct Case {
        const char* what;
        std::function<void()> action;
        std::int32_t number;
    } cases[] = {
        {"copy missing", [] { fs::copyFile("C:\\none.txt", "C:\\x.txt"); }, 53},
        {"copy folder", [] { fs::copyFile("C:\\Folder", "C:\\x.txt"); }, 53},
        {"copy into missing folder", [] { fs::copyFile("C:\\source.txt", "C:\\no\\x.txt"); }, 76},
        {"copy onto folder", [] { fs::copyFile("C:\\source.txt", "C:\\folder"); }, 75},
        {"copy to unknown drive", [] { fs::copyFile("C:\\source.txt", "Q:\\x.txt"); }, 76},
        {"delete missing", [] { fs::deleteFile("C:\\none.txt"); }, 53},
        {"delete folder", [] { fs::deleteFile("C:\\Folder"); }, 53},
        {"size missing", [] { fs::fileSize("C:\\none.txt"); }, 53},
        {"size folder", [] { fs::fileSize("C:\\Folder"); }, 53},
        {"make existing", [] { fs::makeFolder("C:\\FOLDER"); }, 75},
        {"make without parent", [] { fs::makeFolder("C:\\no\\sub"); }, 76},
        {"change to missing", [] { fs::changeFolder("C:\\no"); }, 76},
        {"read missing", [] { fs::readRecord("C:\\none.txt", 50); }, 53},
        {"read folder", [] { fs::readRecord("C:\\Folder", 50); }, 75},
        {"list missing", [] { fs::subfolders("C:\\no"); }, 76},
        {"sync missing", [] { fs::syncFileSystem("/no/such/folder/x"); }, 76},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(c.action), c.number) << c.what;
    EXPECT_EQ(env.checkpointCount(), 0) << "refused operations change nothing";
}

// A failed system call says what failed and where, the path as the user knows it; a network
// volume that does not answer is named.
TEST_F(FsTest, SystemErrorsSayWhatFailedAndWhere) {
    env.setDrives({{u'C', root, "test"}, {u'S', root + "/share", "share", "\\\\server\\quna"}});
    folder("share");
    const QString local = root + "/dati/x.txt", remote = root + "/share/x.txt";
    const struct {
        int error;
        QString hostPath;
        std::int32_t number;
        QString description;
    } cases[] = {
        {ENOSPC, local, 61, "Disco pieno: C:\\dati\\x.txt"},
        {EDQUOT, local, 61, "Disco pieno: C:\\dati\\x.txt"},
        {EACCES, local, 70, "Autorizzazione negata: C:\\dati\\x.txt"},
        {EROFS, local, 70, "Autorizzazione negata (file system di sola lettura): C:\\dati\\x.txt"},
        {ENAMETOOLONG, local, 75, "Nome troppo lungo per il file system: C:\\dati\\x.txt"},
        {ENOENT, local, 53, "File non trovato: C:\\dati\\x.txt"},
        {EIO, local, 57, "Errore di I/O sulla periferica: C:\\dati\\x.txt"},
        {EIO, remote, 57, "Il server \\\\server\\quna non risponde: S:\\x.txt"},
        {ETIMEDOUT, remote, 57, "Il server \\\\server\\quna non risponde: S:\\x.txt"},
        {EHOSTDOWN, local, 57, "Il server non risponde: C:\\dati\\x.txt"},
        {ENOTDIR, "/fuori/x", 76, "Percorso non trovato: /fuori/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        try {
            fs::raiseSystemError(c.error, c.hostPath);
            ADD_FAILURE() << "nothing raised";
        } catch (const vb::VbError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_EQ(e.description(), c.description);
        }
    }
}

// The backup as a second name: no data copied, the destination replaced rather than followed.
TEST_F(FsTest, LinkOrCopyGivesASecondName) {
    write("Quna.exe", "programma");
    write("victim.dat", "victim");
    ASSERT_EQ(::symlink("victim.dat", QFile::encodeName(path("Quna.OLD")).constData()), 0);
    fs::linkOrCopyFile("C:\\quna.exe", "C:\\Quna.OLD");
    struct stat a, b;
    ASSERT_EQ(::lstat(QFile::encodeName(path("Quna.exe")).constData(), &a), 0);
    ASSERT_EQ(::lstat(QFile::encodeName(path("Quna.OLD")).constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(read("victim.dat"), "victim");
    fs::moveFile("C:\\Quna.exe", "C:\\.quna-program.kept");
    EXPECT_EQ(read(".quna-program.kept"), "programma");
    EXPECT_TRUE(fs::anyFileExists("C:\\.quna-program.kept"));
    EXPECT_FALSE(fs::normalFileExists("C:\\.quna-program.kept"));
    EXPECT_EQ(errorOf([] { fs::moveFile("C:\\Quna.exe", "C:\\x"); }), 53);
    EXPECT_EQ(QDir(root).entryList(QDir::Hidden | QDir::Files).filter(".quna-link").size(), 0);
}

// One holder at a time; the file goes with its holder, and a file left behind is locked again.
TEST_F(FsTest, InstallationLockHasOneHolder) {
    using State = fs::InstallationLock::State;
    const QString lockFile = path(".quna-update.lock");
    {
        fs::InstallationLock first("C:\\");
        ASSERT_EQ(first.state(), State::Held);
        EXPECT_TRUE(QFileInfo::exists(lockFile));
        fs::InstallationLock second("C:\\");
        EXPECT_EQ(second.state(), State::Busy);
    }
    EXPECT_FALSE(QFileInfo::exists(lockFile));
    write(".quna-update.lock", ""); // as a killed holder leaves it
    {
        fs::InstallationLock again("C:\\");
        EXPECT_EQ(again.state(), State::Held);
    }
    EXPECT_FALSE(QFileInfo::exists(lockFile));
    fs::InstallationLock nowhere("C:\\no\\such");
    EXPECT_EQ(nowhere.state(), State::Unavailable);
    EXPECT_EQ(errorOf([&] { nowhere.raiseUnavailable(); }), 76);
}

TEST_F(FsTest, CopyReplacesTheDestinationItself) {
    write("new/Quna.exe", "new contents");
    ::chmod(QFile::encodeName(path("new/Quna.exe")).constData(), 0751);
    write("quna.old", "old");
    write("victim.dat", "victim");
    ASSERT_EQ(::symlink("victim.dat", QFile::encodeName(path("link.dat")).constData()), 0);

    fs::copyFile("C:\\new\\Quna.exe", "C:\\Quna.OLD");
    EXPECT_EQ(read("quna.old"), "new contents");
    EXPECT_FALSE(QFileInfo::exists(path("Quna.OLD")));
    EXPECT_EQ(QFileInfo(path("quna.old")).permissions(),
              QFileInfo(path("new/Quna.exe")).permissions());
    EXPECT_EQ(fs::fileSize("C:\\quna.old"), 12);

    fs::copyFile("C:\\new\\Quna.exe", "C:\\link.dat");
    EXPECT_FALSE(QFileInfo(path("link.dat")).isSymLink());
    EXPECT_EQ(read("link.dat"), "new contents");
    EXPECT_EQ(read("victim.dat"), "victim");
    EXPECT_EQ(QDir(root).entryList(QDir::Hidden | QDir::Files).filter(".quna-copy").size(), 0);

    fs::deleteFile("C:\\LINK.DAT");
    fs::deleteFile("C:\\quna.old");
    EXPECT_FALSE(QFileInfo::exists(path("link.dat")));
    EXPECT_FALSE(QFileInfo::exists(path("quna.old")));
}

TEST_F(FsTest, ListsSortedWithoutRegardToCase) {
    for (const char* name : {"QN45070218.ZIP", "qn1.zip", "Qn2.Zip", "qnx.txt", "other.zip",
                             ".qn-hidden.zip", "abc.zip", "ABC.zip", "README"})
        write(name, "x");
    for (const char* name : {"qnfolder.zip", "Beta", "alpha", ".git"})
        folder(name);
    struct Case {
        const char* pattern;
        QStringList names;
    } cases[] = {
        {"qn*.zip", {"qn1.zip", "Qn2.Zip", "QN45070218.ZIP"}},
        {"QN?.ZIP", {"qn1.zip", "Qn2.Zip"}},
        {"a*", {"ABC.zip", "abc.zip"}}, // same name but for case: exact order
        {"*.txt;readme", {"qnx.txt", "README"}},
        {"*.*",
         {"ABC.zip", "abc.zip", "other.zip", "qn1.zip", "Qn2.Zip", "QN45070218.ZIP", "qnx.txt",
          "README"}},
        {"nothing*", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fs::matchingFiles("C:\\", c.pattern), c.names) << c.pattern;
    EXPECT_EQ(fs::subfolders("C:"), QStringList({"alpha", "Beta", "qnfolder.zip"}));
}

TEST_F(FsTest, ProbesDrives) {
    struct Case {
        char16_t letter;
        std::int32_t number;
    } cases[] = {{u'C', 0}, {u'c', 0}, {u'M', 68}, {u'Q', 68}};
    for (const Case& c : cases)
        EXPECT_EQ(errorOf([&] { fs::probeDrive(c.letter); }), c.number) << char(c.letter);

    int tries = 0; // a drive that becomes ready on the third try
    env.setProbe([&](QChar letter) { return letter == u'A' && ++tries < 3 ? 71 : 0; });
    EXPECT_EQ(errorOf([] { fs::probeDrive(u'a'); }), 71);
    EXPECT_EQ(errorOf([] { fs::probeDrive(u'A'); }), 71);
    EXPECT_EQ(errorOf([] { fs::probeDrive(u'A'); }), 0);
}

TEST_F(FsTest, CheckpointsCountChangesAndInjectFailures) {
    write("source.txt", "x");
    std::vector<std::pair<int, std::string>> seen;
    env.setFault([&](int step, const char* what) {
        seen.emplace_back(step, what);
        if (step == 4) vb::raise(vb::err::PermissionDenied); // a read-only file system
    });
    fs::copyFile("C:\\source.txt", "C:\\copy.txt");
    fs::makeFolder("C:\\Sub");
    EXPECT_EQ(errorOf([] { fs::deleteFile("C:\\copy.txt"); }), 70);
    EXPECT_TRUE(QFileInfo::exists(path("copy.txt"))) << "the failed step changed nothing";
    fs::syncFileSystem(root);
    EXPECT_EQ(env.checkpointCount(), 4);
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "copy"}, {2, "copy into place"}, {3, "folder"}, {4, "delete"}};
    EXPECT_EQ(seen, expected);
}

TEST_F(FsTest, PrefixDrivesAndShares) {
    makePrefix();
    struct DriveCase {
        char16_t letter;
        QString hostRoot;
        std::int32_t probe;
    } table[] = {
        {u'C', path("pfx/drive_c"), 0},
        {u'D', path("missing"), 68},           // a dangling link
        {u'E', path("pfx/dosdevices/e:"), 68}, // a link loop
        {u'F', path("file.txt"), 68},          // a link to a file
        {u'H', path("lower"), 0},
        {u'S', path("share"), 0},
        {u'Z', "/", 0},
    };
    const std::vector<fs::Drive>& drives = fs::drives();
    ASSERT_EQ(drives.size(), std::size(table));
    for (std::size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].letter, table[i].letter);
        EXPECT_EQ(drives[i].hostRoot, table[i].hostRoot) << char(table[i].letter);
        EXPECT_EQ(errorOf([&] { fs::probeDrive(table[i].letter); }), table[i].probe)
            << char(table[i].letter);
    }
    EXPECT_EQ(fs::winePrefix(), path("pfx"));
    EXPECT_EQ(fs::programFolder(), "C:\\QUNAWIN"); // the longest root, not Z:
    EXPECT_EQ(drives[0].label, path("pfx/drive_c"));

    struct PathCase {
        const char* windows;
        QString host; // empty: the error
        std::int32_t error;
    } paths[] = {
        {"C:\\QUNAWIN\\DATI\\QUNA.MDB", path("pfx/drive_c/QUNAWIN/DATI/quna.mdb"), 0},
        {"s:\\quna\\X.TXT", path("share/QUNA/x.txt"), 0},
        {"\\\\SERVER\\QUNA\\x.txt", path("share/QUNA/x.txt"), 0},
        {"//server/quna/../../..", path("share/QUNA"), 0}, // never above the share
        {"\\\\server2\\DOCS\\quna", path("share/QUNA"), 0},
        {"\\\\server\\nothere\\x", {}, 76},
        {"\\\\nobody\\quna", {}, 76},
        {"\\\\server", {}, 76},
        {"\\\\", {}, 76},
        {"D:\\x", {}, 68},
        {"E:\\x", {}, 68},
        {"F:\\x", {}, 68},
        {"Q:\\x", {}, 76},
    };
    for (const PathCase& c : paths) {
        if (c.error) {
            EXPECT_EQ(errorOf([&] { fs::toHost(c.windows); }), c.error) << c.windows;
            EXPECT_FALSE(fs::entryExists(c.windows)) << c.windows;
        } else {
            EXPECT_EQ(fs::toHost(c.windows), c.host) << c.windows;
        }
    }

    struct HostCase {
        QString host;
        const char* windows;
    } hosts[] = {
        {path("pfx/drive_c/QUNAWIN/DATI"), "C:\\QUNAWIN\\DATI"},
        {path("share"), "S:\\"},
        {path("share/QUNA/x.txt"), "\\\\server\\quna\\x.txt"}, // the share's root is longer
        {path("share/QUNA"), "\\\\server\\quna"},
        {"/etc", "Z:\\etc"},
    };
    for (const HostCase& c : hosts)
        EXPECT_EQ(fs::toWindows(c.host), c.windows) << c.host.toStdString();

    // The current folder on a share: a path from its root stays on the share.
    fs::changeFolder("\\\\server\\quna");
    EXPECT_EQ(fs::currentFolder(), "\\\\server\\quna");
    EXPECT_EQ(fs::toHost("\\x.txt"), path("share/QUNA/x.txt"));
    EXPECT_EQ(fs::toHost("x.txt"), path("share/QUNA/x.txt"));

    // Without dosdevices/unc, shares are not found (no CIFS mount of that name here).
    QDir(path("pfx/dosdevices/unc")).removeRecursively();
    EXPECT_EQ(errorOf([] { fs::toHost("\\\\server\\quna\\x.txt"); }), 76);
    EXPECT_EQ(fs::toWindows(path("share/QUNA/x.txt")), "S:\\QUNA\\x.txt");
}

TEST_F(FsTest, PrefixLabelsAndBadPrefixes) {
    makePrefix();
    write("share/.windows-label", "Archivi QUNA\nsecond line");
    write("lower/.windows-label", "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pfx/drive_c/.windows-label")).constData(), 0600), 0);
    for (int i = 0; i < 300; ++i) // hundreds of entries that are no drives
        link(path("missing"), QString("pfx/dosdevices/com%1").arg(i + 2));
    QStringList shown;
    for (const fs::Drive& drive : fs::drives())
        shown << QString(drive.letter) + ' ' + drive.label;
    EXPECT_EQ(shown, QStringList({"C " + path("pfx/drive_c"), "D " + path("missing"),
                                  "E " + path("pfx/dosdevices/e:"), "F " + path("file.txt"),
                                  "H " + path("lower"), "S Archivi QUNA", "Z /"}));

    // What is no prefix leaves the host's own table: each row is the program's folder and
    // WINEPREFIX; the table then has Z: for "/" and no drive C:.
    folder("plain/quna");
    write("notprefix/dosdevices", "a file");
    link(path("loop"), "loop");
    link(path("loop"), "looped/dosdevices");
    folder("empty/dosdevices");
    struct Case {
        QString program;
        QString winePrefix; // null: unset
        QString found;
    } cases[] = {
        {path("plain/quna"), QString(), ""},
        {path("plain/quna"), path("plain"), ""},                   // no dosdevices
        {path("plain/quna"), path("notprefix"), ""},               // dosdevices is a file
        {path("plain/quna"), path("looped"), ""},                  // dosdevices loops
        {path("plain/quna"), "pfx", ""},                           // not an absolute path
        {path("plain/quna"), path("pfx"), path("pfx")},            // Wine's own convention
        {path("pfx/drive_c/QUNAWIN"), path("empty"), path("pfx")}, // the own prefix first
        {path("empty/quna"), QString(), path("empty")},            // a prefix without drives
    };
    for (const Case& c : cases) {
        env.setProgramFolder(c.program);
        if (c.winePrefix.isNull())
            qunsetenv("WINEPREFIX");
        else
            qputenv("WINEPREFIX", QFile::encodeName(c.winePrefix));
        EXPECT_EQ(fs::winePrefix(), c.found)
            << c.program.toStdString() << " " << c.winePrefix.toStdString();
        const std::vector<fs::Drive> table = fs::hostDrives();
        ASSERT_FALSE(table.empty());
        EXPECT_EQ(table.front().letter == u'C', c.found == path("pfx"))
            << c.winePrefix.toStdString();
        EXPECT_EQ(table.back().letter, u'Z');
    }
}

TEST(HostDrives, RootIsDriveZ) {
    const std::vector<fs::Drive> table = fs::hostDrives();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.back().letter, u'Z'); // in letter order, as the drive list shows them
    EXPECT_EQ(table.back().hostRoot, "/");
    EXPECT_EQ(fs::toWindows("/opt/quna"), "Z:\\opt\\quna");
}

TEST(HostDrives, VolumeLettersDependOnTheMountAlone) {
    struct Case {
        QStringList folders; // in mount order
        QString letters;     // "-" for none
    } cases[] = {
        {{"/mnt/server"}, "S"},
        {{"/media/usb", "/mnt/server"}, "US"},
        {{"/mnt/server", "/media/stick"}, "ST"}, // the later one moves on, never the earlier
        {{"/mnt/s", "/mnt/share", "/mnt/t"}, "STU"},
        {{"/mnt/yy", "/mnt/y"}, "YD"},                  // wraps from Y to D
        {{"/mnt/abc", "/mnt/123", "/mnt/zeta"}, "DEF"}, // no letter of its own: from D
        {{"/media/Ärger", "/mnt/c"}, "DE"},
        {QStringList(25, "/mnt/x"), "XYDEFGHIJKLMNOPQRSTUVW---"}, // 22 letters
    };
    for (const Case& c : cases) {
        QString letters;
        for (QChar letter : fs::detail::volumeLetters(c.folders))
            letters += letter.isNull() ? QChar(u'-') : letter;
        EXPECT_EQ(letters, c.letters) << c.folders.join(' ').toStdString();
    }
}

} // namespace
