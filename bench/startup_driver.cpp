// The updater's start-up as a benchmark sees it: the product's own run, plus a quit as soon as
// the event loop runs, that is once the load handler has returned and the window is shown
// (with the preselected archive listed).
#include "app/program.h"

#include <QTimer>

int main(int argc, char** argv) {
    return app::runUpdater(argc, argv, [] {
        QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    });
}
