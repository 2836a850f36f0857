// The capture capability of an X11 session, for the permission logic: captures
// work in an X11 session (not Wayland, where an X server may run for old
// programs but shows none of the others' windows) whose server offers
// Composite 0.2 or later, Render and MIT-SHM. Nothing is asked of the user:
// `request` answers as `preflight`.
//
// Main thread. The extension probe is made once; the session type is read
// from the environment each time.
#pragma once

#include <optional>

#include <xcb/xcb.h>

#include "engine/capture/capture_service.h"

namespace hg {

class X11CaptureAccess final : public CaptureAccess {
public:
    explicit X11CaptureAccess(xcb_connection_t* connection);

    bool preflight() override;
    bool request() override { return preflight(); }

    // The environment names a Wayland session.
    [[nodiscard]] static bool isWaylandSession();

private:
    [[nodiscard]] bool serverCanCapture();

    xcb_connection_t* m_connection;
    std::optional<bool> m_serverCanCapture;
};

} // namespace hg
