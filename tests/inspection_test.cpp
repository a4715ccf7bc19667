// A click on an archive: the description, the listing in reverse archive order, and the
// bad-name, not-an-archive, overflow and generic error paths.
#include "support/installation.h"

#include "app/handlers.h"
#include "platform/fs/environment.h"
#include "update/handlers.h"

#include <QRegularExpression>

using namespace testing_support;

namespace {
const QString kBadName = QStringLiteral("Nome del file di aggiornamento errato!!");

struct InspectionTest : ::testing::Test {
    fs::Environment env;
    LocaleScope locale{kItalian};
    Installation inst;
    std::unique_ptr<Harness> h;

    void SetUp() override {
        inst.standard();
        h = std::make_unique<Harness>(inst);
        ASSERT_TRUE(h->load()); // no archive yet: nothing listed
    }
    form::Form& form() { return *h->form; }
    // Shows the folder's archives again and clicks one by name.
    void click(const QString& name) {
        form().File1.refresh();
        const int i = int(form().File1.files().indexOf(name));
        ASSERT_GE(i, 0) << name.toStdString();
        h->host.messages.clear();
        form().File1.setListIndex(i);
    }
    QStringList rowTexts() {
        QStringList out;
        for (int i = 0; i < form().lv.rowCount(); ++i)
            out << form().lv.row(i).text;
        return out;
    }
};
} // namespace

TEST_F(InspectionTest, ListsEntriesInReverseOrderWithFolderMarksAndLocaleSizes) {
    inst.writeArchive(inst.updates(), "qn45070218.zip",
                      {{"A.txt", std::string(1234567, 'a')}, {"B/", ""}, {"B/c.txt", "c"}});
    click("qn45070218.zip");
    EXPECT_TRUE(h->host.messages.empty());
    EXPECT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
    EXPECT_EQ(rowTexts(), QStringList({"B/c.txt", "B/%", "A.txt"}));
    const ui::ListView::Row& a = form().lv.row(2);
    ASSERT_EQ(a.subItems.size(), 3);
    EXPECT_EQ(a.subItems[1], "1.234.567");
    EXPECT_TRUE(a.subItems[0].contains(QRegularExpression("^\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d$")));
    EXPECT_TRUE(form().lv.visible());
    EXPECT_EQ(h->host.doEventsCount, 3);
    EXPECT_EQ(form().NomeArchivio, "qn45070218.zip");
    EXPECT_EQ(form().PathArchivio, Installation::win(inst.updates()) + "\\qn45070218.zip");
    EXPECT_EQ(form().VersArchivio, "4.5");
    EXPECT_EQ(form().DataArchivio, vb::dateSerial(2007, 2, 18));
}

TEST_F(InspectionTest, EmptyArchiveShowsAnEmptyList) {
    QFile empty(inst.updates() + "/qn45070218.zip"); // just the end-of-directory record
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write(QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    empty.close();
    click("qn45070218.zip");
    EXPECT_TRUE(h->host.messages.empty());
    EXPECT_EQ(form().lv.rowCount(), 0);
    EXPECT_TRUE(form().lv.visible());
    EXPECT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
}

TEST_F(InspectionTest, RejectedNameKeepsThePreviousArchive) {
    inst.writeArchive(inst.updates(), "qn45070218.zip", {{"a", "a"}});
    inst.writeArchive(inst.updates(), "qn4507021.zip", {{"b", "b"}});  // 13 characters
    inst.writeArchive(inst.updates(), "qn45O70218.zip", {{"c", "c"}}); // letter O
    click("qn45070218.zip");
    for (const char* bad : {"qn4507021.zip", "qn45O70218.zip"}) {
        SCOPED_TRACE(bad);
        click(bad);
        EXPECT_EQ(h->host.messageTexts(), QStringList{kBadName});
        EXPECT_EQ(h->host.messages[0].icon, ui::Icon::Exclamation);
        EXPECT_EQ(form().Label2.caption(), "");
        EXPECT_FALSE(form().lv.visible());
        EXPECT_EQ(form().NomeArchivio, bad);
        EXPECT_EQ(form().VersArchivio, "4.5");
        EXPECT_EQ(form().PathArchivio, Installation::win(inst.updates()) + "\\qn45070218.zip");
        EXPECT_EQ(rowTexts(), QStringList{"a"});
    }
}

TEST_F(InspectionTest, ErrorPaths) {
    struct Case {
        const char* name;
        std::function<void(Installation&)> prepare;
        QStringList messagesStartWith;
        const char* label;
        bool listVisible;
    } cases[] = {
        {"not a zip",
         [](Installation& i) {
             QFile f(i.updates() + "/qn45070218.zip");
             f.open(QIODevice::WriteOnly);
             f.write("questo non è un archivio");
         },
         {"Formato archivio non compatibile con WinZip\r\nImpossibile visualizzarne il contenuto"},
         "",
         false},
        {"empty file",
         [](Installation& i) {
             QFile f(i.updates() + "/qn45070218.zip");
             f.open(QIODevice::WriteOnly);
         },
         {"Formato archivio non compatibile con WinZip"},
         "",
         false},
        {"truncated archive",
         [](Installation& i) {
             const QString p =
                 i.writeArchive(i.updates(), "qn45070218.zip", {{"a", std::string(5000, 'x')}});
             QFile f(p);
             f.resize(f.size() / 2);
         },
         {"Formato archivio non compatibile con WinZip"},
         "",
         false},
        {"an unreadable archive on a server that does not answer",
         [this](Installation& i) {
             QFile f(i.updates() + "/qn45070218.zip");
             f.open(QIODevice::WriteOnly);
             // The whole disk is a server's share here, and the server stops answering.
             env.setDrives({{u'Z', "/", "/", "\\\\server\\quna"}});
             env.setProbe([](QChar) { return vb::err::DiskNotReady; });
         },
         {"ATTENZIONE!! Il server \\\\server\\quna non risponde: Z:\\"},
         "",
         false},
        {"a folder named like an archive",
         [](Installation& i) { QDir(i.updates()).mkpath("qn45070218.zip"); },
         {},
         nullptr,
         false},
        {"an entry too large for the 32-bit size, first of 300",
         [](Installation& i) {
             std::vector<Entry> entries;
             for (int k = 0; k < 300; ++k)
                 entries.push_back({"e" + std::to_string(k), "x"});
             QFile f(i.writeArchive(i.updates(), "qn45070218.zip", entries));
             f.open(QIODevice::ReadWrite);
             const qint64 central = f.readAll().indexOf("PK\x01\x02");
             f.seek(central + 24); // the first entry's uncompressed size
             f.write("\xF0\xFF\xFF\xFF", 4);
         },
         // The archive is closed by the error: the listing stops, with one box.
         {"codice Errore = 6\r\n"},
         "",
         true},
        {"date piece that is no whole number",
         [](Installation& i) {
             i.writeArchive(i.updates(), "qn47-70218.zip", {{"a", "a"}});
         },
         // The listing goes on, but the description stays blank: no earlier archive's date
         // is shown or installed.
         {"codice Errore = 13\r\n"},
         "",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(inst.updates()).removeRecursively();
        QDir().mkpath(inst.updates());
        c.prepare(inst);
        form().File1.refresh();
        if (form().File1.listCount() == 0) continue; // a folder is not listed as a file
        h->host.messages.clear();
        form().File1.setListIndex(0);
        ASSERT_EQ(h->host.messages.size(), std::size_t(c.messagesStartWith.size()))
            << h->host.messageTexts().join("|").toStdString();
        for (int m = 0; m < c.messagesStartWith.size(); ++m)
            EXPECT_TRUE(h->host.messages[std::size_t(m)].text.startsWith(c.messagesStartWith[m]));
        EXPECT_EQ(form().Label2.caption(), c.label);
        EXPECT_EQ(form().lv.visible(), c.listVisible);
        env.setDrives({});
        env.setProbe({});
    }
}

TEST_F(InspectionTest, ArchiveRemovedAfterItWasListedReportsEachFailingStep) {
    inst.writeArchive(inst.updates(), "qn45070218.zip", {{"a", "a"}});
    form().File1.refresh();
    QFile::remove(inst.updates() + "/qn45070218.zip");
    form().File1.setListIndex(0);
    const QStringList texts = h->host.messageTexts();
    ASSERT_EQ(texts.size(), 3) << texts.join("|").toStdString();
    EXPECT_TRUE(texts[0].startsWith("codice Errore = 53\r\nFile non trovato"));
    EXPECT_TRUE(texts[1].startsWith("codice Errore = 53\r\n"));
    EXPECT_EQ(form().Label2.caption(), "");
    EXPECT_TRUE(form().lv.visible());
}

TEST_F(InspectionTest, MissingColumnsEndTheListingSilently) {
    inst.writeArchive(inst.updates(), "qn45070218.zip", {{"a", "a"}});
    form().lv.clearColumns(); // as when start-up ended before adding them
    click("qn45070218.zip");
    EXPECT_TRUE(h->host.messages.empty());
    EXPECT_EQ(form().Label2.caption(), "");
    EXPECT_FALSE(form().lv.visible());
}

TEST_F(InspectionTest, ThirtyTwoThousandSevenHundredSixtyEightEntriesOverflowTheCounter) {
    std::vector<Entry> many;
    for (int i = 0; i < 32768; ++i)
        many.push_back({"f" + std::to_string(i), ""});
    inst.writeArchive(inst.updates(), "qn45070218.zip", many);
    click("qn45070218.zip");
    ASSERT_EQ(h->host.messages.size(), 1u);
    EXPECT_TRUE(h->host.messages[0].text.startsWith("codice Errore = 6\r\n"));
    EXPECT_EQ(form().lv.rowCount(), 32768);
    EXPECT_EQ(form().lv.row(0).text, "f32767");
    EXPECT_EQ(form().Label2.caption(), "");
    EXPECT_TRUE(form().lv.visible());
    EXPECT_FALSE(form().Zip1.isOpen());
}

TEST_F(InspectionTest, ClicksDuringTheListingNeverNestAndElaboraWaits) {
    std::vector<Entry> entries;
    for (int i = 0; i < 50; ++i)
        entries.push_back({"e" + std::to_string(i), "x"});
    inst.writeArchive(inst.updates(), "qn44070110.zip", entries);
    inst.writeArchive(inst.updates(), "qn45070218.zip", {{"solo.txt", "s"}});
    form().File1.refresh();
    int passes = 0, depth = 0, maxDepth = 0;
    h->host.onDoEvents = [&] {
        maxDepth = std::max(maxDepth, ++depth);
        if (++passes == 10) {
            update::cmdElabora_Click(form()); // refused: the listing has not finished
            form().File1.setListIndex(1);     // another archive: the first listing stops
        }
        --depth;
    };
    form().File1.setListIndex(0);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_TRUE(h->host.messages.empty());
    EXPECT_TRUE(h->host.calls.contains("beep"));
    EXPECT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
    EXPECT_EQ(rowTexts(), QStringList{"solo.txt"});
    EXPECT_TRUE(form().lv.visible());
    EXPECT_FALSE(form().listing.running());
}

TEST_F(InspectionTest, FolderChangeDuringTheListingLeavesNothingToInstall) {
    std::vector<Entry> entries;
    for (int i = 0; i < 20; ++i)
        entries.push_back({"e" + std::to_string(i), "x"});
    inst.writeArchive(inst.updates(), "qn45070218.zip", entries);
    form().File1.refresh();
    h->host.onDoEvents = [&] {
        h->host.onDoEvents = nullptr;
        form().Dir1.setPath(Installation::win(inst.program()));
    };
    form().File1.setListIndex(0);
    EXPECT_TRUE(form().Label2.caption().trimmed().isEmpty());
    EXPECT_FALSE(form().lv.visible());
    EXPECT_EQ(form().File1.path(), Installation::win(inst.program()));
}

TEST_F(InspectionTest, DriveRootJoinsWithoutASecondBackslash) {
    env.setDrives({{'Z', "/", "/"}, {'Q', inst.updates(), "agg"}});
    inst.writeArchive(inst.updates(), "qn45070218.zip", {{"a", "a"}});
    form().File1.setPath("Q:\\");
    form().File1.setListIndex(0);
    EXPECT_EQ(form().PathArchivio, "Q:\\qn45070218.zip");
    EXPECT_TRUE(h->host.messages.empty());
    env.setDrives({});
}
