#include "jetwriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace jet {
namespace {

constexpr int PageSize = 4096;
constexpr int DataPageHeader = 14;
// The largest row a data page can hold: the page minus its header and one row offset.
constexpr int MaxRow = PageSize - DataPageHeader - 2;
// pg_row pointers keep the row number in 8 bits.
constexpr int MaxRowsPerPage = 255;
// Memos up to this many stored bytes stay in the row; longer ones go to long-value pages.
constexpr std::size_t InlineMemo = 64;
// Readers only decompress memos up to this many characters.
constexpr std::size_t MaxCompressedMemo = 1024;

// Column type codes as stored in the table definition.
enum : std::uint8_t {
    TypeBool = 0x01,
    TypeByte = 0x02,
    TypeInt = 0x03,
    TypeLong = 0x04,
    TypeMoney = 0x05,
    TypeFloat = 0x06,
    TypeDouble = 0x07,
    TypeDate = 0x08,
    TypeText = 0x0A,
    TypeOle = 0x0B,
    TypeMemo = 0x0C,
};

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void fail(const std::string& message) {
    throw std::runtime_error(message);
}

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (v >> (8 * i)) & 0xFF;
}

void put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = (v >> (8 * i)) & 0xFF;
}

void putDouble(std::uint8_t* p, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    put64(p, bits);
}

void append16(Bytes& b, std::uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}

void append32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back((v >> (8 * i)) & 0xFF);
}

// ---- text ----

std::u16string toUtf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= s.size()) fail("invalid UTF-8 in \"" + s + "\"");
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) fail("invalid UTF-8 in \"" + s + "\"");
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            fail("invalid UTF-8 in \"" + s + "\"");
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

std::string toUtf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Stores text as UTF-16LE, or in the one-byte-per-character compressed form (FF FE marker)
// when every character fits a byte and that is shorter. Characters with a zero low byte would
// read as mode switches, so such text stays plain.
Bytes encodeText(const std::u16string& s, bool mayCompress) {
    Bytes out;
    const bool compress =
        mayCompress && s.size() > 2 &&
        std::all_of(s.begin(), s.end(), [](char16_t c) { return c > 0 && c < 0x100; });
    if (compress) {
        out.reserve(s.size() + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : s)
            out.push_back(static_cast<std::uint8_t>(c));
    } else {
        out.reserve(2 * s.size());
        for (char16_t c : s)
            append16(out, c);
    }
    return out;
}

// ---- dates ----

// Days from 1970-01-01 to a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const std::int64_t OleEpoch = daysFromCivil(1899, 12, 30);

std::optional<double> parseDate(const std::string& s) {
    int y, mo, d, h = 0, mi = 0, se = 0;
    char tail;
    const bool dateOnly = s.size() == 10;
    if (s.size() != 10 && s.size() != 19) return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char expected = i == 4 || i == 7     ? '-'
                              : i == 10            ? 'T'
                              : i == 13 || i == 16 ? ':'
                                                   : '#';
        if (expected == '#' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != expected)
            return std::nullopt;
    }
    if (dateOnly ? std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) != 3
                 : std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &se,
                               &tail) != 6)
        return std::nullopt;
    static constexpr int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > monthDays[mo - 1] ||
        (mo == 2 && d == 29 && !leap) || h > 23 || mi > 59 || se > 59)
        fail("invalid date " + s);
    return oleDate(y, mo, d, h, mi, se);
}

std::string formatDate(double ole) {
    double whole = std::trunc(ole);
    std::int64_t days = static_cast<std::int64_t>(whole);
    std::int64_t seconds = std::llround(std::fabs(ole - whole) * 86400);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    int y, m, d;
    civilFromDays(days + OleEpoch, y, m, d);
    char buf[40];
    if (seconds == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, m, d,
                      static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                      static_cast<int>(seconds % 60));
    return buf;
}

// ---- value conversion ----

const char* typeName(ColumnType t) {
    switch (t) {
    case ColumnType::YesNo:
        return "yesno";
    case ColumnType::Byte:
        return "byte";
    case ColumnType::Integer:
        return "integer";
    case ColumnType::Long:
        return "long";
    case ColumnType::Currency:
        return "currency";
    case ColumnType::Single:
        return "single";
    case ColumnType::Double:
        return "double";
    case ColumnType::DateTime:
        return "datetime";
    case ColumnType::Text:
        return "text";
    case ColumnType::Memo:
        return "memo";
    }
    return "?";
}

std::string formatDouble(double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string formatCurrency(std::int64_t v) {
    const std::uint64_t a = v < 0 ? 0 - static_cast<std::uint64_t>(v) : v;
    std::string s = (v < 0 ? "-" : "") + std::to_string(a / 10000);
    if (a % 10000 != 0) {
        char frac[8];
        std::snprintf(frac, sizeof frac, ".%04u", static_cast<unsigned>(a % 10000));
        s += frac;
        while (s.back() == '0')
            s.pop_back();
    }
    return s;
}

std::string describe(const Value& v) {
    switch (v.index()) {
    case 0:
        return "NULL";
    case 1:
        return std::get<bool>(v) ? "true" : "false";
    case 2:
        return std::to_string(std::get<std::int64_t>(v));
    case 3:
        return formatDouble(std::get<double>(v));
    case 4:
        return '"' + std::get<std::string>(v) + '"';
    case 5:
        return formatDate(std::get<DateTime>(v).oleDate);
    default:
        return formatCurrency(std::get<Currency>(v).tenThousandths);
    }
}

std::optional<double> parseNumber(const std::string& s) {
    double d;
    const char* end = s.data() + s.size();
    const char* begin = s.data() + (!s.empty() && s[0] == '+');
    auto r = std::from_chars(begin, end, d);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<double> toNumber(const Value& v) {
    switch (v.index()) {
    case 1:
        return std::get<bool>(v) ? 1.0 : 0.0;
    case 2:
        return static_cast<double>(std::get<std::int64_t>(v));
    case 3:
        return std::get<double>(v);
    case 4:
        return parseNumber(std::get<std::string>(v));
    case 5:
        return std::get<DateTime>(v).oleDate;
    case 6:
        return std::get<Currency>(v).tenThousandths / 10000.0;
    }
    return std::nullopt;
}

// Exact decimal to ten-thousandths; digits past the fourth decimal are rounded half away.
std::optional<std::int64_t> parseCurrency(const std::string& s) {
    const bool negative = !s.empty() && s[0] == '-';
    const std::size_t start = !s.empty() && (s[0] == '-' || s[0] == '+');
    const std::size_t point = std::min(s.find('.'), s.size());
    if (point == start && point + 1 >= s.size()) return std::nullopt;
    unsigned __int128 v = 0;
    for (std::size_t i = start; i < s.size(); ++i) {
        if (i == point) continue;
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
        if (i > point + 4) {
            if (i == point + 5 && s[i] >= '5') ++v;
            continue;
        }
        v = v * 10 + (s[i] - '0');
        if (v > (static_cast<unsigned __int128>(1) << 64)) return std::nullopt;
    }
    for (std::size_t decimals = point < s.size() ? s.size() - point - 1 : 0; decimals < 4;
         ++decimals)
        v *= 10;
    const unsigned __int128 limit = static_cast<unsigned __int128>(INT64_MAX) + negative;
    if (v > limit) return std::nullopt;
    return negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(v))
                    : static_cast<std::int64_t>(v);
}

std::optional<std::int64_t> toInteger(const Value& v) {
    if (auto i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto c = std::get_if<Currency>(&v))
        return c->tenThousandths % 10000 == 0 ? std::optional(c->tenThousandths / 10000)
                                              : std::nullopt;
    if (auto s = std::get_if<std::string>(&v)) {
        std::int64_t i;
        auto r = std::from_chars(s->data(), s->data() + s->size(), i);
        if (r.ec == std::errc() && r.ptr == s->data() + s->size()) return i;
    }
    if (v.index() == 5) return std::nullopt;
    const auto d = toNumber(v);
    if (!d || *d != std::floor(*d) || std::fabs(*d) > 9e18) return std::nullopt;
    return static_cast<std::int64_t>(*d);
}

std::optional<bool> toBool(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) {
        std::string l = *s;
        for (char& c : l)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (l == "true" || l == "yes") return true;
        if (l == "false" || l == "no") return false;
    }
    if (v.index() == 5) return std::nullopt;
    const auto d = toNumber(v);
    if (!d) return std::nullopt;
    return *d != 0;
}

std::string toText(const Value& v) {
    switch (v.index()) {
    case 1:
        return std::get<bool>(v) ? "true" : "false";
    case 4:
        return std::get<std::string>(v);
    default:
        return describe(v);
    }
}

std::uint8_t typeCode(ColumnType t) {
    switch (t) {
    case ColumnType::YesNo:
        return TypeBool;
    case ColumnType::Byte:
        return TypeByte;
    case ColumnType::Integer:
        return TypeInt;
    case ColumnType::Long:
        return TypeLong;
    case ColumnType::Currency:
        return TypeMoney;
    case ColumnType::Single:
        return TypeFloat;
    case ColumnType::Double:
        return TypeDouble;
    case ColumnType::DateTime:
        return TypeDate;
    case ColumnType::Text:
        return TypeText;
    case ColumnType::Memo:
        return TypeMemo;
    }
    return 0;
}

int fixedSize(std::uint8_t type) {
    switch (type) {
    case TypeByte:
        return 1;
    case TypeInt:
        return 2;
    case TypeLong:
    case TypeFloat:
        return 4;
    case TypeMoney:
    case TypeDouble:
    case TypeDate:
        return 8;
    }
    return 0;
}

// ---- layout ----

struct ColumnLayout {
    std::string name;
    std::uint8_t type;
    int size;     // bytes in the table definition
    bool fixed;   // lives in the fixed area (or, for Yes/No, in the null mask)
    int varIndex; // position among variable columns
    int fixedOffset;
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    int varCount = 0;
    int fixedBytes = 0;
};

void addColumn(TableLayout& t, const std::string& name, std::uint8_t type, int textChars = 0) {
    ColumnLayout c{name, type, 0, type != TypeText && type != TypeMemo && type != TypeOle, 0, 0};
    if (type == TypeBool) {
        c.size = 1; // the value is the null-mask bit; no fixed bytes
    } else if (c.fixed) {
        c.size = fixedSize(type);
        c.fixedOffset = t.fixedBytes;
        t.fixedBytes += c.size;
    } else {
        c.size = type == TypeText ? 2 * textChars : 0;
        c.varIndex = t.varCount++;
    }
    t.columns.push_back(c);
}

// Pages live in one growing buffer; code holds page numbers, never pointers, across growth.
struct File {
    Bytes data;
    int newPage() {
        data.resize(data.size() + PageSize);
        return static_cast<int>(data.size() / PageSize) - 1;
    }
    std::uint8_t* page(int n) { return data.data() + static_cast<std::size_t>(n) * PageSize; }
};

// The data page rows are currently added to. Rows fill a page from its end downwards.
struct RowPage {
    std::array<std::uint8_t, 4> owner; // TDEF page number, or "LVAL"
    int page = -1;
    int rows = 0;
    int top = PageSize; // where the last row placed starts
    std::vector<int> pages;
};

RowPage rowPageOwnedBy(int tdefPage) {
    RowPage r;
    put32(r.owner.data(), tdefPage);
    return r;
}

void openPage(File& f, RowPage& r, int page) {
    std::uint8_t* p = f.page(page);
    p[0] = 0x01;
    p[1] = 0x01;
    std::memcpy(p + 4, r.owner.data(), 4);
    r.page = page;
    r.rows = 0;
    r.top = PageSize;
    r.pages.push_back(page);
}

struct Placed {
    std::uint32_t pgRow;
    std::size_t fileOffset;
};

Placed addRow(File& f, RowPage& r, const Bytes& row) {
    if (row.size() > static_cast<std::size_t>(MaxRow)) fail("row too large for a page");
    const int needed = static_cast<int>(row.size());
    if (r.page < 0 || r.rows >= MaxRowsPerPage ||
        r.top - needed < DataPageHeader + 2 * (r.rows + 1))
        openPage(f, r, f.newPage());
    std::uint8_t* p = f.page(r.page);
    r.top -= needed;
    std::copy(row.begin(), row.end(), p + r.top);
    put16(p + DataPageHeader + 2 * r.rows, r.top);
    ++r.rows;
    put16(p + 12, r.rows);
    put16(p + 2, r.top - DataPageHeader - 2 * r.rows);
    return {static_cast<std::uint32_t>(r.page) * 256 + (r.rows - 1),
            static_cast<std::size_t>(r.page) * PageSize + r.top};
}

// A deleted row keeps its bytes; the two top bits of its offset mark it, as Access marks the
// deleted rows of its own files.
void markDeleted(File& f, std::uint32_t pgRow) {
    std::uint8_t* entry =
        f.page(static_cast<int>(pgRow >> 8)) + DataPageHeader + 2 * (pgRow & 0xFF);
    entry[1] |= 0xC0;
}

// The 12-byte memo field: length, storage flag, pointer; short memos follow it in the row.
Bytes storeMemo(File& f, RowPage& lval, const Bytes& data) {
    if (data.size() >= (1u << 24)) fail("memo longer than 16 MB");
    Bytes field(12, 0);
    field[0] = data.size() & 0xFF;
    field[1] = (data.size() >> 8) & 0xFF;
    field[2] = (data.size() >> 16) & 0xFF;
    if (data.size() <= InlineMemo) {
        field[3] = 0x80;
        field.insert(field.end(), data.begin(), data.end());
    } else if (data.size() <= static_cast<std::size_t>(MaxRow)) {
        field[3] = 0x40;
        put32(field.data() + 4, addRow(f, lval, data).pgRow);
    } else {
        // A chain of rows, each starting with the pointer to the next (0 ends it).
        field[3] = 0x00;
        std::size_t previousLink = 0;
        for (std::size_t pos = 0; pos < data.size(); pos += MaxRow - 4) {
            const std::size_t n = std::min<std::size_t>(MaxRow - 4, data.size() - pos);
            Bytes chunk(4, 0);
            chunk.insert(chunk.end(), data.begin() + pos, data.begin() + pos + n);
            const Placed placed = addRow(f, lval, chunk);
            put32(pos == 0 ? field.data() + 4 : f.data.data() + previousLink, placed.pgRow);
            previousLink = placed.fileOffset;
        }
    }
    return field;
}

// Row: column count, fixed area, variable data, end offset, variable offsets in reverse
// order, variable count, null mask (1 = present; for Yes/No the value itself).
Bytes encodeRow(File& f, RowPage& lval, const TableLayout& t, const std::vector<Value>& values) {
    const std::size_t n = t.columns.size();
    Bytes row(2 + t.fixedBytes, 0);
    put16(row.data(), static_cast<std::uint32_t>(n));
    Bytes mask((n + 7) / 8, 0);
    std::vector<std::uint32_t> varOffsets(t.varCount);
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = t.columns[i];
        const Value& v = values[i];
        const bool present = v.index() != 0;
        if (c.type == TypeBool) {
            if (present && std::get<bool>(v)) mask[i / 8] |= 1 << (i % 8);
            continue;
        }
        if (present) mask[i / 8] |= 1 << (i % 8);
        if (c.fixed) {
            if (!present) continue;
            std::uint8_t* p = row.data() + 2 + c.fixedOffset;
            switch (c.type) {
            case TypeByte:
                *p = static_cast<std::uint8_t>(std::get<std::int64_t>(v));
                break;
            case TypeInt:
                put16(p, static_cast<std::uint32_t>(std::get<std::int64_t>(v)));
                break;
            case TypeLong:
                put32(p, static_cast<std::uint32_t>(std::get<std::int64_t>(v)));
                break;
            case TypeMoney:
                put64(p, std::get<Currency>(v).tenThousandths);
                break;
            case TypeFloat: {
                const float single = static_cast<float>(std::get<double>(v));
                std::uint32_t bits;
                std::memcpy(&bits, &single, sizeof bits);
                put32(p, bits);
                break;
            }
            case TypeDouble:
                putDouble(p, std::get<double>(v));
                break;
            case TypeDate:
                putDouble(p, std::get<DateTime>(v).oleDate);
                break;
            }
        } else {
            varOffsets[c.varIndex] = static_cast<std::uint32_t>(row.size());
            if (!present) continue;
            const std::u16string text = toUtf16(std::get<std::string>(v));
            Bytes stored;
            if (c.type == TypeText)
                stored = encodeText(text, true);
            else
                stored = storeMemo(f, lval, encodeText(text, text.size() <= MaxCompressedMemo));
            row.insert(row.end(), stored.begin(), stored.end());
        }
    }
    if (t.varCount > 0) {
        append16(row, static_cast<std::uint32_t>(row.size()));
        for (int i = t.varCount - 1; i >= 0; --i)
            append16(row, varOffsets[i]);
        append16(row, t.varCount);
    }
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() > static_cast<std::size_t>(MaxRow))
        fail("a row of table " + t.name + " is too large (" + std::to_string(row.size()) +
             " bytes, at most " + std::to_string(MaxRow) + ")");
    return row;
}

void writeTableDefinition(File& f, int page, const TableLayout& t, std::uint32_t rowCount) {
    std::uint8_t* p = f.page(page);
    p[0] = 0x02;
    p[1] = 0x01;
    put32(p + 16, rowCount);
    p[40] = t.system ? 0x53 : 0x4E;
    const auto n = static_cast<std::uint32_t>(t.columns.size());
    put16(p + 41, n);
    put16(p + 43, t.varCount);
    put16(p + 45, n);
    // 47, 51: no indexes. 55, 59: usage maps, filled in once the data pages are known.
    Bytes names;
    int pos = 63;
    for (std::uint32_t i = 0; i < n; ++i) {
        const ColumnLayout& c = t.columns[i];
        const std::u16string name = toUtf16(c.name);
        if (pos + 25 + static_cast<int>(names.size() + 2 + 2 * name.size()) + 2 > PageSize)
            fail("table " + t.name + " has too many columns for one definition page");
        std::uint8_t* e = p + pos;
        e[0] = c.type;
        put16(e + 5, i);
        put16(e + 7, c.fixed ? 0 : c.varIndex);
        put16(e + 9, i);
        const bool text = c.type == TypeText || c.type == TypeMemo;
        if (text) put16(e + 11, 0x0409); // general sort order
        e[15] = c.fixed ? 0x03 : 0x02;   // 0x01 fixed length, 0x02 may be null
        e[16] = text ? 0x01 : 0x00;      // unicode compression allowed
        put16(e + 21, c.fixedOffset);
        put16(e + 23, c.size);
        pos += 25;
        append16(names, static_cast<std::uint32_t>(2 * name.size()));
        for (char16_t ch : name)
            append16(names, ch);
    }
    std::copy(names.begin(), names.end(), p + pos);
    pos += static_cast<int>(names.size());
    put16(p + pos, 0xFFFF); // end of the (empty) list of per-column usage maps
    pos += 2;
    put32(p + 8, pos);
    put16(p + 2, std::max(0, PageSize - pos - 8));
}

// A type 0 usage map: start page and one bit per page from there.
Bytes usageMap(File& f, const std::vector<int>& pages, bool reference) {
    const int start = pages.empty() ? 0 : pages.front();
    const std::size_t bytes = pages.empty() ? 0 : (pages.back() - start) / 8 + 1;
    if (!reference && bytes + 5 <= static_cast<std::size_t>(MaxRow)) {
        Bytes map{0x00};
        append32(map, start);
        map.resize(5 + std::max<std::size_t>(bytes, 64), 0);
        for (int pg : pages)
            map[5 + (pg - start) / 8] |= 1 << ((pg - start) % 8);
        return map;
    }
    // Map page k (type 0x05) holds the bits of pages k * perMapPage onwards after its 4-byte
    // header; the row lists the map pages in order, 0 for a range without pages.
    constexpr int perMapPage = (PageSize - 4) * 8;
    std::vector<int> mapPages(
        std::max<std::size_t>(17, pages.empty() ? 0 : pages.back() / perMapPage + 1), 0);
    if (mapPages.size() * 4 + 1 > static_cast<std::size_t>(MaxRow))
        fail("table too large for its usage map");
    for (int pg : pages) {
        int& mapPage = mapPages[pg / perMapPage];
        if (mapPage == 0) {
            mapPage = f.newPage();
            f.page(mapPage)[0] = 0x05;
            f.page(mapPage)[1] = 0x01;
        }
        f.page(mapPage)[4 + (pg % perMapPage) / 8] |= 1 << (pg % 8);
    }
    Bytes map{0x01};
    for (int mapPage : mapPages)
        append32(map, mapPage);
    return map;
}

void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n) {
    std::array<std::uint8_t, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

constexpr std::uint8_t HeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr int HeaderCryptStart = 0x18;
constexpr int HeaderCryptLength = 128;
constexpr int PasswordOffset = 0x42;
constexpr int PasswordBytes = 40;
constexpr int CreationDateOffset = 0x72;

// The password is masked with the integer part of the creation date.
std::array<std::uint8_t, 4> passwordMask(double creationDate) {
    std::array<std::uint8_t, 4> mask;
    put32(mask.data(),
          static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(creationDate))));
    return mask;
}

void writeHeader(File& f, const Database& db) {
    std::uint8_t* p = f.page(0);
    p[1] = 0x01;
    std::memcpy(p + 4, "Standard Jet DB", 15);
    p[0x14] = 0x01; // Jet 4
    put16(p + 0x3C, 1252);
    put32(p + 0x3E, 0); // database key: pages are not encrypted
    const std::u16string password = toUtf16(db.password);
    const auto mask = passwordMask(db.creationDate);
    for (int i = 0; i < PasswordBytes; ++i) {
        const std::size_t unit = i / 2;
        const std::uint8_t plain =
            unit < password.size() ? (password[unit] >> (8 * (i % 2))) & 0xFF : 0;
        p[PasswordOffset + i] = plain ^ mask[i % 4];
    }
    put32(p + 0x6E, 0x0409);
    putDouble(p + CreationDateOffset, db.creationDate);
    rc4(HeaderKey, sizeof HeaderKey, p + HeaderCryptStart, HeaderCryptLength);
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void checkName(const std::string& name, const std::string& what) {
    const std::size_t units = toUtf16(name).size();
    if (units == 0 || units > 64)
        fail(what + " name \"" + name + "\" must have 1 to 64 characters");
}

} // namespace

double oleDate(int year, int month, int day, int hour, int minute, int second) {
    const std::int64_t days = daysFromCivil(year, month, day) - OleEpoch;
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    // Before the epoch the time still counts forward from midnight: -1.25 is 1899-12-29 06:00.
    return days >= 0 ? days + time : days - time;
}

Value convertValue(const Column& column, const Value& value) {
    if (value.index() == 0) return value;
    const auto cannot = [&]() -> Value {
        fail("column " + column.name + " (" + typeName(column.type) + ") cannot take " +
             describe(value));
    };
    const auto integer = [&](std::int64_t lo, std::int64_t hi) -> Value {
        const auto i = toInteger(value);
        if (!i || *i < lo || *i > hi) return cannot();
        return *i;
    };
    switch (column.type) {
    case ColumnType::YesNo: {
        const auto b = toBool(value);
        return b ? Value(*b) : cannot();
    }
    case ColumnType::Byte:
        return integer(0, 255);
    case ColumnType::Integer:
        return integer(-32768, 32767);
    case ColumnType::Long:
        return integer(INT32_MIN, INT32_MAX);
    case ColumnType::Currency: {
        if (auto c = std::get_if<Currency>(&value)) return *c;
        if (auto i = std::get_if<std::int64_t>(&value)) {
            if (std::abs(*i) > INT64_MAX / 10000) return cannot();
            return Currency{*i * 10000};
        }
        if (auto s = std::get_if<std::string>(&value)) {
            const auto c = parseCurrency(*s);
            return c ? Value(Currency{*c}) : cannot();
        }
        const auto d = value.index() == 5 ? std::nullopt : toNumber(value);
        if (!d || std::fabs(*d) > 9.2e14) return cannot();
        return Currency{std::llround(*d * 10000)};
    }
    case ColumnType::Single:
    case ColumnType::Double: {
        const auto d = value.index() == 5 ? std::nullopt : toNumber(value);
        if (!d || (column.type == ColumnType::Single && std::fabs(*d) > FLT_MAX)) return cannot();
        return *d;
    }
    case ColumnType::DateTime: {
        if (value.index() == 5) return value;
        if (auto s = std::get_if<std::string>(&value)) {
            if (const auto d = parseDate(*s)) return DateTime{*d};
            return cannot();
        }
        const auto d = value.index() == 1 ? std::nullopt : toNumber(value);
        return d ? Value(DateTime{*d}) : cannot();
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
        std::string text = toText(value);
        const std::size_t units = toUtf16(text).size();
        if (column.type == ColumnType::Text && units > static_cast<std::size_t>(column.length))
            fail("column " + column.name + " (text " + std::to_string(column.length) +
                 ") cannot take " + std::to_string(units) + " characters");
        return text;
    }
    }
    return cannot();
}

void write(const Database& db, const std::string& path) {
    if (toUtf16(db.password).size() > 20) fail("the password must have at most 20 characters");
    if (!std::isfinite(db.creationDate) || std::fabs(db.creationDate) > 2e9)
        fail("invalid creation date");

    // Page 0 header, page 1 usage maps, page 2 the catalog, then one page per table definition,
    // then data and long-value pages.
    File f;
    for (int i = 0; i < 3; ++i)
        f.newPage();
    const int firstTablePage = 3;

    TableLayout catalog{"MSysObjects", true, {}, 0, 0};
    addColumn(catalog, "Id", TypeLong);
    addColumn(catalog, "ParentId", TypeLong);
    addColumn(catalog, "Name", TypeText, 128);
    addColumn(catalog, "Type", TypeInt);
    addColumn(catalog, "DateCreate", TypeDate);
    addColumn(catalog, "DateUpdate", TypeDate);
    addColumn(catalog, "Flags", TypeLong);
    addColumn(catalog, "LvProp", TypeOle);

    std::vector<TableLayout> layouts;
    std::vector<std::vector<Value>> catalogRows;
    for (std::size_t i = 0; i < db.tables.size(); ++i) {
        const Table& t = db.tables[i];
        checkName(t.name, "table");
        if (sameName(t.name, catalog.name)) fail("table name " + t.name + " is reserved");
        for (std::size_t j = 0; j < i; ++j)
            if (sameName(t.name, db.tables[j].name)) fail("duplicate table " + t.name);
        if (t.columns.empty() || t.columns.size() > 255)
            fail("table " + t.name + " must have 1 to 255 columns");
        TableLayout layout{t.name, false, {}, 0, 0};
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            const Column& col = t.columns[c];
            checkName(col.name, "column");
            for (std::size_t k = 0; k < c; ++k)
                if (sameName(col.name, t.columns[k].name))
                    fail("duplicate column " + col.name + " in table " + t.name);
            if (col.type == ColumnType::Text && (col.length < 1 || col.length > 255))
                fail("text column " + col.name + " must have a length of 1 to 255");
            addColumn(layout, col.name, typeCode(col.type), col.length);
        }
        f.newPage();
        layouts.push_back(std::move(layout));
        const DateTime created{db.creationDate};
        catalogRows.push_back({std::int64_t(firstTablePage + i), std::int64_t(0), t.name,
                               std::int64_t(1), created, created, std::int64_t(0), Value{}});
    }

    RowPage lval;
    std::memcpy(lval.owner.data(), "LVAL", 4);
    std::vector<std::vector<int>> dataPages;

    RowPage catalogPages = rowPageOwnedBy(2);
    for (const auto& r : catalogRows)
        addRow(f, catalogPages, encodeRow(f, lval, catalog, r));
    writeTableDefinition(f, 2, catalog, static_cast<std::uint32_t>(catalogRows.size()));
    dataPages.push_back(catalogPages.pages);

    for (std::size_t i = 0; i < db.tables.size(); ++i) {
        const Table& t = db.tables[i];
        const int tdef = firstTablePage + static_cast<int>(i);
        RowPage pages = rowPageOwnedBy(tdef);
        std::vector<Value> converted(t.columns.size());
        std::uint32_t live = 0;
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            const auto& row = t.rows[r];
            if (row.size() != t.columns.size())
                fail("table " + t.name + " row " + std::to_string(r + 1) + " has " +
                     std::to_string(row.size()) + " values for " +
                     std::to_string(t.columns.size()) + " columns");
            for (std::size_t c = 0; c < row.size(); ++c)
                converted[c] = convertValue(t.columns[c], row[c]);
            const Placed placed = addRow(f, pages, encodeRow(f, lval, layouts[i], converted));
            if (std::find(t.deleted.begin(), t.deleted.end(), r) != t.deleted.end())
                markDeleted(f, placed.pgRow);
            else
                ++live;
        }
        writeTableDefinition(f, tdef, layouts[i], live);
        dataPages.push_back(pages.pages);
    }

    // Readers find data pages only through a table's usage map. The free-space map must point
    // at a valid row too; the usage map row serves.
    RowPage maps = rowPageOwnedBy(2);
    openPage(f, maps, 1);
    for (std::size_t i = 0; i < dataPages.size(); ++i) {
        const std::uint32_t pgRow =
            addRow(f, maps, usageMap(f, dataPages[i], db.referenceMaps)).pgRow;
        std::uint8_t* tdef = f.page(i == 0 ? 2 : firstTablePage + static_cast<int>(i) - 1);
        put32(tdef + 55, pgRow);
        put32(tdef + 59, pgRow);
    }

    writeHeader(f, db);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) fail("cannot create " + path);
    out.write(reinterpret_cast<const char*>(f.data.data()),
              static_cast<std::streamsize>(f.data.size()));
    out.close();
    if (!out) fail("cannot write " + path);
}

std::string decodePassword(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<std::uint8_t, PageSize> p{};
    if (!in.read(reinterpret_cast<char*>(p.data()), PageSize))
        fail("cannot read the header page of " + path);
    if (p[0] != 0 || std::memcmp(p.data() + 4, "Standard Jet DB", 15) != 0 || p[0x14] != 0x01)
        fail(path + " is not a Jet 4 database");
    rc4(HeaderKey, sizeof HeaderKey, p.data() + HeaderCryptStart, HeaderCryptLength);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | p[CreationDateOffset + i];
    double created;
    std::memcpy(&created, &bits, sizeof created);
    const auto mask = passwordMask(created);
    std::u16string password;
    for (int i = 0; i < PasswordBytes; i += 2) {
        const auto unit =
            static_cast<char16_t>((p[PasswordOffset + i] ^ mask[i % 4]) |
                                  (p[PasswordOffset + i + 1] ^ mask[(i + 1) % 4]) << 8);
        password.push_back(unit);
    }
    password.resize(std::min(password.find(u'\0'), password.size()));
    return toUtf8(password);
}

namespace {

struct Token {
    std::string text;
    bool quoted;
};

std::vector<Token> tokenize(const std::string& line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size()) return tokens;
        Token t{"", line[i] == '"'};
        if (!t.quoted) {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                t.text += line[i++];
        } else {
            for (++i;; ++i) {
                if (i == line.size()) fail("unterminated quoted text");
                if (line[i] == '"') break;
                if (line[i] != '\\') {
                    t.text += line[i];
                    continue;
                }
                if (++i == line.size()) fail("unterminated quoted text");
                switch (line[i]) {
                case '"':
                    t.text += '"';
                    break;
                case '\\':
                    t.text += '\\';
                    break;
                case 'n':
                    t.text += '\n';
                    break;
                case 't':
                    t.text += '\t';
                    break;
                default:
                    fail(std::string("unknown escape \\") + line[i]);
                }
            }
            ++i;
            if (i < line.size() && line[i] != ' ' && line[i] != '\t')
                fail("expected a blank after quoted text");
        }
        tokens.push_back(std::move(t));
    }
}

bool isInteger(const std::string& s) {
    const std::size_t start = !s.empty() && (s[0] == '-' || s[0] == '+');
    return s.size() > start && std::all_of(s.begin() + start, s.end(), [](char c) {
               return std::isdigit(static_cast<unsigned char>(c));
           });
}

Value parseValue(const Token& t) {
    if (t.quoted) return t.text;
    std::string lower = t.text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "null") return {};
    if (lower == "true") return true;
    if (lower == "false") return false;
    if (isInteger(t.text)) {
        const auto i = toInteger(t.text);
        if (!i) fail("integer out of range: " + t.text);
        return *i;
    }
    const std::size_t point = t.text.find('.');
    if (point != std::string::npos && isInteger(t.text.substr(0, point)) &&
        (point + 1 == t.text.size() || isInteger(t.text.substr(point + 1))) &&
        std::isdigit(static_cast<unsigned char>(t.text.back()))) {
        if (const auto d = parseNumber(t.text)) return *d;
    }
    if (const auto d = parseDate(t.text)) return DateTime{*d};
    fail("unrecognised value " + t.text +
         " (expected NULL, \"text\", a number, true/false or a date YYYY-MM-DD[THH:MM:SS])");
}

std::optional<ColumnType> parseType(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto t : {ColumnType::YesNo, ColumnType::Byte, ColumnType::Integer, ColumnType::Long,
                   ColumnType::Currency, ColumnType::Single, ColumnType::Double,
                   ColumnType::DateTime, ColumnType::Text, ColumnType::Memo})
        if (name == typeName(t)) return t;
    return std::nullopt;
}

} // namespace

Database parseDescription(std::istream& in) {
    Database db;
    bool havePassword = false;
    std::optional<std::int64_t> repeat;
    int tableLine = 0;
    std::string line;
    int lineNumber = 0;
    const auto checkColumns = [&] {
        if (!db.tables.empty() && db.tables.back().columns.empty())
            throw std::runtime_error("line " + std::to_string(tableLine) + ": table " +
                                     db.tables.back().name + " has no columns");
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        try {
            const std::size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#') continue;
            const std::vector<Token> tokens = tokenize(line);
            const std::string& keyword = tokens[0].text;
            const std::size_t args = tokens.size() - 1;
            if (repeat && keyword != "row") fail("repeat must be followed by a row line");
            if (keyword == "password") {
                if (havePassword) fail("password given twice");
                if (args != 1) fail("usage: password TEXT");
                db.password = tokens[1].text;
                havePassword = true;
            } else if (keyword == "table") {
                if (args != 1) fail("usage: table NAME");
                checkColumns();
                for (const Table& t : db.tables)
                    if (sameName(t.name, tokens[1].text)) fail("duplicate table " + t.name);
                db.tables.push_back({tokens[1].text, {}, {}});
                tableLine = lineNumber;
            } else if (keyword == "column") {
                if (db.tables.empty()) fail("column before any table line");
                Table& t = db.tables.back();
                if (!t.rows.empty()) fail("column after the first row of table " + t.name);
                if (args < 2 || args > 3) fail("usage: column NAME TYPE [LENGTH]");
                const auto type = parseType(tokens[2].text);
                if (!type) fail("unknown column type " + tokens[2].text);
                Column c{tokens[1].text, *type};
                if (args == 3) {
                    if (*type != ColumnType::Text) fail("only text columns take a length");
                    const auto n =
                        isInteger(tokens[3].text) ? toInteger(tokens[3].text) : std::nullopt;
                    if (!n || *n < 1 || *n > 255) fail("text length must be 1 to 255");
                    c.length = static_cast<int>(*n);
                }
                for (const Column& other : t.columns)
                    if (sameName(other.name, c.name)) fail("duplicate column " + c.name);
                t.columns.push_back(std::move(c));
            } else if (keyword == "repeat") {
                const auto n = args == 1 && isInteger(tokens[1].text) ? toInteger(tokens[1].text)
                                                                      : std::nullopt;
                if (!n || *n < 0 || *n > 10000000) fail("usage: repeat N (0 to 10000000)");
                repeat = n;
            } else if (keyword == "row") {
                if (db.tables.empty()) fail("row before any table line");
                Table& t = db.tables.back();
                if (args != t.columns.size())
                    fail("table " + t.name + " has " + std::to_string(t.columns.size()) +
                         " columns but the row has " + std::to_string(args) + " values");
                std::vector<Value> row;
                for (std::size_t i = 0; i < args; ++i) {
                    // Currency takes the digits as written: a double would round them.
                    const Token& token = tokens[i + 1];
                    Value v = parseValue(token);
                    if (t.columns[i].type == ColumnType::Currency && !token.quoted &&
                        (v.index() == 2 || v.index() == 3))
                        v = token.text;
                    row.push_back(convertValue(t.columns[i], v));
                }
                t.rows.insert(t.rows.end(), static_cast<std::size_t>(repeat.value_or(1)), row);
                repeat.reset();
            } else {
                fail("unknown keyword " + keyword +
                     " (expected password, table, column, repeat or row)");
            }
        } catch (const std::runtime_error& e) {
            throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + e.what());
        }
    }
    if (repeat)
        throw std::runtime_error("line " + std::to_string(lineNumber) +
                                 ": repeat must be followed by a row line");
    checkColumns();
    return db;
}

const char* descriptionHelp() {
    return R"(The description is a text file (UTF-8), one statement per line (the notes on the
right explain the example and are not part of it):

  # comment lines and blank lines are ignored
  password BlumoKast            optional, once; up to 20 characters
  table Accesso                 starts a table; later lines add to it
  column Versione text 50       NAME TYPE [LENGTH]
  column dataver datetime
  row "4.5" 2007-02-18          one value per column, separated by blanks
  repeat 2000                   the next row line is written this many times
  row NULL 2007-02-18T10:30:00

Column types: yesno byte integer long currency single double datetime text memo.
Only text takes a length, in characters (1 to 255, default 50).

Values:
  NULL                          Null (a yesno column stores false)
  "text"                        UTF-8, with the escapes \" \\ \n \t
  42  -7                        integers
  3.25  -0.5                    decimals, with a point
  true  false
  2007-02-18                    dates, stored as days since 1899-12-30
  2007-02-18T10:30:00

A value of another type is converted to the column's type when it can be (a number into a
text column is written as its text, "4.5" into a double column as 4.5); otherwise the
line is reported as an error. Names and the password may be quoted to include blanks.
)";
}

} // namespace jet
