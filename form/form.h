#pragma once
// The window frmQunaAgg without its widgets: every control as a headless model, the
// window-level values and the host, and the window-level procedures every folder's handlers
// may call. The handlers work on this and link nothing above it; the Qt window shows it.
#include "region.h"

#include "platform/db/ado.h"
#include "platform/ui/controls.h"
#include "platform/ui/host.h"
#include "platform/vb/date.h"
#include "platform/vb/error.h"
#include "platform/zip/archive.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace form {

// What the handlers need of the real window: its outline and its showing.
struct WindowHandle {
    virtual ~WindowHandle() = default;
    using Rect = form::Rect;
    virtual Rect outerRect() const = 0;
    virtual void setRegion(const std::optional<Region>& region) = 0; // none: no region
    virtual void show() = 0;
    virtual void focusElabora() = 0;
    // Shows how far an update is (`entry` of `entries` extracted, `percent` of their bytes)
    // and brings the window up to date on the screen, without running any other handler.
    virtual void showProgress(int /*entry*/, int /*entries*/, int /*percent*/) {}
};

// The window of a form that nothing shows (in tests and tools): no outline, nothing to show.
struct NoWindow final : WindowHandle {
    Rect outerRect() const override { return {0, 0, 0, 0}; }
    void setRegion(const std::optional<Region>&) override {}
    void show() override {}
    void focusElabora() override {}
};

// The window-level values, grouped by what they describe. The form has every group as its own
// part, so handlers name each value as the window does (f.PathProgramma, f.VersioPC).

// The installation: the updater's own folder, config.dat and the two databases.
struct Installation {
    QString PathProgramma, PathConfig, RecConfig, PathDB, PathClient;
    std::unique_ptr<db::Connection> cnDB, cnClient;
    QString strSQL;
};

// The installed and the workstation version records.
struct Versions {
    QString Versione;
    vb::Date dataver;
    QString VersioPC;
    vb::Date DataVePC;
};

// The archive the last listing described, by the name rule.
struct SelectedArchive {
    QString NomeArchivio, PathArchivio, VersArchivio;
    vb::Date DataArchivio;
    // The stamp of the archive file the listing read: "Elabora" installs only that file.
    zipc::ArchiveStamp listedArchive;
};

// A listing lets the event loop run once per entry. While it does, a click on another archive
// or a change of folder interrupts it, and "Elabora" is refused.
class ListingSession {
public:
    bool running() const { return running_; }
    // Another click or a change of folder arrived during the current event-loop pass.
    bool interrupted() const { return interrupted_; }
    // A click on another archive or a change of folder: a running listing stops at its next
    // entry.
    void interrupt() {
        if (running_) interrupted_ = true;
    }
    // Runs `list`, and again while a run was interrupted and `another` still has an archive to
    // list. Never a listing inside a listing: called while one runs, it interrupts that one,
    // which then lists again.
    void run(const std::function<void()>& list, const std::function<bool()>& another);

private:
    bool running_ = false, interrupted_ = false;
};

struct Form : Installation, Versions, SelectedArchive {
    explicit Form(ui::Host& host);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    ui::Host& host;
    NoWindow noWindow;
    WindowHandle* window = &noWindow; // the Qt window, when one shows the form

    // Controls, with their names.
    ui::Captioned SSPanel1{QStringLiteral("SSPanel1")};
    ui::Captioned Frame1{QStringLiteral("Frame1")}, Frame2{QStringLiteral("Frame2")},
        Frame3{QStringLiteral("Frame3")};
    ui::DriveList Drive1{QStringLiteral("Drive1")};
    ui::FileList File1{QStringLiteral("File1")};
    ui::DirList Dir1{QStringLiteral("Dir1")};
    ui::ListView lv{QStringLiteral("lv")};
    std::array<ui::Captioned, 6> Label1{
        ui::Captioned(QStringLiteral("Label1_0")), ui::Captioned(QStringLiteral("Label1_1")),
        ui::Captioned(QStringLiteral("Label1_2")), ui::Captioned(QStringLiteral("Label1_3")),
        ui::Captioned(QStringLiteral("Label1_4")), ui::Captioned(QStringLiteral("Label1_5"))};
    ui::Captioned Label2{QStringLiteral("Label2")}, Label3{QStringLiteral("Label3")};
    ui::Captioned lblVersPC{QStringLiteral("lblVersPC")}, lblVersDB{QStringLiteral("lblVersDB")},
        lblPathArchivi{QStringLiteral("lblPathArchivi")};
    ui::Button cmdElabora{QStringLiteral("cmdElabora")}, cmdAnnulla{QStringLiteral("cmdAnnulla")};
    zipc::Archive Zip1;

    ListingSession listing;
    // The message every handler composes before it shows it, and the main program the update
    // judged.
    QString Messaggio, PathEseguibile;
    // The listed bytes an update has extracted so far, and all of them.
    qint64 bytesExtracted = 0, bytesListed = 0;
};

// Called by the update after each extracted entry (1 = the first listed): shows the entry and
// the share of the listed bytes extracted so far.
void showUpdateProgress(Form& f, int extracted);

// Starts the main program and ends the updater; does not return when the program starts.
void AvviaProgramma(Form& f);
// AvviaProgramma; when the start fails, a critical box says why and the updater ends anyway.
void AvviaProgrammaOAvvisa(Form& f);

} // namespace form
