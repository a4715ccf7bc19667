#include "connections.h"

namespace install {

void openInstallationDatabase(form::Form& f, const char* password) {
    f.cnDB = std::make_unique<db::Connection>();
    const QString cs = db::jetConnectionString(f.PathDB, QString::fromLatin1(password));
    f.cnDB->CursorLocation = db::adUseClient;
    f.cnDB->Open(cs, QString(), QString(), -1);
}

void openWorkstationDatabase(form::Form& f) {
    f.cnClient = std::make_unique<db::Connection>();
    f.cnClient->Provider = QString::fromLatin1(db::kJetProvider);
    f.cnClient->CursorLocation = db::adUseClient;
    f.cnClient->Open(f.PathClient, QString(), QString(), -1);
}

} // namespace install
