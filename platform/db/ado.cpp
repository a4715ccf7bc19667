#include "ado.h"

#include "jetheader.h"
#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mdbtools.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace db {

namespace {

std::function<void(const QString&)> openFaultHook;

// libmdb reports odd pages on stderr, which is the user's terminal or the support log; the
// program reports failures through its own error numbers instead. The fuzz build keeps
// stderr, where the sanitizers write.
class QuietStderr {
public:
    QuietStderr() {
#ifndef QUNA_DB_KEEP_STDERR
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
#endif
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

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

// Little-endian readers over a page held in a QByteArray; callers check the bounds.
quint32 u8(const QByteArray& b, int at) {
    return static_cast<unsigned char>(b[at]);
}
quint32 u16(const QByteArray& b, int at) {
    return u8(b, at) | u8(b, at + 1) << 8;
}
quint32 u32(const QByteArray& b, int at) {
    return u16(b, at) | u16(b, at + 2) << 16;
}

// Where the table-definition and data-page fields lie in each format.
struct Layout {
    int numVarCols, numCols, numRealIdx, usageMap, freeMap, colsStart, realIdxEntry, colEntry;
    int rowCountOffset;
};
constexpr Layout jet3Layout{23, 25, 31, 35, 39, 43, 8, 18, 8};
constexpr Layout jet4Layout{43, 45, 51, 55, 59, 63, 12, 25, 12};

// The first row of a table, converted as the provider hands values to the program.
struct FirstRow {
    QStringList names;
    std::vector<vb::Variant> values; // empty when the table has no rows
};

} // namespace

void setOpenFaultHook(std::function<void(const QString& hostPath)> hook) {
    openFaultHook = std::move(hook);
}

struct Connection::Impl {
    MdbHandle* mdb = nullptr;
    QFile file;
    jet::Header header;
    quint32 pageCount = 0; // as the file was when opened
    // Every page is read from the file once and kept as it was read: the checks below and
    // libmdb, which reads through pageStream(), see the same bytes even while another
    // workstation rewrites the file (a compaction). A page that could not be read whole is
    // kept empty, and any use of one fails the operation.
    QHash<quint32, QByteArray> pages;
    bool pageUnreadable = false;
    qint64 streamAt = 0; // libmdb's position in pageStream()
    bool catalogRead = false;
    QList<QPair<QString, quint32>> tables;

    ~Impl() {
        if (mdb) mdb_close(mdb);
    }
    const Layout& layout() const { return header.version == 0 ? jet3Layout : jet4Layout; }

    QByteArray page(quint32 number) {
        auto it = pages.constFind(number);
        if (it == pages.cend()) {
            QByteArray bytes;
            if (number < pageCount && file.seek(qint64(number) * header.pageSize))
                bytes = file.read(header.pageSize);
            if (bytes.size() != header.pageSize) bytes.clear();
            it = pages.insert(number, bytes);
        }
        if (it->isEmpty()) pageUnreadable = true;
        return *it;
    }

    // A row of a data page, bounds checked: where it starts and ends in the page.
    struct Row {
        QByteArray page;
        int start = 0, end = 0;
    };
    std::optional<Row> row(quint32 pgRow) {
        Row r{page(pgRow >> 8)};
        if (r.page.isEmpty() || u8(r.page, 0) != 0x01) return std::nullopt;
        const int rco = layout().rowCountOffset;
        const quint32 index = pgRow & 0xFF, rows = u16(r.page, rco);
        if (index >= rows || rco + 2 + 2 * int(rows) > header.pageSize) return std::nullopt;
        r.start = int(u16(r.page, rco + 2 + 2 * int(index)) & 0x1FFF);
        r.end = index == 0 ? header.pageSize : int(u16(r.page, rco + 2 * int(index)) & 0x1FFF);
        if (r.start >= r.end || r.end > header.pageSize) return std::nullopt;
        return r;
    }

    // A "pg_row" pointer must name an existing row of a data page.
    bool rowPointerSane(quint32 pgRow) { return row(pgRow).has_value(); }

    // What libmdb trusts when it reads a table definition: the page chain, the counts that
    // size its arrays and the usage and free-space map rows.
    bool tableDefinitionSane(quint32 tdef) {
        const QByteArray p = page(tdef);
        // A definition longer than a page continues on the page named at offset 4.
        quint32 chained = 0;
        for (QByteArray at = p; !at.isEmpty();) {
            if (u8(at, 0) != 0x02 || ++chained > 64) return false;
            const quint32 next = u32(at, 4);
            if (next == 0) break;
            at = page(next);
            if (at.isEmpty()) return false;
        }
        if (p.isEmpty()) return false;
        const Layout& l = layout();
        const quint32 cols = u16(p, l.numCols), varCols = u16(p, l.numVarCols);
        const quint32 realIdx = u32(p, l.numRealIdx);
        if (cols == 0 || cols > MDB_MAX_COLS || varCols > cols || realIdx > 1000) return false;
        // The fixed part must fit in the pages of the chain.
        const quint64 fixedPart =
            l.colsStart + quint64(realIdx) * l.realIdxEntry + quint64(cols) * l.colEntry;
        if (fixedPart > quint64(chained) * header.pageSize) return false;
        return rowPointerSane(u32(p, l.freeMap)) && usageMapSane(u32(p, l.usageMap));
    }

    // The usage map row must exist; one of the second kind lists map pages, each of which
    // must lie in the file.
    bool usageMapSane(quint32 pgRow) {
        const auto r = row(pgRow);
        if (!r) return false;
        if (u8(r->page, r->start) != 1) return true; // the inline bitmap: libmdb checks each page
        for (int at = r->start + 1; at + 4 <= r->end; at += 4)
            if (u32(r->page, at) >= pageCount) return false;
        return true;
    }

    // libmdb's view of the file: a read-only stream over page(), so it reads the very pages
    // that were checked. A page that cannot be read fails the read.
    FILE* pageStream() {
        static const cookie_io_functions_t io{
            [](void* self, char* buffer, size_t size) -> ssize_t {
                return static_cast<Impl*>(self)->readStream(buffer, size);
            },
            nullptr,
            [](void* self, off64_t* offset, int whence) {
                return static_cast<Impl*>(self)->seekStream(offset, whence);
            },
            nullptr};
        FILE* stream = fopencookie(this, "r", io);
        if (stream) std::setvbuf(stream, nullptr, _IONBF, 0);
        return stream;
    }
    ssize_t readStream(char* buffer, size_t size) {
        const qint64 end = qint64(pageCount) * header.pageSize;
        size_t done = 0;
        while (done < size && streamAt < end) {
            const QByteArray p = page(quint32(streamAt / header.pageSize));
            if (p.isEmpty()) {
                errno = EIO;
                return -1;
            }
            const int from = int(streamAt % header.pageSize);
            const size_t n = std::min(size - done, size_t(header.pageSize - from));
            std::memcpy(buffer + done, p.constData() + from, n);
            done += n;
            streamAt += qint64(n);
        }
        return ssize_t(done);
    }
    int seekStream(off64_t* offset, int whence) {
        const qint64 base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? streamAt
                                                 : qint64(pageCount) * header.pageSize;
        if (base + *offset < 0) return -1;
        streamAt = base + *offset;
        *offset = streamAt;
        return 0;
    }

    // The user and system tables by name, with the page of their definition. libmdb's own
    // catalog reader also decodes the property blob of every object and loops without end on
    // some damaged ones; the catalog needs only these columns of MSysObjects (page 2).
    void readCatalog() {
        if (catalogRead) return;
        tables.clear(); // a scan that failed half-way is started again
        scan(2, [&](MdbTableDef* t, const MdbField* fields, QByteArray& page) {
            vb::Variant id, name, type;
            for (unsigned i = 0; i < t->num_cols; ++i) {
                MdbColumn* col = column(t, fields[i].colnum);
                if (qstrcmp(col->name, "Id") == 0) id = convert(col, fields[i], page);
                if (qstrcmp(col->name, "Name") == 0) name = convert(col, fields[i], page);
                if (qstrcmp(col->name, "Type") == 0) type = convert(col, fields[i], page);
            }
            // Type 1 is a table; the low three bytes of its Id are its definition's page.
            if (type == vb::Variant(std::int16_t{1}) && id.is<std::int32_t>() && name.is<QString>())
                tables.append({std::get<QString>(name.value()),
                               quint32(std::get<std::int32_t>(id.value())) & 0x00FFFFFF});
            return true;
        });
        catalogRead = true;
    }

    quint32 findTable(const QString& name) {
        readCatalog();
        for (const auto& [tableName, tdef] : tables)
            if (tableName.compare(name, Qt::CaseInsensitive) == 0) return tdef;
        vb::raise(vb::err::TableNotFound);
    }

    static MdbColumn* column(MdbTableDef* table, int colnum) {
        if (colnum < 0 || unsigned(colnum) >= table->num_cols) providerFailed();
        return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, colnum));
    }

    using RowVisitor = std::function<bool(MdbTableDef*, const MdbField*, QByteArray& page)>;
    QStringList scan(quint32 tdef, const RowVisitor& visit);
    FirstRow readFirstRow(const QString& tableName);
    vb::Variant convert(MdbColumn* col, const MdbField& field, QByteArray& page);
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
    if (openFaultHook) openFaultHook(hostPath);

    auto impl = std::make_unique<Impl>();
    impl->file.setFileName(hostPath);
    if (!QFileInfo(hostPath).isFile() || !impl->file.open(QIODevice::ReadOnly)) providerFailed();
    const qint64 size = impl->file.size();
    // The first bytes tell the page size; page 0 is then read whole, once, and that copy is
    // the header used from here on.
    const auto first = jet::readHeader(impl->file.read(jet::headerBytes));
    if (!first) providerFailed();
    impl->header = *first;
    if (size % first->pageSize != 0 || size / first->pageSize < 3) providerFailed();
    impl->pageCount = static_cast<quint32>(std::min<qint64>(size / first->pageSize, 0x7FFFFFFF));
    const QByteArray page0 = impl->page(0);
    const auto header = jet::readHeader(page0.left(jet::headerBytes));
    if (!header || header->pageSize != first->pageSize || header->version != first->version)
        providerFailed();
    impl->header = *header;

    // The password decides before anything else is read, as the provider does.
    if (!header->password.isEmpty() && header->password != target.password)
        vb::raise(vb::err::BadPassword);
    // An encoded database has every page encrypted; our page checks cannot read it, and
    // libmdb must not be handed pages nobody checked.
    if (header->key != 0 || !impl->tableDefinitionSane(2)) providerFailed();

    {
        // libmdb starts from the checked page 0 and then reads through the page cache.
        QuietStderr quiet;
        QByteArray start = page0;
        impl->mdb = mdb_open_buffer(start.data(), std::size_t(start.size()), MDB_NOFLAGS);
        FILE* stream = impl->mdb ? impl->pageStream() : nullptr;
        if (impl->mdb && stream) {
            std::fclose(impl->mdb->f->stream);
            impl->mdb->f->stream = stream;
        } else if (impl->mdb) {
            mdb_close(impl->mdb);
            impl->mdb = nullptr;
        }
    }
    if (!impl->mdb) providerFailed();
    d = std::move(impl);
}

void Connection::Close() {
    if (!d) vb::raise(vb::err::ObjectClosed);
    d.reset();
}

// ---------------------------------------------------------------------------------------

namespace {

template <typename T> T raw(const QByteArray& page, int start) {
    T value;
    std::memcpy(&value, page.constData() + start, sizeof value);
    return value;
}

QString libmdbText(MdbHandle* mdb, QByteArray& page, int start, int type, int size) {
    char* text = mdb_col_to_string(mdb, page.data(), start, type, size);
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// Fixed-size types with the number of bytes they take in a row.
int fixedSize(int type) {
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
        return 4;
    case MDB_FLOAT:
        return 4;
    case MDB_MONEY:
        return 8;
    case MDB_DOUBLE:
        return 8;
    case MDB_DATETIME:
        return 8;
    default:
        return 0;
    }
}

} // namespace

vb::Variant Connection::Impl::convert(MdbColumn* col, const MdbField& field, QByteArray& page) {
    if (col->col_type == MDB_BOOL) return !field.is_null; // the null-mask bit is the value
    if (field.is_null) return vb::Null{};
    const int start = field.start, size = field.siz;
    if (start < 0 || size < 0 || start + size > page.size()) providerFailed();
    if (const int need = fixedSize(col->col_type); need && size < need) providerFailed();
    switch (col->col_type) {
    case MDB_BYTE:
        return raw<std::uint8_t>(page, start);
    case MDB_INT:
        return raw<std::int16_t>(page, start);
    case MDB_LONGINT:
        return raw<std::int32_t>(page, start);
    case MDB_FLOAT:
        return raw<float>(page, start);
    case MDB_DOUBLE:
        return raw<double>(page, start);
    case MDB_MONEY:
        return vb::Currency{raw<std::int64_t>(page, start)};
    case MDB_DATETIME:
        return vb::Date{raw<double>(page, start)};
    case MDB_TEXT:
        if (size == 0) return QString();
        return libmdbText(mdb, page, start, MDB_TEXT, size);
    case MDB_MEMO: {
        // A memo kept outside the row is followed by libmdb: its page must exist.
        if (size < MDB_MEMO_OVERHEAD) return QString();
        const quint32 flags = u8(page, start + 3);
        if (!(flags & 0x80) && !rowPointerSane(u32(page, start + 4))) providerFailed();
        return libmdbText(mdb, page, start, MDB_MEMO, size);
    }
    default: // OLE objects, replication ids, decimals: the program reads none of them
        return libmdbText(mdb, page, start, col->col_type, size);
    }
}

// Reads the rows of the table defined on page tdef in file order, handing each to visit
// until it returns false; returns the column names.
QStringList Connection::Impl::scan(quint32 tdef, const RowVisitor& visit) {
    if (tdef >= pageCount || !tableDefinitionSane(tdef)) providerFailed();
    MdbCatalogEntry entry{};
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = tdef;

    QuietStderr quiet;
    MdbTableDef* table = mdb_read_table(&entry);
    if (!table) providerFailed();
    struct Free {
        MdbTableDef* t;
        ~Free() { mdb_free_tabledef(t); }
    } freeTable{table};
    if (!mdb_read_columns(table) || table->num_cols > MDB_MAX_COLS) providerFailed();

    QStringList names;
    for (unsigned i = 0; i < table->num_cols; ++i)
        names << QString::fromUtf8(column(table, int(i))->name);

    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        // mdb_fetch_row left the row's page in the handle; crack the row again to see the
        // null mask and the raw values (bound columns give text, and "" for Null).
        QByteArray page(reinterpret_cast<const char*>(mdb->pg_buf), header.pageSize);
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, int(table->cur_row) - 1, &start, &length) != 0) providerFailed();
        MdbField fields[MDB_MAX_COLS];
        if (mdb_crack_row(table, start & 0x1FFF, length, fields) < 0) providerFailed();
        if (!visit(table, fields, page)) break;
    }
    if (pageUnreadable) providerFailed(); // the file changed under the reader
    return names;
}

FirstRow Connection::Impl::readFirstRow(const QString& tableName) {
    FirstRow row;
    row.names =
        scan(findTable(tableName), [&](MdbTableDef* t, const MdbField* fields, QByteArray& page) {
            for (unsigned i = 0; i < t->num_cols; ++i)
                row.values.push_back(convert(column(t, fields[i].colnum), fields[i], page));
            return false; // only the first row is ever read
        });
    return row;
}

namespace {

// The table a source names. The program's only command text is "select * from TABLE";
// other command texts are not supported and fail as an unknown table would.
QString tableOf(const QString& source, std::int32_t options) {
    static const QRegularExpression select(
        QStringLiteral(R"(^\s*select\s+\*\s+from\s+(\[[^\]]+\]|[^\s;\[\]]+)\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    QString name = source.trimmed();
    if (options != adCmdTable) {
        const auto m = select.match(source);
        if (m.hasMatch())
            name = m.captured(1);
        else if (options == adCmdText)
            vb::raise(vb::err::TableNotFound);
    }
    if (name.startsWith(u'[') && name.endsWith(u']')) name = name.mid(1, name.size() - 2);
    if (name.isEmpty()) vb::raise(vb::err::TableNotFound);
    return name;
}

} // namespace

// ---------------------------------------------------------------------------------------

// The recordset copies the first row when it opens and holds nothing of libmdb afterwards:
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
    impl->row = connection.d->readFirstRow(tableOf(std::get<QString>(source.value()), options));
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
