#include "form.h"

#include "handlers.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

namespace app {

Form::Form(ui::Host& h) : host(h) {
    applyDesignValues(*this);
    connectEvents(*this);
}

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

void connectEvents(Form& f) {
    f.Drive1.Change = [&f] { Drive1_Change(f); };
    f.Dir1.Change = [&f] { Dir1_Change(f); };
    f.Dir1.Click = [&f] { Dir1_Click(f); };
    f.File1.Click = [&f] { update::File1_Click(f); };
    f.cmdElabora.Click = [&f] { update::cmdElabora_Click(f); };
    f.cmdAnnulla.Click = [&f] { cmdAnnulla_Click(f); };
}

QString errorMessage(const char* prefix, const vb::VbError& e) {
    return QString::fromUtf8(prefix) + QString::number(e.number()) + QStringLiteral("\r\n") +
           e.description();
}

} // namespace app
