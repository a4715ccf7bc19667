// The real window, offscreen: every control in place as the reference drawing gives it, with
// its captions, tool tips, fonts, colours, tab order, keys, names for assistive tools and the
// rounded outline; and over a real installation, what every widget shows after each user action.
#include "app/handlers.h"
#include "app/layout.h"
#include "app/shape.h"
#include "app/window.h"
#include "form/form.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/ui/fake_host.h"
#include "platform/ui/qt_host.h"
#include "platform/vb/error.h"
#include "support/installation.h"
#include "support/qt_print.h"
#include "support/shared.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>
#include <random>
#include <set>

using namespace testing_support;

namespace {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
    app::installFontSubstitutions();
}

struct WindowTest : ::testing::Test {
    static void SetUpTestSuite() { ensureApplication(); }
    ui::FakeHost host;
    form::Form form{host};
    app::Window window{form};
    WindowTest() { app::connectEvents(form); }
    QWidget* child(const QString& name) {
        QWidget* w = window.findChild<QWidget*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
};

QString referencePath() {
    return sharedFolder() + "/reference/window-layout.txt";
}

} // namespace

TEST_F(WindowTest, EveryControlWhereTheReferenceDrawingPutsIt) {
    QFile ref(referencePath());
    if (!ref.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no reference drawing beside the sources";
    int checked = 0;
    for (const QByteArray& line : ref.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> f = line.simplified().split(' ');
        ASSERT_EQ(f.size(), 5);
        QString name = QString::fromLatin1(f[0]).replace('(', '_').remove(')');
        QWidget* w = child(name);
        ASSERT_NE(w, nullptr);
        const QPoint topLeft = w->mapTo(window.client(), QPoint(0, 0));
        const QRect got(topLeft, w->size());
        EXPECT_EQ(got, QRect(QPoint(f[1].toInt(), f[2].toInt()),
                             QPoint(f[3].toInt() - 1, f[4].toInt() - 1)))
            << name.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 21);
    EXPECT_EQ(window.client()->size(), QSize(792, 546));
}

TEST_F(WindowTest, CaptionsToolTipsFontsAndColours) {
    EXPECT_EQ(window.windowTitle(), "Aggiorna versione di QUNA");
    EXPECT_EQ(window.objectName(), "frmQunaAgg");
    EXPECT_EQ(static_cast<QGroupBox*>(child("Frame3"))->title(),
              "Percorso dei files di aggiornamento");
    EXPECT_EQ(static_cast<QLabel*>(child("Label1_0"))->text(), "Percorso ");
    EXPECT_EQ(static_cast<QLabel*>(child("Label1_2"))->text(), "Unità");
    EXPECT_EQ(static_cast<QLabel*>(child("Label3"))->text(), "Ver. 2.0 del 18 Feb 2007");
    EXPECT_EQ(static_cast<QToolButton*>(child("cmdElabora"))->text(), "Elabora");
    EXPECT_EQ(static_cast<QToolButton*>(child("cmdAnnulla"))->text(), "Esci");
    EXPECT_FALSE(static_cast<QToolButton*>(child("cmdElabora"))->icon().isNull());
    EXPECT_FALSE(static_cast<QToolButton*>(child("cmdAnnulla"))->icon().isNull());
    const auto* folders = static_cast<QListWidget*>(child("Dir1"));
    ASSERT_GT(folders->count(), 0);
    for (int i = 0; i < folders->count(); ++i)
        EXPECT_FALSE(folders->item(i)->icon().isNull()) << folders->item(i)->text().toStdString();
    EXPECT_EQ(child("cmdElabora")->toolTip(), "Esegue l'aggiornamento di Quna");
    EXPECT_EQ(child("cmdAnnulla")->toolTip(), "Annulla elaborazione");
    EXPECT_EQ(child("File1")->toolTip(),
              "Elenco file di aggiornamento di QUNA presenti nella cartella selezionata");
    // The database path may not fit its label: the tool tip shows it whole.
    const QString longPath = "Z:\\" + QString("cartella molto lunga\\").repeated(6) + "quna.mdb";
    form.lblPathArchivi.setCaption(longPath);
    EXPECT_EQ(child("lblPathArchivi")->toolTip(), longPath);
    EXPECT_FALSE(child("lv")->isVisibleTo(&window));
    EXPECT_EQ(child("File1")->palette().color(QPalette::Base), QColor(192, 255, 255));
    EXPECT_EQ(child("Label1_1")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(child("Label3")->palette().color(QPalette::Window), QColor(255, 255, 192));
    EXPECT_EQ(child("Label3")->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    EXPECT_TRUE(child("Label3")->font().bold());
    EXPECT_EQ(child("Label3")->font().pixelSize(), 15); // Arial 11.25 pt at 96 dpi
    EXPECT_EQ(child("lblVersDB")->font().pixelSize(), 13);
    EXPECT_EQ(child("Label2")->font().pixelSize(), 11);
    // MS Sans Serif and Arial are shown in an installed metric-compatible face.
    EXPECT_FALSE(QFont::substitutes("Arial").isEmpty());
    EXPECT_EQ(window.windowIcon().availableSizes(),
              QList<QSize>({{16, 16}, {24, 24}, {32, 32}, {48, 48}, {128, 128}}));
    // The panel's help text in the panel's font, MS Sans Serif 9.75 pt bold.
    const QFont help = child("SSPanel1")->findChild<QLabel*>()->font();
    EXPECT_EQ(help.pixelSize(), 13);
    EXPECT_TRUE(help.bold());
    EXPECT_EQ(help.family(), child("lblVersDB")->font().family());
}

TEST_F(WindowTest, ListsInTheColouredFramePaintWhiteAndHeadersAlignAsTheirColumns) {
    app::setupArchiveColumns(form);
    form.lv.setVisible(true);
    // A folder near the root, so that the folder list has room below its rows wherever the
    // build tree sits.
    QTemporaryDir shallow(QDir::tempPath() + "/qwt-XXXXXX");
    ASSERT_TRUE(shallow.isValid());
    form.Dir1.setPath(fs::toWindows(shallow.path()));
    window.show();
    for (const char* name : {"Dir1", "lv"}) {
        // The bottom right of the list, below any row.
        const auto* list = static_cast<QAbstractScrollArea*>(child(name));
        const QImage shown = list->viewport()->grab().toImage();
        EXPECT_EQ(QColor(shown.pixel(shown.width() - 3, shown.height() - 3)), QColor(Qt::white))
            << name;
    }
    const QAbstractItemModel* columns = static_cast<QTreeView*>(child("lv"))->model();
    const std::pair<const char*, Qt::Alignment> headers[] = {{"Nome", Qt::AlignLeft},
                                                             {"Data", Qt::AlignHCenter},
                                                             {"Non compresso", Qt::AlignRight},
                                                             {"Compresso", Qt::AlignRight}};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(columns->headerData(c, Qt::Horizontal).toString(), headers[c].first);
        EXPECT_EQ(
            Qt::Alignment(columns->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt()) &
                Qt::AlignHorizontal_Mask,
            headers[c].second)
            << headers[c].first;
    }
}

TEST_F(WindowTest, TabOrderFollowsTheDesign) {
    std::vector<const app::ControlDesign*> designs;
    for (const app::ControlDesign& d : app::controlDesigns())
        designs.push_back(&d);
    std::sort(designs.begin(), designs.end(),
              [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    QStringList expected, chain;
    for (auto* d : designs)
        if (child(d->name)->focusPolicy() & Qt::TabFocus) expected << d->name;
    EXPECT_EQ(expected, QStringList({"Dir1", "File1", "cmdElabora", "cmdAnnulla", "lv", "Drive1"}));
    // The focus chain, reduced to the designed controls (their inner widgets left out).
    QWidget* first = child(expected.front());
    QWidget* w = first;
    do {
        if (expected.contains(w->objectName()) && !chain.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first);
    EXPECT_EQ(chain, expected);
}

TEST_F(WindowTest, RoundedOutlineCoversTheCaptionBarToo) {
    window.resize(window.size());
    app::ImpostaForma(window, app::RGN_ARROTONDATO);
    const QRegion mask = window.mask();
    EXPECT_EQ(mask.boundingRect(), QRect(QPoint(0, 0), window.size()));
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(window.width() - 1, window.height() - 1)));
    EXPECT_TRUE(mask.contains(QPoint(10, 3)));
    EXPECT_TRUE(mask.contains(QPoint(window.width() / 2, 0)));
    app::ImpostaForma(window, 7); // any other code removes the region
    EXPECT_TRUE(window.mask().isEmpty());
    // A window with no size yet gets an empty region, which shows none of it (an empty mask
    // would show all of it).
    window.setRegion(app::regionFor({0, 0, 0, 0}, app::RGN_ARROTONDATO));
    EXPECT_FALSE(window.mask().isEmpty());
    EXPECT_TRUE(window.mask().intersected(window.rect()).isEmpty());
    app::ImpostaForma(window, app::RGN_ROMBO);
    EXPECT_TRUE(window.mask().contains(QPoint(window.width() / 2, window.height() / 2)));
}

TEST_F(WindowTest, AssistiveToolsReadNamesRolesAndDescriptions) {
    window.show();
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->role(), QAccessible::Dialog);
    EXPECT_EQ(root->text(QAccessible::Name), "Aggiorna versione di QUNA");
    // The whole tree, by object name.
    std::map<QString, QAccessibleInterface*> byName;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* i) {
        if (QObject* o = i->object(); o && !o->objectName().isEmpty())
            byName.emplace(o->objectName(), i);
        for (int c = 0; c < i->childCount(); ++c)
            if (QAccessibleInterface* next = i->child(c)) walk(next);
    };
    walk(root);
    struct Row {
        const char* object;
        QAccessible::Text text;
        const char* expected;
    };
    const Row rows[] = {
        {"Dir1", QAccessible::Name, "Cartella"},
        {"File1", QAccessible::Name, "Archivi Agg. Quna"},
        {"File1", QAccessible::Description,
         "Elenco file di aggiornamento di QUNA presenti nella cartella selezionata"},
        {"lv", QAccessible::Name, "Contenuto dell'Archivio selezionato"},
        {"closeBox", QAccessible::Name, "Chiudi"},
        {"cmdElabora", QAccessible::Name, "Elabora"},
        {"cmdElabora", QAccessible::Description, "Esegue l'aggiornamento di Quna"},
        {"cmdAnnulla", QAccessible::Name, "Esci"},
        {"cmdAnnulla", QAccessible::Description, "Annulla elaborazione"},
        {"lblPathArchivi", QAccessible::Description, "Percorso"},
        {"lblVersDB", QAccessible::Description, "Versione"},
        {"lblVersPC", QAccessible::Description, "Versione del PC"},
        {"Frame3", QAccessible::Name, "Percorso dei files di aggiornamento"},
        {"Label1_2", QAccessible::Name, "Unità"},
        {"captionTitle", QAccessible::Name, "Aggiorna versione di QUNA"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.object);
        ASSERT_TRUE(byName.count(r.object));
        EXPECT_EQ(byName[r.object]->text(r.text), QString::fromUtf8(r.expected));
    }
    // The drive list reads its current drive as its name on some platforms: its label is
    // tied to it as well.
    ASSERT_TRUE(byName.count("Drive1"));
    QStringList labels;
    for (const auto& [label, relation] : byName["Drive1"]->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
    EXPECT_TRUE(labels.contains("Unità")) << labels.join('|').toStdString();
    EXPECT_EQ(child("Drive1")->accessibleName(), "Unità");
    // Every control that takes the focus has a name.
    for (const auto& [name, i] : byName) {
        auto* w = qobject_cast<QWidget*>(i->object());
        if (w && (w->focusPolicy() & Qt::TabFocus)) {
            EXPECT_FALSE(i->text(QAccessible::Name).isEmpty()) << name.toStdString();
        }
    }
}

TEST_F(WindowTest, ReturnAndSpacePressTheFocusedCommandButton) {
    // An archive list that shows nothing selected: "Elabora" refuses at once, with a beep.
    window.show();
    auto* elabora = static_cast<QToolButton*>(child("cmdElabora"));
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Return, Qt::NoModifier}, std::pair{Qt::Key_Enter, Qt::KeypadModifier},
          std::pair{Qt::Key_Space, Qt::NoModifier}}) {
        SCOPED_TRACE(key);
        host.messages.clear();
        QTest::keyClick(elabora, key, modifiers);
        EXPECT_EQ(host.messageTexts(),
                  QStringList{"Percorso archivio di aggiornamento non selezionato!!"});
    }
}

TEST_F(WindowTest, AnErrorNoHandlerTrapsIsShownByTheWindowAndTheUpdaterGoesOn) {
    window.show();
    form.cmdAnnulla.Click = [] { vb::raise(vb::err::DiskNotReady); };
    QTest::mouseClick(child("cmdAnnulla"), Qt::LeftButton);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].text.startsWith("codice Errore = 71"))
        << host.messages[0].text.toStdString();
    EXPECT_EQ(host.messages[0].icon, ui::Icon::Exclamation);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowTest, MessageBoxKeys) {
    struct Row {
        ui::Buttons buttons;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        ui::Answer answer;
        QStringList captions; // sorted
    };
    const QStringList yesNo{"No", "Sì"}, ok{"OK"}, okCancel{"Annulla", "OK"};
    const Row rows[] = {
        {ui::Buttons::YesNo, Qt::Key_S, Qt::NoModifier, ui::Answer::Yes, yesNo},
        {ui::Buttons::YesNo, Qt::Key_S, Qt::AltModifier, ui::Answer::Yes, yesNo},
        {ui::Buttons::YesNo, Qt::Key_N, Qt::NoModifier, ui::Answer::No, yesNo},
        {ui::Buttons::YesNo, Qt::Key_N, Qt::AltModifier, ui::Answer::No, yesNo},
        {ui::Buttons::YesNo, Qt::Key_Escape, Qt::NoModifier, ui::Answer::No, yesNo},
        {ui::Buttons::YesNo, Qt::Key_Return, Qt::NoModifier, ui::Answer::Yes, yesNo},
        {ui::Buttons::Ok, Qt::Key_Return, Qt::NoModifier, ui::Answer::Ok, ok},
        {ui::Buttons::Ok, Qt::Key_Escape, Qt::NoModifier, ui::Answer::Ok, ok},
        {ui::Buttons::OkCancel, Qt::Key_Return, Qt::NoModifier, ui::Answer::Ok, okCancel},
        {ui::Buttons::OkCancel, Qt::Key_Escape, Qt::NoModifier, ui::Answer::Cancel, okCancel},
    };
    ui::QtHost qtHost;
    for (const Row& r : rows) {
        SCOPED_TRACE(QKeySequence(QKeyCombination(r.modifiers, r.key)).toString().toStdString());
        QStringList captions;
        bool answered = true;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            for (const QAbstractButton* b : box->findChildren<QAbstractButton*>())
                captions << b->text().remove(u'&');
            captions.sort();
            // Shortcuts (Alt and a letter) go to the active window.
            box->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, r.key, r.modifiers);
            // A key that does not answer leaves the box open: it is closed, and the row fails.
            QTimer::singleShot(5000, box, [&answered, box = QPointer<QWidget>(box)] {
                answered = false;
                if (box) static_cast<QDialog*>(box.data())->reject();
            });
        });
        const ui::Answer answer = qtHost.messageBox("Domanda", r.buttons, ui::Icon::Question);
        EXPECT_TRUE(answered);
        EXPECT_EQ(answer, r.answer);
        EXPECT_EQ(captions, r.captions);
    }
}

TEST(WindowPlacement, OpensCentredWithItsCaptionBarOnTheScreen) {
    struct Row {
        const char* what;
        QRect available;
        QPoint expected;
    };
    const QSize window(792, 546 + app::Window::kCaptionHeight);
    const Row rows[] = {
        {"1280x1024", QRect(0, 0, 1280, 1024), QPoint(244, 227)},
        {"a panel at the top", QRect(0, 40, 1280, 984), QPoint(244, 247)},
        {"a second screen", QRect(1280, 0, 1024, 768), QPoint(1396, 99)},
        {"1920x1080 at scale 2: taller than the screen", QRect(0, 0, 960, 540), QPoint(84, 0)},
        {"1024x768 at scale 1.5: larger than the screen", QRect(0, 0, 683, 512), QPoint(0, 0)},
        {"exactly the window", QRect(10, 20, 792, 570), QPoint(10, 20)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(app::openingPosition(window, r.available), r.expected);
    }
}

TEST(WindowPlacement, DrawnAtTheLargestScaleThatFits) {
    struct Row {
        const char* what;
        QRect available; // in the screen's scaled pixels
        double scale;
    };
    const Row rows[] = {
        {"1024x768 at scale 1", QRect(0, 0, 1024, 768), 1.0},
        {"1366x768 at scale 1.5", QRect(0, 0, 911, 512), 512.0 / 570},
        {"1920x1080 at scale 2", QRect(0, 0, 960, 540), 540.0 / 570},
        {"a narrow screen", QRect(0, 0, 600, 800), 600.0 / 792},
        {"exactly the window", QRect(10, 20, 792, 570), 1.0},
    };
    EXPECT_EQ(app::Window::designSize(), QSize(792, 570));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const double scale = app::fittingScale(app::Window::designSize(), r.available);
        EXPECT_DOUBLE_EQ(scale, r.scale);
        EXPECT_LE(qRound(792 * scale), r.available.width());
        EXPECT_LE(qRound(546 * scale) + qRound(24 * scale), r.available.height());
    }
}

// ---- the real window over a real installation

namespace {

// Archives in folders of two drives: folders with the same number of archives and the same
// first name, an archive whose date piece is no whole number, an empty folder.
struct WindowViewsTest : ::testing::Test {
    static void SetUpTestSuite() { ensureApplication(); }
    fs::Environment env;
    LocaleScope locale{kItalian};
    QTemporaryDir otherDrive;
    Installation inst;
    std::unique_ptr<Harness> h;
    std::unique_ptr<app::Window> window;
    std::map<QString, QStringList> entriesOf; // host path of an archive -> its entry names
    std::set<QString> selected, described;    // archives (host paths) shown selected, described

    void SetUp() override {
        env.setDrives({{'C', inst.root(), "dati"}, {'E', otherDrive.path(), "chiavetta"}});
        inst.standard();
        const QString updates = inst.updates(), sub = updates + "/sub";
        archive(updates, "qn44070110.zip");
        archive(updates, "qn45070218.zip");
        archive(sub, "qn44070110.zip");
        archive(sub, "qn46070301.zip");
        archive(sub + "/profonda", "qn45070218.zip");
        archive(sub + "/profonda", "qn47-70218.zip"); // the year piece "20-7" is no number
        archive(sub + "/profonda", "qn48071231.zip");
        QDir().mkpath(updates + "/vuota");
        QFile(updates + "/leggimi.txt").open(QIODevice::WriteOnly);
        archive(otherDrive.path(), "qn45070218.zip");
        archive(otherDrive.path() + "/altra", "qn44070110.zip");
        archive(otherDrive.path() + "/altra", "qn45070218.zip");
    }
    void TearDown() override {
        window.reset();
        h.reset();
    }
    // An archive whose entries name its folder, so that each listing is told apart.
    void archive(const QString& folder, const QString& name) {
        const QString tag = QDir(inst.root()).relativeFilePath(folder) + "/" + name;
        const QStringList names{tag + "/uno.txt", "dati/", "dati/" + tag + ".bin"};
        std::vector<Entry> entries;
        for (const QString& n : names)
            entries.push_back({n.toStdString(), n.endsWith('/') ? "" : n.toStdString()});
        entriesOf[QDir::cleanPath(inst.writeArchive(folder, name, entries))] = names;
    }
    void start() {
        h = std::make_unique<Harness>(inst);
        window = std::make_unique<app::Window>(*h->form);
        h->form->window = window.get();
        ASSERT_TRUE(h->load());
    }
    form::Form& form() { return *h->form; }
    template <typename T> T* widget(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QListWidget* files() { return widget<QListWidget>("File1"); }
    QListWidget* folders() { return widget<QListWidget>("Dir1"); }

    static QStringList texts(const QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    void click(QListWidget* list, int row, bool twice = false) {
        QListWidgetItem* item = list->item(row);
        list->scrollToItem(item);
        const QPoint at = list->visualItemRect(item).center();
        if (!twice) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            return;
        }
        // Two clicks at the window, as the window system delivers them: the application tells
        // the double click, and the list receives a press, a release, the double click and a
        // release, with no second press.
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {},
                           list->viewport()->mapTo(window.get(), at));
    }
    int folderRow(const QString& name) {
        const QStringList shown = texts(folders());
        for (int i = 0; i < shown.size(); ++i)
            if (shown[i].trimmed() == name) return i;
        ADD_FAILURE() << "no folder " << name.toStdString();
        return 0;
    }
    // The description an archive name brings (the names used here carry real dates).
    static QString description(const QString& name) {
        const QDate date(2000 + name.mid(4, 2).toInt(), name.mid(6, 2).toInt(),
                         name.mid(8, 2).toInt());
        return "Aggiorna Quna alla ver. " + name.mid(2, 1) + "." + name.mid(3, 1) + " del " +
               date.toString("dd-MM-yyyy");
    }

    // What every widget shows against its model, and the model against the disk.
    void expectShownAsItIs(const std::string& step) {
        SCOPED_TRACE(step);
        const form::Form& f = form();
        // File list: the open folder's archives, as on disk.
        const QStringList shownFiles = texts(files());
        EXPECT_EQ(shownFiles, f.File1.files());
        EXPECT_EQ(files()->currentRow(), f.File1.listIndex());
        EXPECT_EQ(f.File1.path(), f.Dir1.path());
        const QString open = fs::toHost(f.Dir1.path());
        EXPECT_EQ(shownFiles, QDir(open).entryList({"qn*.zip"}, QDir::Files, QDir::Name));
        // Folder list: the open folder's ancestors, itself, then its subfolders as on disk.
        QStringList modelFolders, subfolders;
        for (const ui::DirList::Entry& e : f.Dir1.entries()) {
            modelFolders << QString(e.depth * 2, u' ') + e.name;
            if (!e.open) subfolders << e.name;
        }
        EXPECT_EQ(texts(folders()), modelFolders);
        EXPECT_EQ(subfolders, QDir(open).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name));
        // Drive list.
        const auto* drives = widget<QComboBox>("Drive1");
        QStringList shownDrives;
        for (int i = 0; i < drives->count(); ++i)
            shownDrives << drives->itemText(i);
        EXPECT_EQ(shownDrives, f.Drive1.items());
        EXPECT_TRUE(drives->currentText().startsWith(f.Drive1.drive(), Qt::CaseInsensitive));
        // Archive list: every cell.
        const auto* list = widget<QTreeView>("lv");
        EXPECT_EQ(list->isVisibleTo(window.get()), f.lv.visible());
        const QAbstractItemModel* shown = list->model();
        ASSERT_EQ(shown->rowCount(), f.lv.rowCount());
        QStringList rowTexts;
        for (int r = 0; r < f.lv.rowCount(); ++r) {
            const ui::ListView::Row& row = f.lv.row(r);
            rowTexts << shown->index(r, 0).data().toString();
            EXPECT_EQ(rowTexts.back(), row.text);
            for (int c = 1; c < shown->columnCount(); ++c)
                EXPECT_EQ(shown->index(r, c).data().toString(),
                          c - 1 < row.subItems.size() ? row.subItems[c - 1] : QString());
        }
        // Frames, the panel and the labels.
        for (const ui::Captioned* frame : {&f.Frame1, &f.Frame2, &f.Frame3})
            EXPECT_EQ(widget<QGroupBox>(frame->name().toLatin1().constData())->title(),
                      frame->caption());
        EXPECT_EQ(widget<QWidget>("SSPanel1")->findChild<QLabel*>()->text(),
                  QString(f.SSPanel1.caption()).replace("\r\n", "\n"));
        std::vector<const ui::Captioned*> labels{&f.Label2, &f.Label3, &f.lblVersPC, &f.lblVersDB,
                                                 &f.lblPathArchivi};
        for (const ui::Captioned& l : f.Label1)
            labels.push_back(&l);
        for (const ui::Captioned* l : labels)
            EXPECT_EQ(widget<QLabel>(l->name().toLatin1().constData())->text(),
                      QString(l->caption()).replace("\r\n", "\n"))
                << l->name().toStdString();
        if (files()->currentRow() >= 0)
            selected.insert(QDir::cleanPath(open + "/" + files()->currentItem()->text()));
        // A description is that of the archive shown selected, whose entries are listed.
        if (!f.Label2.caption().trimmed().isEmpty()) {
            ASSERT_GE(files()->currentRow(), 0);
            const QString name = files()->currentItem()->text();
            EXPECT_EQ(f.Label2.caption(), description(name));
            const QString folder = f.Dir1.path();
            EXPECT_EQ(f.PathArchivio, folder + (folder.endsWith('\\') ? "" : "\\") + name);
            QStringList expected = entriesOf[QDir::cleanPath(open + "/" + name)];
            std::reverse(expected.begin(), expected.end());
            expected.replaceInStrings(QRegularExpression("/$"), "/%");
            EXPECT_EQ(rowTexts, expected);
            EXPECT_TRUE(f.lv.visible());
            described.insert(QDir::cleanPath(open + "/" + name));
        }
    }
};

} // namespace

TEST_F(WindowViewsTest, SameCountFoldersShowTheOpenFoldersArchives) {
    start();
    expectShownAsItIs("start-up");
    EXPECT_EQ(texts(files()), QStringList({"qn44070110.zip", "qn45070218.zip"}));
    EXPECT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
    click(folders(), folderRow("sub"), true);
    expectShownAsItIs("sub opened");
    EXPECT_EQ(texts(files()), QStringList({"qn44070110.zip", "qn46070301.zip"}));
    click(files(), 1);
    expectShownAsItIs("second archive clicked");
    EXPECT_EQ(files()->currentItem()->text(), "qn46070301.zip");
    EXPECT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.6 del 01-03-2007");
    EXPECT_EQ(form().PathArchivio, "C:\\quna\\Aggiorna\\sub\\qn46070301.zip");
}

TEST_F(WindowViewsTest, NoStaleDateAndReturnOnElaboraRefuses) {
    start();
    click(folders(), folderRow("sub"), true);
    click(folders(), folderRow("profonda"), true);
    EXPECT_EQ(texts(files()), QStringList({"qn45070218.zip", "qn47-70218.zip", "qn48071231.zip"}));
    click(files(), 0);
    expectShownAsItIs("a good archive");
    EXPECT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.5 del 18-02-2007");
    h->host.messages.clear();
    click(files(), 1);
    expectShownAsItIs("an archive whose date cannot be read");
    ASSERT_EQ(h->host.messages.size(), 1u);
    EXPECT_TRUE(h->host.messages[0].text.startsWith("codice Errore = 13\r\n"));
    EXPECT_EQ(widget<QLabel>("Label2")->text(), "");
    // Return on the focused "Elabora" refuses it: nothing readable is selected.
    widget<QWidget>("cmdElabora")->setFocus();
    ASSERT_EQ(window->focusWidget(), widget<QWidget>("cmdElabora"));
    h->host.messages.clear();
    QTest::keyClick(window->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(h->host.messageTexts(),
              QStringList{"Archivio di aggiornamento non selezionato o danneggiato!!"});
}

TEST_F(WindowViewsTest, StartUpGivesElaboraTheFocusAndReturnPressesIt) {
    start();
    ASSERT_EQ(window->focusWidget(), widget<QWidget>("cmdElabora"));
    h->host.messages.clear();
    QTest::keyClick(window->focusWidget(), Qt::Key_Return);
    // The archive is far below the size of a whole update.
    ASSERT_EQ(h->host.messages.size(), 1u);
    EXPECT_TRUE(h->host.messages[0].text.startsWith("ATTENZIONE!! File di aggiornamento"));
}

TEST_F(WindowViewsTest, RandomNavigationShowsEachModelAfterEveryStep) {
    start();
    expectShownAsItIs("start-up");
    std::mt19937 random(2); // the same walk on every run
    auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); };
    // Opening goes down into a subfolder more often than up, so the walk reaches the deep
    // folders; a change of drive is rarer than the rest.
    auto folderToOpen = [&] {
        std::vector<int> subfolders;
        for (int i = 0; i < int(form().Dir1.entries().size()); ++i)
            if (!form().Dir1.entries()[std::size_t(i)].open) subfolders.push_back(i);
        return !subfolders.empty() && pick(4)
                   ? subfolders[std::size_t(pick(int(subfolders.size())))]
                   : pick(folders()->count());
    };
    for (int step = 0; step < 400 && !HasFatalFailure(); ++step) {
        std::string what;
        const int action = pick(12);
        if (action < 4) {
            if (files()->count() == 0) continue;
            const int row = pick(files()->count());
            what = "click archive " + files()->item(row)->text().toStdString();
            click(files(), row);
        } else if (action < 7) {
            const int row = folderToOpen();
            what = "open folder " + folders()->item(row)->text().trimmed().toStdString();
            click(folders(), row, true);
        } else if (action < 9) {
            const int row = pick(folders()->count());
            what = "click folder " + folders()->item(row)->text().trimmed().toStdString();
            click(folders(), row);
            if (pick(2)) {
                what += ", Return";
                QTest::keyClick(folders(), Qt::Key_Return);
            }
        } else if (action < 10) {
            auto* drives = widget<QComboBox>("Drive1"); // the other drive, by the arrow keys
            const bool down = drives->currentIndex() + 1 < drives->count();
            what = down ? "next drive" : "previous drive";
            QTest::keyClick(drives, down ? Qt::Key_Down : Qt::Key_Up);
        } else {
            const bool down = pick(2);
            what = down ? "arrow down in the archives" : "arrow up in the archives";
            QTest::keyClick(files(), down ? Qt::Key_Down : Qt::Key_Up);
        }
        expectShownAsItIs("step " + std::to_string(step) + ": " + what + " in " +
                          form().Dir1.path().toStdString());
    }
    // The walk went far enough: it selected every archive and described each readable one.
    std::set<QString> archives;
    for (const auto& [path, entries] : entriesOf)
        archives.insert(path);
    EXPECT_EQ(selected, archives);
    archives.erase(QDir::cleanPath(inst.updates() + "/sub/profonda/qn47-70218.zip"));
    EXPECT_EQ(described, archives);
}

TEST_F(WindowViewsTest, AnUpdateShowsHowFarItIsInTheWindow) {
    inst.writeArchive(
        inst.updates(), "qn46070301.zip",
        {{"Quna.exe", "#!/bin/sh\n"}, {"dati/", ""}, {"dati/tabelle.bin", std::string(40000, 'x')}},
        3'100'000);
    start();
    const auto* progress = widget<QProgressBar>("progress");
    EXPECT_FALSE(progress->isVisibleTo(window.get()));
    click(files(), int(texts(files()).indexOf("qn46070301.zip")));
    ASSERT_EQ(form().Label2.caption(), "Aggiorna Quna alla ver. 4.6 del 01-03-2007");
    const int entries = form().lv.rowCount();
    // At the closing message the last entry is shown, with all the bytes.
    QString shownAtTheEnd;
    h->host.onMessage = [&](const QString& text) {
        if (text == "Elaborazione terminata!!!")
            shownAtTheEnd = progress->isVisibleTo(window.get()) ? progress->text() : "hidden";
    };
    EXPECT_FALSE(h->run([&] { form().cmdElabora.click(); })); // ends by starting the program
    EXPECT_EQ(shownAtTheEnd, QString("File %1 di %1 — 100%").arg(entries));
    EXPECT_EQ(progress->accessibleName(), shownAtTheEnd);
    EXPECT_TRUE(progress->geometry().bottom() < window->client()->height());
    EXPECT_FALSE(progress->geometry().intersects(widget<QWidget>("cmdElabora")->geometry()));
    EXPECT_FALSE(progress->geometry().intersects(widget<QWidget>("Label3")->geometry()));
}

TEST(UpdateProgress, CountsTheListedEntriesAndTheirBytes) {
    LocaleScope locale{kItalian};
    Installation inst;
    inst.standard();
    // Listed last entry first: b.bin, a.bin, then the main program.
    inst.writeArchive(inst.updates(), "qn46070301.zip",
                      {{"Quna.exe", "#!/bin/sh\n"},
                       {"dati/a.bin", std::string(1'500'000, 'a'), true},
                       {"dati/b.bin", std::string(1'500'000, 'b'), true}});
    Harness h(inst);
    ASSERT_TRUE(h.load());
    ASSERT_EQ(h.form->lv.rowCount(), 3);
    EXPECT_FALSE(h.run([&] { h.form->cmdElabora.click(); })); // ends by starting the program
    const std::vector<std::array<int, 3>> expected{{1, 3, 49}, {2, 3, 99}, {3, 3, 100}};
    EXPECT_EQ(h.window.progress, expected);
}
