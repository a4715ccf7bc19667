#pragma once
// The window's outline: an ellipse, a rectangle with rounded corners or a diamond, computed
// from the window's outer rectangle in window coordinates.
#include <array>
#include <cstdint>
#include <optional>

namespace app {

struct WindowHandle;

struct Rect {
    std::int32_t left, top, right, bottom;
};

constexpr std::int32_t RGN_ELLISSE = 0;
constexpr std::int32_t RGN_ARROTONDATO = 1;
constexpr std::int32_t RGN_ROMBO = 2;
constexpr int kCornerEllipse = 20;

struct Point {
    std::int32_t x, y;
    bool operator==(const Point&) const = default;
};

struct Region {
    enum class Kind { Ellipse, RoundRect, Polygon } kind;
    std::int32_t width = 0, height = 0;    // the box from (0, 0)
    int cornerWidth = 0, cornerHeight = 0; // RoundRect
    std::array<Point, 4> corners{};        // Polygon, filled in alternate mode
    bool empty() const { return width <= 0 || height <= 0; }
};

// The region for a shape code and an outer rectangle; none for an unknown code. The
// subtraction is checked: a rectangle whose size does not fit 32 bits raises overflow (6).
std::optional<Region> regionFor(const Rect& outer, std::int32_t shape);

// Gives the window the region of the shape (or removes it).
void ImpostaForma(WindowHandle& window, std::int32_t shape);

} // namespace app
