#pragma once
// The updater as its main() puts it together: the Qt host, the form and the window showing
// it, wired to each other. Benchmark drivers build the same thing.
#include "form.h"
#include "window.h"

#include "platform/ui/qt_host.h"

namespace app {

struct Program {
    Program();
    ui::QtHost host;
    Form form{host};
    Window window{form};
};

inline Program::Program() {
    host.parentWindow = &window;
    form.window = &window;
}

} // namespace app
