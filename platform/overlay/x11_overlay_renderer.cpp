#include "platform/overlay/x11_overlay_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <xcb/shape.h>
#include <xcb/xcb_renderutil.h>

#include "base/log.h"
#include "engine/overlay/mask_raster.h"
#include "engine/overlay/path_boolean.h"

namespace hg {
namespace {

xcb_render_fixed_t fixed(double v)
{
    return static_cast<xcb_render_fixed_t>(std::lround(v * 65536.0));
}

// XRender colours are 16-bit and premultiplied.
xcb_render_color_t renderColor(Color c, double opacity = 1)
{
    const double a = std::clamp(c.alpha * opacity, 0.0, 1.0);
    const auto channel = [a](double v) { return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0, 1.0) * a * 65535)); };
    return {channel(c.red), channel(c.green), channel(c.blue), static_cast<std::uint16_t>(std::lround(a * 65535))};
}

xcb_rectangle_t fullRect(int w, int h)
{
    return {0, 0, static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h)};
}

xcb_render_pictformat_t rgbaByteOrderFormat(const xcb_render_query_pict_formats_reply_t* formats)
{
    for (auto it = xcb_render_query_pict_formats_formats_iterator(formats); it.rem; xcb_render_pictforminfo_next(&it)) {
        const xcb_render_pictforminfo_t& f = *it.data;
        const xcb_render_directformat_t& d = f.direct;
        if (f.type == XCB_RENDER_PICT_TYPE_DIRECT && f.depth == 32 && d.red_shift == 0 && d.green_shift == 8
            && d.blue_shift == 16 && d.alpha_shift == 24 && d.red_mask == 0xff && d.alpha_mask == 0xff)
            return f.id;
    }
    return XCB_NONE;
}

} // namespace

X11OverlayRenderer::X11OverlayRenderer(xcb_connection_t* connection, xcb_window_t window, xcb_visualid_t visual,
                                       std::uint8_t depth, int width, int height, bool alphaMode)
    : m_c(connection), m_window(window), m_width(width), m_height(height), m_depth(depth), m_alphaMode(alphaMode)
{
    if (!findFormats(visual))
        return;
    const xcb_extension_t* shm = &xcb_shm_id;
    const xcb_query_extension_reply_t* shmInfo = xcb_get_extension_data(m_c, const_cast<xcb_extension_t*>(shm));
    m_shmAvailable = shmInfo && shmInfo->present;

    const auto makeSurface = [&](xcb_pixmap_t& pixmap, xcb_render_picture_t& picture, std::uint8_t d,
                                 xcb_render_pictformat_t format) {
        pixmap = xcb_generate_id(m_c);
        xcb_create_pixmap(m_c, d, pixmap, m_window, static_cast<std::uint16_t>(m_width),
                          static_cast<std::uint16_t>(m_height));
        picture = xcb_generate_id(m_c);
        xcb_render_create_picture(m_c, picture, pixmap, format, 0, nullptr);
    };
    makeSurface(m_basePixmap, m_base, m_depth, m_windowFormat);
    makeSurface(m_contentPixmap, m_content, m_depth, m_windowFormat);
    if (m_alphaMode)
        makeSurface(m_maskPixmap, m_mask, 8, m_a8Format);
    const xcb_rectangle_t all = fullRect(m_width, m_height);
    xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_base, {0, 0, 0, 0}, 1, &all);
    xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_content, {0, 0, 0, 0}, 1, &all);
    const std::uint32_t background = m_contentPixmap;
    xcb_change_window_attributes(m_c, m_window, XCB_CW_BACK_PIXMAP, &background);
    m_valid = true;
}

X11OverlayRenderer::~X11OverlayRenderer()
{
    freeResources();
}

bool X11OverlayRenderer::findFormats(xcb_visualid_t visual)
{
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(m_c);
    if (!formats) {
        logLine("Hushglass: the X server has no RENDER extension; the overlay cannot draw");
        return false;
    }
    const xcb_render_pictvisual_t* windowFormat = xcb_render_util_find_visual_format(formats, visual);
    const xcb_render_pictforminfo_t* a8 = xcb_render_util_find_standard_format(formats, XCB_PICT_STANDARD_A_8);
    const xcb_render_pictforminfo_t* argb = xcb_render_util_find_standard_format(formats, XCB_PICT_STANDARD_ARGB_32);
    if (!windowFormat || !a8 || !argb)
        return false;
    m_windowFormat = windowFormat->format;
    m_a8Format = a8->id;
    m_imageFormat = rgbaByteOrderFormat(formats);
    m_swizzle = m_imageFormat == XCB_NONE;
    if (m_swizzle)
        m_imageFormat = argb->id;
    return true;
}

void X11OverlayRenderer::freeResources()
{
    for (Slot& slot : m_slots)
        freeSlot(slot);
    for (xcb_render_picture_t p : {m_base, m_content, m_mask})
        if (p != XCB_NONE)
            xcb_render_free_picture(m_c, p);
    for (xcb_pixmap_t p : {m_basePixmap, m_contentPixmap, m_maskPixmap})
        if (p != XCB_NONE)
            xcb_free_pixmap(m_c, p);
    m_base = m_content = m_mask = XCB_NONE;
    m_basePixmap = m_contentPixmap = m_maskPixmap = XCB_NONE;
    releaseShm();
}

bool X11OverlayRenderer::prepareSlot(Slot& slot, int width, int height)
{
    if (slot.pixmap != XCB_NONE && slot.width == width && slot.height == height)
        return true;
    freeSlot(slot);
    if (width > 32767 || height > 32767)
        return false;
    slot.pixmap = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, 32, slot.pixmap, m_window, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height));
    slot.gc = xcb_generate_id(m_c);
    xcb_create_gc(m_c, slot.gc, slot.pixmap, 0, nullptr);
    slot.picture = xcb_generate_id(m_c);
    // Edge pixels repeat outwards so the stretched picture has no dark rim.
    const std::uint32_t repeat = XCB_RENDER_REPEAT_PAD;
    xcb_render_create_picture(m_c, slot.picture, slot.pixmap, m_imageFormat, XCB_RENDER_CP_REPEAT, &repeat);
    static constexpr char kFilter[] = "bilinear";
    xcb_render_set_picture_filter(m_c, slot.picture, sizeof kFilter - 1, kFilter, 0, nullptr);
    // Window pixels map to picture pixels by a scale alone ("resize" gravity).
    xcb_render_transform_t t{};
    t.matrix11 = fixed(static_cast<double>(width) / m_width);
    t.matrix22 = fixed(static_cast<double>(height) / m_height);
    t.matrix33 = fixed(1);
    xcb_render_set_picture_transform(m_c, slot.picture, t);
    slot.width = width;
    slot.height = height;
    return true;
}

void X11OverlayRenderer::freeSlot(Slot& slot)
{
    if (slot.picture != XCB_NONE)
        xcb_render_free_picture(m_c, slot.picture);
    if (slot.gc != XCB_NONE)
        xcb_free_gc(m_c, slot.gc);
    if (slot.pixmap != XCB_NONE)
        xcb_free_pixmap(m_c, slot.pixmap);
    slot = Slot{};
}

bool X11OverlayRenderer::setPicture(const RgbaImage& image)
{
    if (!m_valid || !image.isValid())
        return false;
    const int target = m_current == 0 ? 1 : 0;
    if (!prepareSlot(m_slots[target], image.width, image.height) || !upload(m_slots[target], image))
        return false;
    m_previous = m_current;
    m_current = target;
    m_slots[target].loaded = true;
    return true;
}

void X11OverlayRenderer::dropPictures()
{
    m_current = m_previous = -1;
}

bool X11OverlayRenderer::upload(Slot& slot, const RgbaImage& image)
{
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(image.height);
    const std::uint8_t* source = image.pixels->data();
    const bool viaShm = m_shmAvailable && ensureShm(bytes);
    std::vector<std::uint8_t> staging;
    std::uint8_t* target = nullptr;
    if (viaShm) {
        if (m_uploadFence) {  // the server must have read the previous upload
            std::free(xcb_get_input_focus_reply(m_c, *m_uploadFence, nullptr));
            m_uploadFence.reset();
        }
        target = m_shmData;
    } else {
        staging.resize(bytes);
        target = staging.data();
    }
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = source + image.stride * static_cast<std::size_t>(y);
        std::uint8_t* out = target + rowBytes * static_cast<std::size_t>(y);
        if (!m_swizzle) {
            std::memcpy(out, row, rowBytes);
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            out[4 * x] = row[4 * x + 2];
            out[4 * x + 1] = row[4 * x + 1];
            out[4 * x + 2] = row[4 * x];
            out[4 * x + 3] = row[4 * x + 3];
        }
    }
    if (!viaShm) {
        putImageWithoutShm(slot, target, rowBytes);
        return true;
    }
    const auto w = static_cast<std::uint16_t>(image.width);
    const auto h = static_cast<std::uint16_t>(image.height);
    xcb_shm_put_image(m_c, slot.pixmap, slot.gc, w, h, 0, 0, w, h, 0, 0, 32, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, m_shmSeg, 0);
    m_uploadFence = xcb_get_input_focus(m_c);
    return true;
}

void X11OverlayRenderer::putImageWithoutShm(Slot& slot, const std::uint8_t* data, std::size_t stride)
{
    // Bands of rows that fit in one request (a quarter of the limit, for headroom).
    const std::size_t limit = static_cast<std::size_t>(xcb_get_maximum_request_length(m_c)) * 4 / 4;
    const int rows = std::max(1, static_cast<int>(limit / stride));
    for (int y = 0; y < slot.height; y += rows) {
        const int n = std::min(rows, slot.height - y);
        xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, slot.pixmap, slot.gc, static_cast<std::uint16_t>(slot.width),
                      static_cast<std::uint16_t>(n), 0, static_cast<std::int16_t>(y), 0, 32,
                      static_cast<std::uint32_t>(stride * static_cast<std::size_t>(n)),
                      data + stride * static_cast<std::size_t>(y));
    }
}

bool X11OverlayRenderer::ensureShm(std::size_t bytes)
{
    if (m_shmData && m_shmSize >= bytes)
        return true;
    releaseShm();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* data = shmat(id, nullptr, 0);
    if (data == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    m_shmSeg = xcb_generate_id(m_c);
    xcb_generic_error_t* error = xcb_request_check(m_c, xcb_shm_attach_checked(m_c, m_shmSeg, static_cast<std::uint32_t>(id), 0));
    shmctl(id, IPC_RMID, nullptr);  // freed once both sides detach
    if (error) {
        std::free(error);
        shmdt(data);
        m_shmSeg = XCB_NONE;
        m_shmAvailable = false;  // e.g. a server on another machine
        return false;
    }
    m_shmData = static_cast<std::uint8_t*>(data);
    m_shmSize = bytes;
    return true;
}

void X11OverlayRenderer::releaseShm()
{
    if (!m_shmData)
        return;
    if (m_uploadFence) {
        std::free(xcb_get_input_focus_reply(m_c, *m_uploadFence, nullptr));
        m_uploadFence.reset();
    }
    xcb_shm_detach(m_c, m_shmSeg);
    shmdt(m_shmData);
    m_shmData = nullptr;
    m_shmSize = 0;
    m_shmSeg = XCB_NONE;
}

void X11OverlayRenderer::draw(const OverlayFrame& frame, Changes changes)
{
    if (!m_valid)
        return;
    if (changes.base)
        drawBase(frame);
    if (m_alphaMode) {
        if (changes.mask)
            drawMask(frame);
        if (changes.any()) {
            drawContent(frame);
            xcb_clear_area(m_c, 0, m_window, 0, 0, 0, 0);
        }
        return;
    }
    if (changes.base || changes.rings)
        drawContent(frame);
    // The shape goes last: newly uncovered parts are painted from the finished content.
    if (changes.mask || changes.base || changes.alpha)
        applyShape(frame);
    if (changes.base || changes.rings)
        xcb_clear_area(m_c, 0, m_window, 0, 0, 0, 0);
}

void X11OverlayRenderer::compositeScaled(const Slot& slot, std::uint8_t op, double weight)
{
    xcb_render_picture_t mask = XCB_NONE;
    if (weight < 1) {
        mask = xcb_generate_id(m_c);
        xcb_render_create_solid_fill(m_c, mask, renderColor({0, 0, 0, 1}, weight));
    }
    xcb_render_composite(m_c, op, slot.picture, mask, m_base, 0, 0, 0, 0, 0, 0, static_cast<std::uint16_t>(m_width),
                         static_cast<std::uint16_t>(m_height));
    if (mask != XCB_NONE)
        xcb_render_free_picture(m_c, mask);
}

void X11OverlayRenderer::drawBase(const OverlayFrame& frame)
{
    const xcb_rectangle_t all = fullRect(m_width, m_height);
    if (frame.material) {
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_base, renderColor(*frame.material), 1, &all);
    } else if (frame.hasPicture && m_current >= 0) {
        const bool fading = frame.crossFade < 1 && m_previous >= 0;
        if (fading)
            compositeScaled(m_slots[static_cast<std::size_t>(m_previous)], XCB_RENDER_PICT_OP_SRC, 1);
        compositeScaled(m_slots[static_cast<std::size_t>(m_current)],
                        fading ? XCB_RENDER_PICT_OP_OVER : XCB_RENDER_PICT_OP_SRC, fading ? frame.crossFade : 1);
    } else {
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_base, {0, 0, 0, 0}, 1, &all);
    }
    if (frame.tintOpacity > 0)
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_OVER, m_base, renderColor(frame.tint, frame.tintOpacity), 1, &all);
}

void X11OverlayRenderer::drawContent(const OverlayFrame& frame)
{
    const auto w = static_cast<std::uint16_t>(m_width);
    const auto h = static_cast<std::uint16_t>(m_height);
    xcb_render_composite(m_c, XCB_RENDER_PICT_OP_SRC, m_base, XCB_NONE, m_content, 0, 0, 0, 0, 0, 0, w, h);
    for (const OverlayFrame::Ring& ring : frame.rings)
        fillTrapezoids(ring.outline, ring.color, m_content, XCB_RENDER_PICT_OP_OVER);
    if (!m_alphaMode)
        return;
    // Content shows only inside the mask, and only as much as the window's alpha.
    xcb_render_composite(m_c, XCB_RENDER_PICT_OP_IN_REVERSE, m_mask, XCB_NONE, m_content, 0, 0, 0, 0, 0, 0, w, h);
    if (frame.alpha < 1) {
        const xcb_rectangle_t all = fullRect(m_width, m_height);
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_IN_REVERSE, m_content, renderColor({0, 0, 0, 1}, frame.alpha), 1, &all);
    }
}

void X11OverlayRenderer::drawMask(const OverlayFrame& frame)
{
    const xcb_rectangle_t all = fullRect(m_width, m_height);
    xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_mask, {0, 0, 0, 0}, 1, &all);
    fillTrapezoids(simplified(frame.mask, FillRule::evenOdd), {1, 1, 1, 1}, m_mask, XCB_RENDER_PICT_OP_ADD);
}

void X11OverlayRenderer::applyShape(const OverlayFrame& frame)
{
    std::vector<xcb_rectangle_t> rects;
    const bool showsSomething = (frame.hasPicture || frame.material) && frame.alpha > 0;
    if (showsSomething) {
        for (const PixelRect& r : evenOddRectangles(frame.mask, m_width, m_height))
            rects.push_back({static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
                             static_cast<std::uint16_t>(r.width), static_cast<std::uint16_t>(r.height)});
    }
    xcb_shape_rectangles(m_c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_YX_BANDED, m_window, 0, 0,
                         static_cast<std::uint32_t>(rects.size()), rects.data());
}

void X11OverlayRenderer::fillTrapezoids(const Polygons& polygons, Color color, xcb_render_picture_t dst, std::uint8_t op)
{
    const std::vector<Trapezoid> traps = evenOddTrapezoids(polygons);
    if (traps.empty())
        return;
    std::vector<xcb_render_trapezoid_t> out;
    out.reserve(traps.size());
    const auto point = [](Point p) { return xcb_render_pointfix_t{fixed(p.x), fixed(p.y)}; };
    for (const Trapezoid& t : traps)
        out.push_back({fixed(t.top), fixed(t.bottom), {point(t.left1), point(t.left2)}, {point(t.right1), point(t.right2)}});
    const xcb_render_picture_t source = xcb_generate_id(m_c);
    xcb_render_create_solid_fill(m_c, source, renderColor(color));
    xcb_render_trapezoids(m_c, op, source, dst, m_a8Format, 0, 0, static_cast<std::uint32_t>(out.size()), out.data());
    xcb_render_free_picture(m_c, source);
}

} // namespace hg
