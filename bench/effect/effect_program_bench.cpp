// The real program under Xvfb at 1920x1080 with openbox, a noise wallpaper
// and six patterned test-client windows, the effect on:
//   - CPU use of the program (and of the X server, which composes the
//     captures) over 10 s with everything still (twice: soon after the last
//     change, and once the capture delay has grown to its longest), and over
//     10 s while a window is dragged (moved every 16 ms), from /proc/<pid>/stat;
//   - the program's peak resident memory (VmHWM);
//   - the latency from asking the window manager to activate a window to the
//     first moment the root's stacking order shows an overlay directly below
//     that window's frame (xcb_query_tree polled every 0.5 ms); median of 40.
//
// Run: ninja -C build bench_effect_program && build/bench/effect/bench_effect_program [program]
// Prints figures only. Set HUSHGLASS_BENCH_SHOT=file.png to save the screen.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../windows/bench_stats.h"
#include "e2e_desktop.h"

namespace {

using namespace std::chrono_literals;
using hg::testing::E2eDesktop;
using hg::testing::cpuSeconds;

std::string statusField(pid_t pid, const std::string& name)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    return "?";
}

// Percent of one core used by each process over `period` while `work` runs.
void measureCpu(const char* what, pid_t program, pid_t server, std::chrono::seconds period,
                const std::function<void()>& work)
{
    const double p0 = cpuSeconds(program), s0 = cpuSeconds(server);
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < period) {
        if (work)
            work();
        else
            std::this_thread::sleep_for(100ms);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-38s program %5.1f %% of a core   Xvfb %5.1f %%   (%.1f s)\n", what,
                100 * (cpuSeconds(program) - p0) / wall, 100 * (cpuSeconds(server) - s0) / wall, wall);
}

// Whether an overlay window lies directly below `frame` in the root's stacking order.
bool overlayDirectlyBelow(E2eDesktop& desk, xcb_window_t frame, const std::vector<xcb_window_t>& overlays)
{
    const std::vector<xcb_window_t> order = desk.stackingOrder();
    const auto it = std::find(order.begin(), order.end(), frame);
    return it != order.end() && it != order.begin()
        && std::find(overlays.begin(), overlays.end(), *(it - 1)) != overlays.end();
}

std::vector<double> activationLatencies(E2eDesktop& desk, const std::vector<std::pair<std::string, xcb_window_t>>& windows)
{
    std::vector<xcb_window_t> overlays;
    for (const auto& overlay : desk.overlays())
        overlays.push_back(overlay.id);
    std::vector<double> millis;
    for (int i = 0; i < 40; ++i) {
        const auto& [name, client] = windows[static_cast<std::size_t>(i) % windows.size()];
        const xcb_window_t frame = desk.frameOf(client);
        const auto start = std::chrono::steady_clock::now();
        desk.client().command("activate " + name);
        while (!overlayDirectlyBelow(desk, frame, overlays)) {
            if (std::chrono::steady_clock::now() - start > 2s)
                break;
            std::this_thread::sleep_for(500us);
        }
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_for(150ms);  // let the capture catch up, as between real clicks
    }
    return millis;
}

} // namespace

int main(int argc, char** argv)
{
    // Another build of the program to measure instead of the one built here.
    const char* binary = argc > 1 ? argv[1] : nullptr;
    if (!hg::testing::XSession::available()) {
        std::fprintf(stderr, "Xvfb or openbox is not installed\n");
        return 1;
    }
    E2eDesktop desk(1920, 1080);
    if (!desk.ok()) {
        std::fprintf(stderr, "%s\n", desk.error().c_str());
        return 1;
    }
    std::vector<std::pair<std::string, xcb_window_t>> windows;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "w" + std::to_string(i);
        const std::string geometry = std::to_string(520 + 40 * i) + "x" + std::to_string(380 + 20 * i) + "+"
            + std::to_string(60 + 230 * i) + "+" + std::to_string(60 + 90 * i);
        windows.emplace_back(name, desk.openPatterned(name + " " + geometry + " class=app" + std::to_string(i) + ",App", i + 1));
    }
    desk.client().command("activate w0");
    desk.session().run({"xdotool", "mousemove", "1900", "1060"});
    desk.writeDefaults(R"({"enabled": true})");
    if (!(binary ? desk.startProgram({}, binary) : desk.startProgram())) {
        std::fprintf(stderr, "the program did not start:\n%s\n", desk.programOutput().c_str());
        return 1;
    }
    std::this_thread::sleep_for(3s);  // first pictures, fade-in, the capture delay settling
    if (const char* shot = std::getenv("HUSHGLASS_BENCH_SHOT"))
        desk.screenshot().save(shot);

    const pid_t program = desk.programPid(), server = desk.session().serverPid();
    std::printf("hushglass under Xvfb 1920x1080, openbox, 6 windows, effect on\n");
    // The capture delay grows with the frames in a row without change: 33 ms
    // after 0.75 s, 250 ms after 15 s.
    measureCpu("all still, 3-13 s after a change", program, server, 10s, nullptr);
    std::this_thread::sleep_for(3s);
    measureCpu("all still, 16-26 s after a change", program, server, 10s, nullptr);
    int step = 0;
    auto next = std::chrono::steady_clock::now();
    measureCpu("a window dragged (16 ms steps), 10 s", program, server, 10s, [&] {
        ++step;
        const int x = 200 + (step * 6) % 1000, y = 150 + (step * 3) % 500;
        desk.client().command("move w0 " + std::to_string(x) + " " + std::to_string(y));
        next += 16ms;
        std::this_thread::sleep_until(next);
    });
    std::printf("%-38s %d moves\n", "  drag steps sent", step);

    const std::vector<double> latencies = activationLatencies(desk, windows);
    std::printf("%-38s median %.1f ms   p90 %.1f ms   max %.1f ms   (%zu activations)\n",
                "activation to overlay below it", hg::bench::percentile(latencies, 0.5),
                hg::bench::percentile(latencies, 0.9), *std::max_element(latencies.begin(), latencies.end()),
                latencies.size());
    std::printf("%-38s %s\n", "peak resident memory (VmHWM)", statusField(program, "VmHWM").c_str());
    desk.stopProgram();
    return 0;
}
