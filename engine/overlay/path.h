// A two-dimensional path of our own: subpaths made of lines and elliptical arcs,
// in points. It stands in for a graphics path wherever the overlay builds masks
// and halo rings, and it can be flattened into polygons for the boolean
// operations (path_boolean.h) and for the X11 rasteriser.
//
//     Path p;
//     p.moveTo({0, 0});
//     p.lineTo({10, 0});
//     p.addArcToPoint({20, 0}, {20, 10}, 5);   // tangent arc, like a rounded corner
//     p.closeSubpath();
//     Polygons outline = p.flattened();        // within kFlatteningTolerance
//
// A plain value; safe to copy between threads.
#pragma once

#include <vector>

#include "base/geometry.h"

namespace hg {

// How far, at most, a flattened curve strays from the true curve: 0.1 point
// (a fifth of a pixel on a 2x screen), below what the eye can tell; finer
// costs the boolean operations time for nothing.
inline constexpr double kFlatteningTolerance = 0.1;

enum class FillRule { nonZero, evenOdd };

using Polygon = std::vector<Point>;
using Polygons = std::vector<Polygon>;

struct PathElement {
    enum class Kind { move, line, arc, close };
    Kind kind = Kind::move;
    Point point;            // move, line: the target; arc: its end point
    // Arc only: centre, radii (points), start angle and signed sweep (radians,
    // counter-clockwise positive in a y-up frame).
    Point center;
    double radiusX = 0;
    double radiusY = 0;
    double startAngle = 0;
    double sweep = 0;

    friend bool operator==(const PathElement&, const PathElement&) = default;
};

class Path {
public:
    void moveTo(Point p);
    // Starts a subpath at the origin when none is open.
    void lineTo(Point p);
    // A tangent arc: the circle of `radius` tangent to the line from the current
    // point to `tangent1` and to the line from `tangent1` to `tangent2`. A line
    // joins the current point to the first tangent point. Degenerate input
    // (collinear points, radius ≤ 0) adds a line to `tangent1` instead.
    void addArcToPoint(Point tangent1, Point tangent2, double radius);
    // An elliptical arc around `center`, from `startAngle` through `sweep`.
    void addArc(Point center, double radiusX, double radiusY, double startAngle, double sweep);
    void closeSubpath();

    void addRect(const Rect& r);
    // The ellipse inscribed in `r`, one closed subpath.
    void addEllipseInRect(const Rect& r);
    // Appends every subpath of `other`.
    void addPath(const Path& other);
    // Appends polygons as closed subpaths.
    void addPolygons(const Polygons& polygons);

    [[nodiscard]] Path translated(double dx, double dy) const;
    // Every point mapped by (x, y) → (x·sx + tx, y·sy + ty); sy < 0 flips.
    [[nodiscard]] Path transformed(double sx, double sy, double tx, double ty) const;

    [[nodiscard]] bool isEmpty() const { return m_elements.empty(); }
    [[nodiscard]] const std::vector<PathElement>& elements() const { return m_elements; }
    [[nodiscard]] Point currentPoint() const { return m_current; }
    // The smallest rectangle holding every flattened point; null when empty.
    [[nodiscard]] Rect boundingBox() const;

    // One polygon per subpath with at least three distinct points, curves
    // replaced by chords no further than `tolerance` points from them.
    [[nodiscard]] Polygons flattened(double tolerance = kFlatteningTolerance) const;
    // Whether `p` lies inside the filled path.
    [[nodiscard]] bool contains(Point p, FillRule rule) const;

    friend bool operator==(const Path&, const Path&) = default;

private:
    std::vector<PathElement> m_elements;
    Point m_current;
    Point m_subpathStart;
    bool m_open = false;
};

// Signed area of a polygon (positive when counter-clockwise in a y-up frame).
[[nodiscard]] double signedArea(const Polygon& polygon);
// Whether `p` lies inside polygons under the rule.
[[nodiscard]] bool polygonsContain(const Polygons& polygons, Point p, FillRule rule);

} // namespace hg
