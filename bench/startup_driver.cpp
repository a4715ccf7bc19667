// The updater's start-up as a benchmark sees it: the product's main() word for word, plus a
// quit as soon as the event loop runs, that is once the load handler has returned and the
// window is shown (with the preselected archive listed).
#include "app/handlers.h"
#include "app/program.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    app::Application application(argc, argv);
    app::Program program;
    app::Form_Load(program.form);
    program.window.show(); // also when start-up ended before showing it
    QTimer::singleShot(0, &application, [] { QCoreApplication::exit(0); });
    return application.exec();
}
