// The reference for the start-up benchmark: the updater's own window, built by the same
// application with the same controls, fonts, texts and outline, shown and quit as soon as its
// event loop runs, but with no data behind it: no config.dat, no databases, no archive and
// its listing. The start-up's time beyond it is what reading the installation adds.
#include "app/program.h"
#include "app/shape.h"

#include <QTimer>

int main(int argc, char** argv) {
    app::Application application(argc, argv);
    app::Program program;
    form::Form& f = program.form;
    // The texts start-up writes, as a demo installation gives them.
    f.SSPanel1.setCaption(app::kHelpText);
    f.lblVersDB.setCaption(QStringLiteral("4.4  del  10-01-07"));
    f.lblVersPC.setCaption(QStringLiteral("4.4  del 10-01-07"));
    f.lblPathArchivi.setCaption(QStringLiteral("C:\\QUNAWIN\\DATI\\quna.mdb"));
    f.Label2.setCaption(QStringLiteral("Aggiorna Quna alla ver. 4.5 del 18-02-2007"));
    app::setupArchiveColumns(f);
    f.lv.setVisible(true);
    app::ImpostaForma(program.window, app::RGN_ARROTONDATO);
    program.window.show();
    program.window.focusElabora();
    QTimer::singleShot(0, &application, [] { QCoreApplication::exit(0); });
    return application.exec();
}
