// The Linux overlay window: one override-redirect window covering one screen,
// click-through (its input shape is empty), never focused, in no taskbar or
// window switcher, drawn with XRender (x11_overlay_renderer.h).
//
// Transactions collect changes; the outermost commit draws them in one batch
// of requests and flushes once, so picture and holes change together. The
// three animations (a window's fade-in, a picture's cross-fade and the mask's
// movement) run on frame ticks: the owner calls `tick` with the frame's time
// before it applies the frame's changes; an animation begins at the last tick
// it was given and advances with each later one.
//
//     X11OverlaySurface surface(connection, screen, {0, 0, 1920, 1080}, 1.0, options);
//     surface.orderFront();
//     ...
//     surface.tick(frameNanos);          // each display-link tick
//
// Main thread only; the connection is shared with the rest of the program.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <xcb/xcb.h>

#include "engine/overlay/overlay_surface.h"
#include "engine/overlay/mask_raster.h"
#include "platform/overlay/x11_overlay_renderer.h"
#include "platform/overlay/x11_overlay_stacking.h"

namespace hg {

enum class OverlayRenderMode {
    automatic,  // alpha under a compositing manager, shaped otherwise
    shaped,     // SHAPE bounding region, root depth
    alpha,      // 32-bit ARGB window with an antialiased alpha mask
};

// The colour that stands in for a system material (dark appearance). With a
// compositing manager it is translucent, and more so where the compositor
// blurs what lies behind; without one it is opaque.
[[nodiscard]] Color materialColor(Material material, bool translucent, bool blurBehind);

class X11OverlaySurface final : public OverlaySurface {
public:
    X11OverlaySurface(xcb_connection_t* connection, xcb_screen_t* screen, PixelRect geometry, double pixelsPerPoint,
                      const OverlaySurfaceOptions& options, OverlayRenderMode mode = OverlayRenderMode::automatic);
    ~X11OverlaySurface() override;

    // True when a compositing manager owns the screen's `_NET_WM_CM_Sn` selection.
    [[nodiscard]] static bool compositingManagerRunning(xcb_connection_t* connection, int screenNumber);

    [[nodiscard]] bool isValid() const { return m_window != XCB_NONE && m_renderer && m_renderer->isValid(); }
    [[nodiscard]] bool usesAlpha() const { return m_alphaMode; }
    // Called once when the surface is destroyed (the factory forgets it).
    void setDestroyHook(std::function<void()> hook) { m_destroyHook = std::move(hook); }
    // The stacking reader shared by every overlay; one of its own when none is given.
    void setStacking(std::shared_ptr<X11OverlayStacking> stacking) { m_stacking = std::move(stacking); }
    // Advances the animations to `nowNanos` (uptime) and draws what moved.
    void tick(std::uint64_t nowNanos);
    [[nodiscard]] bool isAnimating() const;

    std::uint32_t windowID() const override { return m_window; }
    void orderFront() override;
    void orderBelow(std::uint32_t windowID) override;
    void orderOut() override;
    void close() override;
    void setLevel(int level) override;
    void setAlpha(double alpha) override;
    void setPicture(std::optional<RgbaImage> picture, Animation transition) override;
    // Any other size is stretched by the X server on every redraw.
    [[nodiscard]] std::optional<Size> picturePixelSize() const override
    {
        return Size{static_cast<double>(m_geometry.width), static_cast<double>(m_geometry.height)};
    }
    void setMask(const Path& path, FillRule rule) override;
    void setTint(Color color, double opacity) override;
    void attachTint() override {}  // the tint always lies between content and halo
    void setEdge(int index, std::optional<EdgeStroke> stroke) override;
    void setMaterial(Material material) override;
    void beginTransaction(Animation animation) override;
    void commitTransaction() override;

private:
    // A value moving from `from` to `to`, or resting at `to`.
    template <typename T>
    struct Animated {
        T from{};
        T to{};
        Animation animation = Animation::none;
        std::uint64_t start = 0;
        bool running = false;
    };
    struct Ring {
        Polygons path;  // window pixels, before stroking
        Color color;
        double width = 2;  // pixels
    };

    void createWindow(xcb_screen_t* screen);
    // Class, name, input hint and the mark of Hushglass's overlays.
    void describeWindow();
    [[nodiscard]] Animation currentAnimation() const;
    template <typename T>
    [[nodiscard]] double progress(const Animated<T>& a) const;
    template <typename T>
    void retarget(Animated<T>& a, T to, T presented);
    [[nodiscard]] Polygons toPixels(const Path& path) const;
    [[nodiscard]] Polygons maskNow() const;
    [[nodiscard]] Ring ringNow(const Animated<Ring>& ring) const;
    [[nodiscard]] OverlayFrame frameNow(bool withRings);
    void changed(X11OverlayRenderer::Changes changes);
    void present();
    void place();
    void restackBelow(xcb_window_t sibling);
    void keepLevel();

    xcb_connection_t* m_c;
    xcb_window_t m_root;
    xcb_window_t m_window = XCB_NONE;
    xcb_colormap_t m_colormap = XCB_NONE;  // alpha mode only
    PixelRect m_geometry;
    double m_scale;  // pixels per point
    bool m_alphaMode = false;
    bool m_vibrancy;
    bool m_blurBehind = false;
    std::unique_ptr<X11OverlayRenderer> m_renderer;
    // Frame ticks between checks that an overlay still lies where it was put
    // (above every normal window, or directly below the focus window): a
    // quarter of a second at 60 Hz.
    static constexpr int kLevelCheckTicks = 15;
    std::shared_ptr<X11OverlayStacking> m_stacking;
    int m_level = 0;
    xcb_window_t m_below = XCB_NONE;  // the window it was last ordered below
    int m_ticksSincePlaced = 0;
    bool m_mapped = false;

    std::vector<Animation> m_transactions;  // open, outermost first
    X11OverlayRenderer::Changes m_pending;  // changes waiting for the outermost commit
    std::uint64_t m_now = 0;                // the last tick, uptime nanoseconds
    std::uint64_t m_lastDrawn = 0;          // the tick of the last draw

    Animated<double> m_alpha;
    Animated<double> m_crossFade;           // 0 → 1 while the previous picture fades out
    bool m_hasPicture = false;
    Material m_material;
    Color m_tint{0, 0, 0, 0};
    double m_tintOpacity = 0;
    Animated<Polygons> m_mask;
    std::array<std::optional<Animated<Ring>>, kEdgeCount> m_rings;
    std::vector<OverlayFrame::Ring> m_ringOutlines;  // stroked rings as last drawn
    std::function<void()> m_destroyHook;
};

} // namespace hg
