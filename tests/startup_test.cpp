// Start-up on real installations: config.dat, both databases, the labels, the update folder
// and every row of the failure table.
#include "support/installation.h"

#include "app/handlers.h"
#include "platform/db/ado.h"
#include "platform/fs/environment.h"
#include "platform/vb/error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

using namespace testing_support;

namespace {
const QString kBadPath = QStringLiteral("Percorso archivio in 'config.dat' errato!!");

struct StartupTest : ::testing::Test {
    LocaleScope locale{kItalian};
    Installation inst;
    fs::Environment env;
};
} // namespace

TEST_F(StartupTest, MissingConfigEndsBeforeTheWindowWithNothingCreated) {
    inst.writeInstallationDb();
    inst.writeWorkstationDb();
    Harness h(inst);
    EXPECT_FALSE(h.load());
    EXPECT_EQ(h.host.calls.first(), "beep");
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "Archivio Config.dat non trovato\r\nnella cartella: " +
                                           Installation::win(inst.program()) + "!!");
    EXPECT_EQ(h.host.messages[0].icon, ui::Icon::Exclamation);
    EXPECT_FALSE(h.window.shown);
    EXPECT_FALSE(QDir(inst.updates()).exists());
    EXPECT_FALSE(h.host.calls.contains(QStringLiteral("start")));
}

TEST_F(StartupTest, HiddenConfigCountsAsMissing) {
    inst.standard();
#ifdef _WIN32
    const std::wstring config =
        QDir::toNativeSeparators(inst.program() + "/config.dat").toStdWString();
    ASSERT_TRUE(SetFileAttributesW(config.c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
    ASSERT_EQ(0, std::system(("setfattr -n user.DOSATTRIB -v '\"0x22\"' '" + inst.program() +
                              "/config.dat' 2>/dev/null")
                                 .toLocal8Bit()
                                 .constData()));
#endif
    Harness h(inst);
    EXPECT_FALSE(h.load());
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_TRUE(h.host.messages[0].text.startsWith("Archivio Config.dat non trovato"));
}

TEST_F(StartupTest, NormalStartShowsBothVersionsAndListsTheLastArchive) {
    inst.standard();
    inst.writeWorkstationDb({std::string("4,5"), jet::DateTime{jet::oleDate(2007, 3, 5)}});
    inst.writeArchive(inst.updates(), "qn44070110.zip", {{"a.txt", "a"}});
    inst.writeArchive(inst.updates(), "qn45070218.zip", {{"b.txt", "b"}, {"c/", ""}});
    inst.writeArchive(inst.updates(), "leggimi.txt", {{"x", "x"}}); // not matched by qn*.zip
    Harness h(inst);
    ASSERT_TRUE(h.load());
    form::Form& f = *h.form;
    EXPECT_TRUE(h.host.messages.empty()) << h.host.messageTexts().join("|").toStdString();
    EXPECT_EQ(f.lblVersDB.caption(), "4.4  del  10-01-07"); // "4.4" is no number in Italian
    EXPECT_EQ(f.lblVersPC.caption(), "4,5  del 05-03-07");
    EXPECT_EQ(f.lblPathArchivi.caption(), Installation::win(inst.data()) + "\\quna.mdb");
    EXPECT_TRUE(f.SSPanel1.caption().startsWith("Se l'archivio (o gli archivi)"));
    EXPECT_EQ(f.SSPanel1.caption().count("\r\n"), 4);
    EXPECT_EQ(f.File1.pattern(), "qn*.zip");
    EXPECT_EQ(f.File1.files(), QStringList({"qn44070110.zip", "qn45070218.zip"}));
    EXPECT_EQ(f.File1.listIndex(), 1);
    EXPECT_EQ(f.Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
    EXPECT_EQ(f.lv.rowCount(), 2);
    EXPECT_EQ(f.lv.columns().size(), 4u);
    EXPECT_EQ(f.lv.columns()[2].header, "Non compresso");
    EXPECT_TRUE(h.window.shown);
    EXPECT_TRUE(h.window.focused);
    ASSERT_TRUE(h.window.region.has_value());
    EXPECT_EQ(h.window.region->kind, app::Region::Kind::RoundRect);
    EXPECT_EQ(f.VersioPC, "4,5");
}

TEST_F(StartupTest, EveryFailureRow) {
    struct Case {
        const char* name;
        std::function<void(Installation&)> prepare;
        std::function<void(const QString& hostPath)> fault;
        QStringList messages;
        bool versionRead, labelsSet;
    } cases[] = {
        {"no quna.mdb",
         [](Installation& i) { QFile::remove(i.data() + "/quna.mdb"); },
         nullptr,
         {kBadPath},
         false,
         false},
        {"no dbClient.mdb",
         [](Installation& i) { QFile::remove(i.program() + "/dbClient.mdb"); },
         nullptr,
         {kBadPath},
         true,
         false},
        {"quna.mdb is not a database",
         [](Installation& i) {
             QFile f(i.data() + "/quna.mdb");
             f.open(QIODevice::WriteOnly);
             f.write(QByteArray(8192, 'x'));
         },
         nullptr,
         {kBadPath},
         false,
         false},
        {"the data's server does not answer",
         [this](Installation& i) {
             env.setDrives({{u'Z', "/", "/"}, {u'S', i.data(), "dati", "\\\\server\\quna"}});
             i.writeConfig("S:");
             QFile::remove(i.data() + "/quna.mdb");
             env.setProbe([](QChar d) { return d == u'S' ? vb::err::DiskNotReady : 0; });
         },
         nullptr,
         {"ATTENZIONE!! Il server \\\\server\\quna non risponde: S:\\quna.mdb"},
         false,
         false},
        {"fallback password",
         [this](Installation& i) { i.writeInstallationDb({}, "Gransoleo"); },
         nullptr,
         {},
         true,
         true},
        {"no password at all",
         [this](Installation& i) { i.writeInstallationDb({}, ""); },
         nullptr,
         {},
         true,
         true},
        {"neither password",
         [this](Installation& i) { i.writeInstallationDb({}, "Altra"); },
         nullptr,
         {"Codice errore = -2147217843\r\nPassword del database non valida"},
         false,
         false},
        {"missing component",
         nullptr,
         [](const QString&) { vb::raise(vb::err::ComponentMissing); },
         {"ATTENZIONE! Librerie di QUNA non aggiornate!!\r\n\r\nScarica le librerie dal sito: "
          "'www.example.com' ed esegui l'installazione\r\nPer chiarimenti chiama l'assistenza "
          "tecnica"},
         false,
         false},
        {"generic error",
         nullptr,
         [](const QString&) { vb::raise(vb::err::OutOfMemory); },
         {"Codice errore = 7\r\nMemoria esaurita"},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation i;
        i.standard();
        if (c.prepare) c.prepare(i);
        env.setDatabaseOpen(c.fault);
        Harness h(i);
        ASSERT_TRUE(h.load());
        env.setDatabaseOpen(nullptr);
        EXPECT_EQ(h.host.messageTexts(), c.messages);
        EXPECT_EQ(h.host.calls.contains("beep"),
                  c.messages == QStringList{kBadPath} ||
                      (c.messages.size() == 1 && c.messages[0].contains(" non risponde")));
        EXPECT_EQ(h.form->Versione == "4.4", c.versionRead);
        EXPECT_EQ(!h.form->lblVersDB.caption().isEmpty(), c.labelsSet);
        EXPECT_EQ(h.form->lv.columns().empty(), !c.labelsSet);
        EXPECT_TRUE(h.form->SSPanel1.caption().startsWith("Se l'archivio"));
        if (!c.labelsSet) {
            EXPECT_FALSE(h.window.regionSet);
        }
    }
}

TEST_F(StartupTest, RecordReadersReportEachFailingStep) {
    struct Case {
        const char* name;
        std::function<void(Installation&)> prepare;
        int messages;
        const char* versDB;
        const char* versPC;
    } cases[] = {
        {"empty Accesso",
         [](Installation& i) {
             i.writeEmptyTable(i.data() + "/quna.mdb", "Accesso",
                               {{"Versione", jet::ColumnType::Text, 50},
                                {"dataver", jet::ColumnType::DateTime, 0}});
         },
         3, "  del  30-12-99", "4.4  del 10-01-07"},
        {"missing Configurazione", [](Installation& i) { i.writeWorkstationDb({}, "", "Altro"); },
         4, "4.4  del  10-01-07", "  del 30-12-99"},
        {"Null version",
         [](Installation& i) {
             i.writeInstallationDb({std::monostate{}, jet::DateTime{39000}});
         },
         1, "  del  10-10-06", "4.4  del 10-01-07"},
        {"two rows: only the first counts",
         [](Installation& i) {
             jet::Database db;
             db.password = "BlumoKast";
             db.tables.push_back({"Accesso",
                                  {{"Versione", jet::ColumnType::Text, 50},
                                   {"dataver", jet::ColumnType::DateTime, 0}},
                                  {{std::string("4"), jet::DateTime{39000}},
                                   {std::string("9"), jet::DateTime{40000}}}});
             jet::write(db, (i.data() + "/quna.mdb").toStdString());
         },
         0, "4,0  del  10-10-06", "4.4  del 10-01-07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation i;
        i.standard();
        c.prepare(i);
        Harness h(i);
        ASSERT_TRUE(h.load());
        EXPECT_EQ(int(h.host.messages.size()), c.messages)
            << h.host.messageTexts().join("|").toStdString();
        for (const ui::ShownMessage& m : h.host.messages) {
            EXPECT_TRUE(m.text.startsWith("Codice errore = "));
            EXPECT_EQ(m.icon, ui::Icon::None);
        }
        EXPECT_EQ(h.form->lblVersDB.caption(), c.versDB);
        EXPECT_EQ(h.form->lblVersPC.caption(), c.versPC);
    }
}

TEST_F(StartupTest, PasswordOnWorkstationDatabaseReopensTheInstallationDatabase) {
    inst.standard();
    inst.writeInstallationDb({}, "Gransoleo");
    inst.writeWorkstationDb({}, "Segreta");
    std::vector<QString> opened;
    env.setDatabaseOpen([&](const QString& p) { opened.push_back(QFileInfo(p).fileName()); });
    Harness h(inst);
    ASSERT_TRUE(h.load());
    // quna.mdb twice (primary, fallback), dbClient.mdb once, quna.mdb again by the fallback.
    EXPECT_EQ(opened, (std::vector<QString>{"quna.mdb", "quna.mdb", "dbClient.mdb", "quna.mdb"}));
    // The reading of Configurazione then fails step by step on the closed connection, and the
    // close of cnClient ends the start-up with the generic message.
    ASSERT_EQ(h.host.messages.size(), 5u);
    EXPECT_TRUE(h.host.messages[4].text.startsWith("Codice errore = 3704"));
    EXPECT_TRUE(h.form->lblVersPC.caption().isEmpty());
}

TEST_F(StartupTest, UpdateFolderOnTheDataDriveWhenItExists) {
    QTemporaryDir other;
    inst.standard();
    env.setDrives({{'Z', "/", "/"}, {'D', other.path(), "dati"}});
    // The data on D:, config.dat naming "D:\data".
    QDir(other.path()).mkpath("data");
    QFile::copy(inst.data() + "/quna.mdb", other.path() + "/data/quna.mdb");
    inst.writeConfig("D:\\data");
    for (bool candidateExists : {false, true}) {
        SCOPED_TRACE(candidateExists);
        // The installation's path on drive D: instead of its own drive.
        const QString candidate = other.path() +
                                  Installation::win(inst.program()).mid(2).replace('\\', '/') +
                                  "/Aggiorna";
        if (candidateExists) QDir().mkpath(candidate);
        QDir(inst.updates()).removeRecursively();
        Harness h(inst);
        ASSERT_TRUE(h.load());
        EXPECT_TRUE(QDir(inst.updates()).exists()); // created at every start
        if (candidateExists) {
            EXPECT_EQ(h.form->Drive1.drive(), "d:");
            EXPECT_EQ(h.form->Dir1.path().toUpper(),
                      ("D:" + Installation::win(inst.program()).mid(2) + "\\Aggiorna").toUpper());
        } else {
            EXPECT_EQ(h.form->Drive1.drive(), "z:");
            EXPECT_EQ(h.form->Dir1.path(), Installation::win(inst.updates()));
        }
    }
}

#ifndef _WIN32 // Wine prefixes exist on Linux only
TEST_F(StartupTest, InsideAWinePrefix) {
    // The installation's folder is a prefix whose C: is that folder itself: the updater is
    // C:\quna, its data C:\data, also reached as S: and as the share \\SERVER\QUNA.
    inst.standard();
    const QString devices = inst.root() + "/dosdevices";
    QDir().mkpath(devices + "/unc/server");
    const std::pair<const char*, const char*> links[] = {
        {"..", "c:"}, {"/", "z:"}, {"../data", "s:"}, {"../../../data", "unc/server/quna"}};
    for (const auto& [target, name] : links)
        ASSERT_EQ(::symlink(target, QFile::encodeName(devices + "/" + name).constData()), 0);
    env.setDrives({});
    for (const char* config : {"C:\\data", "S:", "\\\\SERVER\\QUNA", "//server/quna/"}) {
        SCOPED_TRACE(config);
        inst.writeConfig(config); // 50 bytes
        Harness h(inst);
        ASSERT_TRUE(h.load());
        EXPECT_TRUE(h.host.messages.empty()) << h.host.messageTexts().join("|").toStdString();
        EXPECT_EQ(h.form->PathProgramma, "C:\\quna");
        EXPECT_EQ(h.form->lblPathArchivi.caption(), QString(config) + "\\quna.mdb");
        EXPECT_EQ(h.form->lblVersDB.caption(), "4.4  del  10-01-07");
        EXPECT_EQ(h.form->lblVersPC.caption(), "4.4  del 10-01-07");
        EXPECT_EQ(h.form->Dir1.path(), "C:\\quna\\Aggiorna");
    }
}
#endif

TEST_F(StartupTest, DriveRootGetsDoubledBackslashesThatStillResolve) {
    inst.standard();
    env.setDrives({{'Z', "/", "/"}, {'Q', inst.program(), "quna"}});
    Harness h(inst);
    ASSERT_TRUE(h.load());
    EXPECT_EQ(h.form->PathProgramma, "Q:\\");
    EXPECT_EQ(h.form->PathConfig, "Q:\\\\config.dat");
    EXPECT_EQ(h.form->PathClient, "Q:\\\\dbClient.mdb");
    EXPECT_TRUE(h.host.messages.empty()) << h.host.messageTexts().join("|").toStdString();
    EXPECT_EQ(h.form->lblVersPC.caption(), "4.4  del 10-01-07");
}

TEST_F(StartupTest, NoArchiveSelectsNothingAndMovesNoFocus) {
    inst.standard();
    Harness h(inst);
    ASSERT_TRUE(h.load());
    EXPECT_EQ(h.form->File1.listCount(), 0);
    EXPECT_FALSE(h.window.focused);
    EXPECT_TRUE(h.window.shown);
    EXPECT_FALSE(h.form->lv.visible());
}
