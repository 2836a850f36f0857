// How long the holes of a busy frame take to build: a window hole, a pointer
// disc and 8 excluded windows each covered by 2 others, on a 1920 × 1080 screen.
#include <cstdio>

#include "engine/overlay/mask_geometry.h"
#include "median.h"

int main()
{
    using namespace hg;
    Reveal reveal;
    reveal.window = Rect{700, 300, 600, 400};
    reveal.cursor = Rect{900, 500, 240, 240};
    reveal.focusWindowID = 42;
    for (int i = 0; i < 8; ++i) {
        const double x = 40 + (i % 4) * 460;
        const double y = 60 + (i / 4) * 520;
        reveal.excluded.push_back({Rect{x, y, 400, 300}, {Rect{x + 250, y + 150, 300, 250}, Rect{x - 50, y + 220, 200, 200}}});
    }
    std::size_t points = 0;
    const bench::Timing t = bench::measure(2000, [&](int) {
        const std::optional<Path> holes = holesPath(reveal, 1920, 1080, 16);
        points += holes ? holes->elements().size() : 0;
    });
    std::printf("holesPath (window hole, pointer disc, 8 excluded windows each covered by 2): median %.1f us wall,"
                " %.1f us CPU (%zu path elements)\n", t.medianMicroseconds, t.cpuMicroseconds, points / 2000);
    return 0;
}
