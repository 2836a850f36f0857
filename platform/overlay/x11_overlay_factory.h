// Makes the X11 overlay surfaces of the blur overlays and drives their
// animations: the application calls `tick` on every frame tick, before the
// controller applies the frame's reveals.
//
// A screen's window covers the monitor's rectangle: its display bounds, in root
// pixels with the origin at the top left. On X11 a point is a root pixel; the
// backing scale factor (Qt's device pixel ratio) never scales a geometry.
//
// Owned by the application for the life of the process; main thread only.
#pragma once

#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "engine/overlay/overlay_surface.h"
#include "engine/windows/screens.h"
#include "platform/overlay/x11_overlay_surface.h"

namespace hg {

class X11OverlaySurfaceFactory final : public OverlaySurfaceFactory {
public:
    X11OverlaySurfaceFactory(xcb_connection_t* connection, xcb_screen_t* screen, const ScreenSource& screens,
                             OverlayRenderMode mode = OverlayRenderMode::automatic);

    std::unique_ptr<OverlaySurface> makeSurface(const Screen& screen, const OverlaySurfaceOptions& options) override;
    // Advances every live surface's animations.
    void tick(std::uint64_t nowNanos) override;
    [[nodiscard]] bool isAnimating() const override;
    [[nodiscard]] bool honoursStacking() const override;

    // Places overlays from the program's shared window model; call before
    // the first surface is made.
    void setWindowModel(std::shared_ptr<x11::WindowModel> model);

    // The monitor's rectangle in root pixels.
    [[nodiscard]] PixelRect pixelGeometry(const Screen& screen) const;

private:
    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen;
    const ScreenSource& m_screens;
    OverlayRenderMode m_mode;
    std::shared_ptr<X11OverlayStacking> m_stacking;
    std::shared_ptr<std::vector<X11OverlaySurface*>> m_live = std::make_shared<std::vector<X11OverlaySurface*>>();
};

} // namespace hg
