#include "engine/overlay/path_boolean.h"

#include <cmath>
#include <polyclipping/clipper.hpp>

namespace hg {
namespace {

ClipperLib::PolyFillType fillType(FillRule rule)
{
    return rule == FillRule::evenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero;
}

ClipperLib::Paths toClipper(const Polygons& polygons)
{
    ClipperLib::Paths out;
    out.reserve(polygons.size());
    for (const Polygon& polygon : polygons) {
        ClipperLib::Path path;
        path.reserve(polygon.size());
        for (const Point& p : polygon)
            path.emplace_back(static_cast<ClipperLib::cInt>(std::llround(p.x * kClipperScale)),
                              static_cast<ClipperLib::cInt>(std::llround(p.y * kClipperScale)));
        out.push_back(std::move(path));
    }
    return out;
}

Polygons fromClipper(const ClipperLib::Paths& paths)
{
    Polygons out;
    out.reserve(paths.size());
    for (const ClipperLib::Path& path : paths) {
        if (path.size() < 3)
            continue;
        Polygon polygon;
        polygon.reserve(path.size());
        for (const ClipperLib::IntPoint& p : path)
            polygon.push_back({static_cast<double>(p.X) / kClipperScale, static_cast<double>(p.Y) / kClipperScale});
        out.push_back(std::move(polygon));
    }
    return out;
}

ClipperLib::Paths execute(ClipperLib::ClipType type, const ClipperLib::Paths& subject,
                          const ClipperLib::Paths& clip, FillRule rule)
{
    ClipperLib::Clipper clipper;
    clipper.AddPaths(subject, ClipperLib::ptSubject, true);
    clipper.AddPaths(clip, ClipperLib::ptClip, true);
    ClipperLib::Paths result;
    clipper.Execute(type, result, fillType(rule), fillType(rule));
    return result;
}

// The operand's even-odd region with winding 1 inside and 0 outside: a lone
// contour turned counter-clockwise; the results of Clipper already are.
void addOperand(const Path& path, ClipperLib::Paths& out)
{
    ClipperLib::Paths paths = toClipper(path.flattened());
    if (paths.size() == 1 && !ClipperLib::Orientation(paths.front()))
        ClipperLib::ReversePath(paths.front());
    out.insert(out.end(), paths.begin(), paths.end());
}

Path toPath(const ClipperLib::Paths& paths)
{
    Path out;
    out.addPolygons(fromClipper(paths));
    return out;
}

} // namespace

Path subtracting(const Path& a, const Path& b, FillRule rule)
{
    return toPath(execute(ClipperLib::ctDifference, toClipper(a.flattened()), toClipper(b.flattened()), rule));
}

Path uniting(const Path& a, const Path& b, FillRule rule)
{
    return toPath(execute(ClipperLib::ctUnion, toClipper(a.flattened()), toClipper(b.flattened()), rule));
}

Path subtractingAll(const Path& a, const std::vector<Path>& bs)
{
    if (bs.empty())
        return a;
    ClipperLib::Paths subject, clip;
    addOperand(a, subject);
    for (const Path& b : bs)
        addOperand(b, clip);
    return toPath(execute(ClipperLib::ctDifference, subject, clip, FillRule::nonZero));
}

Path unitingAll(const std::vector<Path>& paths)
{
    ClipperLib::Paths subject;
    for (const Path& p : paths)
        addOperand(p, subject);
    return toPath(execute(ClipperLib::ctUnion, subject, {}, FillRule::nonZero));
}

Polygons simplified(const Polygons& polygons, FillRule rule)
{
    return fromClipper(execute(ClipperLib::ctUnion, toClipper(polygons), {}, rule));
}

Rect changedBounds(const Polygons& a, const Polygons& b)
{
    Rect box = Rect::null();
    for (const Polygon& polygon : fromClipper(execute(ClipperLib::ctXor, toClipper(a), toClipper(b), FillRule::evenOdd)))
        for (const Point& p : polygon)
            box = box.united({p.x, p.y, 0, 0});
    return box;
}

double filledArea(const Polygons& polygons, FillRule rule)
{
    double area = 0;
    for (const Polygon& polygon : simplified(polygons, rule))
        area += signedArea(polygon);
    return area;
}

Polygons strokeOutline(const Polygons& polygons, double width)
{
    ClipperLib::ClipperOffset offset;
    offset.ArcTolerance = kFlatteningTolerance * kClipperScale;
    offset.AddPaths(toClipper(polygons), ClipperLib::jtRound, ClipperLib::etClosedLine);
    ClipperLib::Paths result;
    offset.Execute(result, width / 2 * kClipperScale);
    return fromClipper(result);
}

} // namespace hg
