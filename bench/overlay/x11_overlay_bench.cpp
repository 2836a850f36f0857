// How long the X11 overlay takes to show a frame on a 1920 × 1080 screen under
// Xvfb: a new picture together with its mask, at the capture's 1600 × 900
// (which the server stretches) and at the overlay's own 1920 × 1080 (which the
// blur writes, so the server only copies), and a mask change alone. Each figure
// includes the server's work (a round trip after each).
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "engine/overlay/mask_geometry.h"
#include "median.h"
#include "platform/overlay/x11_overlay_surface.h"
#include "support/x_session.h"

namespace {

using namespace hg;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

RgbaImage noisePicture(int seed, int w, int h)
{
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(w * h * 4));
    for (std::size_t i = 0; i < pixels->size(); ++i)
        (*pixels)[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed) * 31) >> 3);
    RgbaImage picture{w, h, static_cast<std::size_t>(w) * 4, pixels, static_cast<double>(w) / kWidth};
    picture.order = PixelOrder::bgra;  // as the X server captures
    return picture;
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

// CPU time the X server has used so far, in microseconds.
double serverCpuMicroseconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void sync(xcb_connection_t* c)
{
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void run(xcb_connection_t* c, xcb_screen_t* screen, pid_t server, OverlayRenderMode mode, const char* name)
{
    X11OverlaySurface surface(c, screen, {0, 0, kWidth, kHeight}, 1.0, OverlaySurfaceOptions{}, mode);
    surface.setTint({0.1, 0.1, 0.2, 1}, 0.2);
    surface.orderFront();
    std::vector<Path> masks;
    for (int i = 0; i < 16; ++i)
        masks.push_back(mask(i * 3.0));
    std::printf("%s overlay 1920x1080:\n", name);
    for (auto [w, h] : {std::pair{1600, 900}, {kWidth, kHeight}}) {
        const std::vector<RgbaImage> pictures{noisePicture(1, w, h), noisePicture(2, w, h)};
        sync(c);
        const double serverBefore = serverCpuMicroseconds(server);
        const bench::Timing picture = bench::measure(60, [&](int i) {
            surface.beginTransaction(Animation::none);
            surface.setPicture(pictures[static_cast<std::size_t>(i % 2)], Animation::none);
            surface.setMask(masks[static_cast<std::size_t>(i % 16)], FillRule::evenOdd);
            surface.commitTransaction();
            sync(c);
        });
        const double pictureServer = (serverCpuMicroseconds(server) - serverBefore) / 60;
        std::printf("  new %dx%d picture with its mask: median %.2f ms wall; CPU %.2f ms ours + %.2f ms X server\n",
                    w, h, picture.medianMicroseconds / 1000, picture.cpuMicroseconds / 1000, pictureServer / 1000);
    }
    const double serverBefore = serverCpuMicroseconds(server);
    const bench::Timing maskOnly = bench::measure(200, [&](int i) {
        surface.beginTransaction(Animation::none);
        surface.setMask(masks[static_cast<std::size_t>(i % 16)], FillRule::evenOdd);
        surface.commitTransaction();
        sync(c);
    });
    const double maskServer = (serverCpuMicroseconds(server) - serverBefore) / 200;
    std::printf("  mask only: median %.2f ms wall; CPU %.2f ms ours + %.2f ms X server\n",
                maskOnly.medianMicroseconds / 1000, maskOnly.cpuMicroseconds / 1000, maskServer / 1000);
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
    run(c, screen, session.serverPid(), OverlayRenderMode::shaped, "shaped");
    run(c, screen, session.serverPid(), OverlayRenderMode::alpha, "alpha-masked");
    xcb_disconnect(c);
    return 0;
}
