#include "platform/overlay/x11_overlay_renderer.h"

#include <algorithm>
#include <cmath>

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
    const auto channel = [a](double v) {
        return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0, 1.0) * a * 65535));
    };
    return {channel(c.red), channel(c.green), channel(c.blue), static_cast<std::uint16_t>(std::lround(a * 65535))};
}

// `r` grown to whole pixels (plus one for antialiasing) and clipped to the window.
std::optional<xcb_rectangle_t> pixelRegion(const Rect& r, int width, int height)
{
    if (r.isNull())
        return std::nullopt;
    const Rect clipped = r.insetBy(-1, -1).integral().intersected({0, 0, static_cast<double>(width), static_cast<double>(height)});
    if (clipped.isEmpty())
        return std::nullopt;
    return xcb_rectangle_t{static_cast<std::int16_t>(clipped.minX()), static_cast<std::int16_t>(clipped.minY()),
                           static_cast<std::uint16_t>(clipped.width()), static_cast<std::uint16_t>(clipped.height())};
}

// The usual mask is the window less its holes: a rectangle over the whole
// window among the polygons (even-odd), the index of the first such one.
std::optional<std::size_t> wholeWindowPolygon(const Polygons& mask, int width, int height)
{
    const Rect all{0, 0, static_cast<double>(width), static_cast<double>(height)};
    for (std::size_t index = 0; index < mask.size(); ++index) {
        const Polygon& p = mask[index];
        if (p.size() != 4)
            continue;
        bool rectangle = true;
        Rect box = Rect::null();
        for (std::size_t i = 0; i < 4; ++i) {
            const Point& a = p[i];
            const Point& b = p[(i + 1) % 4];
            rectangle = rectangle && (a.x != b.x) != (a.y != b.y);  // edges along the axes only
            box = box.united({a.x, a.y, 0, 0});
        }
        if (rectangle && box.contains(all))
            return index;
    }
    return std::nullopt;
}

// Without a compositing manager a window is either shown or not; it shows
// once its alpha reaches one half (half-way through a fade-in).
constexpr double kShapedVisibleAlpha = 0.5;

} // namespace

X11OverlayRenderer::X11OverlayRenderer(xcb_connection_t* connection, xcb_window_t window, xcb_visualid_t visual,
                                       std::uint8_t depth, int width, int height, bool alphaMode)
    : m_c(connection), m_window(window), m_width(width), m_height(height), m_depth(depth), m_alphaMode(alphaMode)
{
    const xcb_render_query_pict_formats_reply_t* formats = xcb_render_util_query_formats(m_c);
    const xcb_render_pictvisual_t* windowFormat = formats ? xcb_render_util_find_visual_format(formats, visual) : nullptr;
    const xcb_render_pictforminfo_t* a8 = formats ? xcb_render_util_find_standard_format(formats, XCB_PICT_STANDARD_A_8) : nullptr;
    const xcb_render_pictforminfo_t* argb = formats ? xcb_render_util_find_standard_format(formats, XCB_PICT_STANDARD_ARGB_32) : nullptr;
    if (!windowFormat || !a8 || !argb) {
        logLine("Hushglass: the X server lacks the RENDER formats the overlay draws with");
        return;
    }
    m_windowFormat = windowFormat->format;
    m_a8Format = a8->id;
    m_pictures = std::make_unique<X11PictureSlots>(m_c, m_window, argb->id, m_width, m_height);

    const auto w = static_cast<std::uint16_t>(m_width);
    const auto h = static_cast<std::uint16_t>(m_height);
    m_contentPixmap = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, m_depth, m_contentPixmap, m_window, w, h);
    m_content = xcb_generate_id(m_c);
    xcb_render_create_picture(m_c, m_content, m_contentPixmap, m_windowFormat, 0, nullptr);
    const xcb_rectangle_t all{0, 0, w, h};
    xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_content, {0, 0, 0, 0}, 1, &all);
    if (m_alphaMode) {
        m_maskPixmap = xcb_generate_id(m_c);
        xcb_create_pixmap(m_c, 8, m_maskPixmap, m_window, w, h);
        m_mask = xcb_generate_id(m_c);
        xcb_render_create_picture(m_c, m_mask, m_maskPixmap, m_a8Format, 0, nullptr);
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_mask, {0, 0, 0, 0}, 1, &all);
    }
    m_partlyMasked = {0, 0, static_cast<double>(m_width), static_cast<double>(m_height)};  // all transparent
    const std::uint32_t background = m_contentPixmap;
    xcb_change_window_attributes(m_c, m_window, XCB_CW_BACK_PIXMAP, &background);
    m_valid = true;
}

X11OverlayRenderer::~X11OverlayRenderer()
{
    m_pictures.reset();
    for (xcb_render_picture_t p : {m_content, m_mask})
        if (p != XCB_NONE)
            xcb_render_free_picture(m_c, p);
    for (xcb_pixmap_t p : {m_contentPixmap, m_maskPixmap})
        if (p != XCB_NONE)
            xcb_free_pixmap(m_c, p);
}

bool X11OverlayRenderer::setPicture(const RgbaImage& image)
{
    return m_valid && m_pictures->push(image);
}

void X11OverlayRenderer::dropPictures()
{
    if (m_valid)
        m_pictures->drop();
}

Rect X11OverlayRenderer::ringBounds(const OverlayFrame& frame) const
{
    Rect box = Rect::null();
    for (const OverlayFrame::Ring& ring : frame.rings)
        for (const Polygon& polygon : ring.outline)
            for (const Point& p : polygon)
                box = box.united({p.x, p.y, 0, 0});
    return box;
}

void X11OverlayRenderer::draw(const OverlayFrame& frame, Changes changes)
{
    if (!m_valid)
        return;
    const Rect all{0, 0, static_cast<double>(m_width), static_cast<double>(m_height)};
    Rect region = Rect::null();
    if (changes.rings) {
        const Rect rings = ringBounds(frame);
        region = m_lastRings.united(rings);
        m_lastRings = rings;
    }
    if (m_alphaMode && changes.mask) {
        region = region.united(changedBounds(m_lastMask, frame.mask));
        drawMask(frame);
    }
    if (changes.base || (m_alphaMode && changes.alpha))
        region = all;
    if (!region.isNull()) {
        if (frame.hasPicture && !frame.material)
            m_pictures->setTint(frame.tint, frame.tintOpacity);  // goes on with the upload
        redraw(frame, region);
    }
    if (!m_alphaMode && (changes.mask || changes.base || changes.alpha))
        applyShape(frame);  // after the content, so that what it uncovers is already drawn
    if (std::optional<xcb_rectangle_t> r = pixelRegion(region, m_width, m_height))
        xcb_clear_area(m_c, 0, m_window, r->x, r->y, r->width, r->height);
    if (m_alphaMode)
        m_unsettled = m_unsettled.united(region);
    m_pictures->markRead();
}

bool X11OverlayRenderer::repaintSinceLastSettle()
{
    const std::optional<xcb_rectangle_t> r = m_valid ? pixelRegion(m_unsettled, m_width, m_height) : std::nullopt;
    m_unsettled = Rect::null();
    if (!r)
        return false;
    xcb_clear_area(m_c, 0, m_window, r->x, r->y, r->width, r->height);
    return true;
}

void X11OverlayRenderer::composite(std::uint8_t op, xcb_render_picture_t src, xcb_render_picture_t mask,
                                   xcb_render_picture_t dst, const xcb_rectangle_t& r)
{
    // Pictures are transformed from window coordinates, so source and
    // destination share their origin.
    xcb_render_composite(m_c, op, src, mask, dst, r.x, r.y, r.x, r.y, r.x, r.y, r.width, r.height);
}

void X11OverlayRenderer::redraw(const OverlayFrame& frame, const Rect& region)
{
    const std::optional<xcb_rectangle_t> area = pixelRegion(region, m_width, m_height);
    if (!area)
        return;
    const xcb_rectangle_t r = *area;
    const xcb_render_picture_t current = m_pictures->current();
    const xcb_render_picture_t previous = m_pictures->previous();
    bool tinted = false;
    if (frame.material) {
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_content, renderColor(*frame.material), 1, &r);
    } else if (frame.hasPicture && current != XCB_NONE) {
        tinted = true;  // the pictures carry the tint
        const bool fading = frame.crossFade < 1 && previous != XCB_NONE;
        if (fading) {
            composite(XCB_RENDER_PICT_OP_SRC, previous, XCB_NONE, m_content, r);
            const xcb_render_picture_t weight = xcb_generate_id(m_c);
            xcb_render_create_solid_fill(m_c, weight, renderColor({0, 0, 0, 1}, frame.crossFade));
            composite(XCB_RENDER_PICT_OP_OVER, current, weight, m_content, r);
            xcb_render_free_picture(m_c, weight);
        } else {
            composite(XCB_RENDER_PICT_OP_SRC, current, XCB_NONE, m_content, r);
        }
    } else {
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_content, {0, 0, 0, 0}, 1, &r);
    }
    if (frame.tintOpacity > 0 && !tinted)
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_OVER, m_content, renderColor(frame.tint, frame.tintOpacity), 1, &r);
    if (!frame.rings.empty()) {
        xcb_render_set_picture_clip_rectangles(m_c, m_content, 0, 0, 1, &r);
        for (const OverlayFrame::Ring& ring : frame.rings)
            fillTrapezoids(ring.outline, ring.color, m_content, XCB_RENDER_PICT_OP_OVER);
        const std::uint32_t none = XCB_NONE;
        xcb_render_change_picture(m_c, m_content, XCB_RENDER_CP_CLIP_MASK, &none);
    }
    if (!m_alphaMode)
        return;
    // Content shows only inside the mask, and only as much as the window's
    // alpha. The mask leaves alone what it fully covers.
    if (const std::optional<xcb_rectangle_t> partial =
            pixelRegion(m_partlyMasked.intersected(region), m_width, m_height))
        composite(XCB_RENDER_PICT_OP_IN_REVERSE, m_mask, XCB_NONE, m_content, *partial);
    if (frame.alpha < 1)
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_IN_REVERSE, m_content, renderColor({0, 0, 0, 1}, frame.alpha), 1, &r);
}

void X11OverlayRenderer::drawMask(const OverlayFrame& frame)
{
    m_lastMask = frame.mask;
    const Rect all{0, 0, static_cast<double>(m_width), static_cast<double>(m_height)};
    if (const std::optional<std::size_t> whole = wholeWindowPolygon(frame.mask, m_width, m_height)) {
        // The window less its holes. The mask is read only where it may be
        // less than whole (m_partlyMasked), so only that area is drawn: the
        // area less the holes.
        Polygons cut;
        Rect partial = Rect::null();
        for (std::size_t i = 0; i < frame.mask.size(); ++i)
            if (i != *whole) {
                cut.push_back(frame.mask[i]);
                for (const Point& p : frame.mask[i])
                    partial = partial.united({p.x, p.y, 0, 0});
            }
        m_partlyMasked = partial.intersected(all);
        if (const std::optional<xcb_rectangle_t> r = pixelRegion(m_partlyMasked, m_width, m_height)) {
            xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_mask, {0, 0, 0, 0}, 1, &*r);
            const double x0 = r->x, y0 = r->y, x1 = r->x + r->width, y1 = r->y + r->height;
            cut.push_back({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
            fillTrapezoids(simplified(cut, FillRule::evenOdd), {1, 1, 1, 1}, m_mask, XCB_RENDER_PICT_OP_ADD);
        }
        return;
    }
    const xcb_rectangle_t r{0, 0, static_cast<std::uint16_t>(m_width), static_cast<std::uint16_t>(m_height)};
    xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_mask, {0, 0, 0, 0}, 1, &r);
    fillTrapezoids(simplified(frame.mask, FillRule::evenOdd), {1, 1, 1, 1}, m_mask, XCB_RENDER_PICT_OP_ADD);
    m_partlyMasked = all;
}

void X11OverlayRenderer::applyShape(const OverlayFrame& frame)
{
    std::vector<xcb_rectangle_t> rects;
    // A shaped window cannot be translucent: it shows from half opacity up.
    if ((frame.hasPicture || frame.material) && frame.alpha >= kShapedVisibleAlpha) {
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
