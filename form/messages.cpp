#include "messages.h"

#include "platform/fs/fs.h"

namespace form::msg {

QString unlessServerSilent(const QString& usual, const QString& windowsPath,
                           const QString& shownPath) {
    const QString server = fs::unansweringServer(windowsPath);
    if (server.isEmpty()) return usual;
    return QStringLiteral("ATTENZIONE!! ") + fs::serverNotAnswering(server, shownPath);
}

QString anotherUpdateRunning(const QString& folder, const QString& then) {
    return QStringLiteral("ATTENZIONE!! Un altro aggiornamento di QUNA è in corso nella "
                          "cartella %1!!\r\n")
               .arg(folder) +
           then;
}

QString interruptedUpdateSettled(bool committed, bool restored) {
    if (restored)
        return committed ? QStringLiteral("L'aggiornamento interrotto non conteneva il programma "
                                          "QUNA: ripristinata la versione precedente.")
                         : QStringLiteral("L'aggiornamento interrotto è stato annullato: "
                                          "ripristinata la versione precedente di QUNA.");
    return committed ? QStringLiteral("L'aggiornamento interrotto è stato completato.")
                     : QStringLiteral("L'aggiornamento interrotto è stato annullato: "
                                      "QUNA è rimasto alla versione precedente.");
}

QString archiveChangedSinceListing(const QString& path) {
    return QStringLiteral("Archivio ") + path +
           QStringLiteral(" non trovato o cambiato dopo la sua lettura");
}

QString cannotStartMainProgram(const QString& path, const QString& why) {
    return QStringLiteral("Impossibile avviare il programma QUNA:\r\n") + path +
           QStringLiteral("\r\n") + why;
}

QString extractionProgress(int entry, int entries) {
    return QStringLiteral("File %1 di %2 — %p%").arg(entry).arg(entries);
}

} // namespace form::msg
