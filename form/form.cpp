#include "form.h"
#include "messages.h"

#include "platform/fs/fs.h"

namespace form {

namespace {

// The design-time values of the controls (captions, tool tips, patterns, visibility).
void applyDesignValues(Form& f) {
    f.SSPanel1.setCaption(QStringLiteral("SSPanel1"));
    f.Frame1.setCaption(QStringLiteral("Archivi"));
    f.Frame2.setCaption(QStringLiteral("Versione del PC"));
    f.Frame3.setCaption(QStringLiteral("Percorso dei files di aggiornamento"));
    const char* captions[] = {
        "Percorso ", "Versione",          "Unità",
        "Cartella",  "Archivi Agg. Quna", "Contenuto dell'Archivio selezionato"};
    for (std::size_t i = 0; i < f.Label1.size(); ++i)
        f.Label1[i].setCaption(QString::fromUtf8(captions[i]));
    f.Label3.setCaption(QStringLiteral("Ver. 2.0 del 18 Feb 2007"));
    f.cmdElabora.setCaption(QStringLiteral("Elabora"));
    f.cmdAnnulla.setCaption(QStringLiteral("Esci"));
    f.File1.toolTip =
        QStringLiteral("Elenco file di aggiornamento di QUNA presenti nella cartella selezionata");
    f.lv.setVisible(false);

    // At creation the lists show the process's current folder, with the design pattern.
    const QString cwd = fs::currentFolder();
    try {
        f.Drive1.setDrive(cwd.left(2));
        f.Dir1.setPath(cwd);
        f.File1.setPattern(QStringLiteral("QN*.ZIP"));
        f.File1.setPath(cwd);
    } catch (const vb::VbError&) {
        // A current folder outside the drive table: the lists start empty.
    }
}

} // namespace

Form::Form(ui::Host& h) : host(h) {
    applyDesignValues(*this);
}

void ListingSession::run(const std::function<void()>& list, const std::function<bool()>& another) {
    if (running_) {
        interrupt();
        return;
    }
    struct Reset {
        ListingSession& session;
        ~Reset() { session.running_ = session.interrupted_ = false; }
    } reset{*this};
    running_ = true;
    do {
        interrupted_ = false;
        list();
    } while (interrupted_ && another());
}

namespace {
// An entry's size as the archive list shows it, digits grouped in the user's way.
qint64 listedBytes(const ui::ListView::Row& row) {
    qint64 bytes = 0;
    if (row.subItems.size() > 1)
        for (const QChar c : row.subItems[1])
            if (c.isDigit()) bytes = bytes * 10 + c.digitValue();
    return bytes;
}
} // namespace

void showUpdateProgress(Form& f, int extracted) {
    if (extracted < 1 || extracted > f.lv.rowCount()) return;
    if (extracted == 1) {
        f.bytesExtracted = 0;
        f.bytesListed = 0;
        for (int r = 0; r < f.lv.rowCount(); ++r)
            f.bytesListed += listedBytes(f.lv.row(r));
    }
    f.bytesExtracted += listedBytes(f.lv.row(extracted - 1));
    const int percent = f.bytesListed > 0 ? int(f.bytesExtracted * 100 / f.bytesListed)
                                          : extracted * 100 / f.lv.rowCount();
    f.window->showProgress(extracted, f.lv.rowCount(), percent);
}

// Every orderly way out starts the main program and ends the updater at once.
void AvviaProgramma(Form& f) {
    f.host.startProgram(f.PathProgramma + QStringLiteral("\\quna.exe"), ui::kWindowNormalFocus);
    f.host.setPointer(ui::kPointerDefault);
    f.host.endProcess();
}

// When the main program cannot be started the user is told why, and the updater ends all the
// same: it has nothing left to offer.
void AvviaProgrammaOAvvisa(Form& f) {
    try {
        AvviaProgramma(f);
    } catch (const vb::VbError& e) {
        f.host.setPointer(ui::kPointerDefault);
        f.host.messageBox(msg::cannotStartMainProgram(
                              f.PathProgramma + QStringLiteral("\\quna.exe"), e.description()),
                          ui::Buttons::Ok, ui::Icon::Critical);
        f.host.endProcess();
    }
}

} // namespace form
