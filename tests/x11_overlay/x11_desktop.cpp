#include "x11_desktop.h"

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace hg::testing {
namespace {

using namespace std::chrono_literals;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

} // namespace

std::string toString(const Rgb& c)
{
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

X11Desktop::X11Desktop(int width, int height)
    : m_session({.width = width, .height = height})
{
    if (!m_session.ok())
        return;
    m_c = xcb_connect(m_session.display().c_str(), nullptr);
    if (xcb_connection_has_error(m_c))
        return;
    m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
}

X11Desktop::~X11Desktop()
{
    if (m_c)
        xcb_disconnect(m_c);
}

void X11Desktop::sync()
{
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

xcb_window_t X11Desktop::makeClient(int x, int y, int width, int height, Rgb color, bool dock, std::uint32_t eventMask)
{
    const xcb_window_t w = xcb_generate_id(m_c);
    const std::uint32_t pixel = static_cast<std::uint32_t>(color.r << 16 | color.g << 8 | color.b);
    const std::uint32_t values[] = {pixel, eventMask};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_screen->root, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    // Ask the window manager for the exact place and no decorations to speak of.
    const std::uint32_t hints[18] = {1 | 2 | 4 | 8, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                     static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    // It stands for another application's window: the overlay stays above
    // windows of its own process.
    const std::uint32_t otherProcess = 1;
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom(m_c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &otherProcess);
    if (dock) {
        const xcb_atom_t type = atom(m_c, "_NET_WM_WINDOW_TYPE");
        const xcb_atom_t dockType = atom(m_c, "_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, type, XCB_ATOM_ATOM, 32, 1, &dockType);
    }
    xcb_map_window(m_c, w);
    xcb_flush(m_c);
    // A window manager that has only just started may drop the first map
    // request: ask again until the window shows.
    int polls = 0;
    for (auto deadline = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < deadline; ++polls) {
        if (polls % 25 == 24) {
            xcb_map_window(m_c, w);
            xcb_flush(m_c);
        }
        xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr);
        const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        if (viewable)
            break;
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(100ms);  // let the window manager settle its frame
    if (std::getenv("HUSHGLASS_TEST_VERBOSE")) {
        std::string tree;
        m_session.run({"xwininfo", "-root", "-tree"}, &tree);
        std::fprintf(stderr, "%s\n", tree.c_str());
    }
    sync();
    return w;
}

xcb_window_t X11Desktop::frameOf(xcb_window_t client)
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

Rgb X11Desktop::pixel(int x, int y)
{
    sync();
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_screen->root, static_cast<std::int16_t>(x),
                           static_cast<std::int16_t>(y), 1, 1, ~0u), nullptr);
    Rgb out{-1, -1, -1};
    if (image && xcb_get_image_data_length(image) >= 4) {
        const std::uint8_t* p = xcb_get_image_data(image);
        out = {p[2], p[1], p[0]};
    }
    std::free(image);
    return out;
}

void X11Desktop::screenshot(const std::string& path)
{
    sync();
    m_session.run({"import", "-window", "root", path});
}

} // namespace hg::testing
