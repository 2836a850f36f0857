// A private X desktop for the capture tests: an XSession with openbox, an xcb
// connection, windows of one colour (optionally shaped or override-redirect)
// and a wallpaper set the way desktop programs set it (`_XROOTPMAP_ID`).
#pragma once

#include <cstdint>
#include <vector>

#include <xcb/xcb.h>

#include "engine/capture/captured_image.h"
#include "support/x_session.h"

namespace hg::testing {

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

class CaptureDesktop {
public:
    CaptureDesktop(int width, int height);
    ~CaptureDesktop();

    [[nodiscard]] bool ok() const { return m_session.ok() && m_c && !xcb_connection_has_error(m_c); }
    [[nodiscard]] XSession& session() { return m_session; }
    [[nodiscard]] xcb_connection_t* connection() const { return m_c; }
    [[nodiscard]] const xcb_screen_t* screen() const { return m_screen; }

    // A window filled with `color`, mapped; managed by the window manager
    // unless override-redirect; its `_NET_WM_PID` names this process only when
    // `ownPid`. Returns the root child that shows it (the
    // frame), once it is viewable.
    xcb_window_t makeWindow(int x, int y, int width, int height, Rgb color, bool overrideRedirect = false,
                            bool ownPid = false);
    // Cuts the window's bounding shape down to the given rectangles
    // (window-relative).
    void shape(xcb_window_t client, const std::vector<xcb_rectangle_t>& rectangles);
    // Draws a rectangle of `color` into a window (window-relative).
    void paint(xcb_window_t window, xcb_rectangle_t area, Rgb color);
    void setWallpaper(Rgb color);
    void destroy(xcb_window_t window);
    void sync();

    [[nodiscard]] xcb_window_t lastClient() const { return m_lastClient; }

private:
    xcb_window_t frameOf(xcb_window_t client);
    std::uint32_t pixelOf(Rgb color) const;

    XSession m_session;
    xcb_connection_t* m_c = nullptr;
    const xcb_screen_t* m_screen = nullptr;
    xcb_window_t m_lastClient = XCB_WINDOW_NONE;
};

// The colour at (x, y) of a BGRA capture.
[[nodiscard]] Rgb pixelAt(const CapturedImage& image, int x, int y);

} // namespace hg::testing
