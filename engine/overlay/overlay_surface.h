// The port through which a `BlurOverlay` draws: one borderless, click-through
// window covering one screen, and its content.
//
// The content is drawn bottom to top: the picture stretched to the window (or,
// for the system-material fallback, the material), the tint, then six halo
// strokes; the mask clips all of them. Geometry is in the overlay's layer
// coordinates: points, origin at the window's bottom-left corner, y up.
//
// Content changes are grouped in transactions, which may nest; nothing is
// shown until the outermost one commits, and then everything shows together
// (picture and holes never show apart). A change takes the animation of the
// innermost open transaction; outside any transaction it shows at once.
// Window operations (ordering, level, closing) act immediately; alpha is
// animated like content.
//
// The Linux implementation lives in platform/overlay/; tests use a recording
// fake. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "base/color.h"
#include "engine/overlay/path.h"
#include "engine/overlay/rgba_image.h"
#include "engine/windows/screens.h"

namespace hg {

enum class AnimationTiming { linear, easeOut, easeInEaseOut };

// The four ways the overlay changes: at once, or by one of three chosen animations.
enum class Animation {
    none,      // instant
    maskMove,  // mask and halo move over 0.24 s, ease-in-ease-out (focus switch, big jump)
    crossFade, // the old picture fades into the new over 0.15 s, linear
    fadeIn,    // a new window fades in over 0.25 s, ease-out
};

[[nodiscard]] constexpr double animationSeconds(Animation a)
{
    switch (a) {
    case Animation::none: return 0;
    case Animation::maskMove: return 0.24;
    case Animation::crossFade: return 0.15;
    case Animation::fadeIn: return 0.25;
    }
    return 0;
}

[[nodiscard]] constexpr AnimationTiming animationTiming(Animation a)
{
    switch (a) {
    case Animation::none:
    case Animation::crossFade: return AnimationTiming::linear;
    case Animation::maskMove: return AnimationTiming::easeInEaseOut;
    case Animation::fadeIn: return AnimationTiming::easeOut;
    }
    return AnimationTiming::linear;
}

// System materials of the fallback, with the raw values of the platform they
// imitate. On Linux each is a colour (see the X11 surface).
enum class Material : int {
    menu = 5,
    hudWindow = 13,
    fullScreenUI = 15,
    underWindowBackground = 21,
};

// Whether other programs may read the overlay's pixels. X11 cannot enforce
// `none`: Hushglass's own captures always leave the overlay out.
enum class SharingType { none = 0, readOnly = 1 };

// One ring of the halo: a stroke along `path`, which is relative to `frame`'s
// origin (layer coordinates), in `color` (alpha = the ring's opacity).
struct EdgeStroke {
    Rect frame;
    Path path;
    Color color;
    double lineWidth = 2;  // points
};

struct OverlaySurfaceOptions {
    bool usesVibrancy = false;       // draw `material` instead of pictures
    Material material = Material::underWindowBackground;
    SharingType sharingType = SharingType::readOnly;
};

class OverlaySurface {
public:
    static constexpr int kEdgeCount = 6;

    virtual ~OverlaySurface() = default;

    // The window-server number of the window, so the controller can tell its
    // own overlays from other windows.
    [[nodiscard]] virtual std::uint32_t windowID() const = 0;

    // Window. Ordering to the front shows the window at the top of its level
    // (below every window of a higher layer); ordering below a window shows it
    // directly beneath that top-level window. Level 0 is the normal window
    // level, 15 lies above every normal window and below docks and menus.
    virtual void orderFront() = 0;
    virtual void orderBelow(std::uint32_t windowID) = 0;
    virtual void orderOut() = 0;
    // Destroys the window; every later call is ignored.
    virtual void close() = 0;
    virtual void setLevel(int level) = 0;
    virtual void setAlpha(double alpha) = 0;  // 0...1

    // Content. An absent picture shows nothing (clear). `transition` crossFade
    // blends the previous picture into this one.
    virtual void setPicture(std::optional<RgbaImage> picture, Animation transition) = 0;
    // The mask: content shows where `path` is filled under `rule`. An empty
    // path shows nothing.
    virtual void setMask(const Path& path, FillRule rule) = 0;
    virtual void setTint(Color color, double opacity) = 0;
    // Puts the tint above the picture or material and below the halo again.
    virtual void attachTint() = 0;
    // Ring `index` (0 innermost … 5); nullopt removes its path.
    virtual void setEdge(int index, std::optional<EdgeStroke> stroke) = 0;
    virtual void setMaterial(Material material) = 0;
    // The size in pixels at which a picture fills the surface without being
    // scaled, for a surface that would scale it itself; nullopt where the
    // size costs nothing.
    [[nodiscard]] virtual std::optional<Size> picturePixelSize() const { return std::nullopt; }

    virtual void beginTransaction(Animation animation) = 0;
    virtual void commitTransaction() = 0;
};

// Makes the surface of a new overlay on `screen`, not yet shown.
class OverlaySurfaceFactory {
public:
    virtual ~OverlaySurfaceFactory() = default;
    [[nodiscard]] virtual std::unique_ptr<OverlaySurface> makeSurface(const Screen& screen,
                                                                      const OverlaySurfaceOptions& options) = 0;
    // Advances the animations of every live surface to `nowNanos` (uptime);
    // called on every frame tick, before the frame's changes.
    virtual void tick(std::uint64_t nowNanos) { (void)nowNanos; }
    // Whether an animation of a live surface still needs frame ticks.
    [[nodiscard]] virtual bool isAnimating() const { return false; }
    // False when the window manager draws the overlays above every managed
    // window whatever their place in the stack, so that ordering an overlay
    // below a window does not show that window.
    [[nodiscard]] virtual bool honoursStacking() const { return true; }
};

} // namespace hg
