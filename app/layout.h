#pragma once
// The window's design: every control with its parent, position and size in twips, tab
// index, font and colours. Positions are relative to the parent's client area.
#include "platform/ui/controls.h"

#include <QColor>
#include <QString>
#include <optional>
#include <vector>

namespace app {

using ui::kTwipsPerPixel;

constexpr int kClientWidthTwips = 11880;
constexpr int kClientHeightTwips = 8190;
constexpr const char* kWindowCaption = "Aggiorna versione di QUNA";

struct FontSpec {
    QString family; // as designed; mapped to an installed font by the window
    double points;
    bool bold;
};

struct ControlDesign {
    QString name;   // object name
    QString parent; // "" for the window
    int left, top, width, height;
    int tabIndex;
    FontSpec font;
    std::optional<QColor> background, foreground;
    QString toolTip;
};

const std::vector<ControlDesign>& controlDesigns();
const ControlDesign& design(const QString& name);

} // namespace app
