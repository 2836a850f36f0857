#include "tests/x11_capture/capture_desktop.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

#include <xcb/shape.h>

namespace hg::testing {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : 0;
    std::free(reply);
    return a;
}

} // namespace

CaptureDesktop::CaptureDesktop(int width, int height) : m_session({.width = width, .height = height})
{
    if (!m_session.ok())
        return;
    m_c = xcb_connect(m_session.display().c_str(), nullptr);
    if (xcb_connection_has_error(m_c))
        return;
    m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
}

CaptureDesktop::~CaptureDesktop()
{
    if (m_c)
        xcb_disconnect(m_c);
}

std::uint32_t CaptureDesktop::pixelOf(Rgb color) const
{
    return 0xff000000u | (static_cast<std::uint32_t>(color.r) << 16) | (static_cast<std::uint32_t>(color.g) << 8)
        | static_cast<std::uint32_t>(color.b);
}

void CaptureDesktop::sync()
{
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
}

xcb_window_t CaptureDesktop::frameOf(xcb_window_t client)
{
    xcb_window_t w = client;
    for (int i = 0; i < 8; ++i) {
        auto* tree = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, w), nullptr);
        if (!tree)
            return w;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == m_screen->root)
            return w;
        w = parent;
    }
    return w;
}

xcb_window_t CaptureDesktop::makeWindow(int x, int y, int width, int height, Rgb color, bool overrideRedirect,
                                        bool ownPid)
{
    const xcb_window_t w = xcb_generate_id(m_c);
    const std::uint32_t values[] = {pixelOf(color), overrideRedirect ? 1u : 0u};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    // Every window here is made by this process; all but "own" ones claim to
    // belong to another.
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid()) + (ownPid ? 0 : 100000);
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom(m_c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    // Ask the window manager for the exact place, without decorations moving it.
    const std::uint32_t hints[18] = {1u | 2u | 4u | 8u, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                     static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(m_c, w);
    xcb_flush(m_c);
    m_lastClient = w;
    for (int i = 0; i < 500; ++i) {  // up to 5 s for the window manager
        const xcb_window_t frame = overrideRedirect ? w : frameOf(w);
        auto* a = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, frame), nullptr);
        const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        if (viewable && (overrideRedirect || frame != w)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the server paint
            return frame;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return overrideRedirect ? w : frameOf(w);
}

void CaptureDesktop::shape(xcb_window_t client, const std::vector<xcb_rectangle_t>& rectangles)
{
    xcb_shape_rectangles(m_c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, client, 0, 0,
                         static_cast<std::uint32_t>(rectangles.size()), rectangles.data());
    sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // openbox reshapes its frame
}

void CaptureDesktop::paint(xcb_window_t window, xcb_rectangle_t area, Rgb color)
{
    const xcb_gcontext_t gc = xcb_generate_id(m_c);
    const std::uint32_t foreground = pixelOf(color);
    xcb_create_gc(m_c, gc, window, XCB_GC_FOREGROUND, &foreground);
    xcb_poly_fill_rectangle(m_c, window, gc, 1, &area);
    xcb_free_gc(m_c, gc);
    sync();
}

void CaptureDesktop::setWallpaper(Rgb color)
{
    const xcb_pixmap_t pixmap = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, m_screen->root_depth, pixmap, m_screen->root, 64, 64);
    const xcb_gcontext_t gc = xcb_generate_id(m_c);
    const std::uint32_t foreground = pixelOf(color);
    xcb_create_gc(m_c, gc, pixmap, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t all{0, 0, 64, 64};
    xcb_poly_fill_rectangle(m_c, pixmap, gc, 1, &all);
    xcb_free_gc(m_c, gc);
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_screen->root, atom(m_c, "_XROOTPMAP_ID"), XCB_ATOM_PIXMAP, 32,
                        1, &pixmap);
    sync();
}

void CaptureDesktop::destroy(xcb_window_t window)
{
    xcb_destroy_window(m_c, window);
    xcb_flush(m_c);
}

Rgb pixelAt(const CapturedImage& image, int x, int y)
{
    const std::uint8_t* p = image.row(y) + 4 * x;
    return image.order == PixelOrder::bgra ? Rgb{p[2], p[1], p[0]} : Rgb{p[0], p[1], p[2]};
}

} // namespace hg::testing
