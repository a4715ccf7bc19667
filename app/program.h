#pragma once
// The updater as its main() puts it together: the Qt host, the form and the window showing
// it, wired to each other. Benchmark drivers build the same thing.
#include "form/form.h"
#include "handlers.h"
#include "window.h"

#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/ui/qt_host.h"

#include <QApplication>
#include <functional>

namespace app {

// The QApplication as the updater runs it: with the window's font substitutions, and with Qt's
// own Unix event loop instead of glib's. A listing runs one event-loop pass per archive entry,
// and a pass through glib's main loop costs three times as much (36 ms against 12 ms for 32,767
// passes here). The choice is made through the variable Qt reads while the application is
// built, and is not passed on to the programs it starts.
namespace detail {
struct QtEventLoopChoice {
    bool chosenHere = qEnvironmentVariableIsEmpty("QT_NO_GLIB");
    QtEventLoopChoice() {
        if (chosenHere) qputenv("QT_NO_GLIB", "1");
    }
};
} // namespace detail

class Application : private detail::QtEventLoopChoice, public QApplication {
public:
    Application(int& argc, char** argv) : QApplication(argc, argv) {
        if (chosenHere) qunsetenv("QT_NO_GLIB");
        installFontSubstitutions();
    }
};

struct Program {
    Program();
    fs::Environment environment; // the host's own, in force while the updater runs
    ui::QtHost host;
    form::Form form{host};
    Window window{form};
};

inline Program::Program() {
    host.parentWindow = &window;
    form.window = &window;
    connectEvents(form);
}

// The updater from start to end: the window loaded and shown, then the event loop. A
// benchmark passes beforeLoop to end the loop as soon as it runs.
inline int runUpdater(int argc, char** argv, const std::function<void()>& beforeLoop = {}) {
    fs::reportOversizedWrites();
    Application application(argc, argv);
    Program program;
    Form_Load(program.form);
    program.window.show(); // also when start-up ended before showing it
    if (beforeLoop) beforeLoop();
    return application.exec();
}

} // namespace app
