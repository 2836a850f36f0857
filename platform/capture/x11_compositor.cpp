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

// A rectangle of destination pixels, ends excluded.
struct Box {
    int x0, y0, x1, y1;
    [[nodiscard]] bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
};

Box intersect(const Box& a, const Box& b)
{
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

// Removes `cut` from `boxes` (each box splits into at most four).
void subtract(std::vector<Box>& boxes, const Box& cut)
{
    std::vector<Box> out;
    out.reserve(boxes.size() + 4);
    for (const Box& b : boxes) {
        const Box common = intersect(b, cut);
        if (common.isEmpty()) {
            out.push_back(b);
            continue;
        }
        const Box parts[] = {{b.x0, b.y0, b.x1, common.y0},
                             {b.x0, common.y1, b.x1, b.y1},
                             {b.x0, common.y0, common.x0, common.y1},
                             {common.x1, common.y0, b.x1, common.y1}};
        for (const Box& p : parts)
            if (!p.isEmpty())
                out.push_back(p);
    }
    boxes = std::move(out);
}

std::vector<xcb_rectangle_t> toRectangles(const std::vector<Box>& boxes)
{
    std::vector<xcb_rectangle_t> out;
    out.reserve(boxes.size());
    for (const Box& b : boxes)
        out.push_back({static_cast<std::int16_t>(b.x0), static_cast<std::int16_t>(b.y0),
                       static_cast<std::uint16_t>(b.x1 - b.x0), static_cast<std::uint16_t>(b.y1 - b.y0)});
    return out;
}

// Clips with more rectangles than this are painted whole instead: correct
// either way, as hidden pixels are painted over afterwards.
constexpr std::size_t kMostClipBoxes = 256;

// The smallest rectangle around `rects` (not empty).
xcb_rectangle_t extentsOf(const std::vector<xcb_rectangle_t>& rects)
{
    int x0 = rects.front().x, y0 = rects.front().y, x1 = x0, y1 = y0;
    for (const xcb_rectangle_t& r : rects) {
        x0 = std::min<int>(x0, r.x);
        y0 = std::min<int>(y0, r.y);
        x1 = std::max(x1, r.x + r.width);
        y1 = std::max(y1, r.y + r.height);
    }
    return {static_cast<std::int16_t>(x0), static_cast<std::int16_t>(y0), static_cast<std::uint16_t>(x1 - x0),
            static_cast<std::uint16_t>(y1 - y0)};
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
    m_rootFormat = formatForVisual(m_rootVisual).id;
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

X11Compositor::Format X11Compositor::formatForVisual(xcb_visualid_t visual)
{
    for (const auto& [v, format] : m_formats)
        if (v == visual)
            return format;
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(m_connection);
    if (!formats)
        return {};
    const xcb_render_pictvisual_t* v = xcb_render_util_find_visual_format(formats, visual);
    if (!v)
        return {};
    Format format{v->format, true};  // alpha unless told otherwise
    for (auto it = xcb_render_query_pict_formats_formats_iterator(formats); it.rem; xcb_render_pictforminfo_next(&it))
        if (it.data->id == v->format)
            format.alpha = it.data->direct.alpha_mask != 0;
    m_formats.emplace_back(visual, format);
    return format;
}

std::optional<CapturedImage> X11Compositor::capture(const Rect& source, int width, int height,
                                                    const std::vector<xcb_window_t>& excluded,
                                                    const std::optional<X11DamageTracker::Scene>& scene)
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
    std::vector<std::uint8_t> pixels;
    const auto read = [&](const std::uint8_t* rows) { pixels.assign(rows, rows + bytes); };
    if (!composeAndRead(source, width, height, excluded, all, scene, nullptr, read))
        return std::nullopt;
    if (m_targetDepth != 32)  // the alpha byte of a 24-bit picture is undefined
        for (std::size_t i = 3; i < bytes; i += 4)
            pixels[i] = 255;
    return CapturedImage::make(width, height, std::move(pixels), PixelOrder::bgra, ColorSpace::sRGB());
}

std::optional<CapturedImage> X11Compositor::update(const CapturedImage& previous, const Rect& changed,
                                                   const Rect& source, int width, int height,
                                                   const std::vector<xcb_window_t>& excluded,
                                                   const std::optional<X11DamageTracker::Scene>& scene)
{
    if (!previous.isValid() || previous.width != width || previous.height != height
        || previous.order != PixelOrder::bgra || source.isEmpty())
        return capture(source, width, height, excluded, scene);
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
        return capture(source, width, height, excluded, scene);
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
    // The rest of the picture is copied while the server composes the part.
    std::vector<std::uint8_t> pixels;
    const auto copyPrevious = [&] {
        const auto size = std::min(previous.pixels->size(), static_cast<std::size_t>(previous.bytesPerRow) * height);
        pixels.assign(previous.pixels->begin(), previous.pixels->begin() + static_cast<std::ptrdiff_t>(size));
    };
    const auto read = [&](const std::uint8_t* rows) {
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = pixels.data() + (y0 + y) * previous.bytesPerRow + 4 * static_cast<std::size_t>(x0);
            std::memcpy(row, rows + 4 * static_cast<std::size_t>(w) * y, 4 * static_cast<std::size_t>(w));
            if (m_targetDepth != 32)
                for (int x = 0; x < w; ++x)
                    row[4 * x + 3] = 255;
        }
    };
    if (!composeAndRead(source, width, height, excluded, area, scene, copyPrevious, read))
        return std::nullopt;
    CapturedImage result = CapturedImage::make(width, height, std::move(pixels), PixelOrder::bgra, ColorSpace::sRGB());
    result.bytesPerRow = previous.bytesPerRow;
    return result;
}

bool X11Compositor::composeAndRead(const Rect& source, int width, int height,
                                   const std::vector<xcb_window_t>& excluded, const xcb_rectangle_t& area,
                                   const std::optional<X11DamageTracker::Scene>& scene,
                                   const std::function<void()>& meanwhile, const RowsRead& read)
{
    const auto* shared = static_cast<const std::uint8_t*>(m_shmAddress);
    // A window that hid others and vanished before its pixmap was named
    // leaves a hole: then the picture is composed again from a fresh look at
    // the stack, hiding nothing.
    for (const bool hide : {true, false}) {
        std::vector<xcb_void_cookie_t> named;
        xcb_pixmap_t background = XCB_NONE;
        const std::vector<Window> windows = hide && scene ? sceneWindows(*scene, source, excluded)
                                                          : queryWindows(source, excluded, background);
        if (hide && scene)
            background = scene->wallpaper;
        compose(windows, background, source, width, height, area, hide, named);
        PendingReply image(m_connection,
                           xcb_shm_get_image(m_connection, m_targetPixmap, area.x, area.y, area.width, area.height,
                                             ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0),
                           xcb_shm_get_image_reply);
        xcb_flush(m_connection);
        if (hide && meanwhile)
            meanwhile();
        if (!image.take()) {
            for (const xcb_void_cookie_t cookie : named)
                discardErrors(m_connection, cookie);
            return false;
        }
        read(shared);
        bool vanished = false;
        for (const xcb_void_cookie_t cookie : named)  // answered already: no round trip
            if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
                std::free(error);
                vanished = true;
            }
        if (!vanished)
            return true;
    }
    return true;
}

void X11Compositor::compose(const std::vector<Window>& windows, xcb_pixmap_t background, const Rect& source,
                            int width, int height, const xcb_rectangle_t& area, bool hide,
                            std::vector<xcb_void_cookie_t>& named)
{
    const double kx = width / source.width();
    const double ky = height / source.height();
    const Box areaBox{area.x, area.y, area.x + area.width, area.y + area.height};

    // Each window's clip: its shape in destination pixels, grown outward to
    // whole pixels, within the area; from the top down, less what the opaque
    // windows above it paint over.
    std::vector<std::vector<Box>> clips(windows.size());
    std::vector<Box> hiding;  // what the opaque windows seen so far paint
    for (std::size_t i = windows.size(); i-- > 0;) {
        const Window& w = windows[i];
        std::vector<Box>& clip = clips[i];
        for (const xcb_rectangle_t& r : w.shape) {
            const Rect part = Rect(r.x, r.y, r.width, r.height).intersected(source);
            if (part.isNull() || part.isEmpty())
                continue;
            const Box b = intersect(
                areaBox, {static_cast<int>(std::floor((part.minX() - source.minX()) * kx)),
                          static_cast<int>(std::floor((part.minY() - source.minY()) * ky)),
                          static_cast<int>(std::ceil((part.maxX() - source.minX()) * kx)),
                          static_cast<int>(std::ceil((part.maxY() - source.minY()) * ky))});
            if (!b.isEmpty())
                clip.push_back(b);
        }
        if (!hide || clip.empty())
            continue;
        const std::vector<Box> whole = clip;
        for (const Box& h : hiding) {
            subtract(clip, h);
            if (clip.empty() || clip.size() > kMostClipBoxes)
                break;
        }
        if (clip.size() > kMostClipBoxes)
            clip = whole;
        if (w.opaque)
            hiding.push_back(whole.front());
    }
    std::vector<Box> desktop{areaBox};
    for (const Box& h : hiding) {
        subtract(desktop, h);
        if (desktop.empty() || desktop.size() > kMostClipBoxes)
            break;
    }
    if (desktop.size() > kMostClipBoxes)
        desktop = {areaBox};

    if (!desktop.empty())
        paintBackground(background, source, width, height, toRectangles(desktop));
    int painted = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (clips[i].empty())
            continue;  // hidden, or beside the area
        const xcb_void_cookie_t cookie = paintWindow(windows[i], source, width, height, toRectangles(clips[i]));
        if (hide && windows[i].opaque)
            named.push_back(cookie);
        else
            discardErrors(m_connection, cookie);
        ++painted;
    }
    m_lastWindowCount = painted;
}

std::vector<X11Compositor::Window> X11Compositor::sceneWindows(const X11DamageTracker::Scene& scene,
                                                               const Rect& source,
                                                               const std::vector<xcb_window_t>& excluded)
{
    std::vector<Window> windows;
    for (const X11DamageTracker::Window& t : *scene.stack) {
        if (t.ownOverlay || !t.outer.intersects(source)
            || std::find(excluded.begin(), excluded.end(), t.id) != excluded.end())
            continue;
        const Format format = formatForVisual(t.visual);
        if (!format.id)
            continue;
        Window w;
        w.id = t.id;
        w.format = format.id;
        w.opaque = !format.alpha && t.shape.size() == 1;
        w.outer = t.outer;
        const int insideX = static_cast<int>(t.outer.minX()) + t.border;
        const int insideY = static_cast<int>(t.outer.minY()) + t.border;
        w.shape.reserve(t.shape.size());
        for (xcb_rectangle_t r : t.shape) {
            r.x = static_cast<std::int16_t>(r.x + insideX);
            r.y = static_cast<std::int16_t>(r.y + insideY);
            w.shape.push_back(r);
        }
        windows.push_back(std::move(w));
    }
    return windows;
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

std::optional<X11Compositor::Window> X11Compositor::collectWindow(PendingWindow& pending)
{
    auto attributes = pending.attributes.take();
    auto geometry = pending.geometry.take();
    auto shape = pending.shape.take();
    if (x11::propertyExists(pending.overlayMarker.take().get()))
        return std::nullopt;
    if (!attributes || !geometry || !shape || attributes->map_state != XCB_MAP_STATE_VIEWABLE
        || attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
        return std::nullopt;  // unmapped windows have no pixmap to name; gone ones answer errors
    const Format format = formatForVisual(attributes->visual);
    if (!format.id)
        return std::nullopt;
    Window w;
    w.id = pending.id;
    w.format = format.id;
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
    w.opaque = !format.alpha && w.shape.size() == 1;
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
                                    const std::vector<xcb_rectangle_t>& clip)
{
    const xcb_rectangle_t area = extentsOf(clip);
    xcb_render_set_picture_clip_rectangles(m_connection, m_target, 0, 0, static_cast<std::uint32_t>(clip.size()),
                                           clip.data());
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

xcb_void_cookie_t X11Compositor::paintWindow(const Window& window, const Rect& source, int width, int height,
                                             const std::vector<xcb_rectangle_t>& clip)
{
    const xcb_rectangle_t area = extentsOf(clip);
    const xcb_pixmap_t pixmap = xcb_generate_id(m_connection);
    const xcb_render_picture_t picture = xcb_generate_id(m_connection);
    const xcb_void_cookie_t named = xcb_composite_name_window_pixmap_checked(m_connection, window.id, pixmap);
    // Padded: an opaque window's outward-rounded edge pixels are its own
    // (sampled past the edge they would be transparent), and the server
    // composes opaque padded sources on its fast paths.
    const std::uint32_t repeat = XCB_RENDER_REPEAT_PAD;
    discardErrors(m_connection, xcb_render_create_picture_checked(m_connection, picture, pixmap, window.format,
                                                                  XCB_RENDER_CP_REPEAT, &repeat));
    discardErrors(m_connection,
                  xcb_render_set_picture_transform_checked(
                      m_connection, picture, transformFor(source, width, height, window.outer.minX(),
                                                          window.outer.minY())));
    if (width != source.width() || height != source.height())
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
    return named;
}

} // namespace hg
