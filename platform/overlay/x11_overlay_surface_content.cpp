// The overlay surface's content: transactions, animations on frame ticks, and
// the frame handed to the renderer.
#include "platform/overlay/x11_overlay_surface.h"

#include <algorithm>

#include "base/log.h"
#include "engine/overlay/path_boolean.h"
#include "engine/overlay/path_morph.h"

namespace hg {
namespace {

constexpr std::uint64_t kRepaintAfterPause = 120'000'000;  // a few compositor frames

double eased(Animation a, double t)
{
    switch (animationTiming(a)) {
    case AnimationTiming::linear: return t;
    case AnimationTiming::easeOut: return easeOut(t);
    case AnimationTiming::easeInEaseOut: return easeInEaseOut(t);
    }
    return t;
}

Color mix(Color a, Color b, double t)
{
    return {a.red + (b.red - a.red) * t, a.green + (b.green - a.green) * t, a.blue + (b.blue - a.blue) * t,
            a.alpha + (b.alpha - a.alpha) * t};
}

} // namespace

template <typename T>
double X11OverlaySurface::progress(const Animated<T>& a) const
{
    if (!a.running)
        return 1;
    const double seconds = animationSeconds(a.animation);
    if (seconds <= 0 || m_now <= a.start)
        return m_now <= a.start && seconds > 0 ? 0 : 1;
    return std::min(1.0, static_cast<double>(m_now - a.start) / 1e9 / seconds);
}

template <typename T>
void X11OverlaySurface::retarget(Animated<T>& a, T to, T presented)
{
    const Animation animation = currentAnimation();
    a.animation = animation;
    a.running = animation != Animation::none;
    a.from = std::move(presented);
    a.to = std::move(to);
    a.start = m_now;
}

Animation X11OverlaySurface::currentAnimation() const
{
    return m_transactions.empty() ? Animation::none : m_transactions.back();
}

void X11OverlaySurface::beginTransaction(Animation animation)
{
    m_transactions.push_back(animation);
}

void X11OverlaySurface::commitTransaction()
{
    if (!m_transactions.empty())
        m_transactions.pop_back();
    if (m_transactions.empty())
        present();
}

void X11OverlaySurface::changed(X11OverlayRenderer::Changes changes)
{
    m_pending.base |= changes.base;
    m_pending.rings |= changes.rings;
    m_pending.mask |= changes.mask;
    m_pending.alpha |= changes.alpha;
    if (m_transactions.empty())
        present();
}

void X11OverlaySurface::setAlpha(double alpha)
{
    const double presented = m_alpha.from + (m_alpha.to - m_alpha.from) * eased(m_alpha.animation, progress(m_alpha));
    retarget(m_alpha, std::clamp(alpha, 0.0, 1.0), presented);
    changed({.alpha = true});
}

void X11OverlaySurface::setPicture(std::optional<RgbaImage> picture, Animation transition)
{
    if (!m_renderer)
        return;
    if (!picture) {
        m_renderer->dropPictures();
        m_hasPicture = false;
        m_crossFade.running = false;
        changed({.base = true});
        return;
    }
    if (!m_renderer->setPicture(*picture))
        return;  // keeps the picture on screen
    const bool fade = transition == Animation::crossFade && m_hasPicture;
    m_crossFade = {.from = 0, .to = 1, .animation = Animation::crossFade, .start = m_now, .running = fade};
    m_hasPicture = true;
    changed({.base = true});
}

void X11OverlaySurface::setMask(const Path& path, FillRule rule)
{
    Polygons polygons = toPixels(path);
    if (rule == FillRule::nonZero)
        polygons = simplified(polygons, FillRule::nonZero);  // the same region under even-odd
    retarget(m_mask, std::move(polygons), maskNow());
    changed({.mask = true});
}

void X11OverlaySurface::setTint(Color color, double opacity)
{
    m_tint = color;
    m_tintOpacity = std::clamp(opacity, 0.0, 1.0);
    changed({.base = true});
}

void X11OverlaySurface::setMaterial(Material material)
{
    m_material = material;
    changed({.base = true});
}

void X11OverlaySurface::setEdge(int index, std::optional<EdgeStroke> stroke)
{
    if (index < 0 || index >= kEdgeCount)
        return;
    auto& slot = m_rings[static_cast<std::size_t>(index)];
    if (!stroke) {
        slot.reset();
        changed({.rings = true});
        return;
    }
    const Path absolute = stroke->path.translated(stroke->frame.minX(), stroke->frame.minY());
    Ring ring{toPixels(absolute), stroke->color, stroke->lineWidth * m_scale};
    if (!slot) {
        slot.emplace();
        slot->to = ring;  // a new ring appears where it belongs
    }
    retarget(*slot, std::move(ring), ringNow(*slot));
    changed({.rings = true});
}

Polygons X11OverlaySurface::toPixels(const Path& path) const
{
    // Layer points (y up) to window pixels (y down).
    return path.transformed(m_scale, -m_scale, 0, m_geometry.height).flattened();
}

Polygons X11OverlaySurface::maskNow() const
{
    return morphPolygons(m_mask.from, m_mask.to, eased(m_mask.animation, progress(m_mask)));
}

X11OverlaySurface::Ring X11OverlaySurface::ringNow(const Animated<Ring>& ring) const
{
    const double t = eased(ring.animation, progress(ring));
    return {morphPolygons(ring.from.path, ring.to.path, t), mix(ring.from.color, ring.to.color, t),
            ring.from.width + (ring.to.width - ring.from.width) * t};
}

OverlayFrame X11OverlaySurface::frameNow(bool withRings)
{
    OverlayFrame frame;
    frame.hasPicture = m_hasPicture && !m_vibrancy;
    frame.crossFade = m_crossFade.running ? progress(m_crossFade) : 1;
    if (m_vibrancy)
        frame.material = materialColor(m_material, m_alphaMode, m_blurBehind);
    frame.tint = m_tint;
    frame.tintOpacity = m_tintOpacity;
    if (withRings) {
        m_ringOutlines.clear();
        for (const auto& ring : m_rings) {
            if (!ring)
                continue;
            const Ring now = ringNow(*ring);
            m_ringOutlines.push_back({strokeOutline(now.path, now.width), now.color});
        }
    }
    frame.rings = m_ringOutlines;
    frame.mask = maskNow();
    frame.alpha = m_alpha.from + (m_alpha.to - m_alpha.from) * eased(m_alpha.animation, progress(m_alpha));
    if (!m_alpha.running)
        frame.alpha = m_alpha.to;
    return frame;
}

void X11OverlaySurface::present()
{
    if (!m_renderer || !m_pending.any())
        return;
    const OverlayFrame frame = frameNow(m_pending.rings);
    m_renderer->draw(frame, m_pending);
    m_lastDrawn = m_now;
    m_pending = {};
    xcb_flush(m_c);
}

bool X11OverlaySurface::isAnimating() const
{
    bool rings = false;
    for (const auto& ring : m_rings)
        rings |= ring && ring->running;
    return m_alpha.running || m_crossFade.running || m_mask.running || rings;
}

void X11OverlaySurface::tick(std::uint64_t nowNanos)
{
    keepLevel();
    const bool first = m_now == 0;
    m_now = std::max(m_now, nowNanos);
    if (first) {  // animations that began before any tick start now
        for (auto* a : {&m_alpha, &m_crossFade})
            a->start = m_now;
        m_mask.start = m_now;
        for (auto& ring : m_rings)
            if (ring)
                ring->start = m_now;
    }
    X11OverlayRenderer::Changes changes{.base = m_crossFade.running, .rings = false, .mask = m_mask.running,
                                        .alpha = m_alpha.running};
    for (const auto& ring : m_rings)
        changes.rings |= ring && ring->running;
    if (!m_transactions.empty())
        return;
    if (!changes.any()) {
        // Once drawing has paused, what it drew is shown once more, for a
        // compositing manager that missed part of it.
        if (m_renderer && m_now - m_lastDrawn >= kRepaintAfterPause && m_renderer->repaintSinceLastSettle())
            xcb_flush(m_c);
        return;
    }
    m_pending = changes;
    present();
    const auto settle = [this](auto& a) {
        if (a.running && progress(a) >= 1)
            a.running = false;
    };
    settle(m_alpha);
    settle(m_crossFade);
    settle(m_mask);
    for (auto& ring : m_rings)
        if (ring)
            settle(*ring);
}

} // namespace hg
