#include "engine/overlay/mask_geometry.h"

#include <algorithm>
#include <vector>

#include "engine/overlay/path_boolean.h"

namespace hg {
namespace {

// An edge within this distance (points) of the screen's edge counts as touching it.
constexpr double kEdgeSlack = 0.5;
// Covering windows no wider or higher than this (points) are ignored.
constexpr double kMinimumCover = 1;

Path roundedLayerRect(const Rect& rect, double w, double h, double radius)
{
    return roundedRectPath(rect, cornerRadii(rect, w, h, radius));
}

Path sharpWindowPath(const SharpWindow& sharp, double w, double h, double radius)
{
    const Rect screen{0, 0, w, h};
    const Rect rect = layerRect(sharp.rect, h);
    const Path p = roundedLayerRect(rect, w, h, radius);
    std::vector<Path> covers;
    for (const Rect& cover : sharp.coveredBy) {
        if (cover.isEmpty())
            continue;
        const Rect e = layerRect(cover, h).intersected(screen);
        if (e.isEmpty() || e.width() <= kMinimumCover || e.height() <= kMinimumCover || !e.intersects(rect))
            continue;  // too thin to matter, or beside the window: nothing to cut
        covers.push_back(roundedLayerRect(e, w, h, radius));
    }
    // P minus each cover in turn, as one operation.
    return subtractingAll(p, covers);
}

} // namespace

Rect layerRect(const Rect& displayRect, double screenHeight)
{
    return {displayRect.minX(), screenHeight - displayRect.maxY(), displayRect.width(), displayRect.height()};
}

std::array<double, 4> cornerRadii(const Rect& rect, double screenWidth, double screenHeight, double radius)
{
    const double r = std::min(std::min(rect.width(), rect.height()) * 0.5, std::max(radius, 0.0));
    const bool bottom = rect.minY() <= kEdgeSlack;
    const bool top = rect.maxY() >= screenHeight - kEdgeSlack;
    const bool left = rect.minX() <= kEdgeSlack;
    const bool right = rect.maxX() >= screenWidth - kEdgeSlack;
    return {left || bottom ? 0 : r, right || bottom ? 0 : r, right || top ? 0 : r, left || top ? 0 : r};
}

Path roundedRectPath(const Rect& rect, const std::array<double, 4>& radii)
{
    const auto [r0, r1, r2, r3] = radii;
    const double x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
    Path p;
    p.moveTo({x0 + r0, y0});
    p.lineTo({x1 - r1, y0});
    if (r1 > 0)
        p.addArcToPoint({x1, y0}, {x1, y0 + r1}, r1);
    else
        p.lineTo({x1, y0});
    p.lineTo({x1, y1 - r2});
    if (r2 > 0)
        p.addArcToPoint({x1, y1}, {x1 - r2, y1}, r2);
    else
        p.lineTo({x1, y1});
    p.lineTo({x0 + r3, y1});
    if (r3 > 0)
        p.addArcToPoint({x0, y1}, {x0, y1 - r3}, r3);
    else
        p.lineTo({x0, y1});
    p.lineTo({x0, y0 + r0});
    if (r0 > 0)
        p.addArcToPoint({x0, y0}, {x0 + r0, y0}, r0);
    else
        p.lineTo({x0, y0});
    p.closeSubpath();
    return p;
}

std::optional<Path> holesPath(const Reveal& reveal, double screenWidth, double screenHeight, double radius)
{
    std::vector<Path> holes;
    if (reveal.window && !reveal.window->isEmpty())
        holes.push_back(roundedLayerRect(layerRect(*reveal.window, screenHeight), screenWidth, screenHeight, radius));
    for (const SharpWindow& sharp : reveal.excluded)
        if (!sharp.rect.isEmpty())
            holes.push_back(sharpWindowPath(sharp, screenWidth, screenHeight, radius));
    for (const SharpWindow& sharp : reveal.cutOut)
        if (!sharp.rect.isEmpty())
            holes.push_back(sharpWindowPath(sharp, screenWidth, screenHeight, 0));
    if (reveal.cursor && !reveal.cursor->isEmpty()) {
        Path disc;
        disc.addEllipseInRect(layerRect(*reveal.cursor, screenHeight));
        holes.push_back(std::move(disc));
    }
    if (holes.empty())
        return std::nullopt;
    if (holes.size() == 1)
        return holes.front();
    // The union of every hole in turn, as one operation: each hole is a single
    // contour or a subtraction's result, so the union's region is the same.
    return unitingAll(holes);
}

} // namespace hg
