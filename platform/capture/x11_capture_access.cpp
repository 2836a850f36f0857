#include "platform/capture/x11_capture_access.h"

#include <cstdlib>
#include <cstring>

#include <xcb/composite.h>
#include <xcb/render.h>
#include <xcb/shm.h>

#include "platform/x11/x_reply.h"

namespace hg {

X11CaptureAccess::X11CaptureAccess(xcb_connection_t* connection) : m_connection(connection) {}

bool X11CaptureAccess::isWaylandSession()
{
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type && std::strcmp(type, "wayland") == 0)
        return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland && *wayland;
}

bool X11CaptureAccess::preflight()
{
    return !isWaylandSession() && serverCanCapture();
}

bool X11CaptureAccess::serverCanCapture()
{
    if (m_serverCanCapture)
        return *m_serverCanCapture;
    if (!m_connection || xcb_connection_has_error(m_connection))
        return false;
    auto present = [this](xcb_extension_t* id) {
        const xcb_query_extension_reply_t* e = xcb_get_extension_data(m_connection, id);
        return e && e->present;
    };
    bool ok = present(&xcb_composite_id) && present(&xcb_render_id) && present(&xcb_shm_id);
    if (ok) {
        x11::PendingReply version(m_connection, xcb_composite_query_version(m_connection, 0, 4),
                                  xcb_composite_query_version_reply);
        auto v = version.take();
        ok = v && (v->major_version > 0 || v->minor_version >= 2);
    }
    m_serverCanCapture = ok;
    return ok;
}

} // namespace hg
