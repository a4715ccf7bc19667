// libFuzzer target: arbitrary bytes as a database held in memory, read whole by the Jet
// reader: the catalog, every table's definition, every row and every value. Page 0 is not
// decoded (db_fuzz covers it): its byte 0x14 alone picks Jet 3 or Jet 4, so that mutations
// reach the pages behind it. Any outcome but a VbError (a crash, a hang, a sanitizer report)
// is a bug.
#include "platform/db/jetreader.h"
#include "platform/vb/error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 0x15) return 0;
    db::jet::Header header;
    header.version = data[0x14] == 0 ? 0 : 1;
    header.pageSize = header.version == 0 ? 2048 : 4096;
    db::jet::MemoryPages pages(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                               header.pageSize);
    try {
        db::jet::Reader reader(pages, header);
        for (const db::jet::CatalogEntry& entry : reader.tables()) {
            try {
                const db::jet::TableDef table = reader.tableDefinition(entry.tdefPage);
                reader.scan(table, [&](const db::jet::Row& row) {
                    for (std::size_t i = 0; i < table.columns.size(); ++i)
                        row.value(i);
                    return true;
                });
            } catch (const vb::VbError&) {
            }
        }
    } catch (const vb::VbError&) {
    }
    return 0;
}
