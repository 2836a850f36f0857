// A private X desktop for the overlay's integration tests: an XSession, an xcb
// connection to it, plain client windows of one colour, and pixel reads of
// the screen as a viewer sees it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

class X11Desktop {
public:
    explicit X11Desktop(int width = 800, int height = 600);
    ~X11Desktop();

    [[nodiscard]] bool ok() const { return m_session.ok() && m_c && !xcb_connection_has_error(m_c); }
    [[nodiscard]] std::string error() const { return m_session.error(); }
    [[nodiscard]] XSession& session() { return m_session; }
    [[nodiscard]] xcb_connection_t* connection() const { return m_c; }
    [[nodiscard]] xcb_screen_t* screen() const { return m_screen; }

    // A managed top-level window filled with `color`, mapped and shown by the
    // window manager; `dock` makes it a dock (layer 20). Returns the client.
    xcb_window_t makeClient(int x, int y, int width, int height, Rgb color, bool dock = false,
                            std::uint32_t eventMask = 0);
    // The client's frame: its ancestor that is a child of the root.
    xcb_window_t frameOf(xcb_window_t client);
    // What the screen shows at (x, y), after every request has been handled.
    Rgb pixel(int x, int y);
    void sync();
    // Saves the screen as a PNG (for looking at by hand).
    void screenshot(const std::string& path);

private:
    XSession m_session;
    xcb_connection_t* m_c = nullptr;
    xcb_screen_t* m_screen = nullptr;
};

} // namespace hg::testing

namespace hg::testing {
inline void PrintTo(const Rgb& c, std::ostream* os) { *os << toString(c); }
} // namespace hg::testing
