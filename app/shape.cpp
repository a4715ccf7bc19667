#include "shape.h"
#include "form/form.h"

#include "platform/vb/variant.h"

namespace app {

std::optional<Region> regionFor(const Rect& r, std::int32_t shape) {
    const std::int32_t width = vb::toInt32(std::int64_t(r.right) - r.left);
    const std::int32_t height = vb::toInt32(std::int64_t(r.bottom) - r.top);
    switch (shape) {
    case RGN_ELLISSE:
        return Region{Region::Kind::Ellipse, width, height};
    case RGN_ARROTONDATO:
        return Region{Region::Kind::RoundRect, width, height, kCornerEllipse, kCornerEllipse};
    case RGN_ROMBO: {
        const std::int32_t hw = width / 2, hh = height / 2;
        Region d{Region::Kind::Polygon, width, height};
        d.corners = {Point{hw, 0}, Point{0, hh}, Point{hw, height}, Point{width, hh}};
        return d;
    }
    default:
        return std::nullopt;
    }
}

void ImpostaForma(form::WindowHandle& window, std::int32_t shape) {
    window.setRegion(regionFor(window.outerRect(), shape));
}

} // namespace app
