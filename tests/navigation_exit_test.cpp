// Folder navigation (drive, folder and file lists kept in step), exit with relaunch, and the
// window shape's regions.
#include "support/installation.h"

#include "app/handlers.h"
#include "app/shape.h"
#include "platform/fs/environment.h"
#include "platform/vb/error.h"

#include <QThread>
#ifndef _WIN32
#include <unistd.h>
#endif

using namespace testing_support;

namespace {
struct NavigationTest : ::testing::Test {
    fs::Environment env;
    Installation inst;
    QTemporaryDir otherDrive;
    std::unique_ptr<Harness> h;
    void SetUp() override {
        inst.standard();
        inst.writeArchive(inst.updates(), "qn45070218.zip", {{"a", "a"}});
        QDir(otherDrive.path()).mkpath("sotto");
        inst.writeArchive(otherDrive.path() + "/sotto", "qn46070301.zip", {{"b", "b"}});
        env.setDrives({{'Z', "/", "/"},
                       {'E', otherDrive.path(), "chiavetta"},
                       {'F', otherDrive.path() + "/non-montato", "rete"},
                       {'G', otherDrive.path(), "lettore"}});
        h = std::make_unique<Harness>(inst);
        ASSERT_TRUE(h->load());
        ASSERT_EQ(h->form->Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
        h->host.messages.clear();
    }
    form::Form& form() { return *h->form; }
};
} // namespace

TEST_F(NavigationTest, DriveChangeMovesBothListsAndBlanksTheDescription) {
    form().Drive1.setDrive("e: [chiavetta]");
    EXPECT_TRUE(h->host.messages.empty());
    EXPECT_EQ(form().Dir1.path(), "E:\\");
    EXPECT_EQ(form().File1.path(), "E:\\");
    EXPECT_EQ(form().Label2.caption(), " ");
    // A double click on a folder opens it and shows its archives.
    form().Dir1.doubleClickEntry(1);
    EXPECT_EQ(form().Dir1.path(), "E:\\sotto");
    EXPECT_EQ(form().File1.files(), QStringList{"qn46070301.zip"});
    EXPECT_EQ(form().Label2.caption(), " ");
}

TEST_F(NavigationTest, SingleClickHighlightsOnlyAndEmptiesTheDescription) {
    const QString open = form().Dir1.path();
    form().Dir1.clickEntry(0); // the drive root, highlighted, not opened
    EXPECT_EQ(form().Dir1.path(), open);
    EXPECT_EQ(form().File1.path(), open);
    EXPECT_EQ(form().Label2.caption(), "");
    EXPECT_EQ(form().File1.listCount(), 1);
}

TEST_F(NavigationTest, UnavailableDeviceIsToldOnceAndTheListsStay) {
    const QString before = form().Dir1.path();
    form().Drive1.setDrive("f:");
    EXPECT_EQ(h->host.messageTexts(), QStringList{"Periferica non disponibile!!"});
    EXPECT_EQ(h->host.messages[0].icon, ui::Icon::Exclamation);
    EXPECT_EQ(form().Drive1.drive(), "f:");
    EXPECT_EQ(form().Dir1.path(), before);
    EXPECT_EQ(form().File1.path(), before);
    EXPECT_EQ(form().Label2.caption(), " ");
}

TEST_F(NavigationTest, DiskNotReadyRetriesUntilTheMediumIsThereOrCancel) {
    struct Case {
        int notReadyTimes;
        std::deque<ui::Answer> answers;
        bool moved;
    } cases[] = {
        {2, {ui::Answer::Ok, ui::Answer::Ok}, true},
        {5, {ui::Answer::Ok, ui::Answer::Cancel}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notReadyTimes);
        int probes = 0;
        env.setProbe([&](QChar letter) -> std::int32_t {
            if (letter != 'G') return 0;
            return ++probes <= c.notReadyTimes ? vb::err::DiskNotReady : 0;
        });
        form().Drive1.setDrive("z:");
        const QString before = form().Dir1.path();
        h->host.messages.clear();
        h->host.answers = c.answers;
        form().Drive1.setDrive("g:");
        EXPECT_EQ(int(h->host.messages.size()), int(c.answers.size()));
        for (const ui::ShownMessage& m : h->host.messages) {
            EXPECT_EQ(m.text, "Disco non pronto!!");
            EXPECT_EQ(m.buttons, ui::Buttons::OkCancel);
        }
        EXPECT_EQ(form().Dir1.path(), c.moved ? QString("G:\\") : before);
        EXPECT_EQ(form().Drive1.drive(), "g:");
        EXPECT_EQ(form().Label2.caption(), " ");
    }
}

TEST_F(NavigationTest, AnyOtherDriveErrorEndsTheProgramWithoutStartingIt) {
    env.setProbe([](QChar) -> std::int32_t { return vb::err::DeviceIo; });
    EXPECT_FALSE(h->run([&] { form().Drive1.setDrive("e:"); }));
    ASSERT_EQ(h->host.messages.size(), 1u);
    EXPECT_EQ(h->host.messages[0].text,
              "codice Errore57" + vb::VbError(vb::err::DeviceIo).description());
    EXPECT_EQ(h->host.messages[0].icon, ui::Icon::Critical);
    EXPECT_FALSE(h->host.calls.join('|').contains("start"));
}

TEST_F(NavigationTest, FolderThatVanishesLeavesTheFileListEmptyAndSaysWhy) {
    QDir(otherDrive.path()).mkpath("via");
    form().Dir1.setPath("E:\\via");
    QDir(otherDrive.path() + "/via").removeRecursively();
    h->host.messages.clear();
    app::Dir1_Click(form());
    ASSERT_EQ(h->host.messages.size(), 1u);
    EXPECT_TRUE(h->host.messages[0].text.startsWith("codice Errore = 76"));
    EXPECT_EQ(form().File1.listCount(), 0);
    EXPECT_EQ(form().Label2.caption(), "");
}

// ---- exit and relaunch

TEST(Exit, EveryWayOutStartsTheMainProgramOnceAndEnds) {
    for (auto way : {&app::cmdAnnulla_Click, &app::Form_Unload, &form::AvviaProgramma}) {
        Installation inst;
        inst.standard();
        Harness h(inst);
        ASSERT_TRUE(h.load());
        h.host.calls.clear();
        EXPECT_FALSE(h.run([&] { way(*h.form); }));
        EXPECT_EQ(h.host.calls,
                  QStringList({"start " + Installation::win(inst.program()) + "\\quna.exe 1",
                               "pointer 0", "end"}));
    }
}

TEST(Exit, MissingMainProgramIsToldAndTheUpdaterEndsAllTheSame) {
    Installation inst;
    inst.standard();
    QFile::remove(inst.program() + "/Quna.exe");
    Harness h(inst);
    ASSERT_TRUE(h.load());
    EXPECT_FALSE(h.run([&] { app::cmdAnnulla_Click(*h.form); }));
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_TRUE(h.host.messages[0].text.startsWith("Impossibile avviare il programma QUNA:"));
    EXPECT_EQ(h.host.messages[0].icon, ui::Icon::Critical);
    EXPECT_EQ(h.host.calls.last(), "end");
    // Called from the update procedure, the same failure comes back as error 53.
    EXPECT_THROW(form::AvviaProgramma(*h.form), vb::VbError);
}

#ifndef _WIN32 // the stand-in main program is a shell script
TEST(Exit, TheMainProgramReallyStartsWhateverTheCaseOfItsName) {
    Installation inst;
    inst.standard(); // the file is "Quna.exe", started as "quna.exe"
    Harness h(inst);
    ASSERT_TRUE(h.load());
    h.host.realStart = true;
    EXPECT_FALSE(h.run([&] { app::cmdAnnulla_Click(*h.form); }));
    const QString log = inst.program() + "/started.log";
    for (int i = 0; i < 100 && !QFile::exists(log); ++i)
        QThread::msleep(20);
    EXPECT_EQ(Installation::readFile(log), "QUNA 4.4\n");
}

// A Windows main program that cannot start: the user reads why and what to do, and the
// updater ends all the same.
#endif

#ifndef _WIN32 // starting a Windows program through Wine happens on Linux only
TEST(Exit, AWindowsProgramThatCannotStartIsExplained) {
    const QByteArray savedPath = qgetenv("PATH");
    const struct {
        const char* name;
        const char* wine;   // the script found as "wine" on the path, or none
        bool foreignPrefix; // the prefix belongs to another user
        const char* told;
    } cases[] = {
        {"no Wine", nullptr, false, "manca Wine"},
        {"a prefix of another user", "exit 0", true, "appartiene a un altro utente"},
        {"Wine refusing at once", "echo \"wine: refused\" >&2; exit 1", false,
         "Wine si è chiuso subito con un errore (codice 1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.standard();
        // The installation in a Wine prefix, its main program a Windows one.
        QDir().mkpath(inst.root() + "/dosdevices");
        {
            QFile exe(inst.program() + "/Quna.exe");
            ASSERT_TRUE(exe.open(QIODevice::WriteOnly | QIODevice::Truncate));
            exe.write("MZ finto programma Windows");
        }
        const QString bin = inst.root() + "/bin";
        QDir().mkpath(bin);
        if (c.wine) {
            QFile script(bin + "/wine");
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QByteArray("#!/bin/sh\n") + c.wine + "\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        if (c.foreignPrefix) {
            ASSERT_EQ(::chown(QFile::encodeName(inst.root()).constData(), 4242, 4242), 0);
        }
        qputenv("PATH", QFile::encodeName(bin));
        Harness h(inst);
        ASSERT_TRUE(h.load());
        h.host.realStart = true;
        EXPECT_FALSE(h.run([&] { app::cmdAnnulla_Click(*h.form); }));
        qputenv("PATH", savedPath);
        ASSERT_EQ(h.host.messages.size(), 1u);
        EXPECT_TRUE(h.host.messages[0].text.contains(QString::fromUtf8(c.told)))
            << h.host.messages[0].text.toStdString();
        EXPECT_EQ(h.host.messages[0].icon, ui::Icon::Critical);
        EXPECT_EQ(h.host.calls.last(), "end");
    }
}
#endif

// ---- window shape

TEST(Shape, RegionsForEachCode) {
    using app::Point;
    using app::Region;
    const form::WindowHandle::Rect r400{10, 20, 410, 320}, r401{0, 0, 401, 301}, none{5, 5, 5, 5};
    auto round = app::regionFor(r400, app::RGN_ARROTONDATO);
    ASSERT_TRUE(round);
    EXPECT_EQ(round->kind, Region::Kind::RoundRect);
    EXPECT_EQ(std::tie(round->width, round->height, round->cornerWidth, round->cornerHeight),
              std::make_tuple(400, 300, 20, 20));
    auto diamond = app::regionFor(r401, app::RGN_ROMBO);
    ASSERT_TRUE(diamond);
    EXPECT_EQ(diamond->corners, (std::array<Point, 4>{Point{200, 0}, Point{0, 150}, Point{200, 301},
                                                      Point{401, 150}}));
    EXPECT_EQ(app::regionFor(r400, app::RGN_ELLISSE)->kind, Region::Kind::Ellipse);
    EXPECT_FALSE(app::regionFor(r400, 3));
    EXPECT_FALSE(app::regionFor(r400, -1));
    EXPECT_TRUE(app::regionFor(none, app::RGN_ARROTONDATO)->empty());
    EXPECT_THROW(app::regionFor({-2147483647 - 1, 0, 2147483647, 1}, 1), vb::VbError);
}
