// QunaAgg2: the updater's window. It takes no arguments.
#include "handlers.h"
#include "program.h"

#include "platform/fs/fs.h"

#include <QApplication>

int main(int argc, char** argv) {
    fs::reportOversizedWrites();
    app::Application application(argc, argv);
    app::Program program;
    app::Form_Load(program.form);
    program.window.show(); // also when start-up ended before showing it
    return application.exec();
}
