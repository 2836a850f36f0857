// Still pictures of part of an X screen, composed on the X server.
//
// While the root's children are redirected (Composite, automatic mode), the
// server keeps every top-level window's contents in a pixmap of its own, even
// where other windows cover it, and still paints the screen itself. That costs
// the server a copy of every window (a 20000 x 20000 window is 1.6 GB), so a
// compositor made `whenAsked` redirects only between `setRedirected(true)` and
// `setRedirected(false)`, and captures nothing meanwhile; one made
// `forLifetime` redirects from construction to destruction. A picture is composed from those pixmaps with XRender, bottom
// to top, leaving out the windows asked for, our own overlays (marked with
// `_HUSHGLASS_OVERLAY`, see platform/x11/own_windows.h) and unmapped ones, each clipped to
// its bounding shape, over the desktop background (`_XROOTPMAP_ID` or
// `ESETROOT_PMAP_ID`, else a solid colour), scaled on the server to the size
// asked for, and read back through MIT-SHM.
//
// Each destination pixel is painted about once: what an opaque window (no
// alpha, one shape rectangle) hides of the windows and the desktop below it is
// not painted at all, and windows it hides whole are not named. Scaled windows
// are sampled with their edges padded, so that an opaque window paints every
// pixel of its (outward-rounded) clip and the server takes its fast paths.
//
// Windows that vanish or unmap during a capture cost nothing but their own
// part of that picture: every request that names one is checked and its error
// dropped, so nothing reaches the event queue or the log; when one of them
// hid others, the picture is composed again, without leaving anything out.
//
// The window stack and wallpaper are read from the server by each capture,
// or taken from a `X11DamageTracker::Scene` that was polled just before.
//
// `capture` may be called from any thread (one capture at a time; a mutex
// serialises them) on a thread-safe xcb connection shared with the main
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <xcb/render.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include "base/geometry.h"
#include "engine/capture/captured_image.h"
#include "platform/capture/x11_damage_tracker.h"
#include "platform/x11/properties.h"
#include "platform/x11/x_reply.h"

namespace hg {

class X11Compositor {
public:
    enum class Redirection { forLifetime, whenAsked };

    // `connection` and `screen` must outlive this object.
    X11Compositor(xcb_connection_t* connection, const xcb_screen_t* screen,
                  Redirection redirection = Redirection::forLifetime);
    ~X11Compositor();
    X11Compositor(const X11Compositor&) = delete;
    X11Compositor& operator=(const X11Compositor&) = delete;

    // False when the server lacks Composite 0.2, Render or MIT-SHM.
    [[nodiscard]] bool isReady() const { return m_ready; }
    [[nodiscard]] const std::string& problem() const { return m_problem; }

    // The root area `source` (pixels, root coordinates) at width × height
    // pixels, BGRA bytes, opaque. nullopt when the server could not do it.
    // `scene`, when given, is the screen as it is now.
    [[nodiscard]] std::optional<CapturedImage> capture(const Rect& source, int width, int height,
                                                       const std::vector<xcb_window_t>& excluded,
                                                       const std::optional<X11DamageTracker::Scene>& scene = {});

    // The same picture as `capture` would take, made from `previous` (the
    // picture of the same area, size and left-out windows) where nothing
    // changed since: only `changed` (root pixels) is composed again and read
    // back. A change as large as most of the picture takes it whole.
    [[nodiscard]] std::optional<CapturedImage> update(const CapturedImage& previous, const Rect& changed,
                                                      const Rect& source, int width, int height,
                                                      const std::vector<xcb_window_t>& excluded,
                                                      const std::optional<X11DamageTracker::Scene>& scene = {});

    // Redirects the root's children or lets them go; waits for a capture under
    // way. Does nothing when the server cannot capture.
    void setRedirected(bool redirected);
    [[nodiscard]] bool isRedirected();

    // Windows painted by the last capture (for tests and benchmarks).
    [[nodiscard]] int lastWindowCount() const { return m_lastWindowCount; }

private:
    struct Window {
        xcb_window_t id = XCB_WINDOW_NONE;
        xcb_render_pictformat_t format = 0;
        bool opaque = false;                    // no alpha, one shape rectangle
        Rect outer;                             // root coordinates, border included
        std::vector<xcb_rectangle_t> shape;     // bounding shape, root coordinates
    };
    struct Format {
        xcb_render_pictformat_t id = 0;
        bool alpha = false;
    };

    // A root child's attributes, geometry and bounding shape, asked for
    // without waiting.
    struct PendingWindow {
        xcb_window_t id;
        x11::PendingReply<xcb_get_window_attributes_cookie_t, xcb_get_window_attributes_reply_t> attributes;
        x11::PendingReply<xcb_get_geometry_cookie_t, xcb_get_geometry_reply_t> geometry;
        x11::PendingReply<xcb_shape_get_rectangles_cookie_t, xcb_shape_get_rectangles_reply_t> shape;
        x11::PropertyReply overlayMarker;
    };

    bool checkExtensions();
    [[nodiscard]] PendingWindow requestWindow(xcb_window_t id) const;
    // The window if it is shown, still there and not an overlay of ours.
    [[nodiscard]] std::optional<Window> collectWindow(PendingWindow& pending);
    std::vector<Window> queryWindows(const Rect& source, const std::vector<xcb_window_t>& excluded,
                                     xcb_pixmap_t& background);
    std::vector<Window> sceneWindows(const X11DamageTracker::Scene& scene, const Rect& source,
                                     const std::vector<xcb_window_t>& excluded);
    bool ensureTarget(int width, int height);
    bool ensureSharedMemory(std::size_t bytes);
    void releaseSharedMemory();
    // Composes the picture into the target pixmap, inside `area` only
    // (destination pixels), and reads that area back through the shared
    // memory.
    // `read` gets the area read back (rows of 4 × area.width bytes), again
    // after a failed try; `meanwhile` runs once, while the server works.
    using RowsRead = std::function<void(const std::uint8_t* rows)>;
    bool composeAndRead(const Rect& source, int width, int height, const std::vector<xcb_window_t>& excluded,
                        const xcb_rectangle_t& area, const std::optional<X11DamageTracker::Scene>& scene,
                        const std::function<void()>& meanwhile, const RowsRead& read);
    // Sends the requests that compose `area` of the picture; with `hide`,
    // what opaque windows hide is left out. The cookies of the opaque
    // windows' pixmaps go to `named`.
    void compose(const std::vector<Window>& windows, xcb_pixmap_t background, const Rect& source, int width,
                 int height, const xcb_rectangle_t& area, bool hide, std::vector<xcb_void_cookie_t>& named);
    void paintBackground(xcb_pixmap_t background, const Rect& source, int width, int height,
                         const std::vector<xcb_rectangle_t>& clip);
    xcb_void_cookie_t paintWindow(const Window& window, const Rect& source, int width, int height,
                                  const std::vector<xcb_rectangle_t>& clip);
    Format formatForVisual(xcb_visualid_t visual);
    xcb_render_transform_t transformFor(const Rect& source, int width, int height, double originX,
                                        double originY) const;

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::uint8_t m_rootDepth;
    xcb_visualid_t m_rootVisual;
    bool m_ready = false;
    std::string m_problem;

    std::mutex m_mutex;  // one capture at a time; guards everything below
    bool m_redirected = false;
    xcb_render_pictformat_t m_targetFormat = 0;
    xcb_render_pictformat_t m_rootFormat = 0;
    std::uint8_t m_targetDepth = 32;
    xcb_atom_t m_rootPixmapAtoms[2] = {XCB_ATOM_NONE, XCB_ATOM_NONE};
    xcb_pixmap_t m_targetPixmap = XCB_NONE;
    xcb_render_picture_t m_target = XCB_NONE;
    int m_targetWidth = 0;
    int m_targetHeight = 0;
    std::uint32_t m_segment = 0;  // MIT-SHM segment id on the server
    int m_shmId = -1;
    void* m_shmAddress = nullptr;
    std::size_t m_shmSize = 0;
    int m_lastWindowCount = 0;
    xcb_atom_t m_overlayMarker = XCB_ATOM_NONE;  // interned at the first capture
    std::vector<std::pair<xcb_visualid_t, Format>> m_formats;  // known so far
};

} // namespace hg
