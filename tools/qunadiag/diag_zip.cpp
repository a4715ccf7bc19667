// qunadiag zip FILE: what a click on the archive in the window would show, without the window.
#include "diag.h"

#include "app/handlers.h"
#include "form/form.h"
#include "platform/fs/fs.h"
#include "platform/ui/fake_host.h"

#include <QFileInfo>
#include <cstdio>

namespace {
void print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
}
} // namespace

int runZip(QStringList args) {
    if (args.size() != 1) {
        std::fputs("usage: qunadiag zip FILE\n", stderr);
        return 2;
    }
    const QFileInfo file(args[0]);
    ui::FakeHost host; // answers every box with OK
    form::Form form(host);
    app::connectEvents(form);
    app::setupArchiveColumns(form); // as start-up leaves the list
    int exitCode = 0;
    try {
        // The file list shows just this file, in its folder, and the click selects it.
        form.File1.setPattern(file.fileName());
        form.File1.setPath(fs::toWindows(file.absolutePath()));
        const int index = int(form.File1.files().indexOf(file.fileName()));
        if (index < 0) {
            std::fprintf(stderr, "qunadiag: %s: not a normal file\n", qPrintable(args[0]));
            return 2;
        }
        form.File1.setListIndex(index);
    } catch (const vb::VbError& e) {
        std::fprintf(stderr, "error %d: %s\n", e.number(), qPrintable(e.description()));
        return 2;
    }
    for (const ui::ShownMessage& m : host.messages) {
        print(QStringLiteral("message: ") +
              QString(m.text).replace(QStringLiteral("\r\n"), QStringLiteral(" / ")));
        exitCode = 1;
    }
    if (form.lv.visible()) {
        for (int i = 0; i < form.lv.rowCount(); ++i) {
            const ui::ListView::Row& row = form.lv.row(i);
            QStringList cells{row.text};
            for (int c = 0; c < 3; ++c)
                cells << (c < row.subItems.size() ? row.subItems[c] : QString());
            print(cells.join(u'\t'));
        }
    }
    print(QStringLiteral("label: ") + form.Label2.caption());
    return exitCode;
}
