#include "platform/windows/struts.h"

#include <algorithm>

namespace hg {

std::optional<Strut> strutFromValues(const std::vector<std::uint32_t>& v, Size rootSize)
{
    if (v.size() >= 12)
        return Strut{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]};
    if (v.size() < 4)
        return std::nullopt;
    const auto w = static_cast<std::uint32_t>(std::max(rootSize.width, 1.0)) - 1;
    const auto h = static_cast<std::uint32_t>(std::max(rootSize.height, 1.0)) - 1;
    return Strut{v[0], v[1], v[2], v[3], 0, h, 0, h, 0, w, 0, w};
}

namespace {

// The band a strut reserves along one edge, as a rectangle in root coordinates.
Rect band(double x, double y, double width, double height) { return Rect(x, y, std::max(width, 0.0), std::max(height, 0.0)); }

} // namespace

Rect unreservedArea(const Rect& monitor, Size rootSize, const std::vector<Strut>& struts)
{
    double left = monitor.minX(), right = monitor.maxX(), top = monitor.minY(), bottom = monitor.maxY();
    for (const Strut& s : struts) {
        const double topSpan = double(s.topEndX) - s.topStartX + 1;
        const double bottomSpan = double(s.bottomEndX) - s.bottomStartX + 1;
        const double leftSpan = double(s.leftEndY) - s.leftStartY + 1;
        const double rightSpan = double(s.rightEndY) - s.rightStartY + 1;
        if (s.top && monitor.intersects(band(s.topStartX, 0, topSpan, s.top)))
            top = std::max(top, double(s.top));
        if (s.bottom && monitor.intersects(band(s.bottomStartX, rootSize.height - s.bottom, bottomSpan, s.bottom)))
            bottom = std::min(bottom, rootSize.height - s.bottom);
        if (s.left && monitor.intersects(band(0, s.leftStartY, s.left, leftSpan)))
            left = std::max(left, double(s.left));
        if (s.right && monitor.intersects(band(rootSize.width - s.right, s.rightStartY, s.right, rightSpan)))
            right = std::min(right, rootSize.width - s.right);
    }
    if (right <= left || bottom <= top)
        return monitor;
    return Rect(left, top, right - left, bottom - top);
}

} // namespace hg
