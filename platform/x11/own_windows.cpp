#include "platform/x11/own_windows.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace hg {

void markAsOurs(xcb_connection_t* connection, xcb_window_t window)
{
    static constexpr char kPidName[] = "_NET_WM_PID";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> pidAtom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kPidName - 1, kPidName), nullptr),
        &std::free);
    if (pidAtom) {
        const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, pidAtom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    }
    // `_NET_WM_PID` means something only together with the host it was read on.
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != '\0')
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(std::strlen(host)), host);
}

} // namespace hg
