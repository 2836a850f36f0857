// The X test desktop: a private XSession (Xvfb, with openbox unless asked
// otherwise), an xcb connection to it, plain windows of one colour made the
// way applications make them, and the screen's pixels as a viewer sees them.
// Everything goes when it is destroyed.
//
//     if (!XSession::available()) GTEST_SKIP() << "Xvfb or openbox is not installed";
//     XDesktop desktop({.width = 800, .height = 600});
//     ASSERT_TRUE(desktop.ok()) << desktop.error();
//     const xcb_window_t client = desktop.makeClient(100, 100, 300, 200, {0, 255, 0});
//     EXPECT_EQ(desktop.pixel(150, 150), (Rgb{0, 255, 0}));
//
// Used from the test's thread only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include <xcb/xcb.h>

#include "support/x_session.h"

namespace hg::testing {

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
std::string toString(const Rgb& c);
inline void PrintTo(const Rgb& c, std::ostream* os) { *os << toString(c); }

struct XWindowOptions {
    bool overrideRedirect = false;  // placed by itself, not managed by the window manager
    bool dock = false;              // a dock (_NET_WM_WINDOW_TYPE_DOCK: a panel above normal windows)
    bool ownProcess = false;        // its _NET_WM_PID names this process; otherwise another one
    std::uint32_t eventMask = 0;    // events the test wants to see on it
};

class XDesktop {
public:
    explicit XDesktop(XSessionOptions options = {});
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    [[nodiscard]] bool ok() const { return m_session.ok() && m_c && !xcb_connection_has_error(m_c); }
    [[nodiscard]] std::string error() const;
    [[nodiscard]] XSession& session() { return m_session; }
    [[nodiscard]] xcb_connection_t* connection() const { return m_c; }
    [[nodiscard]] xcb_screen_t* screen() const { return m_screen; }
    [[nodiscard]] xcb_window_t root() const { return m_screen ? m_screen->root : xcb_window_t{XCB_WINDOW_NONE}; }

    [[nodiscard]] xcb_atom_t atom(const char* name) const;
    // A top-level window filled with `color` at exactly (x, y, width, height),
    // mapped and shown (by the window manager, unless override-redirect).
    // Returns the client window.
    xcb_window_t makeClient(int x, int y, int width, int height, Rgb color, XWindowOptions options = {});
    [[nodiscard]] xcb_window_t lastClient() const { return m_lastClient; }
    // The client's frame: its ancestor that is a child of the root.
    xcb_window_t frameOf(xcb_window_t client);
    void destroy(xcb_window_t window);
    // What the screen shows at (x, y), after every request has been handled;
    // (-1, -1, -1) when it cannot be read.
    Rgb pixel(int x, int y);
    // A round trip: every request sent so far has been handled.
    void sync();
    // Saves the screen as a PNG (for looking at by hand).
    void screenshot(const std::string& path);

protected:
    [[nodiscard]] static std::uint32_t pixelOf(Rgb color);

private:
    XSession m_session;
    xcb_connection_t* m_c = nullptr;
    xcb_screen_t* m_screen = nullptr;
    xcb_window_t m_lastClient = XCB_WINDOW_NONE;
};

} // namespace hg::testing
