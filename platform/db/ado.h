#pragma once
// ADO-like access to Jet (Access) databases: the operations the program uses, with the
// provider's result codes as error numbers.
#include "platform/vb/variant.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

namespace db {

constexpr std::int32_t adUseClient = 3;
constexpr std::int32_t adOpenStatic = 3;
constexpr std::int32_t adLockPessimistic = 2;
constexpr std::int32_t adCmdText = 1;
constexpr std::int32_t adCmdTable = 2;

// The provider the program names for its Jet databases.
constexpr const char* kJetProvider = "Microsoft.Jet.OLEDB.4.0";

// "Provider=...;Data Source=PATH;JET OLEDB:Database Password=PW;", by plain concatenation.
QString jetConnectionString(const QString& dataSource, const QString& password);

class Recordset;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString Provider;
    std::int32_t CursorLocation = 2;

    // connectionString: "Provider=...;Data Source=PATH;JET OLEDB:Database Password=PW;" or a
    // bare Windows path (then Provider must be set). Raises 0x80004005 for a missing or
    // unreadable file, 0x80040E4D for a wrong password.
    void Open(const QString& connectionString, const QString& user = {},
              const QString& password = {}, std::int32_t options = -1);
    void Close(); // 3704 when not open
    bool isOpen() const;

private:
    friend class Recordset;
    struct Impl;
    std::unique_ptr<Impl> d;
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // source: command text ("select * from Accesso") or a table name, per options.
    // 3704 when the connection is not open, 0x80040E37 for a missing table or query.
    void Open(const vb::Variant& source, Connection& connection, std::int32_t cursorType,
              std::int32_t lockType, std::int32_t options);
    void MoveFirst();                              // 3021 when there is no row; 3704 when closed
    vb::Variant Fields(const QString& name) const; // the field's Value; 3021, 3265, 3704
    void Close();                                  // 3704 when not open
    QStringList FieldNames() const;                // in table order; 3704 when closed

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace db
