// Updates an installation as a user does: start-up lists the newest archive, "Elabora", "Yes"
// to the question. Times the answer until the main program is started.
//   quna_update_driver INSTALLATION-FOLDER
// Prints "seconds S", "cpu S" (user and system time over the same interval) and "peak KIB";
// exits 1 when the update did not start the main program.
#include "app/handlers.h"
#include "cpu.h"
#include "form/form.h"

#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/ui/fake_host.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

// The scripted host, with a stopwatch started by the "Yes" to the question.
class TimedHost : public ui::FakeHost {
public:
    QElapsedTimer sinceYes;
    double cpuAtYes = 0;
    ui::Answer messageBox(const QString& text, ui::Buttons buttons, ui::Icon icon) override {
        const ui::Answer answer = FakeHost::messageBox(text, buttons, icon);
        if (buttons == ui::Buttons::YesNo && answer == ui::Answer::Yes) {
            cpuAtYes = cpuSeconds();
            sinceYes.start();
        }
        return answer;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s INSTALLATION-FOLDER\n", argv[0]);
        return 2;
    }
    fs::Environment environment;
    environment.setProgramFolder(QString::fromLocal8Bit(argv[1]));

    TimedHost host;
    double seconds = -1, cpu = -1;
    host.starter = [&](const QString&) {
        if (!host.sinceYes.isValid()) return;
        seconds = double(host.sinceYes.nsecsElapsed()) / 1e9;
        cpu = cpuSeconds() - host.cpuAtYes;
    };
    form::Form form(host);
    app::connectEvents(form);
    try {
        app::Form_Load(form); // lists the newest archive; not timed
        if (form.lv.rowCount() == 0) {
            std::fprintf(stderr, "start-up listed no archive\n");
            for (const QString& m : host.messageTexts())
                std::fprintf(stderr, "%s\n", qPrintable(m));
            return 2;
        }
        form.cmdElabora.click();
    } catch (const ui::ProcessEnded&) {
        // The updater ends after starting the main program.
    }

    const bool done =
        seconds >= 0 && host.messageTexts().contains(QStringLiteral("Elaborazione terminata!!!"));
    if (!done) {
        std::fprintf(stderr, "the update did not finish:\n");
        for (const QString& m : host.messageTexts())
            std::fprintf(stderr, "%s\n", qPrintable(m));
        return 1;
    }
    std::printf("seconds %.6f\n", seconds);
    std::printf("cpu %.6f\n", cpu);
    std::printf("rows %d\n", form.lv.rowCount());
    std::printf("peak %ld\n", peakKib());
    return 0;
}
