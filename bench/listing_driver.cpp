// Lists an archive in the window as a click on it in the file list does: one event-loop pass
// per entry, rows inserted at the top. Times the click until the last row is in the list.
//   quna_listing_driver FOLDER ARCHIVE-NAME
// Prints "seconds S", "cpu S" (user and system time over the same interval), "rows N" and
// "peak KIB"; exits 1 when the listing is incomplete.
#include "app/handlers.h"
#include "app/program.h"
#include "cpu.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <cstdio>

int main(int argc, char** argv) {
    app::Application application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER ARCHIVE-NAME\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);

    app::Program program;
    form::Form& form = program.form;
    app::Window& window = program.window;
    app::setupArchiveColumns(form); // as start-up leaves the list
    window.show();
    QCoreApplication::processEvents();

    int index = -1;
    try {
        form.File1.setPattern(QStringLiteral("qn*.zip"));
        form.File1.setPath(fs::toWindows(folder));
        index = int(form.File1.files().indexOf(name, 0));
    } catch (const vb::VbError& e) {
        std::fprintf(stderr, "error %d: %s\n", e.number(), qPrintable(e.description()));
        return 2;
    }
    if (index < 0) {
        std::fprintf(stderr, "%s is not in the file list\n", qPrintable(name));
        return 2;
    }

    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    form.File1.setListIndex(index); // the click: lists the archive before it returns
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;

    const auto* view = window.findChild<QTreeView*>(QStringLiteral("lv"));
    const int shown = view && view->model() ? view->model()->rowCount() : -1;
    std::printf("seconds %.6f\n", seconds);
    std::printf("cpu %.6f\n", cpu);
    std::printf("rows %d\n", form.lv.rowCount());
    std::printf("peak %ld\n", peakKib());
    if (shown != form.lv.rowCount() || !form.lv.visible()) {
        std::fprintf(stderr, "the view shows %d rows\n", shown);
        return 1;
    }
    return 0;
}
