#include "app/single_instance.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <xcb/xcb.h>

namespace hg {
namespace {

// The connection that holds the claim, open until the process ends.
xcb_connection_t* g_claim = nullptr;

xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

xcb_window_t ownerOf(xcb_connection_t* c, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
    std::free(reply);
    return owner;
}

// Takes the selection if nobody holds it. The server is grabbed meanwhile, so
// two copies starting together cannot both see it free; it is grabbed only
// when the selection looks free, and let go at once.
bool claimIfFree(xcb_connection_t* c, xcb_atom_t selection, xcb_window_t window)
{
    if (ownerOf(c, selection) != XCB_WINDOW_NONE)
        return false;
    xcb_grab_server(c);
    const bool free = ownerOf(c, selection) == XCB_WINDOW_NONE;
    if (free)
        xcb_set_selection_owner(c, window, selection, XCB_CURRENT_TIME);
    xcb_ungrab_server(c);
    xcb_flush(c);
    return free && ownerOf(c, selection) == window;
}

} // namespace

InstanceClaim claimSingleInstance(const std::string& display, std::chrono::milliseconds wait)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(display.c_str(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return InstanceClaim::unavailable;
    }
    // A program this one starts (its own relaunch) must not inherit the claim.
    ::fcntl(xcb_get_file_descriptor(c), F_SETFD, FD_CLOEXEC);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem > 1; ++i)
        xcb_screen_next(&it);
    const xcb_atom_t selection = internAtom(c, "_HUSHGLASS_S" + std::to_string(screenNumber));
    if (!it.data || selection == XCB_ATOM_NONE) {
        xcb_disconnect(c);
        return InstanceClaim::unavailable;
    }
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, it.data->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    static constexpr char kName[] = "Hushglass single-instance claim";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof kName - 1,
                        kName);

    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!claimIfFree(c, selection, window)) {
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return InstanceClaim::unavailable;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            xcb_disconnect(c);
            return InstanceClaim::taken;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    g_claim = c;
    return InstanceClaim::claimed;
}

} // namespace hg
