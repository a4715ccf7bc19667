#pragma once
// A real installation on disk for handler tests: the updater's folder with config.dat, the
// workstation database and the main program, a data folder with the installation database,
// and update archives. Databases are written by our Jet writer, archives by libzip.
#include "app/shape.h"
#include "form/form.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/ui/fake_host.h"
#include "qt_print.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>
#include <jetwriter.h>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct Entry {
    std::string name;    // as stored; a trailing "/" makes a folder
    std::string content; // file data
    bool store = false;  // stored instead of deflated
};

struct VersionRecord {
    jet::Value version = std::string("4.4");
    jet::Value date = jet::DateTime{jet::oleDate(2007, 1, 10)};
};

class Installation {
public:
    Installation();
    ~Installation();

    QString root() const { return dir_.path(); }
    QString program() const { return root() + "/quna"; } // the updater's folder (host path)
    QString data() const { return root() + "/data"; }
    QString updates() const { return program() + "/Aggiorna"; }
    static QString win(const QString& host) { return fs::toWindows(host); }

    // config.dat naming a folder (a Windows path text written as is, padded to 50 bytes).
    void writeConfig(const QByteArray& record);
    void writeInstallationDb(const VersionRecord& r = {}, const std::string& password = "BlumoKast",
                             const std::string& table = "Accesso");
    void writeWorkstationDb(const VersionRecord& r = {}, const std::string& password = "",
                            const std::string& table = "Configurazione");
    void writeEmptyTable(const QString& path, const std::string& table,
                         const std::vector<jet::Column>& columns);
    // The main program: a script that appends a line to started.log.
    void writeMainProgram(const QString& name = "Quna.exe", const QString& version = "4.4");
    // A standard installation: config.dat, both databases, the main program, no archives.
    void standard();
    // Writes a zip archive; with `padTo`, a stored random entry and the archive comment make
    // the file exactly that size.
    QString writeArchive(const QString& folder, const QString& name,
                         const std::vector<Entry>& entries, qint64 padTo = 0);

    static QByteArray readFile(const QString& path);
    // Names and contents of every file under a folder, for before/after comparisons.
    static std::map<QString, QByteArray> snapshot(const QString& folder);

private:
    QTemporaryDir dir_;
};

// Records what start-up does to the window.
struct FakeWindow : form::WindowHandle {
    Rect rect{100, 100, 100 + 792, 100 + 570};
    bool shown = false, focused = false, regionSet = false;
    std::optional<app::Region> region;
    Rect outerRect() const override { return rect; }
    void setRegion(const std::optional<app::Region>& r) override;
    void show() override { shown = true; }
    void focusElabora() override { focused = true; }
    std::vector<std::array<int, 3>> progress; // entry, entries, percent: each one shown
    void showProgress(int entry, int entries, int percent) override {
        progress.push_back({entry, entries, percent});
    }
};

// A form over the scripted host, with the process placed in the installation's folder: the
// installation is the program's folder in the environment in force while the harness lives.
struct Harness {
    FakeWindow window;
    explicit Harness(Installation& inst);
    ~Harness();
    ui::FakeHost host;
    std::unique_ptr<form::Form> form;
    // Runs start-up; returns false when the process ended inside it.
    bool load();
    // Runs a handler; returns false when the process ended inside it.
    bool run(const std::function<void()>& handler);
    QString previousFolder;
    fs::Environment& environment = fs::Environment::current();
    QString previousProgramFolder = environment.state().programFolder;
};

// The locale most tests pin: Italian, as the program's users have it.
inline const QLocale kItalian(QLocale::Italian, QLocale::Italy);

// Pins the user's locale for a test.
struct LocaleScope {
    explicit LocaleScope(const QLocale& l) : saved(QLocale()) { QLocale::setDefault(l); }
    ~LocaleScope() { QLocale::setDefault(saved); }
    QLocale saved;
};

} // namespace testing_support
