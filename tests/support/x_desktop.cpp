#include "support/x_desktop.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace hg::testing {

using namespace std::chrono_literals;

std::string toString(const Rgb& c)
{
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

XDesktop::XDesktop(XSessionOptions options) : m_session(options)
{
    if (!m_session.ok())
        return;
    m_c = xcb_connect(m_session.display().c_str(), nullptr);
    if (xcb_connection_has_error(m_c))
        return;
    m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
}

XDesktop::~XDesktop()
{
    if (m_c)
        xcb_disconnect(m_c);
}

std::string XDesktop::error() const
{
    if (!m_session.ok())
        return m_session.error();
    return ok() ? std::string() : "no connection to " + m_session.display();
}

xcb_atom_t XDesktop::atom(const char* name) const
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_c, xcb_intern_atom(m_c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

std::uint32_t XDesktop::pixelOf(Rgb color)
{
    return 0xff000000u | (static_cast<std::uint32_t>(color.r) << 16) | (static_cast<std::uint32_t>(color.g) << 8)
        | static_cast<std::uint32_t>(color.b);
}

void XDesktop::sync()
{
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

xcb_window_t XDesktop::makeClient(int x, int y, int width, int height, Rgb color, XWindowOptions options)
{
    const xcb_window_t w = xcb_generate_id(m_c);
    const std::uint32_t values[] = {pixelOf(color), options.overrideRedirect ? 1u : 0u, options.eventMask};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    // Every window here is made by this process; all but "own" ones stand for
    // another application's.
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid()) + (options.ownProcess ? 0 : 100000);
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    // Ask the window manager for the exact place, without decorations moving it.
    const std::uint32_t hints[18] = {1u | 2u | 4u | 8u, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                     static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    if (options.dock) {
        const xcb_atom_t dockType = atom("_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                            &dockType);
    }
    xcb_map_window(m_c, w);
    xcb_flush(m_c);
    m_lastClient = w;
    // A window manager that has only just started may drop the first map
    // request: ask again until the window shows (up to 5 s).
    int polls = 0;
    for (auto deadline = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < deadline; ++polls) {
        if (polls % 25 == 24) {
            xcb_map_window(m_c, w);
            xcb_flush(m_c);
        }
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr);
        const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        if (viewable)
            break;
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(100ms);  // let the window manager settle its frame and the server paint
    if (std::getenv("HUSHGLASS_TEST_VERBOSE")) {
        std::string tree;
        m_session.run({"xwininfo", "-root", "-tree"}, &tree);
        std::fprintf(stderr, "%s\n", tree.c_str());
    }
    sync();
    return w;
}

xcb_window_t XDesktop::frameOf(xcb_window_t client)
{
    xcb_window_t w = client;
    for (int depth = 0; depth < 8; ++depth) {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, w), nullptr);
        if (!t)
            return w;
        const xcb_window_t parent = t->parent;
        const xcb_window_t root = t->root;
        std::free(t);
        if (parent == root || parent == XCB_NONE)
            return w;
        w = parent;
    }
    return w;
}

void XDesktop::destroy(xcb_window_t window)
{
    xcb_destroy_window(m_c, window);
    xcb_flush(m_c);
}

Rgb XDesktop::pixel(int x, int y)
{
    sync();
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        m_c,
        xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), 1, 1, ~0u),
        nullptr);
    Rgb out{-1, -1, -1};
    if (image && xcb_get_image_data_length(image) >= 4) {
        const std::uint8_t* p = xcb_get_image_data(image);
        out = {p[2], p[1], p[0]};
    }
    std::free(image);
    return out;
}

void XDesktop::screenshot(const std::string& path)
{
    sync();
    m_session.run({"import", "-window", "root", path});
}

} // namespace hg::testing
