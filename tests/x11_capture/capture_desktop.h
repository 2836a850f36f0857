// The X test desktop with what the capture tests add: windows returned as
// the frames that show them, shaped windows, drawing into a window, and a
// wallpaper set the way desktop programs set it (`_XROOTPMAP_ID`).
#pragma once

#include <cstdint>
#include <vector>

#include <xcb/xcb.h>

#include "engine/capture/captured_image.h"
#include "support/x_desktop.h"

namespace hg::testing {

class CaptureDesktop : public XDesktop {
public:
    CaptureDesktop(int width, int height) : XDesktop({.width = width, .height = height}) {}

    // A window filled with `color`, shown; managed by the window manager
    // unless override-redirect; its `_NET_WM_PID` names this process only when
    // `ownPid`. Returns the root child that shows it (the frame); the client
    // is `lastClient()`.
    xcb_window_t makeWindow(int x, int y, int width, int height, Rgb color, bool overrideRedirect = false,
                            bool ownPid = false)
    {
        return frameOf(makeClient(x, y, width, height, color,
                                  {.overrideRedirect = overrideRedirect, .ownProcess = ownPid}));
    }
    // Cuts the window's bounding shape down to the given rectangles
    // (window-relative).
    void shape(xcb_window_t client, const std::vector<xcb_rectangle_t>& rectangles);
    // Draws a rectangle of `color` into a window (window-relative).
    void paint(xcb_window_t window, xcb_rectangle_t area, Rgb color);
    void setWallpaper(Rgb color);
    // Draws into the wallpaper's pixmap and names the same pixmap again, as
    // programs that redraw the wallpaper in place do.
    void redrawWallpaper(Rgb color);

private:
    xcb_pixmap_t m_wallpaper = XCB_NONE;
};

// The colour at (x, y) of a BGRA capture.
[[nodiscard]] Rgb pixelAt(const CapturedImage& image, int x, int y);

} // namespace hg::testing
