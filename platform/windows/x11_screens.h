// The screens of an X11 desktop, from the RandR monitors.
//
// Screens come primary first, then in RandR's order. Each has a display number
// that survives restarts: a non-zero 32-bit hash of the monitor's name (e.g.
// "DP-1"). Frames and visible frames are handed out in the bottom-left
// convention, flipped against the primary screen's height; display bounds are
// the monitor's rectangle in root coordinates. The visible frame is the
// monitor without the bands that panels reserve on it (their struts), or,
// when no window reserves any, its part of `_NET_WORKAREA`.
// Pixels count as points; the backing scale factor is 1 unless the
// application's scale provider (Qt's device pixel ratio) says otherwise.
//
// Monitors change without notice on some servers (Xvfb sends no RandR event
// for `xrandr --setmonitor`), so the owner calls `refresh` now and then (once a
// second) and on RandR or Qt screen events; it tells whether anything changed.
//
// Owned by the application; main thread.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include <xcb/xcb.h>

#include "engine/windows/screens.h"
#include "platform/windows/struts.h"
#include "platform/x11/atom_cache.h"

namespace hg {

class X11Screens final : public ScreenSource {
public:
    // Pixels per point of the monitor with this name; 1.0 when unknown.
    using ScaleProvider = std::function<double(const std::string& monitorName)>;

    // Reads the monitors at once. `connection` must outlive this object.
    X11Screens(xcb_connection_t* connection, xcb_window_t root, ScaleProvider scale = {});

    std::vector<Screen> screens() const override;
    std::optional<Rect> displayBounds(std::uint32_t displayNumber) const override;

    // Reads the monitors and the work area again; true when the screens differ
    // from the ones read before.
    bool refresh();

    // The display number of a monitor name: FNV-1a, never 0.
    [[nodiscard]] static std::uint32_t displayNumberForName(std::string_view name);

    struct Monitor {
        std::string name;
        Rect bounds;  // root coordinates, pixels
        bool primary = false;
        friend bool operator==(const Monitor&, const Monitor&) = default;
    };

private:
    [[nodiscard]] std::vector<Monitor> queryMonitors() const;
    [[nodiscard]] std::optional<Rect> queryWorkArea() const;
    // The panels' struts; read again only when the managed windows or the work area changed.
    [[nodiscard]] std::vector<Strut> queryStruts(const std::optional<Rect>& workArea);
    [[nodiscard]] Rect visibleArea(const Rect& monitor, const std::optional<Rect>& workArea,
                                   const std::vector<Strut>& struts) const;

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    mutable x11::AtomCache m_atoms;
    ScaleProvider m_scale;
    std::vector<Screen> m_screens;
    std::map<std::uint32_t, Rect> m_bounds;
    mutable Size m_rootSize;  // pixels, read with the monitors
    bool m_strutsValid = false;
    std::vector<std::uint32_t> m_strutClients;
    std::optional<Rect> m_strutWorkArea;
    std::vector<Strut> m_struts;
};

} // namespace hg
