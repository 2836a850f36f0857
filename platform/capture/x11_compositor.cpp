#include "platform/capture/x11_compositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <xcb/composite.h>
#include <xcb/shape.h>
#include <xcb/shm.h>
#include <xcb/xcb_renderutil.h>

#include "platform/x11/own_windows.h"
#include "platform/x11/x_reply.h"

namespace hg {
namespace {

using x11::discardErrors;
using x11::PendingReply;

// The desktop's colour where no background pixmap is set: a dark grey, in
// premultiplied 16-bit Render components.
// Scaled layers are sampled at the nearest pixel: the picture is blurred by
// several of its pixels afterwards, and bilinear sampling doubles the server's
// work (measured on Xvfb: 31 against 66 ms for 1920x1080 to 1600x900 on a busy
// two-core machine).
constexpr char kScaleFilter[] = "nearest";
constexpr xcb_render_color_t kDesktopColor{0x3333, 0x3535, 0x3a3a, 0xffff};

xcb_render_fixed_t toFixed(double v)
{
    return static_cast<xcb_render_fixed_t>(std::lround(v * 65536.0));
}

bool hasDepth(const xcb_screen_t* screen, std::uint8_t depth)
{
    for (auto it = xcb_screen_allowed_depths_iterator(screen); it.rem; xcb_depth_next(&it))
        if (it.data->depth == depth)
            return true;
    return false;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    PendingReply reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
                       xcb_intern_atom_reply);
    auto r = reply.take();
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

X11Compositor::X11Compositor(xcb_connection_t* connection, const xcb_screen_t* screen, Redirection redirection)
    : m_connection(connection), m_root(screen->root), m_rootDepth(screen->root_depth),
      m_rootVisual(screen->root_visual)
{
    if (!checkExtensions())
        return;
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(m_connection);
    if (!formats) {
        m_problem = "no Render picture formats";
        return;
    }
    m_targetDepth = hasDepth(screen, 32) ? 32 : 24;
    const xcb_pict_standard_t standard = m_targetDepth == 32 ? XCB_PICT_STANDARD_ARGB_32 : XCB_PICT_STANDARD_RGB_24;
    if (const auto* f = xcb_render_util_find_standard_format(formats, standard))
        m_targetFormat = f->id;
    m_rootFormat = formatForVisual(m_rootVisual);
    if (!m_targetFormat || !m_rootFormat) {
        m_problem = "no Render format for the capture";
        return;
    }
    m_rootPixmapAtoms[0] = internAtom(m_connection, "_XROOTPMAP_ID");
    m_rootPixmapAtoms[1] = internAtom(m_connection, "ESETROOT_PMAP_ID");
    m_ready = true;
    if (redirection == Redirection::forLifetime)
        setRedirected(true);
}

void X11Compositor::setRedirected(bool redirected)
{
    std::lock_guard lock(m_mutex);
    if (!m_ready || redirected == m_redirected)
        return;
    if (redirected)
        discardErrors(m_connection, xcb_composite_redirect_subwindows_checked(m_connection, m_root,
                                                                               XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    else
        discardErrors(m_connection, xcb_composite_unredirect_subwindows_checked(m_connection, m_root,
                                                                                 XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    xcb_flush(m_connection);
    m_redirected = redirected;
}

bool X11Compositor::isRedirected()
{
    std::lock_guard lock(m_mutex);
    return m_redirected;
}

X11Compositor::~X11Compositor()
{
    if (m_target)
        xcb_render_free_picture(m_connection, m_target);
    if (m_targetPixmap)
        xcb_free_pixmap(m_connection, m_targetPixmap);
    releaseSharedMemory();
    if (m_redirected)
        discardErrors(m_connection, xcb_composite_unredirect_subwindows_checked(m_connection, m_root,
                                                                                 XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    xcb_flush(m_connection);
}

bool X11Compositor::checkExtensions()
{
    const xcb_query_extension_reply_t* render = xcb_get_extension_data(m_connection, &xcb_render_id);
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(m_connection, &xcb_shm_id);
    const xcb_query_extension_reply_t* composite = xcb_get_extension_data(m_connection, &xcb_composite_id);
    if (!render || !render->present || !shm || !shm->present || !composite || !composite->present) {
        m_problem = "the X server lacks Render, MIT-SHM or Composite";
        return false;
    }
    PendingReply version(m_connection, xcb_composite_query_version(m_connection, 0, 4),
                         xcb_composite_query_version_reply);
    auto v = version.take();
    if (!v || (v->major_version == 0 && v->minor_version < 2)) {
        m_problem = "Composite 0.2 or later is needed";
        return false;
    }
    return true;
}

xcb_render_pictformat_t X11Compositor::formatForVisual(xcb_visualid_t visual) const
{
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(m_connection);
    if (!formats)
        return 0;
    const xcb_render_pictvisual_t* v = xcb_render_util_find_visual_format(formats, visual);
    return v ? v->format : 0;
}

std::optional<CapturedImage> X11Compositor::capture(const Rect& source, int width, int height,
                                                    const std::vector<xcb_window_t>& excluded)
{
    if (!m_ready || width <= 0 || height <= 0 || source.isEmpty() || width > 16384 || height > 16384)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (!m_redirected)
        return std::nullopt;
    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * height;
    if (!ensureTarget(width, height) || !ensureSharedMemory(bytes))
        return std::nullopt;

    const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
    compose(source, width, height, excluded, all);

    PendingReply image(m_connection,
                       xcb_shm_get_image(m_connection, m_targetPixmap, 0, 0, static_cast<std::uint16_t>(width),
                                         static_cast<std::uint16_t>(height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                         m_segment, 0),
                       xcb_shm_get_image_reply);
    if (!image.take())
        return std::nullopt;
    const auto* shared = static_cast<const std::uint8_t*>(m_shmAddress);
    std::vector<std::uint8_t> pixels(shared, shared + bytes);
    if (m_targetDepth != 32)  // the alpha byte of a 24-bit picture is undefined
        for (std::size_t i = 3; i < bytes; i += 4)
            pixels[i] = 255;
    return CapturedImage::make(width, height, std::move(pixels), PixelOrder::bgra, ColorSpace::sRGB());
}

std::optional<CapturedImage> X11Compositor::update(const CapturedImage& previous, const Rect& changed,
                                                   const Rect& source, int width, int height,
                                                   const std::vector<xcb_window_t>& excluded)
{
    if (!previous.isValid() || previous.width != width || previous.height != height
        || previous.order != PixelOrder::bgra || source.isEmpty())
        return capture(source, width, height, excluded);
    // The change in destination pixels, grown by two for the scaling filter's
    // reach, on whole pixels.
    const double kx = width / source.width();
    const double ky = height / source.height();
    const Rect part = changed.intersected(source);
    if (part.isNull() || part.isEmpty())
        return previous;
    const int x0 = std::max(0, static_cast<int>(std::floor((part.minX() - source.minX()) * kx)) - 2);
    const int y0 = std::max(0, static_cast<int>(std::floor((part.minY() - source.minY()) * ky)) - 2);
    const int x1 = std::min(width, static_cast<int>(std::ceil((part.maxX() - source.minX()) * kx)) + 2);
    const int y1 = std::min(height, static_cast<int>(std::ceil((part.maxY() - source.minY()) * ky)) + 2);
    if (x1 <= x0 || y1 <= y0)
        return previous;
    // Reading back most of the picture anyway: compose it whole.
    if (static_cast<double>(x1 - x0) * (y1 - y0) > 0.5 * width * height)
        return capture(source, width, height, excluded);
    if (!m_ready || width > 16384 || height > 16384)
        return std::nullopt;

    std::lock_guard lock(m_mutex);
    if (!m_redirected)
        return std::nullopt;
    const int w = x1 - x0, h = y1 - y0;
    const std::size_t bytes = 4 * static_cast<std::size_t>(w) * h;
    if (!ensureTarget(width, height) || !ensureSharedMemory(bytes))
        return std::nullopt;
    const xcb_rectangle_t area{static_cast<std::int16_t>(x0), static_cast<std::int16_t>(y0),
                               static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h)};
    compose(source, width, height, excluded, area);
    PendingReply image(m_connection,
                       xcb_shm_get_image(m_connection, m_targetPixmap, area.x, area.y, area.width, area.height, ~0u,
                                         XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0),
                       xcb_shm_get_image_reply);
    if (!image.take())
        return std::nullopt;
    std::vector<std::uint8_t> pixels(previous.pixels->begin(),
                                     previous.pixels->begin() + previous.bytesPerRow * height);
    const auto* shared = static_cast<const std::uint8_t*>(m_shmAddress);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = pixels.data() + (y0 + y) * previous.bytesPerRow + 4 * static_cast<std::size_t>(x0);
        std::memcpy(row, shared + 4 * static_cast<std::size_t>(w) * y, 4 * static_cast<std::size_t>(w));
        if (m_targetDepth != 32)
            for (int x = 0; x < w; ++x)
                row[4 * x + 3] = 255;
    }
    CapturedImage result = CapturedImage::make(width, height, std::move(pixels), PixelOrder::bgra, ColorSpace::sRGB());
    result.bytesPerRow = previous.bytesPerRow;
    return result;
}

void X11Compositor::compose(const Rect& source, int width, int height, const std::vector<xcb_window_t>& excluded,
                            const xcb_rectangle_t& area)
{
    xcb_pixmap_t background = XCB_NONE;
    const std::vector<Window> windows = queryWindows(source, excluded, background);
    paintBackground(background, source, width, height, area);
    const double kx = width / source.width();
    const double ky = height / source.height();
    // The area in root pixels: windows beside it are not painted at all.
    const Rect rootArea(source.minX() + area.x / kx, source.minY() + area.y / ky, area.width / kx, area.height / ky);
    int painted = 0;
    for (const Window& w : windows)
        if (w.outer.intersects(rootArea)) {
            paintWindow(w, source, width, height, area);
            ++painted;
        }
    m_lastWindowCount = painted;
}

std::vector<X11Compositor::Window> X11Compositor::queryWindows(const Rect& source,
                                                               const std::vector<xcb_window_t>& excluded,
                                                               xcb_pixmap_t& background)
{
    using PropertyReply = PendingReply<xcb_get_property_cookie_t, xcb_get_property_reply_t>;
    // Our own overlays are left out by their marker, so no capture shows them
    // even where their owner cannot be told (no X-Resource, no pid).
    if (m_overlayMarker == XCB_ATOM_NONE)
        m_overlayMarker = internAtom(m_connection, kOwnOverlayMarker);
    PendingReply tree(m_connection, xcb_query_tree(m_connection, m_root), xcb_query_tree_reply);
    PropertyReply roots[2];
    for (int i = 0; i < 2; ++i)
        if (m_rootPixmapAtoms[i] != XCB_ATOM_NONE)
            roots[i] = PropertyReply(m_connection,
                                     xcb_get_property(m_connection, 0, m_root, m_rootPixmapAtoms[i],
                                                      XCB_ATOM_PIXMAP, 0, 1),
                                     xcb_get_property_reply);
    auto treeReply = tree.take();
    for (auto& r : roots)
        if (auto reply = r.take(); reply && !background && xcb_get_property_value_length(reply.get()) >= 4)
            std::memcpy(&background, xcb_get_property_value(reply.get()), sizeof background);
    if (!treeReply)
        return {};

    const xcb_window_t* children = xcb_query_tree_children(treeReply.get());
    const int count = xcb_query_tree_children_length(treeReply.get());
    std::vector<PendingWindow> pending;
    pending.reserve(count);
    for (int i = 0; i < count; ++i)  // bottom to top
        if (std::find(excluded.begin(), excluded.end(), children[i]) == excluded.end())
            pending.push_back(requestWindow(children[i]));
    std::vector<Window> windows;
    for (PendingWindow& p : pending)
        if (std::optional<Window> w = collectWindow(p); w && w->outer.intersects(source))
            windows.push_back(std::move(*w));
    return windows;
}

X11Compositor::PendingWindow X11Compositor::requestWindow(xcb_window_t id) const
{
    return {id,
            {m_connection, xcb_get_window_attributes(m_connection, id), xcb_get_window_attributes_reply},
            {m_connection, xcb_get_geometry(m_connection, id), xcb_get_geometry_reply},
            {m_connection, xcb_shape_get_rectangles(m_connection, id, XCB_SHAPE_SK_BOUNDING),
             xcb_shape_get_rectangles_reply},
            m_overlayMarker != XCB_ATOM_NONE ? x11::requestProperty(m_connection, id, m_overlayMarker,
                                                                    XCB_GET_PROPERTY_TYPE_ANY, 1)
                                             : x11::PropertyReply()};
}

std::optional<X11Compositor::Window> X11Compositor::collectWindow(PendingWindow& pending) const
{
    auto attributes = pending.attributes.take();
    auto geometry = pending.geometry.take();
    auto shape = pending.shape.take();
    if (x11::propertyExists(pending.overlayMarker.take().get()))
        return std::nullopt;
    if (!attributes || !geometry || !shape || attributes->map_state != XCB_MAP_STATE_VIEWABLE
        || attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
        return std::nullopt;  // unmapped windows have no pixmap to name; gone ones answer errors
    Window w;
    w.id = pending.id;
    w.visual = attributes->visual;
    const int border = geometry->border_width;
    w.outer = Rect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(shape.get());
    const int n = xcb_shape_get_rectangles_rectangles_length(shape.get());
    for (int i = 0; i < n; ++i) {  // relative to the window's inside corner
        xcb_rectangle_t r = rects[i];
        r.x = static_cast<std::int16_t>(r.x + geometry->x + border);
        r.y = static_cast<std::int16_t>(r.y + geometry->y + border);
        w.shape.push_back(r);
    }
    return w;
}

bool X11Compositor::ensureTarget(int width, int height)
{
    if (m_target && m_targetWidth == width && m_targetHeight == height)
        return true;
    if (m_target)
        xcb_render_free_picture(m_connection, m_target);
    if (m_targetPixmap)
        xcb_free_pixmap(m_connection, m_targetPixmap);
    m_targetPixmap = xcb_generate_id(m_connection);
    m_target = xcb_generate_id(m_connection);
    xcb_void_cookie_t pixmap = xcb_create_pixmap_checked(m_connection, m_targetDepth, m_targetPixmap, m_root,
                                                         static_cast<std::uint16_t>(width),
                                                         static_cast<std::uint16_t>(height));
    xcb_void_cookie_t picture =
        xcb_render_create_picture_checked(m_connection, m_target, m_targetPixmap, m_targetFormat, 0, nullptr);
    xcb_generic_error_t* pixmapError = xcb_request_check(m_connection, pixmap);
    xcb_generic_error_t* pictureError = xcb_request_check(m_connection, picture);
    const bool ok = !pixmapError && !pictureError;
    std::free(pixmapError);
    std::free(pictureError);
    if (!ok) {
        m_target = m_targetPixmap = XCB_NONE;
        return false;
    }
    m_targetWidth = width;
    m_targetHeight = height;
    return true;
}

bool X11Compositor::ensureSharedMemory(std::size_t bytes)
{
    if (m_shmAddress && m_shmSize >= bytes)
        return true;
    releaseSharedMemory();
    m_shmId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (m_shmId < 0)
        return false;
    m_shmAddress = shmat(m_shmId, nullptr, 0);
    if (m_shmAddress == reinterpret_cast<void*>(-1)) {
        shmctl(m_shmId, IPC_RMID, nullptr);
        m_shmAddress = nullptr;
        m_shmId = -1;
        return false;
    }
    m_segment = xcb_generate_id(m_connection);
    xcb_generic_error_t* error =
        xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, m_segment, m_shmId, 0));
    shmctl(m_shmId, IPC_RMID, nullptr);  // freed once both sides detach
    if (error) {
        std::free(error);
        shmdt(m_shmAddress);
        m_shmAddress = nullptr;
        m_shmId = -1;
        return false;
    }
    m_shmSize = bytes;
    return true;
}

void X11Compositor::releaseSharedMemory()
{
    if (!m_shmAddress)
        return;
    discardErrors(m_connection, xcb_shm_detach_checked(m_connection, m_segment));
    xcb_flush(m_connection);
    shmdt(m_shmAddress);
    m_shmAddress = nullptr;
    m_shmId = -1;
    m_shmSize = 0;
}

// Maps destination pixels to source pixels: the scale of the capture and the
// translation to the source's origin, both inside the transform (the 16-bit
// source offset of a composite request would drop fractions).
xcb_render_transform_t X11Compositor::transformFor(const Rect& source, int width, int height, double originX,
                                                   double originY) const
{
    const double sx = source.width() / width;
    const double sy = source.height() / height;
    return {toFixed(sx), 0, toFixed(source.minX() - originX), 0, toFixed(sy), toFixed(source.minY() - originY),
            0,           0, toFixed(1)};
}

void X11Compositor::paintBackground(xcb_pixmap_t background, const Rect& source, int width, int height,
                                    const xcb_rectangle_t& area)
{
    xcb_render_set_picture_clip_rectangles(m_connection, m_target, 0, 0, 1, &area);
    xcb_render_fill_rectangles(m_connection, XCB_RENDER_PICT_OP_SRC, m_target, kDesktopColor, 1, &area);
    if (!background)
        return;
    // The root picture is not the wallpaper (it shows the windows too): the
    // background pixmap is, tiled when smaller than the screen.
    const xcb_render_picture_t picture = xcb_generate_id(m_connection);
    const std::uint32_t repeat = XCB_RENDER_REPEAT_NORMAL;
    discardErrors(m_connection, xcb_render_create_picture_checked(m_connection, picture, background, m_rootFormat,
                                                                  XCB_RENDER_CP_REPEAT, &repeat));
    discardErrors(m_connection, xcb_render_set_picture_transform_checked(
                                    m_connection, picture, transformFor(source, width, height, 0, 0)));
    discardErrors(m_connection, xcb_render_set_picture_filter_checked(m_connection, picture, sizeof kScaleFilter - 1,
                                                                      kScaleFilter, 0, nullptr));
    discardErrors(m_connection, xcb_render_composite_checked(m_connection, XCB_RENDER_PICT_OP_SRC, picture,
                                                             XCB_NONE, m_target, area.x, area.y, 0, 0, area.x,
                                                             area.y, area.width, area.height));
    discardErrors(m_connection, xcb_render_free_picture_checked(m_connection, picture));
}

void X11Compositor::paintWindow(const Window& window, const Rect& source, int width, int height,
                                const xcb_rectangle_t& area)
{
    const xcb_render_pictformat_t format = formatForVisual(window.visual);
    if (!format || window.shape.empty())
        return;
    const double kx = width / source.width();
    const double ky = height / source.height();
    // The window's shape, in destination pixels, grown outward to whole pixels.
    std::vector<xcb_rectangle_t> clip;
    for (const xcb_rectangle_t& r : window.shape) {
        const Rect part = Rect(r.x, r.y, r.width, r.height).intersected(source);
        if (part.isEmpty())
            continue;
        const double x0 = std::max<double>(area.x, std::floor((part.minX() - source.minX()) * kx));
        const double y0 = std::max<double>(area.y, std::floor((part.minY() - source.minY()) * ky));
        const double x1 = std::min<double>(area.x + area.width, std::ceil((part.maxX() - source.minX()) * kx));
        const double y1 = std::min<double>(area.y + area.height, std::ceil((part.maxY() - source.minY()) * ky));
        if (x1 <= x0 || y1 <= y0)
            continue;
        clip.push_back({static_cast<std::int16_t>(x0), static_cast<std::int16_t>(y0),
                        static_cast<std::uint16_t>(x1 - x0), static_cast<std::uint16_t>(y1 - y0)});
    }
    if (clip.empty())
        return;
    const xcb_pixmap_t pixmap = xcb_generate_id(m_connection);
    const xcb_render_picture_t picture = xcb_generate_id(m_connection);
    discardErrors(m_connection, xcb_composite_name_window_pixmap_checked(m_connection, window.id, pixmap));
    discardErrors(m_connection,
                  xcb_render_create_picture_checked(m_connection, picture, pixmap, format, 0, nullptr));
    discardErrors(m_connection,
                  xcb_render_set_picture_transform_checked(
                      m_connection, picture, transformFor(source, width, height, window.outer.minX(),
                                                          window.outer.minY())));
    if (kx != 1 || ky != 1)
        discardErrors(m_connection,
                      xcb_render_set_picture_filter_checked(m_connection, picture, sizeof kScaleFilter - 1,
                                                            kScaleFilter, 0, nullptr));
    discardErrors(m_connection, xcb_render_set_picture_clip_rectangles_checked(
                                    m_connection, m_target, 0, 0, static_cast<std::uint32_t>(clip.size()),
                                    clip.data()));
    discardErrors(m_connection, xcb_render_composite_checked(m_connection, XCB_RENDER_PICT_OP_OVER, picture,
                                                             XCB_NONE, m_target, area.x, area.y, 0, 0, area.x,
                                                             area.y, area.width, area.height));
    discardErrors(m_connection, xcb_render_free_picture_checked(m_connection, picture));
    discardErrors(m_connection, xcb_free_pixmap_checked(m_connection, pixmap));
}

} // namespace hg
