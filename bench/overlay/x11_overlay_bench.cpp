// How long the X11 overlay takes to show a frame on a 1920 × 1080 screen under
// Xvfb: a new 1600 × 900 picture together with its mask, and a mask change
// alone. Each figure includes the server's work (a round trip after each).
#include <cstdio>

#include "engine/overlay/mask_geometry.h"
#include "median.h"
#include "platform/overlay/x11_overlay_surface.h"
#include "support/x_session.h"

namespace {

using namespace hg;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

RgbaImage noisePicture(int seed)
{
    const int w = 1600, h = 900;
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(w * h * 4));
    for (std::size_t i = 0; i < pixels->size(); ++i)
        (*pixels)[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed) * 31) >> 3);
    return {w, h, static_cast<std::size_t>(w) * 4, pixels, 1600.0 / kWidth};
}

Path mask(double shift)
{
    Reveal r;
    r.window = Rect{600 + shift, 300, 700, 450};
    r.cursor = Rect{1000 + shift, 600, 240, 240};
    r.excluded.push_back({Rect{100, 100, 400, 300}, {Rect{300, 200, 300, 300}}});
    Path p;
    p.addRect({0, 0, kWidth, kHeight});
    p.addPath(*holesPath(r, kWidth, kHeight, 16));
    return p;
}

void sync(xcb_connection_t* c)
{
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void run(xcb_connection_t* c, xcb_screen_t* screen, OverlayRenderMode mode, const char* name)
{
    X11OverlaySurface surface(c, screen, {0, 0, kWidth, kHeight}, 1.0, OverlaySurfaceOptions{}, mode);
    surface.setTint({0.1, 0.1, 0.2, 1}, 0.2);
    surface.orderFront();
    const std::vector<RgbaImage> pictures{noisePicture(1), noisePicture(2)};
    std::vector<Path> masks;
    for (int i = 0; i < 16; ++i)
        masks.push_back(mask(i * 3.0));
    sync(c);
    const double picture = bench::medianMicroseconds(60, [&](int i) {
        surface.beginTransaction(Animation::none);
        surface.setPicture(pictures[static_cast<std::size_t>(i % 2)], Animation::none);
        surface.setMask(masks[static_cast<std::size_t>(i % 16)], FillRule::evenOdd);
        surface.commitTransaction();
        sync(c);
    });
    const double maskOnly = bench::medianMicroseconds(200, [&](int i) {
        surface.beginTransaction(Animation::none);
        surface.setMask(masks[static_cast<std::size_t>(i % 16)], FillRule::evenOdd);
        surface.commitTransaction();
        sync(c);
    });
    std::printf("%s overlay 1920x1080: new 1600x900 picture with its mask: median %.2f ms; mask only: median %.2f ms\n",
                name, picture / 1000, maskOnly / 1000);
}

} // namespace

int main()
{
    if (!testing::XSession::available(false)) {
        std::printf("x11_overlay_bench: Xvfb is not installed\n");
        return 0;
    }
    testing::XSession session({.width = kWidth, .height = kHeight, .windowManager = false});
    if (!session.ok()) {
        std::printf("x11_overlay_bench: %s\n", session.error().c_str());
        return 1;
    }
    xcb_connection_t* c = xcb_connect(session.display().c_str(), nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    run(c, screen, OverlayRenderMode::shaped, "shaped");
    run(c, screen, OverlayRenderMode::alpha, "alpha-masked");
    xcb_disconnect(c);
    return 0;
}
