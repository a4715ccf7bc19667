#include "error.h"

#include <utility>

namespace vb {

namespace {
struct Entry {
    std::int32_t number;
    const char* text;
};

// One table for every description the program shows; worded for Italian users.
constexpr Entry kDescriptions[] = {
    {err::InvalidCall, "Chiamata di routine o argomento non valido"},
    {err::Overflow, "Overflow"},
    {err::OutOfMemory, "Memoria esaurita"},
    {err::SubscriptOutOfRange, "Indice non compreso nell'intervallo"},
    {err::TypeMismatch, "Tipo non corrispondente"},
    {err::BadFileName, "Nome o numero di file non valido"},
    {err::FileNotFound, "File non trovato"},
    {err::DeviceIo, "Errore di I/O sulla periferica"},
    {err::FileExists, "File già esistente"},
    {err::DiskFull, "Disco pieno"},
    {err::DeviceUnavailable, "Periferica non disponibile"},
    {err::PermissionDenied, "Autorizzazione negata"},
    {err::DiskNotReady, "Disco non pronto"},
    {err::PathFileAccess, "Errore di accesso al percorso o al file"},
    {err::PathNotFound, "Percorso non trovato"},
    {err::InvalidUseOfNull, "Uso non valido di Null"},
    {err::ComponentMissing, "Componente mancante o non registrato correttamente"},
    {err::InvalidPropertyValue, "Valore della proprietà non valido"},
    {err::CannotCreateObject, "Impossibile creare l'oggetto"},
    {err::ClassNotRegistered, "Classe non registrata"},
    {err::NoCurrentRecord,
     "Nessun record corrente: l'inizio o la fine del recordset è stato raggiunto"},
    {err::ItemNotFound, "Elemento non trovato nell'insieme con il nome o il numero richiesto"},
    {err::ObjectClosed, "Operazione non consentita quando l'oggetto è chiuso"},
    {err::ProviderFailed, "Impossibile aprire il file di database: file mancante, illeggibile o "
                          "non valido"},
    {err::TableNotFound, "Tabella o query di input non trovata"},
    {err::BadPassword, "Password del database non valida"},
    {err::NotAnArchive, "Il file non è un archivio zip leggibile"},
};
} // namespace

QString describe(std::int32_t number) {
    for (const Entry& e : kDescriptions)
        if (e.number == number) return QString::fromUtf8(e.text);
    return QStringLiteral("Errore definito dall'applicazione o dall'oggetto");
}

QString errorMessage(const char* prefix, const VbError& e) {
    return QString::fromUtf8(prefix) + QString::number(e.number()) + QStringLiteral("\r\n") +
           e.description();
}

} // namespace vb
