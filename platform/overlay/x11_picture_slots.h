// The overlay's pictures on the X server: two slots (the picture on screen
// and the one before it, for a cross-fade), each an XRender picture that
// stretches itself to the window ("resize" gravity, bilinear, edges padded).
//
// Pixels travel through MIT-SHM: where the server shares pixmaps, each slot's
// pixmap lives in its own shared segment, so an upload is one copy on our
// side and none on the server's; otherwise the segment is put into the pixmap
// (or, without MIT-SHM, the image goes in plain requests). RGBA pictures are
// converted to the server's fast ARGB order on the way; BGRA ones are copied.
// The tint goes on in the same pass (a colour laid over the picture, as
// XRender's OVER would), which spares the server a pass over every pixel; a
// new tint uploads the pictures again from the images they came from. Pixels
// go up when the renderer asks (`upload`), once the requests that need no
// picture are on their way to the server, which handles them meanwhile.
//
// A picture of the window's own size can serve as the window's background:
// the renderer then lays the holes and the halo on the slot itself, and puts
// the uploaded picture back where they move (`restoreCurrent`).
//
// Owned by X11OverlayRenderer; main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "base/color.h"
#include "engine/overlay/rgba_image.h"

namespace hg {

class X11PictureSlots {
public:
    X11PictureSlots(xcb_connection_t* connection, xcb_drawable_t drawable, xcb_render_pictformat_t argbFormat,
                    int windowWidth, int windowHeight);
    ~X11PictureSlots();
    X11PictureSlots(const X11PictureSlots&) = delete;
    X11PictureSlots& operator=(const X11PictureSlots&) = delete;

    // Takes a picture into the slot not on screen and makes it current; the
    // current one becomes the previous. Its pixels go up with the next
    // `upload`. False when the image cannot go up.
    bool push(const RgbaImage& image);
    void drop();
    // The tint laid over the pictures (`color`'s alpha times `opacity`);
    // both go up again with the next `upload` when it changed.
    void setTint(Color color, double opacity);
    // True when a picture's pixels wait for `upload`.
    [[nodiscard]] bool hasStale() const;
    // Puts up the pixels waiting, before the pictures are drawn with. When
    // `currentAreas` is not empty, the current picture is needed only there
    // (the caller clears the rest), and may be put up only there.
    void upload(const std::vector<xcb_rectangle_t>& currentAreas = {});
    // To call after requests that read the pictures: the next upload (or
    // picture put back) waits until the server has handled them.
    void markRead();

    // XCB_NONE when there is none.
    [[nodiscard]] xcb_render_picture_t current() const { return pictureOf(m_current); }
    [[nodiscard]] xcb_render_picture_t previous() const { return pictureOf(m_previous); }
    // The current picture's pixmap (depth 32) when the picture has the
    // window's size, XCB_NONE otherwise.
    [[nodiscard]] xcb_pixmap_t currentPixmapOfWindowSize() const;
    // True while the current slot holds the picture as uploaded: nothing was
    // drawn on it since (see `setCurrentDrawnOn`).
    [[nodiscard]] bool currentAsUploaded() const;
    void setCurrentDrawnOn();
    // Puts the uploaded (tinted) picture back into `area` of the current slot.
    void restoreCurrent(const xcb_rectangle_t& area);

private:
    struct Slot {
        xcb_pixmap_t pixmap = XCB_NONE;
        xcb_render_picture_t picture = XCB_NONE;
        xcb_gcontext_t gc = XCB_NONE;
        int width = 0;
        int height = 0;
        xcb_shm_seg_t seg = XCB_NONE;
        std::uint8_t* data = nullptr;  // the shared segment, when there is one
        std::size_t size = 0;
        bool sharedPixmap = false;     // `pixmap` is the segment itself
        RgbaImage source;              // what it shows, before the tint
        bool drawnOn = false;          // something was drawn on it since the upload
        bool stale = false;            // its pixels are not up yet (a new picture or tint)
    };
    // out = (in * keep + add[channel] + 128) >> 8 for the bytes in the
    // server's order (blue, green, red, alpha).
    struct Tint {
        std::uint32_t keep = 256;
        std::uint32_t add[4] = {0, 0, 0, 0};
        friend bool operator==(const Tint&, const Tint&) = default;
    };

    [[nodiscard]] xcb_render_picture_t pictureOf(int index) const;
    bool prepare(Slot& slot, int width, int height);
    void upload(Slot& slot, const std::vector<xcb_rectangle_t>& areas);
    bool attachShm(Slot& slot, std::size_t bytes);
    void release(Slot& slot);
    void waitForServer();
    // Converts `area` of the slot's source into `out` (rows `stride` apart).
    void convert(const Slot& slot, const xcb_rectangle_t& area, std::uint8_t* out, std::size_t stride) const;
    void putWithoutShm(Slot& slot, const std::uint8_t* data, std::size_t stride, const xcb_rectangle_t& area);

    xcb_connection_t* m_c;
    xcb_drawable_t m_drawable;
    xcb_render_pictformat_t m_format;
    int m_windowWidth;
    int m_windowHeight;
    bool m_shm = false;
    bool m_sharedPixmaps = false;
    std::array<Slot, 2> m_slots;
    Tint m_tint;
    int m_current = -1;
    int m_previous = -1;
    std::optional<xcb_get_input_focus_cookie_t> m_fence;  // answered once the server read the last upload
};

} // namespace hg
