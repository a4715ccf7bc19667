#pragma once
// A read-only reader of Jet 3 (Access 97) and Jet 4 (Access 2000 to 2003) files: the catalog,
// table definitions and the rows of a table, over pages handed in by the caller. Every fault
// of the file (a page that cannot be read, a pointer or length outside its page, a chain that
// loops) raises the provider's "cannot open" error (0x80004005); nothing is read outside the
// pages handed in.
#include "jetheader.h"
#include "platform/vb/date.h"
#include "platform/vb/variant.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace db::jet {

// Where the pages come from: a file, or memory for the fuzz target.
class PageSource {
public:
    virtual ~PageSource() = default;
    // The page whole, or an empty array when it is not in the file or cannot be read.
    virtual QByteArray page(quint32 number) = 0;
};

// A database held in memory (the fuzz target, the tests' oracle).
class MemoryPages : public PageSource {
public:
    MemoryPages(QByteArray bytes, int pageSize) : bytes_(std::move(bytes)), pageSize_(pageSize) {}
    QByteArray page(quint32 number) override {
        const qint64 at = qint64(number) * pageSize_;
        return at + pageSize_ <= bytes_.size() ? bytes_.mid(at, pageSize_) : QByteArray();
    }

private:
    QByteArray bytes_;
    int pageSize_;
};

enum ColumnType : int {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,
    Numeric = 0x10,
};

struct Column {
    QString name;
    int type = 0;
    int number = 0;      // the null-mask bit, also counting deleted columns
    int varIndex = 0;    // variable columns: the entry in the row's offset table
    int fixedOffset = 0; // fixed columns: where in the row's fixed area
    int length = 0;      // bytes
    bool fixed = false;
};

struct TableDef {
    quint32 page = 0;
    std::vector<Column> columns; // in the order of their numbers
    quint32 usageMap = 0;        // pg_row of the row listing the table's data pages
    int variableColumns = 0;     // without any, rows keep no variable part
};

// A value as stored. Null is monostate; Binary and OLE are bytes; GUIDs are text in braces.
using Value = std::variant<std::monostate, bool, std::uint8_t, std::int16_t, std::int32_t,
                           vb::Currency, float, double, vb::Date, QString, QByteArray>;

struct CatalogEntry {
    QString name;
    quint32 tdefPage = 0;
    quint32 flags = 0; // 0x80000002 marks a system table
};

class Reader;

// One row of a table during a scan; values are decoded when asked for, so that a scan that
// needs two columns does not follow the long values of the others.
class Row {
public:
    Value value(std::size_t column) const;

private:
    friend class Reader;
    Row(Reader& reader, const TableDef& table, QByteArray bytes);
    Reader& reader_;
    const TableDef& table_;
    QByteArray bytes_;
    int columnsInRow_ = 0;
    int maskAt_ = 0;              // the null mask, at the row's end
    int varEnd_ = 0;              // where the variable part's offsets begin
    std::vector<int> varOffsets_; // of each variable column stored, then of the data's end
};

class Reader {
public:
    // Reads the catalog's definition and usage map.
    Reader(PageSource& pages, const Header& header);

    // The tables (Type 1 entries of MSysObjects) in catalog order, system tables included.
    const std::vector<CatalogEntry>& tables();
    // A table by name as Jet finds it, without regard to case; nullopt when there is none.
    std::optional<CatalogEntry> findTable(const QString& name);
    TableDef tableDefinition(quint32 page);
    // Hands each live row in file order to visit until it returns false.
    void scan(const TableDef& table, const std::function<bool(const Row&)>& visit);

private:
    friend class Row;
    bool jet4() const { return header_.version == 1; }
    QByteArray page(quint32 number);
    QByteArray pageOfType(quint32 number, int type);
    // A row's entry in its data page: the flags of its offset and its bytes.
    struct Slot {
        quint32 flags;
        QByteArray bytes;
    };
    Slot slot(const QByteArray& page, quint32 index) const;
    QByteArray follow(Slot slot); // to where a moved row went
    // The bytes of row (pgRow & 0xFF) of data page (pgRow >> 8).
    QByteArray rowAt(quint32 pgRow);
    // Hands each page the table's usage map marks to visit, in page order, until it returns
    // false (then returns false); the map's pages are read as the pages they mark are reached.
    bool forEachMappedPage(const TableDef& table, const std::function<bool(quint32)>& visit);
    void scanPage(const TableDef& table, const QByteArray& page,
                  const std::function<bool(const Row&)>& visit, bool& more);
    QString text(const char* data, int size) const;
    QByteArray longValue(const QByteArray& field);

    PageSource& pages_;
    Header header_;
    TableDef catalog_;
    std::optional<std::vector<CatalogEntry>> tables_;
};

} // namespace db::jet
