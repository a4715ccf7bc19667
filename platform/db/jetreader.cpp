#include "jetreader.h"

#include "platform/vb/error.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace db::jet {

namespace {

[[noreturn]] void damaged() {
    vb::raise(vb::err::ProviderFailed);
}

// Bounds-checked little-endian reads: a field that does not lie inside its bytes means a
// damaged file, never a read outside them.
void need(const QByteArray& bytes, qint64 at, qint64 size) {
    if (at < 0 || size < 0 || at + size > bytes.size()) damaged();
}
quint32 u8(const QByteArray& b, qint64 at) {
    need(b, at, 1);
    return static_cast<unsigned char>(b[at]);
}
quint32 u16(const QByteArray& b, qint64 at) {
    need(b, at, 2);
    return u8(b, at) | u8(b, at + 1) << 8;
}
quint32 u32(const QByteArray& b, qint64 at) {
    need(b, at, 4);
    return u16(b, at) | u16(b, at + 2) << 16;
}
template <typename T> T raw(const QByteArray& b, qint64 at) {
    need(b, at, sizeof(T));
    T value;
    std::memcpy(&value, b.constData() + at, sizeof value);
    return value;
}

// Where the fields lie in each format's data pages, table definitions and rows.
struct Layout {
    int rowCountAt; // data page: the number of rows, then each row's offset
    int varColumnsAt, columnsAt, realIndexesAt, usageMapAt, firstIndexAt;
    int realIndexEntry, columnEntry;
    // In a column entry.
    int numberAt, varIndexAt, flagsAt, fixedOffsetAt, lengthAt;
    int rowColumnsField; // bytes of the column count at the start of a row
};
constexpr Layout jet3Layout{8, 23, 25, 31, 35, 43, 8, 18, 1, 3, 13, 14, 16, 1};
constexpr Layout jet4Layout{12, 43, 45, 51, 55, 63, 12, 25, 5, 7, 15, 21, 23, 2};

constexpr int pageTypeData = 0x01, pageTypeTableDef = 0x02, pageTypeUsageMap = 0x05;
constexpr quint32 rowDeleted = 0x8000, rowMoved = 0x4000, rowOffsetMask = 0x1FFF;
// A moved row may have moved again; Jet does not chain further than this.
constexpr int maxMoves = 4;

// Windows-1252, the code page of Jet 3 files made on Western European systems; bytes it
// leaves undefined become the C1 control of the same number, as Windows maps them.
QString windows1252(const char* data, int size) {
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        text[i] = QChar(c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c));
    }
    return text;
}

// Jet 4 text: UTF-16LE, or after FF FE the compressed form, where runs of one byte per
// character (high byte zero) and runs of UTF-16LE alternate, each 0x00 byte switching.
QString jet4Text(const char* data, int size) {
    const auto utf16 = [](const char* at, int bytes) {
        QString s(bytes / 2, Qt::Uninitialized);
        for (int i = 0; i < bytes / 2; ++i)
            s[i] = QChar(char16_t(static_cast<unsigned char>(at[2 * i]) |
                                  static_cast<unsigned char>(at[2 * i + 1]) << 8));
        return s;
    };
    if (size < 2 || static_cast<unsigned char>(data[0]) != 0xFF ||
        static_cast<unsigned char>(data[1]) != 0xFE)
        return utf16(data, size);
    QString text;
    bool compressed = true;
    for (int at = 2; at < size;) {
        int end = at;
        while (end < size && data[end] != 0)
            ++end;
        text += compressed ? QString::fromLatin1(data + at, end - at) : utf16(data + at, end - at);
        compressed = !compressed;
        at = end + 1;
    }
    return text;
}

QString guidText(const QByteArray& b, int at) {
    return QStringLiteral("{%1-%2-%3-%4%5-%6}")
        .arg(u32(b, at), 8, 16, QChar(u'0'))
        .arg(u16(b, at + 4), 4, 16, QChar(u'0'))
        .arg(u16(b, at + 6), 4, 16, QChar(u'0'))
        .arg(u8(b, at + 8), 2, 16, QChar(u'0'))
        .arg(u8(b, at + 9), 2, 16, QChar(u'0'))
        .arg(QString::fromLatin1(b.mid(at + 10, 6).toHex()))
        .toUpper();
}

// Bytes a fixed column of the type takes in a row; 0 for one that has no fixed size.
int fixedSize(int type) {
    switch (type) {
    case Byte:
        return 1;
    case Integer:
        return 2;
    case Long:
    case Single:
        return 4;
    case Currency:
    case Double:
    case DateTime:
        return 8;
    case Guid:
        return 16;
    case Numeric:
        return 17;
    default:
        return 0;
    }
}

const Layout& layoutOf(const Header& header) {
    return header.version == 1 ? jet4Layout : jet3Layout;
}

} // namespace

Reader::Reader(PageSource& pages, const Header& header) : pages_(pages), header_(header) {
    // MSysObjects is always defined on page 2. A file whose catalog cannot be found, down to
    // its usage map, is not opened at all.
    catalog_ = tableDefinition(2);
    forEachMappedPage(catalog_, [](quint32) { return true; });
}

QByteArray Reader::page(quint32 number) {
    QByteArray bytes = pages_.page(number);
    if (bytes.size() != header_.pageSize) damaged();
    return bytes;
}

QByteArray Reader::pageOfType(quint32 number, int type) {
    QByteArray bytes = page(number);
    if (u8(bytes, 0) != quint32(type)) damaged();
    return bytes;
}

TableDef Reader::tableDefinition(quint32 number) {
    const Layout& l = layoutOf(header_);
    // A long definition continues on further pages, each after its 8-byte page header.
    QByteArray def = pageOfType(number, pageTypeTableDef);
    std::set<quint32> seen{number};
    for (quint32 next = u32(def, 4); next != 0;) {
        if (!seen.insert(next).second) damaged(); // a chain that loops
        const QByteArray more = pageOfType(next, pageTypeTableDef);
        def += more.mid(8);
        next = u32(more, 4);
    }

    TableDef table;
    table.page = number;
    table.usageMap = u32(def, l.usageMapAt);
    table.variableColumns = int(u16(def, l.varColumnsAt));
    const int count = int(u16(def, l.columnsAt));
    const qint64 entries = l.firstIndexAt + qint64(u32(def, l.realIndexesAt)) * l.realIndexEntry;
    need(def, entries, qint64(count) * l.columnEntry);
    qint64 name = entries + qint64(count) * l.columnEntry;
    for (int i = 0; i < count; ++i) {
        const qint64 e = entries + qint64(i) * l.columnEntry;
        Column c;
        c.type = int(u8(def, e));
        c.number = int(u16(def, e + l.numberAt));
        c.varIndex = int(u16(def, e + l.varIndexAt));
        c.fixed = u8(def, e + l.flagsAt) & 0x01;
        c.fixedOffset = int(u16(def, e + l.fixedOffsetAt));
        c.length = int(u16(def, e + l.lengthAt));
        if (jet4()) {
            const int bytes = int(u16(def, name));
            need(def, name + 2, bytes);
            c.name = jet4Text(def.constData() + name + 2, bytes);
            name += 2 + bytes;
        } else {
            const int bytes = int(u8(def, name));
            need(def, name + 1, bytes);
            c.name = windows1252(def.constData() + name + 1, bytes);
            name += 1 + bytes;
        }
        table.columns.push_back(std::move(c));
    }
    std::stable_sort(table.columns.begin(), table.columns.end(),
                     [](const Column& a, const Column& b) { return a.number < b.number; });
    return table;
}

Reader::Slot Reader::slot(const QByteArray& p, quint32 index) const {
    const Layout& l = layoutOf(header_);
    const quint32 rows = u16(p, l.rowCountAt);
    if (index >= rows) damaged();
    const quint32 offset = u16(p, l.rowCountAt + 2 + 2 * index);
    const int start = int(offset & rowOffsetMask);
    const int end =
        index == 0 ? header_.pageSize : int(u16(p, l.rowCountAt + 2 * index) & rowOffsetMask);
    if (start > end || end > header_.pageSize) damaged();
    return {offset & ~rowOffsetMask, p.mid(start, end - start)};
}

QByteArray Reader::follow(Slot s) {
    // A row that grew past its page left a pointer to where it went; that copy carries the
    // deleted flag, so that a scan meets it only through the pointer. Both flags together
    // mark a deleted row.
    for (int moves = 0; (s.flags & (rowMoved | rowDeleted)) == rowMoved; ++moves) {
        if (moves == maxMoves) damaged();
        const quint32 pgRow = u32(s.bytes, 0);
        s = slot(pageOfType(pgRow >> 8, pageTypeData), pgRow & 0xFF);
    }
    return s.bytes;
}

QByteArray Reader::rowAt(quint32 pgRow) {
    return follow(slot(pageOfType(pgRow >> 8, pageTypeData), pgRow & 0xFF));
}

bool Reader::forEachMappedPage(const TableDef& table, const std::function<bool(quint32)>& visit) {
    const QByteArray map = rowAt(table.usageMap);
    // Bit n of the bitmap from byte `from` on marks page firstPage + n.
    const auto bits = [&](const QByteArray& bitmap, qint64 from, quint64 firstPage) {
        for (qint64 at = from; at < bitmap.size(); ++at)
            for (int bit = 0, byte = int(u8(bitmap, at)); byte && bit < 8; ++bit)
                if (byte & (1 << bit) && !visit(quint32(firstPage + (at - from) * 8 + bit)))
                    return false;
        return true;
    };
    switch (u8(map, 0)) {
    case 0: // the bitmap itself, from a first page on
        return bits(map, 5, u32(map, 1));
    case 1: { // map pages, each for as many pages as its bitmap holds, one range after another
        const quint64 perMapPage = quint64(header_.pageSize - 4) * 8;
        for (qint64 at = 1; at + 4 <= map.size(); at += 4) {
            const quint32 mapPage = u32(map, at);
            if (mapPage &&
                !bits(pageOfType(mapPage, pageTypeUsageMap), 4, quint64(at / 4) * perMapPage))
                return false;
        }
        return true;
    }
    default:
        damaged();
    }
}

void Reader::scan(const TableDef& table, const std::function<bool(const Row&)>& visit) {
    bool more = true;
    forEachMappedPage(table, [&](quint32 number) {
        const QByteArray p = page(number);
        // The map may name pages the table no longer owns; only its own data pages hold rows.
        if (u8(p, 0) == pageTypeData && u32(p, 4) == table.page) scanPage(table, p, visit, more);
        return more;
    });
}

void Reader::scanPage(const TableDef& table, const QByteArray& p,
                      const std::function<bool(const Row&)>& visit, bool& more) {
    const int rowCountAt = layoutOf(header_).rowCountAt;
    const quint32 rows = u16(p, rowCountAt);
    need(p, rowCountAt + 2, 2 * qint64(rows)); // a count past the page: the page is damaged
    for (quint32 index = 0; index < rows && more; ++index) {
        const Slot s = slot(p, index);
        if (s.flags & rowDeleted) continue;
        more = visit(Row(*this, table, follow(s)));
    }
}

QString Reader::text(const char* data, int size) const {
    return jet4() ? jet4Text(data, size) : windows1252(data, size);
}

// The 12-byte field of a Memo or OLE value: its length with two flags in the top bits, and
// where it is kept: after the field (0x80), in one long-value row (0x40), or in a chain of
// rows each starting with the pg_row of the next (0x00).
QByteArray Reader::longValue(const QByteArray& field) {
    const quint32 word = u32(field, 0);
    const qint64 length = word & 0x3FFFFFFF;
    const quint32 where = word >> 24 & 0xC0;
    if (where == 0x80) {
        need(field, 12, length);
        return field.mid(12, length);
    }
    if (where == 0x40) {
        const QByteArray row = rowAt(u32(field, 4));
        if (row.size() < length) damaged();
        return row.left(length);
    }
    if (where != 0) damaged();
    QByteArray value;
    std::set<quint32> seen;
    for (quint32 next = u32(field, 4); value.size() < length;) {
        if (next == 0 || !seen.insert(next).second) damaged(); // cut short, or a loop
        const QByteArray row = rowAt(next);
        next = u32(row, 0);
        value += row.mid(4, std::min<qint64>(row.size() - 4, length - value.size()));
    }
    return value;
}

const std::vector<CatalogEntry>& Reader::tables() {
    if (tables_) return *tables_;
    const auto column = [&](const char* name) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < catalog_.columns.size(); ++i)
            if (catalog_.columns[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return i;
        return std::nullopt;
    };
    const auto id = column("Id"), name = column("Name"), type = column("Type");
    const auto flags = column("Flags");
    if (!id || !name || !type) damaged();
    std::vector<CatalogEntry> found;
    scan(catalog_, [&](const Row& row) {
        // Type 1 is a table; the low three bytes of its Id are its definition's page.
        const Value t = row.value(*type), i = row.value(*id), n = row.value(*name);
        if (t == Value(std::int16_t{1}) && std::holds_alternative<std::int32_t>(i) &&
            std::holds_alternative<QString>(n)) {
            const Value f = flags ? row.value(*flags) : Value{};
            found.push_back({std::get<QString>(n), quint32(std::get<std::int32_t>(i)) & 0x00FFFFFF,
                             std::holds_alternative<std::int32_t>(f)
                                 ? quint32(std::get<std::int32_t>(f))
                                 : 0u});
        }
        return true;
    });
    tables_ = std::move(found);
    return *tables_;
}

std::optional<CatalogEntry> Reader::findTable(const QString& name) {
    for (const CatalogEntry& entry : tables())
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0) return entry;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------

Row::Row(Reader& reader, const TableDef& table, QByteArray bytes)
    : reader_(reader), table_(table), bytes_(std::move(bytes)) {
    const Layout& l = layoutOf(reader.header_);
    const qint64 size = bytes_.size();
    columnsInRow_ = int(l.rowColumnsField == 2 ? u16(bytes_, 0) : u8(bytes_, 0));
    maskAt_ = int(size - (columnsInRow_ + 7) / 8);
    if (maskAt_ < l.rowColumnsField) damaged();
    if (table.variableColumns == 0) {
        varEnd_ = maskAt_;
        return;
    }
    // From the null mask backwards: the number of variable columns stored, their offsets
    // (last first) and the end of the variable data. Jet 3 keeps one byte per offset and a
    // jump table whose entries each add 256 to the offsets of the columns from theirs on.
    if (reader.jet4()) {
        const int count = int(u16(bytes_, maskAt_ - 2));
        for (int i = 0; i <= count; ++i)
            varOffsets_.push_back(int(u16(bytes_, maskAt_ - 4 - 2 * qint64(i))));
        varEnd_ = maskAt_ - 4 - 2 * count;
    } else {
        const int count = int(u8(bytes_, maskAt_ - 1));
        const int jumps = int((size - 1) / 256);
        const qint64 offsetsEnd = maskAt_ - 1 - jumps;
        for (int i = 0; i <= count; ++i) {
            int offset = int(u8(bytes_, offsetsEnd - 1 - i));
            for (int j = 0; j < jumps; ++j)
                if (int(u8(bytes_, offsetsEnd + j)) <= i) offset += 256;
            varOffsets_.push_back(offset);
        }
        varEnd_ = int(offsetsEnd - 1 - count);
    }
}

Value Row::value(std::size_t index) const {
    if (index >= table_.columns.size()) damaged();
    const Column& c = table_.columns[index];
    const bool present =
        c.number < columnsInRow_ && (u8(bytes_, maskAt_ + c.number / 8) >> (c.number % 8) & 1);
    if (c.type == Boolean) return present; // the null-mask bit is the value
    if (!present) return {};
    // Jet keeps a column in the fixed or the variable part as its definition says, whatever
    // its type: system tables hold numbers in the variable part.
    const int rowStart = layoutOf(reader_.header_).rowColumnsField;
    QByteArray data;
    if (c.fixed) {
        const int size = fixedSize(c.type) ? fixedSize(c.type) : c.length;
        const qint64 at = rowStart + qint64(c.fixedOffset);
        if (at + size > varEnd_) damaged();
        data = bytes_.mid(at, size);
    } else {
        // A variable column added after the row was written is not stored in it.
        if (c.varIndex + 1 >= int(varOffsets_.size())) return {};
        const int from = varOffsets_[c.varIndex], to = varOffsets_[c.varIndex + 1];
        if (from < rowStart || from > to || to > varEnd_) damaged();
        data = bytes_.mid(from, to - from);
    }
    if (fixedSize(c.type) && data.size() < fixedSize(c.type)) damaged();
    switch (c.type) {
    case Byte:
        return std::uint8_t(u8(data, 0));
    case Integer:
        return raw<std::int16_t>(data, 0);
    case Long:
        return raw<std::int32_t>(data, 0);
    case Currency:
        return vb::Currency{raw<std::int64_t>(data, 0)};
    case Single:
        return raw<float>(data, 0);
    case Double:
        return raw<double>(data, 0);
    case DateTime:
        return vb::Date{raw<double>(data, 0)};
    case Guid:
        return guidText(data, 0);
    case Text:
        return reader_.text(data.constData(), int(data.size()));
    case Memo: {
        if (data.size() < 12) return QString(); // an empty memo keeps no field
        const QByteArray value = reader_.longValue(data);
        return reader_.text(value.constData(), int(value.size()));
    }
    case Ole:
        return data.size() < 12 ? QByteArray() : reader_.longValue(data);
    default:
        return data;
    }
}

} // namespace db::jet
