// Where an overlay goes in the X stacking order, and whether the window
// manager shows it there.
//
// "At the top of its level" is directly below the lowest shown top-level
// window whose layer is higher than the level (keep-above and utility windows
// 3, session-modal dialogs 8, docks and panels 20, menus and other pop-ups
// 101) or that is a window of Hushglass's own (its settings window and its
// alerts must stay readable above a raised overlay), or on top when there is
// none. Plainly on top would hide the window manager's menus. Layers come from
// the one table of platform/windows/window_layer.h, over the window model of
// platform/x11/window_model.h (shared with the window server, so that placing
// an overlay costs no round trip when the windows did not change), which
// follows nested frames up to the root child and never counts a managed
// window as a pop-up.
//
// Some window managers draw override-redirect windows above every managed
// window whatever their place in the stack (Mutter, KWin), or do not reliably
// show a window where it is stacked relative to them (xfwm4): there the overlays
// cannot be ordered below the focus window at all, which
// `windowManagerHonoursStacking` tells. The window manager is asked again at
// most once a second, so a window manager replaced at run time is noticed.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <xcb/xcb.h>

#include <memory>

#include "platform/windows/window_layer.h"
#include "platform/x11/window_model.h"

namespace hg {

// The property that marks Hushglass's own overlays, so that one overlay never
// orders itself relative to another, and captures leave them out.
inline constexpr char kOverlayMarkerProperty[] = "_HUSHGLASS_OVERLAY";

// Whether a window manager of this name keeps override-redirect windows above
// every managed window (compared without regard to case).
[[nodiscard]] bool drawsOverrideRedirectOnTop(const std::string& windowManagerName);

class X11OverlayStacking {
public:
    // Over `model`; without one, over a model of its own that reads the whole
    // tree on `connection` each time.
    X11OverlayStacking(xcb_connection_t* connection, xcb_window_t root,
                       std::shared_ptr<x11::WindowModel> model = nullptr);

    // The top-level window to go directly below for `level`, or nullopt for the
    // top of the stack. `self` and other overlays are never chosen.
    [[nodiscard]] std::optional<xcb_window_t> siblingAboveLevel(xcb_window_t self, int level);

    // False where the window manager draws the overlays above every managed window.
    [[nodiscard]] bool windowManagerHonoursStacking() const { return m_honoursStacking; }
    // Asks the window manager's name again when a second has passed since the last time.
    void refresh(std::uint64_t nowNanos);
    // The name the window manager gives itself (`_NET_WM_NAME` of the
    // `_NET_SUPPORTING_WM_CHECK` window); nullopt without one.
    [[nodiscard]] std::optional<std::string> windowManagerName();

private:
    xcb_window_t m_root;
    std::shared_ptr<x11::WindowModel> m_model;
    WindowKindAtoms m_kinds;
    std::uint32_t m_ownPID;
    bool m_honoursStacking = true;
    std::optional<std::uint64_t> m_checkedAt;
};

} // namespace hg
