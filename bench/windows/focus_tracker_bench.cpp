// Times the focus choice over 200 windows on two screens, as the frame path
// runs it when it re-evaluates the focus. Prints the median and p90 in
// microseconds.
#include <chrono>
#include <cstdio>
#include <map>

#include "bench/windows/bench_stats.h"
#include "engine/windows/focus_tracker.h"

namespace {

class TwoScreens final : public hg::ScreenSource {
public:
    std::vector<hg::Screen> screens() const override
    {
        return {{1, hg::Rect(0, 0, 1920, 1080), hg::Rect(0, 0, 1920, 1040), 1.0, "left"},
                {2, hg::Rect(1920, 0, 1920, 1080), hg::Rect(1920, 0, 1920, 1080), 1.0, "right"}};
    }
    std::optional<hg::Rect> displayBounds(std::uint32_t n) const override
    {
        if (n == 1)
            return hg::Rect(0, 0, 1920, 1080);
        if (n == 2)
            return hg::Rect(1920, 0, 1920, 1080);
        return std::nullopt;
    }
};

// 200 windows of 20 processes: mostly ordinary windows, some palettes, menus,
// docks, off-screen and small ones, the frontmost process's first window far
// down the list so that every candidate is looked at.
std::vector<hg::WindowSnapshot> windows()
{
    std::vector<hg::WindowSnapshot> list;
    const std::int64_t layers[] = {0, 0, 0, 3, 0, 101, 0, 20, 0, -1};
    for (int i = 0; i < 200; ++i) {
        hg::WindowSnapshot w;
        w.windowID = static_cast<std::uint32_t>(1000 + i);
        w.pid = 100 + i % 20;
        w.layer = layers[i % 10];
        w.rect = hg::Rect((i * 37) % 3600, (i * 23) % 900, 300 + i % 400, 200 + i % 300);
        w.isOnScreen = i % 13 != 0;
        w.bundleID = "org.example.app" + std::to_string(i % 20);
        list.push_back(w);
    }
    return list;
}

} // namespace

int main()
{
    const TwoScreens screens;
    const std::vector<hg::WindowSnapshot> list = windows();
    constexpr int kRuns = 2000;
    std::vector<double> micros;
    std::uint64_t sink = 0;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto focus = hg::FocusTracker::focusWindow(list, 119, false, screens, 42);
        const auto end = std::chrono::steady_clock::now();
        sink += focus ? focus->windowID : 0;
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::printf("FocusTracker::focusWindow, 200 windows, 2 screens, %d runs: median %.2f us, p90 %.2f us (%llu)\n",
                kRuns, hg::bench::percentile(micros, 0.5), hg::bench::percentile(micros, 0.9),
                static_cast<unsigned long long>(sink % 7));
    return 0;
}
