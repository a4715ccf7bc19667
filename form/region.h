#pragma once
// A window's outer rectangle and the region that clips it, in window coordinates: what the
// window-shaping routine computes and a window handle applies.
#include <array>
#include <cstdint>

namespace form {

struct Rect {
    std::int32_t left, top, right, bottom;
};

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

} // namespace form
