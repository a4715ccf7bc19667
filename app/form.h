#pragma once
// The window frmQunaAgg without its widgets: every control as a headless model, the
// window-level values and the host, and the window-level procedures every folder's handlers
// may call. The handlers work on this and link nothing above it; the Qt window shows it.
#include "shape.h"

#include "platform/db/ado.h"
#include "platform/ui/controls.h"
#include "platform/ui/host.h"
#include "platform/vb/date.h"
#include "platform/vb/error.h"
#include "platform/zip/archive.h"

#include <QString>
#include <array>
#include <memory>
#include <optional>

namespace app {

// What the handlers need of the real window: its outline and its showing.
struct WindowHandle {
    virtual ~WindowHandle() = default;
    using Rect = app::Rect;
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

struct Form {
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

    // Window-level values.
    QString PathProgramma, PathConfig, RecConfig, PathDB, PathClient;
    std::unique_ptr<db::Connection> cnDB, cnClient;
    QString strSQL;
    QString Versione;
    vb::Date dataver;
    QString VersioPC;
    vb::Date DataVePC;
    QString NomeArchivio, PathArchivio, VersArchivio;
    vb::Date DataArchivio;
    // The stamp of the archive file the listing read: "Elabora" installs only that file.
    zipc::ArchiveStamp listedArchive;
    QString Messaggio, PathEseguibile;
    // A listing lets the event loop run once per entry. While it does, a click on another
    // archive or a change of folder interrupts it, and "Elabora" is refused; see File1_Click.
    bool listing = false;
    bool listingInterrupted = false;
    // The listed bytes an update has extracted so far, and all of them.
    qint64 bytesExtracted = 0, bytesListed = 0;
};

// Called by the update after each extracted entry (1 = the first listed): shows the entry and
// the share of the listed bytes extracted so far.
void showUpdateProgress(Form& f, int extracted);

// The maker's web site, named in the messages about missing libraries and damaged archives.
constexpr const char* kWebSite = "www.example.com";

// Starts the main program and ends the updater; does not return when the program starts.
void AvviaProgramma(Form& f);
// AvviaProgramma; when the start fails, a critical box says why and the updater ends anyway.
void AvviaProgrammaOAvvisa(Form& f);

} // namespace app
