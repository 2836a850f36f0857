// A private desktop for the end-to-end tests and the effect's benchmarks: an
// XSession with a window manager (openbox unless another is named) and a
// patterned wallpaper, the test client for
// windows, an xcb connection for screenshots and the stacking order, and the
// real hushglass program with its own configuration and runtime folders.
//
//     E2eDesktop desk;
//     ASSERT_TRUE(desk.ok()) << desk.error();
//     const xcb_window_t a = desk.openPatterned("a 400x300+60+80 class=editor,Editor", 1);
//     desk.writeDefaults(R"({"enabled": true})");
//     ASSERT_TRUE(desk.startProgram());
//
// Screenshots are read from the root window, so they show what a viewer sees
// (what Xvfb or the window manager's compositor drew). Test thread only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "support/x_session.h"
#include "test_client.h"

namespace hg::testing {

// A rectangle in screen pixels.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    [[nodiscard]] bool contains(int px, int py) const
    {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
    [[nodiscard]] PixelRect inset(int by) const { return {x + by, y + by, width - 2 * by, height - 2 * by}; }
};

// The screen's pixels, 0x00RRGGBB, row by row.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    [[nodiscard]] std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    // Whether every pixel of `rect` equals the same pixel of `other`.
    [[nodiscard]] bool sameIn(const Screenshot& other, const PixelRect& rect) const;
    // The squared differences between neighbouring pixels in `rect`, outside
    // `skip` (each grown by `margin` pixels), over the three channels.
    [[nodiscard]] double highFrequencyEnergy(const PixelRect& rect, const std::vector<PixelRect>& skip = {},
                                             int margin = 0) const;
    // Saves it as a PNG, for looking at by hand.
    void save(const std::string& path) const;
};

// The overlay windows of the program: top-level windows of WM_CLASS
// "hushglass-overlay", and whether each shows anything: mapped, with a
// bounding shape that is not empty.
struct OverlayWindow {
    xcb_window_t id = XCB_NONE;
    bool mapped = false;
    bool shown = false;
    PixelRect rect;  // its place on the screen
};

// The window managers the desktop knows how to start, by the name of their
// program: openbox, icewm, fluxbox, i3, xfwm4, mutter, kwin_x11.
const std::vector<std::string>& windowManagers();
// Whether that window manager's program is installed here.
bool windowManagerInstalled(const std::string& name);

class E2eDesktop {
public:
    // `windowManager` is one of windowManagers(); it runs with its own home
    // and runtime folders and, for mutter and kwin_x11, its own session bus.
    explicit E2eDesktop(int width = 1024, int height = 768, const std::string& windowManager = "openbox");
    ~E2eDesktop();
    E2eDesktop(const E2eDesktop&) = delete;
    E2eDesktop& operator=(const E2eDesktop&) = delete;

    [[nodiscard]] bool ok() const { return m_error.empty(); }
    [[nodiscard]] const std::string& error() const { return m_error; }
    [[nodiscard]] XSession& session() { return m_session; }
    [[nodiscard]] TestClient& client() { return *m_client; }
    [[nodiscard]] xcb_connection_t* connection() const { return m_c; }
    [[nodiscard]] xcb_window_t root() const { return m_root; }

    // Opens a test-client window ("NAME WxH+X+Y [option...]") and tiles its
    // background with noise of `seed`, so that each window looks different
    // and a blur shows. Returns the client window, 0 on failure.
    xcb_window_t openPatterned(const std::string& arguments, int seed);
    // The same with another test client (another process, so another application).
    xcb_window_t openPatterned(TestClient& client, const std::string& arguments, int seed);
    // The client window's area on the screen (without the frame).
    [[nodiscard]] PixelRect clientRect(xcb_window_t client);
    // The window manager's frame around the client: its ancestor below the root.
    [[nodiscard]] xcb_window_t frameOf(xcb_window_t client);
    // The root's children, bottom to top.
    [[nodiscard]] std::vector<xcb_window_t> stackingOrder();
    [[nodiscard]] std::vector<OverlayWindow> overlays();
    [[nodiscard]] Screenshot screenshot();
    // A screenshot once the screen has stopped changing (two shots 150 ms
    // apart alike, up to 5 s): compositing window managers draw late.
    [[nodiscard]] Screenshot settledScreenshot();
    // The window that has the keyboard focus, as the window manager set it.
    [[nodiscard]] xcb_window_t inputFocus();
    void sync();

    // The program's settings file, written before it starts.
    void writeDefaults(const std::string& json);
    // Starts hushglass (or the program at `binary`), with `environment`
    // ("NAME=value") added, and waits (up to 15 s) for its "running" line.
    bool startProgram(const std::vector<std::string>& environment = {}, const char* binary = nullptr);
    // SIGTERM, then waits up to 5 s; the exit status, -1 when it did not exit.
    int stopProgram();
    [[nodiscard]] pid_t programPid() const { return m_program; }
    [[nodiscard]] bool programRunning();
    // Everything the program wrote to stderr so far.
    const std::string& programOutput();

private:
    XSession m_session;
    std::string m_error;
    std::string m_temp;  // configuration, runtime folder and wallpaper
    std::unique_ptr<TestClient> m_client;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_width, m_height;
    pid_t m_windowManager = -1;  // leads its own process group
    pid_t m_program = -1;
    int m_programErr = -1;
    std::optional<int> m_exitStatus;  // the wait status, once reaped
    std::string m_output;
};

// Whether `rect` of the screenshot shows exactly the noise that
// `openPatterned` tiled a window with `seed` from the rectangle's origin,
// leaving out squares of `corner` pixels at its corners (where holes in the
// overlay are rounded).
bool showsPattern(const Screenshot& shot, const PixelRect& rect, int seed, int corner = 0);

// Polls `condition` every 40 ms until it holds or `timeout` has passed.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// A settings file: the effect on, the pointer reveal off, and `extra` members.
std::string effectDefaults(const std::string& extra = "");

// Whether `region` of `now` holds at most a tenth of the high-frequency energy
// it had in `before`, leaving out the sharp rectangles and a margin around
// them where the blur mixes in their edges.
bool blurred(const Screenshot& now, const Screenshot& before, const PixelRect& region,
             const std::vector<PixelRect>& sharp = {});

// User plus system time of a process so far, in seconds (from /proc).
double cpuSeconds(pid_t pid);

} // namespace hg::testing
