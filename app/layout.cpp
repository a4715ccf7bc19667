#include "layout.h"

#include <stdexcept>

namespace app {

namespace {
const FontSpec kDefault{QStringLiteral("MS Sans Serif"), 8.25, false};
const FontSpec kBold{QStringLiteral("MS Sans Serif"), 8.25, true};
const FontSpec kBigBold{QStringLiteral("MS Sans Serif"), 9.75, true};
const QColor kBlue(0, 0, 255);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
// The system colour for the text of an inactive caption, on the classic scheme.
const QColor kInactiveCaptionText(212, 208, 200);
} // namespace

const std::vector<ControlDesign>& controlDesigns() {
    static const std::vector<ControlDesign> designs{
        {"SSPanel1", "", 1860, 1860, 7695, 1455, 16, kBigBold, {}, {}, {}},
        {"Frame3", "", 600, 3660, 10995, 3195, 6, kBold, kInactiveCaptionText, {}, {}},
        {"Drive1", "Frame3", 150, 510, 2295, 315, 19, kDefault, {}, {}, {}},
        {"File1",
         "Frame3",
         2880,
         510,
         1875,
         1455,
         1,
         kDefault,
         QColor(192, 255, 255),
         {},
         QStringLiteral(
             "Elenco file di aggiornamento di QUNA presenti nella cartella selezionata")},
        {"Dir1", "Frame3", 150, 1080, 2415, 1665, 0, kDefault, {}, {}, {}},
        {"lv", "Frame3", 5040, 840, 5685, 1905, 18, kDefault, {}, {}, {}},
        {"Label1_2", "Frame3", 150, 330, 435, 195, 20, kDefault, {}, kBlue, {}},
        {"Label1_5", "Frame3", 6510, 300, 2595, 195, 10, kDefault, {}, kBlue, {}},
        {"Label2", "Frame3", 5040, 510, 5685, 315, 9, kBold, {}, {}, {}},
        {"Label1_4", "Frame3", 2880, 300, 1695, 195, 8, kDefault, {}, kBlue, {}},
        {"Label1_3", "Frame3", 150, 900, 675, 195, 7, kDefault, {}, kBlue, {}},
        {"Frame2", "", 7020, 480, 2775, 1035, 4, kBold, kInactiveCaptionText, kBlack, {}},
        {"lblVersPC", "Frame2", 180, 660, 2475, 315, 5, kBigBold, kWhite, kBlack, {}},
        {"Frame1", "", 660, 480, 6135, 1035, 2, kBold, kInactiveCaptionText, {}, {}},
        {"Label1_1", "Frame1", 4440, 300, 675, 195, 13, kDefault, {}, kBlue, {}},
        {"lblPathArchivi", "Frame1", 120, 660, 3795, 315, 12, kBold, kWhite, kBlack, {}},
        {"Label1_0", "Frame1", 180, 300, 675, 195, 11, kDefault, {}, kBlue, {}},
        {"lblVersDB", "Frame1", 3840, 660, 1935, 315, 3, kBigBold, kWhite, kBlack, {}},
        {"cmdElabora",
         "",
         4380,
         7110,
         1515,
         855,
         14,
         kBold,
         {},
         {},
         QStringLiteral("Esegue l'aggiornamento di Quna")},
        {"cmdAnnulla",
         "",
         6360,
         7080,
         1515,
         855,
         15,
         kBold,
         {},
         {},
         QStringLiteral("Annulla elaborazione")},
        {"Label3",
         "",
         600,
         7080,
         2535,
         330,
         17,
         {QStringLiteral("Arial"), 11.25, true},
         QColor(255, 255, 192),
         QColor(0, 0, 192),
         {}},
    };
    return designs;
}

const ControlDesign& design(const QString& name) {
    for (const ControlDesign& d : controlDesigns())
        if (d.name == name) return d;
    throw std::out_of_range("no such control");
}

} // namespace app
