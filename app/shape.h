#pragma once
// The window's outline: an ellipse, a rectangle with rounded corners or a diamond, computed
// from the window's outer rectangle in window coordinates.
#include "form/region.h"

#include <cstdint>
#include <optional>

namespace form {
struct WindowHandle;
}

namespace app {

using form::Point;
using form::Rect;
using form::Region;

constexpr std::int32_t RGN_ELLISSE = 0;
constexpr std::int32_t RGN_ARROTONDATO = 1;
constexpr std::int32_t RGN_ROMBO = 2;
constexpr int kCornerEllipse = 20;

// The region for a shape code and an outer rectangle; none for an unknown code. The
// subtraction is checked: a rectangle whose size does not fit 32 bits raises overflow (6).
std::optional<Region> regionFor(const Rect& outer, std::int32_t shape);

// Gives the window the region of the shape (or removes it).
void ImpostaForma(form::WindowHandle& window, std::int32_t shape);

} // namespace app
