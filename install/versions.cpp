// The two version records, read field by field; each failing step shows its own message
// and the reading goes on with the next step.
#include "versions.h"

#include "platform/vb/trap.h"

namespace install {

namespace {
vb::Trap readerTrap(form::Form& f) {
    return [&f](const vb::VbError& e) {
        f.host.messageBox(vb::errorMessage("Codice errore = ", e), ui::Buttons::Ok, ui::Icon::None);
        return vb::Resume::Next;
    };
}
} // namespace

void LeggiVersioneDB(form::Form& f) {
    using vb::step;
    std::unique_ptr<db::Recordset> rs;
    const vb::Block body{
        step([&] { f.strSQL = QStringLiteral("select * from Accesso"); }),
        step([&] { rs = std::make_unique<db::Recordset>(); }),
        step([&] {
            rs->Open(vb::Variant(f.strSQL), *f.cnDB, db::adOpenStatic, db::adLockPessimistic,
                     db::adCmdText);
        }),
        step([&] { rs->MoveFirst(); }),
        step([&] { f.Versione = vb::cstr(rs->Fields(QStringLiteral("Versione"))); }),
        step([&] { f.dataver = vb::cdate(rs->Fields(QStringLiteral("dataver"))); }),
        step([&] { rs->Close(); }),
        step([&] { rs.reset(); }),
    };
    vb::run(body, readerTrap(f));
}

void LeggiVersionePC(form::Form& f) {
    using vb::step;
    std::unique_ptr<db::Recordset> rs;
    const vb::Block body{
        step([&] { rs = std::make_unique<db::Recordset>(); }),
        step([&] {
            rs->Open(vb::Variant(QStringLiteral("Configurazione")), *f.cnClient, db::adOpenStatic,
                     db::adLockPessimistic, db::adCmdTable);
        }),
        step([&] { f.VersioPC = vb::cstr(rs->Fields(QStringLiteral("VersioPC"))); }),
        step([&] { f.DataVePC = vb::cdate(rs->Fields(QStringLiteral("DataVePC"))); }),
        step([&] { rs->Close(); }),
        step([&] { rs.reset(); }),
    };
    vb::run(body, readerTrap(f));
}

} // namespace install
