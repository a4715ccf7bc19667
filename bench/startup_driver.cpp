// The updater's start-up as a benchmark sees it: the product's main() word for word, plus a
// quit as soon as the event loop runs, that is once the load handler has returned and the
// window is shown (with the preselected archive listed).
#include "app/form.h"
#include "app/handlers.h"
#include "app/window.h"

#include "platform/ui/qt_host.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    app::installFontSubstitutions();
    ui::QtHost host;
    app::Form form(host);
    app::Window window(form);
    host.parentWindow = &window;
    form.window = &window;
    app::Form_Load(form);
    window.show(); // also when start-up ended before showing it
    QTimer::singleShot(0, &application, [] { QCoreApplication::exit(0); });
    return application.exec();
}
