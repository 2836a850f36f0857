#include "base/geometry.h"

#include <algorithm>

namespace hg {

Rect Rect::standardized() const
{
    if (isNull())
        return null();
    return {minX(), minY(), width(), height()};
}

Rect Rect::intersected(const Rect& other) const
{
    if (isNull() || other.isNull())
        return null();
    const double x0 = std::max(minX(), other.minX());
    const double y0 = std::max(minY(), other.minY());
    const double x1 = std::min(maxX(), other.maxX());
    const double y1 = std::min(maxY(), other.maxY());
    if (x1 < x0 || y1 < y0)
        return null();
    return {x0, y0, x1 - x0, y1 - y0};
}

bool Rect::intersects(const Rect& other) const
{
    return !intersected(other).isEmpty();
}

Rect Rect::united(const Rect& other) const
{
    if (isNull())
        return other.standardized();
    if (other.isNull())
        return standardized();
    const double x0 = std::min(minX(), other.minX());
    const double y0 = std::min(minY(), other.minY());
    const double x1 = std::max(maxX(), other.maxX());
    const double y1 = std::max(maxY(), other.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::integral() const
{
    if (isNull())
        return null();
    const double x0 = std::floor(minX());
    const double y0 = std::floor(minY());
    return {x0, y0, std::ceil(maxX()) - x0, std::ceil(maxY()) - y0};
}

Rect Rect::insetBy(double dx, double dy) const
{
    if (isNull())
        return null();
    const Rect r = standardized();
    const double w = r.size.width - 2 * dx;
    const double h = r.size.height - 2 * dy;
    if (w < 0 || h < 0)
        return null();
    return {r.origin.x + dx, r.origin.y + dy, w, h};
}

Rect Rect::offsetBy(double dx, double dy) const
{
    if (isNull())
        return null();
    return {origin.x + dx, origin.y + dy, size.width, size.height};
}

bool Rect::contains(Point p) const
{
    if (isNull())
        return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const
{
    if (isNull() || other.isNull())
        return false;
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY()
        && other.maxY() <= maxY();
}

} // namespace hg
