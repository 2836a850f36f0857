#include "tests/x11_capture/capture_desktop.h"

#include <chrono>
#include <thread>

#include <xcb/shape.h>

namespace hg::testing {

void CaptureDesktop::shape(xcb_window_t client, const std::vector<xcb_rectangle_t>& rectangles)
{
    xcb_shape_rectangles(connection(), XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, client, 0,
                         0, static_cast<std::uint32_t>(rectangles.size()), rectangles.data());
    sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // openbox reshapes its frame
}

void CaptureDesktop::paint(xcb_window_t window, xcb_rectangle_t area, Rgb color)
{
    xcb_connection_t* c = connection();
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t foreground = pixelOf(color);
    xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND, &foreground);
    xcb_poly_fill_rectangle(c, window, gc, 1, &area);
    xcb_free_gc(c, gc);
    sync();
}

void CaptureDesktop::setWallpaper(Rgb color)
{
    m_wallpaper = xcb_generate_id(connection());
    xcb_create_pixmap(connection(), screen()->root_depth, m_wallpaper, root(), 64, 64);
    redrawWallpaper(color);
}

void CaptureDesktop::redrawWallpaper(Rgb color)
{
    xcb_connection_t* c = connection();
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t foreground = pixelOf(color);
    xcb_create_gc(c, gc, m_wallpaper, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t all{0, 0, 64, 64};
    xcb_poly_fill_rectangle(c, m_wallpaper, gc, 1, &all);
    xcb_free_gc(c, gc);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root(), atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP, 32, 1,
                        &m_wallpaper);
    sync();
}

Rgb pixelAt(const CapturedImage& image, int x, int y)
{
    const std::uint8_t* p = image.row(y) + 4 * x;
    return image.order == PixelOrder::bgra ? Rgb{p[2], p[1], p[0]} : Rgb{p[0], p[1], p[2]};
}

} // namespace hg::testing
