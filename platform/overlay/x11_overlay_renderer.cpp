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

xcb_rectangle_t rectangle(int x0, int y0, int x1, int y1)
{
    return {static_cast<std::int16_t>(x0), static_cast<std::int16_t>(y0), static_cast<std::uint16_t>(x1 - x0),
            static_cast<std::uint16_t>(y1 - y0)};
}

std::optional<xcb_rectangle_t> intersection(const xcb_rectangle_t& a, const xcb_rectangle_t& b)
{
    const int x0 = std::max<int>(a.x, b.x), y0 = std::max<int>(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
    if (x0 >= x1 || y0 >= y1)
        return std::nullopt;
    return rectangle(x0, y0, x1, y1);
}

// Rectangles that cover the same pixels as `rects` and do not overlap: each
// overlapping pair is replaced by the box around both.
std::vector<xcb_rectangle_t> mergedOverlapping(std::vector<xcb_rectangle_t> rects)
{
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < rects.size() && !merged; ++i)
            for (std::size_t j = i + 1; j < rects.size() && !merged; ++j) {
                if (!intersection(rects[i], rects[j]))
                    continue;
                rects[i] = rectangle(std::min(rects[i].x, rects[j].x), std::min(rects[i].y, rects[j].y),
                                     std::max(rects[i].x + rects[i].width, rects[j].x + rects[j].width),
                                     std::max(rects[i].y + rects[i].height, rects[j].y + rects[j].height));
                rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
            }
    }
    return rects;
}

// Sorts the pixels of `area` by the even-odd region of `polygons`: those a
// boundary crosses go to `crossed`, those wholly inside to `inside` (those
// wholly outside go nowhere), as rectangles, rows of equal runs merged.
void classifyPixels(const Polygons& polygons, const xcb_rectangle_t& area, std::vector<xcb_rectangle_t>& inside,
                    std::vector<xcb_rectangle_t>& crossed)
{
    struct Segment {
        Point a, b;  // a.y <= b.y
        [[nodiscard]] double xAt(double y) const { return a.y == b.y ? a.x : a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y); }
    };
    std::vector<Segment> segments;
    for (const Polygon& p : polygons)
        for (std::size_t i = 0; i < p.size(); ++i) {
            Point a = p[i], b = p[(i + 1) % p.size()];
            if (a.y > b.y)
                std::swap(a, b);
            segments.push_back({a, b});
        }
    std::sort(segments.begin(), segments.end(), [](const Segment& l, const Segment& r) { return l.a.y < r.a.y; });

    struct Run {
        int x0, x1;
        bool crossed;
        bool operator==(const Run&) const = default;
    };
    const int left = area.x, right = area.x + area.width, bottom = area.y + area.height;
    std::vector<Run> row, band;
    int bandStart = area.y;
    const auto emit = [&](int y1) {
        for (const Run& run : band)
            (run.crossed ? crossed : inside).push_back(rectangle(run.x0, bandStart, run.x1, y1));
    };
    std::vector<const Segment*> active;
    std::vector<std::pair<int, int>> touched;  // pixel columns a boundary crosses, [first, last)
    std::vector<double> crossings;             // where the boundary crosses the row's centre line
    std::size_t next = 0;
    for (int y = area.y; y < bottom; ++y) {
        while (next < segments.size() && segments[next].a.y < y + 1)
            active.push_back(&segments[next++]);
        std::erase_if(active, [y](const Segment* s) { return s->b.y <= y; });
        touched.clear();
        crossings.clear();
        const double centre = y + 0.5;
        for (const Segment* s : active) {
            double x0, x1;
            if (s->a.y == s->b.y) {
                if (s->a.y <= y || s->a.y >= y + 1)
                    continue;  // along the row's border: crosses no pixel
                x0 = s->a.x;
                x1 = s->b.x;
            } else {
                if (s->a.y >= y + 1)
                    continue;
                x0 = s->xAt(std::max<double>(y, s->a.y));
                x1 = s->xAt(std::min<double>(y + 1, s->b.y));
                if (s->a.y <= centre && centre < s->b.y)
                    crossings.push_back(s->xAt(centre));
            }
            // An empty range (a vertical boundary between two columns) still
            // separates the runs on either side.
            touched.emplace_back(static_cast<int>(std::floor(std::min(x0, x1))), static_cast<int>(std::ceil(std::max(x0, x1))));
        }
        std::sort(touched.begin(), touched.end());
        std::sort(crossings.begin(), crossings.end());
        const auto insideAt = [&](int x) {
            return (std::upper_bound(crossings.begin(), crossings.end(), x + 0.5) - crossings.begin()) % 2 == 1;
        };
        row.clear();
        const auto add = [&](int x0, int x1, bool isCrossed) {
            x0 = std::max(x0, left);
            x1 = std::min(x1, right);
            if (x0 >= x1)
                return;
            if (!row.empty() && row.back().x1 == x0 && row.back().crossed == isCrossed)
                row.back().x1 = x1;
            else
                row.push_back({x0, x1, isCrossed});
        };
        int x = left;
        for (const auto& [first, last] : touched) {
            if (first > x && insideAt(x))
                add(x, std::min(first, right), false);
            add(std::max(first, x), last, true);
            x = std::max({x, first, last});
            if (x >= right)
                break;
        }
        if (x < right && insideAt(x))
            add(x, right, false);
        if (y == area.y || row != band) {
            if (y > area.y)
                emit(y);
            band.swap(row);
            bandStart = y;
        }
    }
    if (area.height > 0)
        emit(bottom);
}

// `area` less `holes` (rectangles that do not overlap), as rectangles.
void subtract(const xcb_rectangle_t& area, const std::vector<xcb_rectangle_t>& holes, std::vector<xcb_rectangle_t>& out)
{
    const int top = area.y, bottom = area.y + area.height, left = area.x, right = area.x + area.width;
    std::vector<int> ys{top, bottom};
    for (const xcb_rectangle_t& h : holes)
        for (int y : {static_cast<int>(h.y), h.y + h.height})
            if (y > top && y < bottom)
                ys.push_back(y);
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<std::pair<int, int>> spans;
    for (std::size_t band = 0; band + 1 < ys.size(); ++band) {
        const int y0 = ys[band], y1 = ys[band + 1];
        spans.clear();
        for (const xcb_rectangle_t& h : holes)
            if (h.y <= y0 && h.y + h.height >= y1 && h.x < right && h.x + h.width > left)
                spans.emplace_back(std::max<int>(h.x, left), std::min(h.x + h.width, right));
        std::sort(spans.begin(), spans.end());
        int x = left;
        for (const auto& [x0, x1] : spans) {
            if (x0 > x)
                out.push_back(rectangle(x, y0, x0, y1));
            x = std::max(x, x1);
        }
        if (x < right)
            out.push_back(rectangle(x, y0, right, y1));
    }
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
    m_picturesFitWindow = m_alphaMode && m_windowFormat == argb->id;

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
    m_partlyMasked = m_maskEdges = {all};  // all transparent
    m_background = m_contentPixmap;
    xcb_change_window_attributes(m_c, m_window, XCB_CW_BACK_PIXMAP, &m_background);
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
    Rect moved = Rect::null();  // where the halo or the mask changed
    if (changes.rings) {
        const Rect rings = ringBounds(frame);
        moved = m_lastRings.united(rings);
        m_lastRings = rings;
    }
    if (m_alphaMode && changes.mask) {
        moved = moved.united(changedBounds(m_lastMask, frame.mask));
        drawMask(frame);
    }
    Rect region = moved;  // what the window shows anew
    if (changes.base || (m_alphaMode && changes.alpha))
        region = all;
    const bool picture = frame.hasPicture && !frame.material && m_pictures->current() != XCB_NONE;
    if (picture && !region.isNull())
        m_pictures->setTint(frame.tint, frame.tintOpacity);  // goes on with the upload
    // A picture of the window's size carries the holes and the halo itself,
    // and is the window's background while it shows alone at full opacity:
    // the server then copies each new picture once, into the window.
    const xcb_pixmap_t ownSize =
        m_picturesFitWindow && picture ? m_pictures->currentPixmapOfWindowSize() : XCB_NONE;
    if (m_pictures->hasStale()) {
        // The server draws the mask while the pixels are converted; those
        // inside the holes are cleared on the picture instead.
        xcb_flush(m_c);
        std::vector<xcb_rectangle_t> needed;
        if (ownSize != XCB_NONE && !m_holeInsides.empty())
            subtract(rectangle(0, 0, m_width, m_height), m_holeInsides, needed);
        m_pictures->upload(needed);
    }
    if (ownSize != XCB_NONE)
        drawOnPicture(frame, moved);
    const bool fading = frame.crossFade < 1 && m_pictures->previous() != XCB_NONE;
    const xcb_pixmap_t background = ownSize != XCB_NONE && !fading && frame.alpha >= 1 ? ownSize : m_contentPixmap;
    if (background != m_background) {
        m_background = background;
        xcb_change_window_attributes(m_c, m_window, XCB_CW_BACK_PIXMAP, &m_background);
        region = all;
    }
    if (background == m_contentPixmap && !region.isNull())
        redraw(frame, region, ownSize != XCB_NONE);
    if (!m_alphaMode && (changes.mask || changes.base || changes.alpha))
        applyShape(frame);  // after the content, so that what it uncovers is already drawn
    if (std::optional<xcb_rectangle_t> r = pixelRegion(region, m_width, m_height))
        xcb_clear_area(m_c, 0, m_window, r->x, r->y, r->width, r->height);
    if (m_alphaMode)
        m_unsettled = m_unsettled.united(region);
    m_pictures->markRead();
}

void X11OverlayRenderer::drawOnPicture(const OverlayFrame& frame, const Rect& moved)
{
    std::optional<xcb_rectangle_t> area;
    if (m_pictures->currentAsUploaded()) {
        area = xcb_rectangle_t{0, 0, static_cast<std::uint16_t>(m_width), static_cast<std::uint16_t>(m_height)};
    } else {
        // Where the halo or the holes moved, the picture comes back first,
        // but for what the holes clear again.
        area = pixelRegion(moved, m_width, m_height);
        if (!area)
            return;
        std::vector<xcb_rectangle_t> cleared, restored;
        for (const xcb_rectangle_t& hole : m_holeInsides)
            if (const std::optional<xcb_rectangle_t> r = intersection(hole, *area))
                cleared.push_back(*r);
        subtract(*area, cleared, restored);
        for (const xcb_rectangle_t& r : restored)
            m_pictures->restoreCurrent(r);
    }
    m_pictures->setCurrentDrawnOn();
    drawRings(frame, m_pictures->current(), *area);
    applyMask(m_pictures->current(), *area);
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

void X11OverlayRenderer::redraw(const OverlayFrame& frame, const Rect& region, bool pictureDrawnOn)
{
    const std::optional<xcb_rectangle_t> area = pixelRegion(region, m_width, m_height);
    if (!area)
        return;
    const xcb_rectangle_t r = *area;
    const xcb_render_picture_t current = m_pictures->current();
    const xcb_render_picture_t previous = m_pictures->previous();
    bool tinted = false;
    bool fading = false;
    if (frame.material) {
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_content, renderColor(*frame.material), 1, &r);
    } else if (frame.hasPicture && current != XCB_NONE) {
        tinted = true;  // the pictures carry the tint
        composite(XCB_RENDER_PICT_OP_SRC, current, XCB_NONE, m_content, r);
        fading = frame.crossFade < 1 && previous != XCB_NONE;
        if (fading) {
            // The previous picture over the current one, fading out. Where
            // it has a hole of its own (a picture drawn on), the current one
            // shows through, so no old hole opens.
            const xcb_render_picture_t weight = xcb_generate_id(m_c);
            xcb_render_create_solid_fill(m_c, weight, renderColor({0, 0, 0, 1}, 1 - frame.crossFade));
            composite(XCB_RENDER_PICT_OP_OVER, previous, weight, m_content, r);
            xcb_render_free_picture(m_c, weight);
        }
    } else {
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_content, {0, 0, 0, 0}, 1, &r);
    }
    if (frame.tintOpacity > 0 && !tinted)
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_OVER, m_content, renderColor(frame.tint, frame.tintOpacity), 1, &r);
    if (!pictureDrawnOn)
        drawRings(frame, m_content, r);
    if (!m_alphaMode)
        return;
    // Content shows only inside the mask, and only as much as the window's
    // alpha. A picture drawn on is masked already, but not the previous one
    // fading out over it.
    if (!pictureDrawnOn || fading)
        applyMask(m_content, r);
    if (frame.alpha < 1)
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_IN_REVERSE, m_content, renderColor({0, 0, 0, 1}, frame.alpha), 1, &r);
}

void X11OverlayRenderer::drawRings(const OverlayFrame& frame, xcb_render_picture_t dst, const xcb_rectangle_t& area)
{
    if (frame.rings.empty())
        return;
    xcb_render_set_picture_clip_rectangles(m_c, dst, 0, 0, 1, &area);
    for (const OverlayFrame::Ring& ring : frame.rings)
        fillTrapezoids(ring.outline, ring.color, dst, XCB_RENDER_PICT_OP_OVER);
    const std::uint32_t none = XCB_NONE;
    xcb_render_change_picture(m_c, dst, XCB_RENDER_CP_CLIP_MASK, &none);
}

void X11OverlayRenderer::applyMask(xcb_render_picture_t dst, const xcb_rectangle_t& area)
{
    // The mask leaves alone what it fully covers, and what it leaves out
    // entirely (most of each hole) is cleared; the rest goes through it.
    std::vector<xcb_rectangle_t> cleared;
    for (const xcb_rectangle_t& hole : m_holeInsides)
        if (const std::optional<xcb_rectangle_t> r = intersection(hole, area))
            cleared.push_back(*r);
    if (!cleared.empty())
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, dst, {0, 0, 0, 0},
                                   static_cast<std::uint32_t>(cleared.size()), cleared.data());
    if (m_maskEdges.empty())
        return;
    xcb_render_set_picture_clip_rectangles(m_c, dst, 0, 0, static_cast<std::uint32_t>(m_maskEdges.size()),
                                           m_maskEdges.data());
    for (const xcb_rectangle_t& partial : m_partlyMasked)
        if (const std::optional<xcb_rectangle_t> r = intersection(partial, area))
            composite(XCB_RENDER_PICT_OP_IN_REVERSE, m_mask, XCB_NONE, dst, *r);
    const std::uint32_t none = XCB_NONE;
    xcb_render_change_picture(m_c, dst, XCB_RENDER_CP_CLIP_MASK, &none);
}

void X11OverlayRenderer::drawMask(const OverlayFrame& frame)
{
    m_lastMask = frame.mask;
    const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(m_width), static_cast<std::uint16_t>(m_height)};
    if (const std::optional<std::size_t> whole = wholeWindowPolygon(frame.mask, m_width, m_height)) {
        // The window less its holes. The mask is read only where it may be
        // less than whole (m_partlyMasked): around each hole, so only there
        // is it drawn, as those areas less the holes.
        Polygons cut;
        std::vector<xcb_rectangle_t> areas;
        for (std::size_t i = 0; i < frame.mask.size(); ++i) {
            if (i == *whole)
                continue;
            cut.push_back(frame.mask[i]);
            Rect bounds = Rect::null();
            for (const Point& p : frame.mask[i])
                bounds = bounds.united({p.x, p.y, 0, 0});
            if (const std::optional<xcb_rectangle_t> r = pixelRegion(bounds, m_width, m_height))
                areas.push_back(*r);
        }
        m_partlyMasked = mergedOverlapping(std::move(areas));
        m_holeInsides.clear();
        m_maskEdges.clear();
        if (m_partlyMasked.empty())
            return;
        for (const xcb_rectangle_t& r : m_partlyMasked)
            classifyPixels(cut, r, m_holeInsides, m_maskEdges);
        xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_mask, {0, 0, 0, 0},
                                   static_cast<std::uint32_t>(m_partlyMasked.size()), m_partlyMasked.data());
        for (const xcb_rectangle_t& r : m_partlyMasked) {
            const double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;
            cut.push_back({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
        }
        fillTrapezoids(simplified(cut, FillRule::evenOdd), {1, 1, 1, 1}, m_mask, XCB_RENDER_PICT_OP_ADD);
        return;
    }
    xcb_render_fill_rectangles(m_c, XCB_RENDER_PICT_OP_SRC, m_mask, {0, 0, 0, 0}, 1, &all);
    fillTrapezoids(simplified(frame.mask, FillRule::evenOdd), {1, 1, 1, 1}, m_mask, XCB_RENDER_PICT_OP_ADD);
    m_partlyMasked = {all};
    m_holeInsides.clear();
    m_maskEdges = {all};
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
