// "Elabora" on real installations: every refusal, the confirmation, the backup, the
// extraction, the restore and the relaunch.
#include "support/installation.h"

#include "app/handlers.h"
#include "update/handlers.h"

#include <QCryptographicHash>
#include <QRegularExpression>

using namespace testing_support;

namespace {
constexpr qint64 kBigEnough = 3000000;
const std::string kNewMain = "#!/bin/sh\necho \"QUNA 4.5\" >> \"$(dirname \"$0\")/started.log\"\n";

struct ProcedureTest : ::testing::Test {
    LocaleScope locale{kItalian};
    Installation inst;
    std::unique_ptr<Harness> h;

    // A standard installation (workstation 4.4 of 10-01-2007) whose update folder holds one
    // archive; start-up lists it.
    void start(const QString& name, const std::vector<Entry>& entries, qint64 size = kBigEnough,
               VersionRecord workstation = {}) {
        inst.standard();
        inst.writeWorkstationDb(workstation);
        inst.writeArchive(inst.updates(), name, entries, size);
        h = std::make_unique<Harness>(inst);
        ASSERT_TRUE(h->load());
        ASSERT_TRUE(h->host.messages.empty()) << h->host.messageTexts().join("|").toStdString();
        h->host.calls.clear();
    }
    bool elabora() {
        return h->run([&] { update::cmdElabora_Click(*h->form); });
    }
    QString file(const QString& name) { return inst.program() + "/" + name; }
};

const std::vector<Entry> kUpdate{
    {"Quna.exe", kNewMain}, {"dati/", ""}, {"dati/nuovo.txt", "nuovo"}, {"Leggimi.txt", "leggi"}};
} // namespace

TEST_F(ProcedureTest, SuccessfulUpdateReplacesFilesDropsTheBackupAndStartsTheNewProgram) {
    start("qn45070218.zip", kUpdate);
    EXPECT_FALSE(elabora());
    const QStringList texts = h->host.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join("|").toStdString();
    EXPECT_EQ(texts[0], "Confermi l'elaborazione di aggiornamento di QUNA \r\n"
                        "Dalla versione 4.4 del 10-01-07\r\n"
                        "Alla versione 4.5 del 18-02-07 ?");
    EXPECT_EQ(h->host.messages[0].buttons, ui::Buttons::YesNo);
    EXPECT_EQ(h->host.messages[0].icon, ui::Icon::Question);
    EXPECT_EQ(texts[1], "Elaborazione terminata!!!");
    EXPECT_EQ(h->host.messages[1].icon, ui::Icon::None);
    EXPECT_EQ(Installation::readFile(file("Quna.exe")), QByteArray::fromStdString(kNewMain));
    EXPECT_TRUE(QFileInfo(file("Quna.exe")).isExecutable()); // the mode of its backup
    EXPECT_EQ(Installation::readFile(file("dati/nuovo.txt")), "nuovo");
    EXPECT_FALSE(QFile::exists(file("Quna.OLD")));
    EXPECT_FALSE(QFile::exists(file(".quna-update.journal")));
    const QStringList calls = h->host.calls.filter(QRegularExpression("^(pointer|start|end)"));
    EXPECT_EQ(calls, QStringList({"pointer 11", "pointer 0",
                                  "start " + Installation::win(inst.program()) + "\\quna.exe 1",
                                  "pointer 0", "end"}));
    // The log's last line tells the update: where, which archive (its size and SHA-256),
    // from which version to which, and how it ended.
    const QList<QByteArray> lines = Installation::readFile(fs::updateLogPath()).split('\n');
    ASSERT_GE(lines.size(), 2);
    const QString last = QString::fromUtf8(lines[lines.size() - 2]);
    const QString archive = inst.updates() + "/qn45070218.zip";
    QCryptographicHash sha(QCryptographicHash::Sha256);
    sha.addData(Installation::readFile(archive));
    for (const QString& field :
         QStringList{"\taggiornamento\t", "\tcartella=" + h->form->PathProgramma,
                     "\tarchivio=" + h->form->PathArchivio,
                     "\tbyte=" + QString::number(QFileInfo(archive).size()),
                     "\tsha256=" + QString::fromLatin1(sha.result().toHex()), "\tda=4.4\ta=4.5\t",
                     "\tesito=completato"})
        EXPECT_TRUE(last.contains(field)) << field.toStdString() << " in " << last.toStdString();
}

TEST_F(ProcedureTest, ArchiveWithoutTheMainProgramRestoresTheBackup) {
    start("qn45070218.zip", {{"altro.txt", "x"}});
    const QByteArray oldMain = Installation::readFile(file("Quna.exe"));
    EXPECT_FALSE(elabora());
    EXPECT_EQ(h->host.messageTexts().mid(1),
              QStringList{"ATTENZIONE!! L'aggiornamento non è andato a buon fine !\r\n"
                          "Ripristino la versione precedente"});
    EXPECT_EQ(h->host.messages[1].icon, ui::Icon::None);
    EXPECT_EQ(Installation::readFile(file("Quna.exe")), oldMain);
    EXPECT_EQ(Installation::readFile(file("altro.txt")), "x"); // extracted entries stay
    EXPECT_TRUE(h->host.calls.last() == "end");
}

TEST_F(ProcedureTest, NoMainProgramAndNoBackupSaysSoAndEnds) {
    start("qn45070218.zip", {{"altro.txt", "x"}});
    QFile::remove(file("Quna.exe"));
    EXPECT_FALSE(elabora());
    const QString main = Installation::win(inst.program()) + "\\quna.exe";
    EXPECT_EQ(h->host.messageTexts().mid(1),
              QStringList(
                  {"ATTENZIONE!! L'aggiornamento non è andato a buon fine !\r\n"
                   "Ripristino la versione precedente",
                   "Impossibile avviare il programma QUNA:\r\n" + main + "\r\nFile non trovato"}));
    EXPECT_EQ(h->host.messages.back().icon, ui::Icon::Critical);
    EXPECT_EQ(h->host.calls.filter("start").size(), 1);
    EXPECT_EQ(h->host.calls.last(), "end");
}

TEST_F(ProcedureTest, OldBackupIsReplacedByTheCurrentProgram) {
    start("qn45070218.zip", {{"altro.txt", "x"}});
    QFile old(file("quna.old"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("vecchio");
    old.close();
    const QByteArray main = Installation::readFile(file("Quna.exe"));
    EXPECT_FALSE(elabora()); // the archive lacks the main program: restored from the backup
    EXPECT_EQ(Installation::readFile(file("Quna.exe")), main);
}

TEST_F(ProcedureTest, Refusals) {
    struct Case {
        const char* name;
        QString archive;
        qint64 size;
        VersionRecord workstation;
        std::function<void(form::Form&, Installation&)> before;
        QString message; // "" = reaches the question
        bool beep;
    } cases[] = {
        {"blank path",
         "qn45070218.zip",
         kBigEnough,
         {},
         [](form::Form& f, Installation&) { f.PathArchivio = "   "; },
         "Percorso archivio di aggiornamento non selezionato!!",
         true},
        {"archive deleted after selection",
         "qn45070218.zip",
         kBigEnough,
         {},
         [](form::Form&, Installation& i) { QFile::remove(i.updates() + "/qn45070218.zip"); },
         "Archivio " + Installation::win(QDir::tempPath()) + "*",
         true},
        {"folder changed after selection",
         "qn45070218.zip",
         kBigEnough,
         {},
         [](form::Form& f, Installation& i) { f.Dir1.setPath(Installation::win(i.program())); },
         "Archivio di aggiornamento non selezionato o danneggiato!!",
         true},
        {"rejected name after a good one",
         "qn45070218.zip",
         kBigEnough,
         {},
         [](form::Form& f, Installation& i) {
             i.writeArchive(i.updates(), "qn4507021.zip", {{"a", "a"}});
             f.File1.refresh();
             f.File1.setListIndex(int(f.File1.files().indexOf("qn4507021.zip")));
             f.host.messageBox("", ui::Buttons::Ok, ui::Icon::None); // marks the split
         },
         "Archivio di aggiornamento non selezionato o danneggiato!!",
         true},
        {"2,999,999 bytes",
         "qn45070218.zip",
         kBigEnough - 1,
         {},
         nullptr,
         "ATTENZIONE!! File di aggiornamento (*.Zip) è danneggiato\r\nAggiornamento impossibile: "
         "prova a riscaricarlo da www.example.com",
         false},
        {"3,000,000 bytes", "qn45070218.zip", kBigEnough, {}, nullptr, "", false},
        {"older version",
         "qn43070218.zip",
         kBigEnough,
         {},
         nullptr,
         "ATTENZIONE!! La versione del file di aggiornamento selezionato\r\nè antecedente a quella "
         "del programma di QUNA già installato!!\r\nAggiornamento annullato!!",
         true},
        {"newer version but older date",
         "qn46070109.zip",
         kBigEnough,
         {},
         nullptr,
         "ATTENZIONE!! La versione dell'aggiornamento selezionato è \r\nantecedente al programma "
         "QUNA già installato!!\r\nAggiornamento annullato!!",
         true},
        {"same version and date", "qn44070110.zip", kBigEnough, {}, nullptr, "", false},
        {"4.5 against 4.10 compares as text",
         "qn45070218.zip",
         kBigEnough,
         {std::string("4.10"), jet::DateTime{jet::oleDate(2007, 1, 10)}},
         nullptr,
         "",
         false},
        {"empty workstation version",
         "qn01070218.zip",
         kBigEnough,
         {std::string(""), jet::DateTime{jet::oleDate(2007, 1, 10)}},
         nullptr,
         "",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation i;
        i.standard();
        i.writeWorkstationDb(c.workstation);
        i.writeArchive(i.updates(), c.archive, kUpdate, c.size);
        Harness hh(i);
        ASSERT_TRUE(hh.load());
        if (c.before) c.before(*hh.form, i);
        hh.host.messages.clear();
        hh.host.calls.clear();
        hh.host.answers = {ui::Answer::No};
        const auto before = Installation::snapshot(i.program());
        ASSERT_TRUE(hh.run([&] { update::cmdElabora_Click(*hh.form); }));
        ASSERT_FALSE(hh.host.messages.empty());
        const ui::ShownMessage& m = hh.host.messages[0];
        if (c.message.isEmpty()) {
            EXPECT_EQ(m.buttons, ui::Buttons::YesNo) << m.text.toStdString();
            EXPECT_EQ(hh.host.messageTexts().last(), "Aggiornamento versione Qunawin annullata!!");
            EXPECT_EQ(hh.form->Messaggio, "Aggiornamento versione Qunawin annullata!!");
        } else if (c.message.endsWith('*')) {
            EXPECT_TRUE(m.text.startsWith(c.message.chopped(1))) << m.text.toStdString();
            EXPECT_TRUE(m.text.endsWith(" non trovato!!"));
        } else {
            EXPECT_EQ(m.text, c.message);
        }
        EXPECT_EQ(hh.host.messages.size(), c.message.isEmpty() ? 2u : 1u);
        EXPECT_EQ(m.icon, c.message.isEmpty() ? ui::Icon::Question : ui::Icon::Exclamation);
        EXPECT_EQ(hh.host.calls.contains("beep"), c.beep);
        EXPECT_TRUE(Installation::snapshot(i.program()) == before) << "files changed";
    }
}

TEST_F(ProcedureTest, RowCounterLimits) {
    // More rows than the 16-bit counter holds: the error comes before any extraction.
    start("qn45070218.zip", kUpdate);
    for (int i = 0; i < 32768 - 4; ++i)
        h->form->lv.insertAtTop("Leggimi.txt");
    auto before = Installation::snapshot(inst.program());
    EXPECT_TRUE(elabora());
    ASSERT_EQ(h->host.messages.size(), 2u);
    EXPECT_EQ(h->host.messages[1].text,
              "codice Errore = 6\r\nOverflow\r\n"
              "L'aggiornamento è stato annullato: QUNA è rimasto alla versione precedente.");
    // The main program is back under its own name; the backup stays, as after any failure.
    auto after = Installation::snapshot(inst.program());
    EXPECT_EQ(after["Quna.OLD"], before["Quna.exe"]);
    after.erase("Quna.OLD");
    EXPECT_TRUE(after == before);
    for (const auto& [name, content] : after)
        EXPECT_TRUE(before.count(name) && before[name] == content) << name.toStdString();
    EXPECT_EQ(h->host.calls.filter("pointer").last(), "pointer 0");
}
