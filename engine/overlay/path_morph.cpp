#include "engine/overlay/path_morph.h"

#include <algorithm>
#include <cmath>

namespace hg {
namespace {

// Points per contour in between, at most: enough for a round disc of a few
// hundred points, few enough for a frame's budget.
constexpr std::size_t kMaxSamples = 512;

Polygons sortedByArea(Polygons polygons)
{
    std::stable_sort(polygons.begin(), polygons.end(),
                     [](const Polygon& a, const Polygon& b) { return std::abs(signedArea(a)) > std::abs(signedArea(b)); });
    return polygons;
}

// Counter-clockwise (y-up), starting at the lowest, then leftmost vertex.
Polygon normalized(Polygon p)
{
    if (signedArea(p) < 0)
        std::reverse(p.begin(), p.end());
    const auto start = std::min_element(p.begin(), p.end(), [](const Point& a, const Point& b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    std::rotate(p.begin(), start, p.end());
    return p;
}

Polygon resampled(const Polygon& p, std::size_t count)
{
    std::vector<double> along(p.size() + 1, 0);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Point& a = p[i];
        const Point& b = p[(i + 1) % p.size()];
        along[i + 1] = along[i] + std::hypot(b.x - a.x, b.y - a.y);
    }
    const double total = along.back();
    Polygon out;
    out.reserve(count);
    std::size_t segment = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double s = total * static_cast<double>(k) / static_cast<double>(count);
        while (segment + 1 < p.size() && along[segment + 1] <= s)
            ++segment;
        const Point& a = p[segment];
        const Point& b = p[(segment + 1) % p.size()];
        const double length = along[segment + 1] - along[segment];
        const double f = length > 0 ? (s - along[segment]) / length : 0;
        out.push_back({a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f});
    }
    return out;
}

// A timing curve: the cubic Bézier from (0, 0) through (x1, 0) and (x2, 1) to
// (1, 1), as the platform's named timing functions define them; y for x = t.
double cubicTiming(double x1, double x2, double t)
{
    if (t <= 0 || t >= 1)
        return std::clamp(t, 0.0, 1.0);
    const auto bezier = [](double p1, double p2, double s) {
        const double u = 1 - s;
        return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
    };
    double lo = 0, hi = 1, s = t;
    for (int i = 0; i < 40; ++i) {  // bisection: x(s) grows with s
        s = (lo + hi) / 2;
        (bezier(x1, x2, s) < t ? lo : hi) = s;
    }
    return bezier(0, 1, s);
}

} // namespace

Polygons morphPolygons(const Polygons& from, const Polygons& to, double t)
{
    if (t >= 1 || from.size() != to.size())
        return to;
    if (t <= 0)
        return from;
    const Polygons a = sortedByArea(from);
    const Polygons b = sortedByArea(to);
    Polygons out;
    out.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) {
            out.push_back(b[i]);
            continue;
        }
        const std::size_t n = std::min(kMaxSamples, std::max(a[i].size(), b[i].size()) * 2);
        const Polygon pa = resampled(normalized(a[i]), n);
        const Polygon pb = resampled(normalized(b[i]), n);
        Polygon blended(n);
        for (std::size_t k = 0; k < n; ++k)
            blended[k] = {pa[k].x + (pb[k].x - pa[k].x) * t, pa[k].y + (pb[k].y - pa[k].y) * t};
        out.push_back(std::move(blended));
    }
    return out;
}

double easeInEaseOut(double t)
{
    return cubicTiming(0.42, 0.58, t);
}

double easeOut(double t)
{
    return cubicTiming(0, 0.58, t);
}

} // namespace hg
