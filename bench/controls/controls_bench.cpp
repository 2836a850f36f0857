// The real program under Xvfb at 1920x1080 with openbox, trayer as the tray,
// a private session bus and six patterned windows:
//   - from a D-Bus Toggle (effect off → on) to the first blurred picture on
//     the screen: the first change of a 48 × 48 probe inside a background
//     window, polled with GetImage every 0.5 ms; median of 20;
//   - from typing Super+Alt+B (an `xdotool key` process) to the overlay being
//     mapped; median of 20, beside the cost of `xdotool key` for a key
//     nobody grabbed, which the figure includes;
//   - the program's resident memory with the tray and the shortcuts, the
//     effect on and the screen still.
//
// Run: ninja -C build bench_controls && build/bench/controls/bench_controls
#include <QCoreApplication>
#include <QDBusInterface>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../windows/bench_stats.h"
#include "e2e_desktop.h"
#include "private_bus.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using hg::testing::E2eDesktop;

std::vector<std::uint8_t> probe(E2eDesktop& desk, int x, int y)
{
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        desk.connection(), xcb_get_image(desk.connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, desk.root(), x, y, 48, 48, ~0u),
        nullptr);
    if (!image)
        return {};
    const std::uint8_t* data = xcb_get_image_data(image);
    std::vector<std::uint8_t> pixels(data, data + xcb_get_image_data_length(image));
    std::free(image);
    return pixels;
}

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool overlayMapped(E2eDesktop& desk)
{
    for (const auto& overlay : desk.overlays())
        if (overlay.mapped)
            return true;
    return false;
}

std::string statusField(pid_t pid, const std::string& name)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    return "?";
}

void report(const char* what, const std::vector<double>& millis)
{
    std::printf("%-44s median %6.1f ms   p90 %6.1f ms   (%zu runs)\n", what, hg::bench::percentile(millis, 0.5),
                hg::bench::percentile(millis, 0.9), millis.size());
}

} // namespace

int main(int argc, char* argv[])
{
    if (!hg::testing::XSession::available() || !hg::testing::PrivateBus::available()) {
        std::fprintf(stderr, "Xvfb, openbox or dbus-daemon is not installed\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    hg::testing::PrivateBus bus;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    E2eDesktop desk(1920, 1080);
    if (!bus.ok() || !desk.ok()) {
        std::fprintf(stderr, "no desktop or bus: %s\n", desk.error().c_str());
        return 1;
    }
    desk.session().spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                          "--height", "32"});
    for (int i = 0; i < 6; ++i) {
        const std::string name = "w" + std::to_string(i);
        const std::string geometry = std::to_string(520 + 40 * i) + "x" + std::to_string(380 + 20 * i) + "+"
            + std::to_string(60 + 230 * i) + "+" + std::to_string(60 + 90 * i);
        desk.openPatterned(name + " " + geometry + " class=app" + std::to_string(i) + ",App", i + 1);
    }
    desk.client().command("activate w5");
    desk.session().run({"xdotool", "mousemove", "1900", "1060"});
    desk.writeDefaults(R"({"enabled": false})");
    if (!desk.startProgram()) {
        std::fprintf(stderr, "the program did not start:\n%s\n", desk.programOutput().c_str());
        return 1;
    }
    std::this_thread::sleep_for(1s);
    QDBusConnection connection = bus.connect("bench");
    QDBusInterface hushglass("io.hushglass.Hushglass", "/io/hushglass/Hushglass", "io.hushglass.Hushglass",
                             connection);

    // Inside w0, far from the focus window w5.
    const int px = 120, py = 120;
    const std::vector<std::uint8_t> sharp = probe(desk, px, py);
    std::vector<double> toggle;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        hushglass.call(QStringLiteral("Toggle"));
        while (probe(desk, px, py) == sharp && millisSince(start) < 3000)
            std::this_thread::sleep_for(500us);
        toggle.push_back(millisSince(start));
        std::this_thread::sleep_for(300ms);
        hushglass.call(QStringLiteral("Toggle"));
        while (probe(desk, px, py) != sharp && millisSince(start) < 6000)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(200ms);
    }

    std::vector<double> shortcut, baseline;
    for (int i = 0; i < 20; ++i) {
        auto start = Clock::now();
        desk.session().run({"xdotool", "key", "super+alt+b"});
        while (!overlayMapped(desk) && millisSince(start) < 3000)
            std::this_thread::sleep_for(500us);
        shortcut.push_back(millisSince(start));
        std::this_thread::sleep_for(300ms);
        desk.session().run({"xdotool", "key", "super+alt+b"});
        std::this_thread::sleep_for(300ms);
        start = Clock::now();
        desk.session().run({"xdotool", "key", "shift"});
        baseline.push_back(millisSince(start));
    }

    hushglass.call(QStringLiteral("Enable"));
    std::this_thread::sleep_for(5s);
    std::printf("hushglass under Xvfb 1920x1080, openbox, trayer, 6 windows\n");
    report("D-Bus Toggle to first blurred picture", toggle);
    report("Super+Alt+B typed to overlay mapped", shortcut);
    report("  of which `xdotool key` itself (no grab)", baseline);
    std::printf("%-44s %s (peak %s)\n", "resident memory, effect on, still", statusField(desk.programPid(), "VmRSS").c_str(),
                statusField(desk.programPid(), "VmHWM").c_str());
    desk.stopProgram();
    return 0;
}
