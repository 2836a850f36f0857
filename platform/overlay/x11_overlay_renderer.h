// Draws an overlay window's content on the X server with XRender: the picture
// (uploaded through MIT-SHM, stretched to the window), or a material colour,
// the tint, the halo rings and the mask.
//
// Two ways to cut the holes:
//  - shaped: a window of the root's depth whose SHAPE bounding region is the
//    mask (whole pixels), for desktops without a compositing manager;
//  - alpha: a 32-bit ARGB window whose pixels carry the mask as antialiased
//    alpha, for desktops with a compositing manager.
// The window's background pixmap holds the finished content, so the server
// repaints exposed parts by itself and a change of shape shows the right
// pixels at once.
//
// Owned by an X11OverlaySurface; main thread only. Every call only queues
// requests: the owner flushes the connection once per batch.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "base/color.h"
#include "engine/overlay/path.h"
#include "engine/overlay/rgba_image.h"

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
    [[nodiscard]] bool alphaMode() const { return m_alphaMode; }

    // Uploads a picture; the one before stays as the previous picture for a
    // cross-fade. False when the image cannot be uploaded.
    bool setPicture(const RgbaImage& image);
    void dropPictures();
    void draw(const OverlayFrame& frame, Changes changes);

private:
    struct Slot {
        xcb_pixmap_t pixmap = XCB_NONE;
        xcb_render_picture_t picture = XCB_NONE;
        xcb_gcontext_t gc = XCB_NONE;
        int width = 0;
        int height = 0;
        bool loaded = false;
    };

    bool findFormats(xcb_visualid_t visual);
    bool prepareSlot(Slot& slot, int width, int height);
    void freeSlot(Slot& slot);
    bool upload(Slot& slot, const RgbaImage& image);
    bool ensureShm(std::size_t bytes);
    void releaseShm();
    void putImageWithoutShm(Slot& slot, const std::uint8_t* data, std::size_t stride);
    void drawBase(const OverlayFrame& frame);
    void drawContent(const OverlayFrame& frame);
    void drawMask(const OverlayFrame& frame);
    void applyShape(const OverlayFrame& frame);
    void compositeScaled(const Slot& slot, std::uint8_t op, double weight);
    void fillTrapezoids(const Polygons& polygons, Color color, xcb_render_picture_t dst, std::uint8_t op);
    void freeResources();

    xcb_connection_t* m_c;
    xcb_window_t m_window;
    int m_width;
    int m_height;
    std::uint8_t m_depth;
    bool m_alphaMode;
    bool m_valid = false;
    bool m_swizzle = false;  // the server has no RGBA byte-order format: upload as BGRA
    xcb_render_pictformat_t m_windowFormat = XCB_NONE;
    xcb_render_pictformat_t m_imageFormat = XCB_NONE;
    xcb_render_pictformat_t m_a8Format = XCB_NONE;
    xcb_pixmap_t m_basePixmap = XCB_NONE, m_contentPixmap = XCB_NONE, m_maskPixmap = XCB_NONE;
    xcb_render_picture_t m_base = XCB_NONE, m_content = XCB_NONE, m_mask = XCB_NONE;
    std::array<Slot, 2> m_slots;
    int m_current = -1;    // slot of the picture on screen
    int m_previous = -1;   // slot of the one before, for a cross-fade
    // Shared memory for uploads.
    xcb_shm_seg_t m_shmSeg = XCB_NONE;
    std::uint8_t* m_shmData = nullptr;
    std::size_t m_shmSize = 0;
    bool m_shmAvailable = false;
    std::optional<xcb_get_input_focus_cookie_t> m_uploadFence;  // answered once the last upload was read
};

} // namespace hg
