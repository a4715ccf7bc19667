// QunaAgg2: the updater's window. It takes no arguments and reads no environment of its own.
#include "form.h"
#include "handlers.h"
#include "window.h"

#include "platform/ui/qt_host.h"

#include <QApplication>

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
    return application.exec();
}
