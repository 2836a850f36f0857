#include "engine/overlay/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hg {
namespace {

double length(Point v) { return std::hypot(v.x, v.y); }

// Chords needed so that none strays more than `tolerance` from an arc of
// `radius` sweeping `sweep` radians.
int segmentsFor(double radius, double sweep, double tolerance)
{
    if (radius <= tolerance)
        return 1;
    const double step = 2 * std::acos(1 - tolerance / radius);
    return std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / step)));
}

Point arcPoint(const PathElement& e, double angle)
{
    return {e.center.x + e.radiusX * std::cos(angle), e.center.y + e.radiusY * std::sin(angle)};
}

void closePolygon(Polygon& polygon, Polygons& out)
{
    if (polygon.size() > 1 && polygon.front() == polygon.back())
        polygon.pop_back();
    if (polygon.size() >= 3)
        out.push_back(std::move(polygon));
    polygon.clear();
}

PathElement element(PathElement::Kind kind, Point point)
{
    PathElement e;
    e.kind = kind;
    e.point = point;
    return e;
}

PathElement arcElement(Point center, double radiusX, double radiusY, double startAngle, double sweep)
{
    PathElement e = element(PathElement::Kind::arc, {});
    e.center = center;
    e.radiusX = radiusX;
    e.radiusY = radiusY;
    e.startAngle = startAngle;
    e.sweep = sweep;
    e.point = arcPoint(e, startAngle + sweep);
    return e;
}

} // namespace

void Path::moveTo(Point p)
{
    m_elements.push_back(element(PathElement::Kind::move, p));
    m_current = m_subpathStart = p;
    m_open = true;
}

void Path::lineTo(Point p)
{
    if (!m_open)
        moveTo(m_current);
    m_elements.push_back(element(PathElement::Kind::line, p));
    m_current = p;
}

void Path::addArcToPoint(Point tangent1, Point tangent2, double radius)
{
    if (!m_open)
        moveTo(m_current);
    const Point a{m_current.x - tangent1.x, m_current.y - tangent1.y};
    const Point b{tangent2.x - tangent1.x, tangent2.y - tangent1.y};
    const double la = length(a);
    const double lb = length(b);
    const double cross = a.x * b.y - a.y * b.x;
    if (radius <= 0 || la == 0 || lb == 0 || std::abs(cross) < 1e-12 * la * lb) {
        lineTo(tangent1);
        return;
    }
    const Point u{a.x / la, a.y / la};
    const Point v{b.x / lb, b.y / lb};
    const double angle = std::acos(std::clamp(u.x * v.x + u.y * v.y, -1.0, 1.0));  // between the two legs
    const double toTangent = radius / std::tan(angle / 2);
    const Point t1{tangent1.x + u.x * toTangent, tangent1.y + u.y * toTangent};
    const Point t2{tangent1.x + v.x * toTangent, tangent1.y + v.y * toTangent};
    const Point bisector{u.x + v.x, u.y + v.y};
    const double toCenter = radius / std::sin(angle / 2);
    const double lbis = length(bisector);
    const Point c{tangent1.x + bisector.x / lbis * toCenter, tangent1.y + bisector.y / lbis * toCenter};
    lineTo(t1);
    const double start = std::atan2(t1.y - c.y, t1.x - c.x);
    // Travelling P0 → P1 → P2 turns left when the cross product of the legs is positive.
    const double turn = (-a.x) * b.y - (-a.y) * b.x;
    const double sweep = (std::numbers::pi - angle) * (turn > 0 ? 1 : -1);
    PathElement arc = arcElement(c, radius, radius, start, sweep);
    arc.point = t2;  // exact, not recomputed from the angles
    m_elements.push_back(arc);
    m_current = t2;
}

void Path::addArc(Point center, double radiusX, double radiusY, double startAngle, double sweep)
{
    const PathElement e = arcElement(center, radiusX, radiusY, startAngle, sweep);
    const Point start = arcPoint(e, startAngle);
    if (!m_open)
        moveTo(start);
    else if (!(start == m_current))
        lineTo(start);
    m_elements.push_back(e);
    m_current = e.point;
}

void Path::closeSubpath()
{
    if (!m_open)
        return;
    m_elements.push_back(element(PathElement::Kind::close, m_subpathStart));
    m_current = m_subpathStart;
    m_open = false;
}

void Path::addRect(const Rect& r)
{
    moveTo({r.minX(), r.minY()});
    lineTo({r.maxX(), r.minY()});
    lineTo({r.maxX(), r.maxY()});
    lineTo({r.minX(), r.maxY()});
    closeSubpath();
}

void Path::addEllipseInRect(const Rect& r)
{
    const Point c{r.midX(), r.midY()};
    moveTo({r.maxX(), c.y});
    addArc(c, r.width() / 2, r.height() / 2, 0, 2 * std::numbers::pi);
    closeSubpath();
}

void Path::addPath(const Path& other)
{
    m_elements.insert(m_elements.end(), other.m_elements.begin(), other.m_elements.end());
    m_current = other.m_current;
    m_subpathStart = other.m_subpathStart;
    m_open = other.m_open;
}

void Path::addPolygons(const Polygons& polygons)
{
    for (const Polygon& polygon : polygons) {
        if (polygon.empty())
            continue;
        moveTo(polygon.front());
        for (std::size_t i = 1; i < polygon.size(); ++i)
            lineTo(polygon[i]);
        closeSubpath();
    }
}

Path Path::translated(double dx, double dy) const
{
    return transformed(1, 1, dx, dy);
}

Path Path::transformed(double sx, double sy, double tx, double ty) const
{
    const auto map = [&](Point p) { return Point{p.x * sx + tx, p.y * sy + ty}; };
    Path out = *this;
    for (PathElement& e : out.m_elements) {
        e.point = map(e.point);
        if (e.kind != PathElement::Kind::arc)
            continue;
        e.center = map(e.center);
        e.radiusX *= std::abs(sx);
        e.radiusY *= std::abs(sy);
        // A mirrored axis mirrors the angles: θ → π − θ for x, θ → −θ for y.
        if (sx < 0) {
            e.startAngle = std::numbers::pi - e.startAngle;
            e.sweep = -e.sweep;
        }
        if (sy < 0) {
            e.startAngle = -e.startAngle;
            e.sweep = -e.sweep;
        }
    }
    out.m_current = map(m_current);
    out.m_subpathStart = map(m_subpathStart);
    return out;
}

Rect Path::boundingBox() const
{
    Rect box = Rect::null();
    for (const Polygon& polygon : flattened())
        for (const Point& p : polygon)
            box = box.united({p.x, p.y, 0, 0});
    return box;
}

Polygons Path::flattened(double tolerance) const
{
    Polygons out;
    Polygon current;
    for (const PathElement& e : m_elements) {
        switch (e.kind) {
        case PathElement::Kind::move:
            closePolygon(current, out);
            current.push_back(e.point);
            break;
        case PathElement::Kind::line:
            current.push_back(e.point);
            break;
        case PathElement::Kind::arc: {
            const int n = segmentsFor(std::max(e.radiusX, e.radiusY), e.sweep, tolerance);
            for (int i = 1; i < n; ++i)
                current.push_back(arcPoint(e, e.startAngle + e.sweep * i / n));
            current.push_back(e.point);
            break;
        }
        case PathElement::Kind::close:
            closePolygon(current, out);
            break;
        }
    }
    closePolygon(current, out);
    return out;
}

bool Path::contains(Point p, FillRule rule) const
{
    return polygonsContain(flattened(), p, rule);
}

double signedArea(const Polygon& polygon)
{
    double twice = 0;
    for (std::size_t i = 0, n = polygon.size(); i < n; ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % n];
        twice += a.x * b.y - b.x * a.y;
    }
    return twice / 2;
}

bool polygonsContain(const Polygons& polygons, Point p, FillRule rule)
{
    int winding = 0;
    int crossings = 0;
    for (const Polygon& polygon : polygons) {
        for (std::size_t i = 0, n = polygon.size(); i < n; ++i) {
            const Point& a = polygon[i];
            const Point& b = polygon[(i + 1) % n];
            if ((a.y <= p.y) == (b.y <= p.y))
                continue;
            const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
            if (x <= p.x)
                continue;
            ++crossings;
            winding += b.y > a.y ? 1 : -1;
        }
    }
    return rule == FillRule::evenOdd ? (crossings % 2) == 1 : winding != 0;
}

} // namespace hg
