#include "connections.h"

namespace install {

QString installationConnectionString(const QString& pathDB, const QString& password) {
    return QStringLiteral("Provider=") + QString::fromLatin1(kProvider) +
           QStringLiteral(";Data Source=") + pathDB +
           QStringLiteral(";JET OLEDB:Database Password=") + password + QStringLiteral(";");
}

void openInstallationDatabase(app::Form& f, const char* password) {
    f.cnDB = std::make_unique<db::Connection>();
    const QString cs = installationConnectionString(f.PathDB, QString::fromLatin1(password));
    f.cnDB->CursorLocation = db::adUseClient;
    f.cnDB->Open(cs, QString(), QString(), -1);
}

void openWorkstationDatabase(app::Form& f) {
    f.cnClient = std::make_unique<db::Connection>();
    f.cnClient->Provider = QString::fromLatin1(kProvider);
    f.cnClient->CursorLocation = db::adUseClient;
    f.cnClient->Open(f.PathClient, QString(), QString(), -1);
}

} // namespace install
