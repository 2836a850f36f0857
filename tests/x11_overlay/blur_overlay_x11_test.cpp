// The blur overlay end to end on a real desktop: real windows, a picture made
// from the screen, the X11 surface.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "engine/overlay/blur_overlay.h"
#include "platform/overlay/x11_overlay_factory.h"
#include "support/x_desktop.h"

namespace hg {
namespace {

using testing::Rgb;
using testing::XDesktop;

constexpr int W = 800;
constexpr int H = 600;

class OneScreen final : public ScreenSource {
public:
    std::vector<Screen> screens() const override { return {screen()}; }
    std::optional<Rect> displayBounds(std::uint32_t) const override { return Rect{0, 0, W, H}; }
    static Screen screen()
    {
        Screen s;
        s.displayNumber = 1;
        s.frame = s.visibleFrame = {0, 0, W, H};
        return s;
    }
};

// The screen at a quarter of its size, box-blurred: a stand-in for a capture.
RgbaImage blurredScreen(XDesktop& desktop)
{
    desktop.sync();
    xcb_connection_t* c = desktop.connection();
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, desktop.screen()->root, 0, 0, W, H, ~0u), nullptr);
    const int w = W / 4, h = H / 4;
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(w * h * 4));
    const std::uint8_t* in = xcb_get_image_data(image);
    constexpr int kBox = 12;  // source pixels each side
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum[3] = {0, 0, 0}, n = 0;
            for (int sy = std::max(0, y * 4 - kBox); sy < std::min(H, y * 4 + kBox); sy += 3)
                for (int sx = std::max(0, x * 4 - kBox); sx < std::min(W, x * 4 + kBox); sx += 3, ++n)
                    for (int k = 0; k < 3; ++k)
                        sum[k] += in[(sy * W + sx) * 4 + (2 - k)];
            std::uint8_t* out = pixels->data() + (y * w + x) * 4;
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<std::uint8_t>(sum[k] / n);
            out[3] = 255;
        }
    std::free(image);
    return {w, h, static_cast<std::size_t>(w) * 4, pixels, 0.25};
}

// The frame rectangle of the first visible window of `className`.
std::optional<Rect> windowRect(XDesktop& desktop, const std::string& className)
{
    std::string out;
    desktop.session().run({"xdotool", "search", "--sync", "--onlyvisible", "--class", className}, &out);
    if (out.empty())
        return std::nullopt;
    const xcb_window_t frame = desktop.frameOf(static_cast<xcb_window_t>(std::stoul(out)));
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(desktop.connection(), xcb_get_geometry(desktop.connection(), frame), nullptr);
    if (!g)
        return std::nullopt;
    const Rect r{static_cast<double>(g->x), static_cast<double>(g->y), static_cast<double>(g->width + 2 * g->border_width),
                 static_cast<double>(g->height + 2 * g->border_width)};
    std::free(g);
    return r;
}

TEST(BlurOverlayX11, CoversRealWindowsAndRevealsTheirHoles)
{
    if (!testing::XSession::available())
        GTEST_SKIP() << "Xvfb or openbox is not installed";
    XDesktop desktop({.width = W, .height = H});
    ASSERT_TRUE(desktop.ok()) << desktop.error();
    desktop.session().run({"xsetroot", "-solid", "#3a6ea5"});
    desktop.session().spawn({"xterm", "-geometry", "60x20+60+60", "-bg", "white", "-fg", "black", "-e", "sh", "-c",
                             "ls -la /usr/bin | head -60; sleep 60"});
    desktop.session().spawn({"xlogo", "-geometry", "220x220+480+300"});
    const std::optional<Rect> term = windowRect(desktop, "xterm");
    const std::optional<Rect> logo = windowRect(desktop, "xlogo");
    ASSERT_TRUE(term && logo);
    const Rgb inTerm = desktop.pixel(static_cast<int>(term->midX()), static_cast<int>(term->minY() + 40));

    OneScreen screens;
    X11OverlaySurfaceFactory factory(desktop.connection(), desktop.screen(), screens, OverlayRenderMode::shaped);
    BlurOverlay overlay(factory, OneScreen::screen(), /*fadeIn*/ false, false, true, 20);
    overlay.setTint({0.1, 0.1, 0.2, 1}, 0.15);
    overlay.setPicture(blurredScreen(desktop), 0.3);
    Reveal reveal;
    reveal.window = *term;
    reveal.excluded.push_back({*logo, {}});
    reveal.cursor = Rect{300, 420, 120, 120};
    reveal.focusWindowID = 7;
    overlay.apply(reveal);

    // Inside the window hole the terminal shows as it is; the halo darkens or
    // lightens the blur just outside; elsewhere the blur covers the desktop.
    EXPECT_EQ(desktop.pixel(static_cast<int>(term->midX()), static_cast<int>(term->minY() + 40)), inTerm);
    EXPECT_NE(desktop.pixel(static_cast<int>(logo->midX()), static_cast<int>(logo->midY())), (Rgb{-1, -1, -1}));
    const Rgb desktopBlue = desktop.pixel(780, 20);
    EXPECT_NE(desktopBlue, (Rgb{0x3a, 0x6e, 0xa5}));  // tinted
    EXPECT_TRUE(overlay.window().isVisible());
    if (const char* path = std::getenv("HUSHGLASS_OVERLAY_SCREENSHOT"))
        desktop.screenshot(path);
    overlay.window().orderOut();
    overlay.clear();
    overlay.window().close();
    EXPECT_EQ(desktop.pixel(780, 20), (Rgb{0x3a, 0x6e, 0xa5}));
}

} // namespace
} // namespace hg
