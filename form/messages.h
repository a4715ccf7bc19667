#pragma once
// The texts this updater says beyond the window's own: a server that does not answer, another
// update at work, an interrupted update and its recovery, a main program that cannot start,
// the progress of an update. The window's own texts stand beside the handler that shows them.
#include <QString>

namespace form::msg {

// The maker's web site, named in the messages about missing libraries and damaged archives.
constexpr const char* kWebSite = "www.example.com";

// `usual`, unless `windowsPath` lies on a network volume that does not answer: then that is
// what keeps the file from being found or read, said of `shownPath`.
QString unlessServerSilent(const QString& usual, const QString& windowsPath,
                           const QString& shownPath);

// Another update of the installation in `folder` is running; `then` says what to do.
QString anotherUpdateRunning(const QString& folder, const QString& then);
inline const QString kRetryWhenDone = QStringLiteral("Riprova quando sarà terminato.");
inline const QString kWaitThenStart =
    QStringLiteral("Attendi che sia terminato, poi avvia di nuovo QUNA o l'aggiornamento.");

// What a start says of the interrupted update it settled.
QString interruptedUpdateSettled(bool committed, bool restored);
// The start could not settle it: said before the error's own message.
inline const QString kInterruptedUpdateUnsettled =
    QStringLiteral("ATTENZIONE!! Impossibile completare l'aggiornamento interrotto\r\n");

// Added to the message of an error that left the previous version in place.
inline const QString kPreviousVersionKept =
    QStringLiteral("L'aggiornamento è stato annullato: QUNA è rimasto alla versione precedente.");
// The archive at `path` is gone or no longer the one listed.
QString archiveChangedSinceListing(const QString& path);

// The main program at `path` could not be started, for `why`.
QString cannotStartMainProgram(const QString& path, const QString& why);

// The progress bar's text while `entries` entries are extracted ("%p" is the percentage).
QString extractionProgress(int entry, int entries);

} // namespace form::msg
