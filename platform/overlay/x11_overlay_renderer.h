// Draws an overlay window's content on the X server with XRender: the picture
// stretched to the window (or a material colour), the tint, the halo rings,
// and the mask.
//
// Two ways to cut the holes:
//  - shaped: a window of the root's depth whose SHAPE bounding region is the
//    mask (whole pixels), for desktops without a compositing manager;
//  - alpha: a 32-bit ARGB window whose pixels carry the mask as antialiased
//    alpha, for desktops with a compositing manager.
// The content is drawn into the window's background pixmap, so the server
// repaints exposed parts by itself and a new shape uncovers the right pixels.
// In alpha mode a picture of the window's own size is that background while
// it shows alone at full opacity: the holes and the halo are drawn on the
// uploaded picture itself (where they move, the picture is put back first),
// so a new picture costs the server one copy, into the window. Inside the
// holes the pixels are cleared, and only those that a hole's edge crosses go
// through the antialiased mask. A cross-fade, a window fading, a stretched
// picture or a material go through a content pixmap instead.
// Only what changed is redrawn: the rings' old and new places, the area where
// an antialiased mask changed, everything for a new picture or tint.
//
// Owned by an X11OverlaySurface; main thread only. Every call only queues
// requests: the owner flushes the connection once per batch.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <xcb/render.h>
#include <xcb/xcb.h>

#include "base/color.h"
#include "base/geometry.h"
#include "engine/overlay/path.h"
#include "engine/overlay/rgba_image.h"
#include "platform/overlay/x11_picture_slots.h"

namespace hg {

// What to show in one frame, in window pixels (y down).
struct OverlayFrame {
    bool hasPicture = false;            // capture mode: a picture is up
    double crossFade = 1;               // weight of the current picture against the previous one
    std::optional<Color> material;      // vibrancy mode: the material's colour
    Color tint{0, 0, 0, 0};
    double tintOpacity = 0;
    struct Ring {
        Polygons outline;               // the stroke's outline, simple polygons
        Color color;                    // alpha = opacity
    };
    std::vector<Ring> rings;
    Polygons mask;                      // content shows inside, even-odd
    double alpha = 1;                   // the window's opacity
};

class X11OverlayRenderer {
public:
    // What changed since the last draw.
    struct Changes {
        bool base = false;   // picture, cross-fade, material or tint
        bool rings = false;
        bool mask = false;   // mask, or whether there is anything to show
        bool alpha = false;  // the window's opacity
        [[nodiscard]] bool any() const { return base || rings || mask || alpha; }
    };

    X11OverlayRenderer(xcb_connection_t* connection, xcb_window_t window, xcb_visualid_t visual, std::uint8_t depth,
                       int width, int height, bool alphaMode);
    ~X11OverlayRenderer();
    X11OverlayRenderer(const X11OverlayRenderer&) = delete;
    X11OverlayRenderer& operator=(const X11OverlayRenderer&) = delete;

    // False when the server lacks what drawing needs (XRender formats).
    [[nodiscard]] bool isValid() const { return m_valid; }

    // Takes a picture, whose pixels go up with the next draw; the one before
    // stays for a cross-fade. False when the image cannot go up.
    bool setPicture(const RgbaImage& image);
    void dropPictures();
    void draw(const OverlayFrame& frame, Changes changes);
    // Alpha mode: shows once more everything drawn since the last call. A
    // compositing manager copies a window's pixels when told of damage and
    // clears the damage when it paints; drawing that falls between the two,
    // inside an area already reported, is never copied (seen under Mutter
    // with software rendering: a hole's old place stayed on screen). Called
    // once the drawing has paused, the repeat reaches a cleared damage state
    // and is copied. False when there was nothing to show again.
    bool repaintSinceLastSettle();

private:
    bool findFormats(xcb_visualid_t visual);
    // The content pixmap in `region`; `pictureDrawnOn`: the current picture
    // carries holes and halo already.
    void redraw(const OverlayFrame& frame, const Rect& region, bool pictureDrawnOn);
    // The current picture (of the window's size) gets the halo and holes
    // where they moved, or everywhere after its upload.
    void drawOnPicture(const OverlayFrame& frame, const Rect& moved);
    void drawRings(const OverlayFrame& frame, xcb_render_picture_t dst, const xcb_rectangle_t& area);
    // Alpha mode: `dst` IN the mask, in `area`.
    void applyMask(xcb_render_picture_t dst, const xcb_rectangle_t& area);
    void drawMask(const OverlayFrame& frame);
    void applyShape(const OverlayFrame& frame);
    void composite(std::uint8_t op, xcb_render_picture_t src, xcb_render_picture_t mask, xcb_render_picture_t dst,
                   const xcb_rectangle_t& r);
    void fillTrapezoids(const Polygons& polygons, Color color, xcb_render_picture_t dst, std::uint8_t op);
    [[nodiscard]] Rect ringBounds(const OverlayFrame& frame) const;

    xcb_connection_t* m_c;
    xcb_window_t m_window;
    int m_width;
    int m_height;
    std::uint8_t m_depth;
    bool m_alphaMode;
    bool m_valid = false;
    xcb_render_pictformat_t m_windowFormat = XCB_NONE;
    xcb_render_pictformat_t m_a8Format = XCB_NONE;
    xcb_pixmap_t m_contentPixmap = XCB_NONE, m_maskPixmap = XCB_NONE;
    xcb_render_picture_t m_content = XCB_NONE, m_mask = XCB_NONE;
    std::unique_ptr<X11PictureSlots> m_pictures;
    Rect m_lastRings = Rect::null();  // where the rings were drawn, pixels
    Polygons m_lastMask;              // alpha mode: the mask drawn last
    // Alpha mode: where that mask may be less than whole, pixels, not overlapping.
    std::vector<xcb_rectangle_t> m_partlyMasked;
    std::vector<xcb_rectangle_t> m_holeInsides;  // the whole pixels it leaves out, inside those areas
    std::vector<xcb_rectangle_t> m_maskEdges;    // those areas less m_holeInsides
    bool m_picturesFitWindow = false;        // alpha mode: a picture's pixmap can be the background
    xcb_pixmap_t m_background = XCB_NONE;    // the window's background pixmap
    Rect m_unsettled = Rect::null();  // alpha mode: drawn since the last repaintSinceLastSettle
};

} // namespace hg
