// The halo around the window hole: six thin rings whose colour follows the
// brightness around the hole.
#include "engine/overlay/blur_overlay.h"

#include "engine/overlay/mask_geometry.h"

namespace hg {
namespace {

// Hysteresis of the halo colour: once black it stays black down to 0.45, once
// white it stays white up to 0.55, so a surround near 0.5 does not flicker.
constexpr double kDarkThreshold = 0.5;
constexpr double kStayDarkAbove = 0.45;
constexpr double kTurnDarkAbove = 0.55;

struct Ring {
    Rect outline;  // layer coordinates
    double radius;
};

} // namespace

void BlurOverlay::removeEdges()
{
    surface().beginTransaction(Animation::none);
    for (int i = 0; i < m_edgeLayerCount; ++i)
        surface().setEdge(i, std::nullopt);
    surface().commitTransaction();
}

void BlurOverlay::updateEdges(const std::vector<Rect>& rects, bool animated)
{
    if (rects.empty() || !m_hasPicture || !m_surroundLuminance) {
        m_surroundLuminance.reset();
        m_edgeIsDark.reset();
        removeEdges();
        return;
    }
    const double w = width();
    const double h = height();
    const Rect screen{0, 0, w, h};
    std::vector<Rect> layerRects;
    for (const Rect& r : rects)
        layerRects.push_back(layerRect(r, h));
    const Color base = edgeDarkness() ? Color::black() : Color::white();

    surface().beginTransaction(animated ? Animation::maskMove : Animation::none);
    for (int i = 0; i < m_edgeLayerCount; ++i) {
        const double t = 2 * i + 1;  // points from the window's edge to the ring's centre line
        Rect box = Rect::null();
        std::vector<Ring> rings;
        for (const Rect& q : layerRects) {
            const Rect c = q.insetBy(-t, -t);
            const Rect d = c.insetBy(-1, -1).intersected(screen);
            if (d.isNull() || d.width() <= 0 || d.height() <= 0)
                continue;
            box = box.united(d);
            const bool full = !q.isEmpty() && q.width() >= w - 1 && q.height() >= h - 1;
            rings.push_back({c, full ? t : t + m_cornerRadius});
        }
        if (rings.empty()) {
            surface().setEdge(i, std::nullopt);
            continue;
        }
        Path path;
        for (const Ring& ring : rings)
            path.addPath(roundedRectPath(ring.outline.offsetBy(-box.minX(), -box.minY()),
                                         cornerRadii(ring.outline, w, h, ring.radius)));
        Color color = base;
        color.alpha = kEdgeOpacities[i];
        surface().setEdge(i, EdgeStroke{.frame = box, .path = path, .color = color, .lineWidth = 2});
    }
    surface().commitTransaction();
}

bool BlurOverlay::edgeDarkness()
{
    if (!m_surroundLuminance)
        return true;
    // The brightness around the hole as seen through the tint.
    const double x = *m_surroundLuminance * (1 - m_tintAmount) + m_tintAmount * m_tintLuminance;
    bool dark = x >= kDarkThreshold;
    if (m_edgeIsDark)
        dark = *m_edgeIsDark ? x >= kStayDarkAbove : x > kTurnDarkAbove;
    m_edgeIsDark = dark;
    return dark;
}

} // namespace hg
