#include "ado.h"

#include "jetheader.h"
#include "jetreader.h"
#include "platform/fs/environment.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <optional>
#include <vector>

namespace db {

namespace {

[[noreturn]] void providerFailed() {
    vb::raise(vb::err::ProviderFailed);
}

struct Target {
    QString path;
    QString password;
};

// The connection string as the Jet provider reads it: "key=value" clauses separated by ";",
// keys without regard to case, values taken as written. A text without any "=" is a bare
// file name, which needs the Provider property.
Target parseConnectionString(const QString& text, const QString& providerProperty) {
    Target target;
    QString provider = providerProperty;
    if (!text.contains(u'=')) {
        target.path = text;
    } else {
        for (const QString& clause : text.split(u';', Qt::SkipEmptyParts)) {
            const qsizetype eq = clause.indexOf(u'=');
            if (eq < 0) continue;
            const QString key = clause.left(eq).trimmed().toLower();
            const QString value = clause.mid(eq + 1);
            if (key == u"provider")
                provider = value.trimmed();
            else if (key == u"data source")
                target.path = value;
            else if (key == u"jet oledb:database password")
                target.password = value;
        }
    }
    if (!provider.startsWith(u"Microsoft.Jet.OLEDB.", Qt::CaseInsensitive)) providerFailed();
    if (target.path.isEmpty()) providerFailed();
    return target;
}

// The first row of a table, converted as the provider hands values to the program.
struct FirstRow {
    QStringList names;
    std::vector<vb::Variant> values; // empty when the table has no rows
};

// The file's pages for the reader. Every page is read from the file once and kept as it was
// read, so that one operation sees the same bytes even while another workstation rewrites the
// file (a compaction); the reader checks every page it is handed, and a page that cannot be
// read whole fails the operation. Only the pages read are kept.
class FilePages : public jet::PageSource {
public:
    QFile file;
    int pageSize = 0;
    quint32 pageCount = 0; // as the file was when opened
    QHash<quint32, QByteArray> pages;

    QByteArray page(quint32 number) override {
        auto it = pages.constFind(number);
        if (it == pages.cend()) {
            QByteArray bytes;
            if (number < pageCount && file.seek(qint64(number) * pageSize))
                bytes = file.read(pageSize);
            if (bytes.size() != pageSize) bytes.clear();
            it = pages.insert(number, bytes);
        }
        return *it;
    }
};

// The value as the provider hands it to the program. Binary values have no Variant of their
// own; they are shown as the text their bytes spell up to the first zero byte. OLE objects and
// the types the program never meets (decimals, the blobs of system tables) come as empty text.
vb::Variant variantOf(const jet::Column& column, const jet::Value& value) {
    return std::visit(
        [&](const auto& v) -> vb::Variant {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return vb::Null{};
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                if (column.type != jet::Binary) return QString();
                const qsizetype zero = v.indexOf('\0');
                return QString::fromUtf8(zero < 0 ? v : v.left(zero));
            } else {
                return v;
            }
        },
        value);
}

} // namespace

struct Connection::Impl {
    FilePages pages;
    std::optional<jet::Reader> reader;

    FirstRow readFirstRow(const QString& tableName);
};

Connection::Connection() = default;
Connection::~Connection() = default;

bool Connection::isOpen() const {
    return d != nullptr;
}

QString jetConnectionString(const QString& dataSource, const QString& password) {
    return QStringLiteral("Provider=") + QString::fromLatin1(kJetProvider) +
           QStringLiteral(";Data Source=") + dataSource +
           QStringLiteral(";JET OLEDB:Database Password=") + password + QStringLiteral(";");
}

void Connection::Open(const QString& connectionString, const QString&, const QString&,
                      std::int32_t) {
    if (d) vb::raise(3705); // already open
    const Target target = parseConnectionString(connectionString, Provider);
    QString hostPath;
    try {
        hostPath = fs::toHost(target.path);
    } catch (const vb::VbError&) {
        providerFailed(); // an unknown drive is a file the provider cannot find
    }
    if (const auto& hook = fs::Environment::current().state().databaseOpen) hook(hostPath);

    auto impl = std::make_unique<Impl>();
    FilePages& pages = impl->pages;
    pages.file.setFileName(hostPath);
    // Unbuffered: each page asked for is one read of the file, and no more is read.
    if (!QFileInfo(hostPath).isFile() ||
        !pages.file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        providerFailed();
    const qint64 size = pages.file.size();
    // The first bytes tell the page size; page 0 is then read whole, once, and that copy is
    // the header used from here on.
    const auto first = jet::readHeader(pages.file.read(jet::headerBytes));
    if (!first) providerFailed();
    if (size % first->pageSize != 0 || size / first->pageSize < 3) providerFailed();
    pages.pageSize = first->pageSize;
    pages.pageCount = static_cast<quint32>(std::min<qint64>(size / first->pageSize, 0x7FFFFFFF));
    const auto header = jet::readHeader(pages.page(0).left(jet::headerBytes));
    if (!header || header->pageSize != first->pageSize || header->version != first->version)
        providerFailed();

    // The password decides before anything else is read, as the provider does.
    if (!header->password.isEmpty() && header->password != target.password)
        vb::raise(vb::err::BadPassword);
    // An encoded database has every page encrypted, which this reader does not undo.
    if (header->key != 0) providerFailed();
    impl->reader.emplace(pages, *header); // reads the catalog's definition
    d = std::move(impl);
}

void Connection::Close() {
    if (!d) vb::raise(vb::err::ObjectClosed);
    d.reset();
}

// ---------------------------------------------------------------------------------------

FirstRow Connection::Impl::readFirstRow(const QString& tableName) {
    const auto entry = reader->findTable(tableName);
    if (!entry) vb::raise(vb::err::TableNotFound);
    const jet::TableDef table = reader->tableDefinition(entry->tdefPage);
    FirstRow row;
    for (const jet::Column& column : table.columns)
        row.names << column.name;
    reader->scan(table, [&](const jet::Row& r) {
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            row.values.push_back(variantOf(table.columns[i], r.value(i)));
        return false; // only the first row is ever read
    });
    return row;
}

namespace {

QString unbracketed(QString name) {
    name = name.trimmed();
    if (name.startsWith(u'[') && name.endsWith(u']')) name = name.mid(1, name.size() - 2);
    return name;
}

// What a source asks for: a table, and the columns wanted (none: all of them). The command
// texts understood are "select * from TABLE" (the program's own) and "select A, B from
// TABLE"; any other fails as an unknown table would.
struct Query {
    QString table;
    QStringList columns;
};

Query queryOf(const QString& source, std::int32_t options) {
    static const QRegularExpression select(
        QStringLiteral(R"(^\s*select\s+(\*|[^;]+?)\s+from\s+(\[[^\]]+\]|[^\s;\[\]]+)\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    Query query{source.trimmed(), {}};
    if (options != adCmdTable) {
        const auto m = select.match(source);
        if (m.hasMatch()) {
            query.table = m.captured(2);
            if (m.captured(1) != u"*")
                for (const QString& column : m.captured(1).split(u','))
                    query.columns << unbracketed(column);
        } else if (options == adCmdText) {
            vb::raise(vb::err::TableNotFound);
        }
    }
    query.table = unbracketed(query.table);
    if (query.table.isEmpty() || query.columns.contains(QString()))
        vb::raise(vb::err::TableNotFound);
    return query;
}

// The first row with only the columns asked for, in the order asked; 3265 for a column the
// table does not have.
FirstRow projected(const FirstRow& row, const QStringList& columns) {
    if (columns.isEmpty()) return row;
    FirstRow out;
    for (const QString& column : columns) {
        qsizetype at = 0;
        while (at < row.names.size() && row.names[at].compare(column, Qt::CaseInsensitive) != 0)
            ++at;
        if (at == row.names.size())
            vb::raise(vb::err::ItemNotFound,
                      vb::describe(vb::err::ItemNotFound) + QStringLiteral(": ") + column);
        out.names << row.names[at];
        if (!row.values.empty()) out.values.push_back(row.values[std::size_t(at)]);
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------

// The recordset copies the first row when it opens and holds nothing of the file afterwards:
// the program reads only that row, and closing the connection does not disturb it.
struct Recordset::Impl {
    FirstRow row;
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(const vb::Variant& source, Connection& connection, std::int32_t, std::int32_t,
                     std::int32_t options) {
    if (d) vb::raise(3705); // already open
    if (!connection.d) vb::raise(vb::err::ObjectClosed);
    if (!source.is<QString>()) vb::raise(vb::err::TableNotFound);
    auto impl = std::make_unique<Impl>();
    const Query query = queryOf(std::get<QString>(source.value()), options);
    impl->row = projected(connection.d->readFirstRow(query.table), query.columns);
    d = std::move(impl);
}

void Recordset::MoveFirst() {
    if (!d) vb::raise(vb::err::ObjectClosed);
    if (d->row.values.empty()) vb::raise(vb::err::NoCurrentRecord);
}

vb::Variant Recordset::Fields(const QString& name) const {
    if (!d) vb::raise(vb::err::ObjectClosed);
    qsizetype at = 0;
    while (at < d->row.names.size() && d->row.names[at].compare(name, Qt::CaseInsensitive) != 0)
        ++at;
    if (at == d->row.names.size()) vb::raise(vb::err::ItemNotFound);
    if (d->row.values.empty()) vb::raise(vb::err::NoCurrentRecord);
    return d->row.values[at];
}

QStringList Recordset::FieldNames() const {
    if (!d) vb::raise(vb::err::ObjectClosed);
    return d->row.names;
}

void Recordset::Close() {
    if (!d) vb::raise(vb::err::ObjectClosed);
    d.reset();
}

} // namespace db
