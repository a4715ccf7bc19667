// The real window, offscreen: every control in place as the reference drawing gives it, with
// its captions, tool tips, fonts, colours, tab order, and the rounded outline.
#include "app/form.h"
#include "app/handlers.h"
#include "app/layout.h"
#include "app/shape.h"
#include "app/window.h"
#include "platform/ui/fake_host.h"
#include "support/qt_print.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct WindowTest : ::testing::Test {
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "window_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
        app::installFontSubstitutions();
    }
    ui::FakeHost host;
    app::Form form{host};
    app::Window window{form};
    QWidget* child(const QString& name) {
        QWidget* w = window.findChild<QWidget*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
};

QString referencePath() {
    return qEnvironmentVariable("QUNA_SOURCE_DIR", ".") + "/../shared/reference/window-layout.txt";
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
    EXPECT_EQ(window.windowIcon().availableSizes().size(), 2); // 16, 32
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
}
