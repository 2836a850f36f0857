#include "engine/overlay/mask_raster.h"

#include <algorithm>
#include <cmath>

namespace hg {
namespace {

struct Edge {
    Point a;  // a.y < b.y
    Point b;
    [[nodiscard]] double xAt(double y) const { return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y); }
};

std::vector<Edge> edgesOf(const Polygons& polygons)
{
    std::vector<Edge> edges;
    for (const Polygon& polygon : polygons) {
        for (std::size_t i = 0, n = polygon.size(); i < n; ++i) {
            Point a = polygon[i];
            Point b = polygon[(i + 1) % n];
            if (a.y == b.y)
                continue;
            if (a.y > b.y)
                std::swap(a, b);
            edges.push_back({a, b});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.a.y < r.a.y; });
    return edges;
}

// Pixel spans [x0, x1) of one row sampled at height `y`.
void rowSpans(const std::vector<const Edge*>& active, double y, int width, std::vector<double>& xs,
              std::vector<int>& spans)
{
    xs.clear();
    spans.clear();
    for (const Edge* e : active)
        if (e->a.y <= y && y < e->b.y)
            xs.push_back(e->xAt(y));
    std::sort(xs.begin(), xs.end());
    for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
        // Pixel i is inside when its centre i + 0.5 lies in [x0, x1).
        const int x0 = std::clamp(static_cast<int>(std::ceil(xs[i] - 0.5)), 0, width);
        const int x1 = std::clamp(static_cast<int>(std::ceil(xs[i + 1] - 0.5)), 0, width);
        if (x1 <= x0)
            continue;
        if (!spans.empty() && spans.back() == x0)
            spans.back() = x1;
        else {
            spans.push_back(x0);
            spans.push_back(x1);
        }
    }
}

void emitBand(const std::vector<int>& spans, int y, int rows, std::vector<PixelRect>& out)
{
    for (std::size_t i = 0; i + 1 < spans.size(); i += 2)
        out.push_back({spans[i], y, spans[i + 1] - spans[i], rows});
}

} // namespace

std::vector<PixelRect> evenOddRectangles(const Polygons& polygons, int width, int height)
{
    const std::vector<Edge> edges = edgesOf(polygons);
    std::vector<PixelRect> out;
    std::vector<const Edge*> active;
    std::vector<double> xs;
    std::vector<int> spans, bandSpans;
    std::size_t next = 0;
    int bandStart = 0;
    for (int row = 0; row < height; ++row) {
        const double y = row + 0.5;
        while (next < edges.size() && edges[next].a.y <= y)
            active.push_back(&edges[next++]);
        std::erase_if(active, [y](const Edge* e) { return e->b.y <= y; });
        rowSpans(active, y, width, xs, spans);
        if (row > 0 && spans != bandSpans) {
            emitBand(bandSpans, bandStart, row - bandStart, out);
            bandStart = row;
        }
        bandSpans.swap(spans);
    }
    if (height > 0)
        emitBand(bandSpans, bandStart, height - bandStart, out);
    return out;
}

std::vector<Trapezoid> evenOddTrapezoids(const Polygons& polygons)
{
    const std::vector<Edge> edges = edgesOf(polygons);
    std::vector<double> ys;
    for (const Edge& e : edges) {
        ys.push_back(e.a.y);
        ys.push_back(e.b.y);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    struct Open {
        const Edge* left;
        const Edge* right;
        std::size_t trapezoid;  // index in `out`, extended while the pair stays
    };
    std::vector<Trapezoid> out;
    std::vector<Open> open, stillOpen;
    std::vector<const Edge*> active;
    std::size_t next = 0;
    for (std::size_t band = 0; band + 1 < ys.size(); ++band) {
        const double top = ys[band];
        const double bottom = ys[band + 1];
        const double mid = (top + bottom) / 2;
        while (next < edges.size() && edges[next].a.y <= top)
            active.push_back(&edges[next++]);
        std::erase_if(active, [top](const Edge* e) { return e->b.y <= top; });
        std::sort(active.begin(), active.end(), [mid](const Edge* l, const Edge* r) { return l->xAt(mid) < r->xAt(mid); });
        stillOpen.clear();
        for (std::size_t i = 0; i + 1 < active.size(); i += 2) {
            const Edge* l = active[i];
            const Edge* r = active[i + 1];
            auto same = std::find_if(open.begin(), open.end(), [&](const Open& o) { return o.left == l && o.right == r; });
            if (same != open.end()) {
                out[same->trapezoid].bottom = bottom;
                stillOpen.push_back(*same);
                continue;
            }
            out.push_back({top, bottom, l->a, l->b, r->a, r->b});
            stillOpen.push_back({l, r, out.size() - 1});
        }
        open.swap(stillOpen);
    }
    return out;
}

} // namespace hg
