// The cost of one frame tick of the privacy controller with 100 windows on two
// screens, over the controller tests' fakes and a manual clock: no capture
// runs while the ticks are timed (the capture loop has no pass to start), so
// the figures are the main thread's per-frame work alone.
//
// Run: ninja -C build bench_frame_tick && build/bench/effect/bench_frame_tick
// Prints median and p99 in microseconds, with every window still and with the
// focus window moving a point each frame.
#include <chrono>
#include <cstdio>
#include <vector>

#include "../windows/bench_stats.h"
#include "support/controller_fixture.h"

namespace {

using hg::testing::ControllerFixture;

constexpr int kWindows = 100;
constexpr int kFrames = 3000;

std::vector<hg::WindowSnapshot> desktop(double focusShift)
{
    // Front to back: 50 windows on each screen, the front one of display 1 is
    // the focus window of the frontmost application.
    std::vector<hg::WindowSnapshot> windows;
    for (int i = 0; i < kWindows; ++i) {
        const bool second = i % 2 == 1;
        const double x = (second ? 1440 : 0) + 20.0 * (i / 2 % 20) + (i == 0 ? focusShift : 0);
        const double y = 30.0 + 12.0 * (i / 2);
        const std::int32_t pid = i == 0 ? ControllerFixture::kAppPID : 1000 + i % 17;
        windows.push_back(ControllerFixture::window(static_cast<std::uint32_t>(0x1000 + i), {x, y, 600, 420}, pid));
    }
    return windows;
}

void report(const char* what, const std::vector<double>& micros)
{
    std::printf("%-44s median %7.1f us   p99 %7.1f us   (%zu frames)\n", what, hg::bench::percentile(micros, 0.5),
                hg::bench::percentile(micros, 0.99), micros.size());
}

std::vector<double> run(bool moving)
{
    ControllerFixture f;
    for (int i = 0; i < 17; ++i)
        f.server.setBundle(1000 + i, "com.example.app" + std::to_string(i));
    f.showWindows(desktop(0));
    f.controller->enable();
    f.frames(120);  // scans, first captures and blurs, overlays faded in

    std::vector<double> micros;
    hg::PrivacyController* controller = f.controller.get();
    controller->scheduler().stopCaptureLoop();
    controller->scheduler().setHooks({
        .onFrame = [&] {
            const auto start = std::chrono::steady_clock::now();
            controller->frameTick();
            micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        },
        .captureDelayNanos = [controller] { return controller->captureDelayNanos(); },
        .onClockCheck = [controller] { controller->clockCheck(); },
        .hasAwakeDisplay = [] { return true; },
    });
    for (int i = 0; i < kFrames; ++i) {
        if (moving)
            f.showWindows(desktop(i % 200));
        f.frames(1);
    }
    if (!controller->focus() || controller->overlays().size() != 2)
        std::printf("warning: %s focus, %zu overlays: the figures below are not of a working effect\n",
                    controller->focus() ? "a" : "no", controller->overlays().size());
    return micros;
}

} // namespace

int main()
{
    report("frame tick, 100 windows on 2 screens, still", run(false));
    report("frame tick, 100 windows, focus window moving", run(true));
    return 0;
}
