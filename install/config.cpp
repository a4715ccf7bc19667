#include "config.h"

#include "form/messages.h"
#include "platform/fs/fs.h"
#include "platform/vb/text.h"

namespace install {

bool configExists(const form::Form& f) {
    return fs::normalFileExists(f.PathConfig);
}

void reportMissingConfig(form::Form& f) {
    f.host.beep();
    f.host.messageBox(
        form::msg::unlessServerSilent(QStringLiteral("Archivio Config.dat non trovato\r\nnella "
                                                     "cartella: ") +
                                          f.PathProgramma + QStringLiteral("!!"),
                                      f.PathProgramma, f.PathConfig),
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
