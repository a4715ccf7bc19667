#include "config.h"

#include "platform/fs/fs.h"
#include "platform/vb/text.h"

namespace install {

bool configExists(const app::Form& f) {
    return fs::normalFileExists(f.PathConfig);
}

void reportMissingConfig(app::Form& f) {
    f.host.beep();
    const QString server = fs::unansweringServer(f.PathProgramma);
    f.host.messageBox(server.isEmpty()
                          ? QStringLiteral("Archivio Config.dat non trovato\r\nnella cartella: ") +
                                f.PathProgramma + QStringLiteral("!!")
                          : QStringLiteral("ATTENZIONE!! ") +
                                fs::serverNotAnswering(server, f.PathConfig),
                      ui::Buttons::Ok, ui::Icon::Exclamation);
    f.host.endProcess();
}

QString readConfigRecord(const QString& pathConfig) {
    return fs::readRecord(pathConfig, kConfigRecordLength);
}

QString databasePath(const QString& record) {
    return vb::trim(record) + QStringLiteral("\\quna.mdb");
}

} // namespace install
