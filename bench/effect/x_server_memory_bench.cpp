// Memory of the X server and of the program under Xvfb at 1280x720 with
// openbox:
//   - the X server's resident size (VmRSS) with a 20000 x 20000 window mapped,
//     without Hushglass, with Hushglass and the effect off, and with the
//     effect on (when the server keeps a copy of every window);
//   - with a number of seconds as argument, the program's resident size while
//     windows are opened, moved and closed for that long, effect on (sampled
//     after the first minute, or a tenth of the time when shorter, and at the
//     end).
//
// Run: ninja -C build bench_x_server_memory && build/bench/effect/bench_x_server_memory [churn seconds]
// Prints figures only.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_desktop.h"

namespace {

using namespace std::chrono_literals;
using hg::testing::E2eDesktop;

long residentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void mapHugeWindow(E2eDesktop& desk)
{
    xcb_connection_t* c = desk.connection();
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {0x336699, 1};  // background pixel, override-redirect
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, desk.root(), 0, 0, 20000, 20000, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    // Kept low, so that the desktop's windows stay in sight.
    const std::uint32_t below = XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
    xcb_map_window(c, window);
    desk.sync();
}

// The X server's resident size in MB with the huge window, `mode` being
// "none" (no program), "off" or "on".
double serverMegabytes(const std::string& mode)
{
    E2eDesktop desk(1280, 720);
    if (!desk.ok()) {
        std::printf("cannot start the desktop: %s\n", desk.error().c_str());
        return -1;
    }
    desk.openPatterned("a 500x400+60+80", 1);
    desk.openPatterned("b 500x400+400+200", 2);
    if (mode != "none") {
        desk.writeDefaults(mode == "on" ? R"({"enabled": true})" : R"({"enabled": false})");
        if (!desk.startProgram()) {
            std::printf("the program did not start:\n%s\n", desk.programOutput().c_str());
            return -1;
        }
    }
    mapHugeWindow(desk);
    std::this_thread::sleep_for(3s);
    const double mb = residentKiB(desk.session().serverPid()) / 1024.0;
    if (mode != "none")
        desk.stopProgram();
    return mb;
}

void churn(int seconds)
{
    E2eDesktop desk(1280, 720);
    if (!desk.ok())
        return;
    desk.writeDefaults(R"({"enabled": true})");
    if (!desk.startProgram()) {
        std::printf("the program did not start:\n%s\n", desk.programOutput().c_str());
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const int early = std::min(60, std::max(1, seconds / 10));
    long earlyKiB = -1;
    int operations = 0;
    std::vector<xcb_window_t> open;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
        if (earlyKiB < 0 && std::chrono::steady_clock::now() - start >= std::chrono::seconds(early))
            earlyKiB = residentKiB(desk.programPid());
        const int n = operations++;
        if (open.size() < 6) {
            const std::string geometry = std::to_string(200 + n % 5 * 40) + "x" + std::to_string(150 + n % 3 * 50)
                + "+" + std::to_string(n * 37 % 900) + "+" + std::to_string(n * 53 % 500);
            if (xcb_window_t w = desk.openPatterned("w" + std::to_string(n) + " " + geometry, n))
                open.push_back(w);
        } else {
            xcb_destroy_window(desk.connection(), open.front());
            open.erase(open.begin());
        }
        desk.sync();
        std::this_thread::sleep_for(50ms);
    }
    const long endKiB = residentKiB(desk.programPid());
    std::printf("program resident size, effect on, window churn (%d operations): %.1f MB after %d s, %.1f MB after "
                "%d s\n",
                operations, earlyKiB / 1024.0, early, endKiB / 1024.0, seconds);
    desk.stopProgram();
}

} // namespace

int main(int argc, char** argv)
{
    std::printf("X server resident size, Xvfb 1280x720 + openbox, two windows and one of 20000x20000:\n");
    for (const char* mode : {"none", "off", "on"})
        std::printf("  %-28s %8.1f MB\n",
                    std::string(mode) == "none" ? "without Hushglass"
                        : std::string(mode) == "off" ? "Hushglass, effect off"
                                                     : "Hushglass, effect on",
                    serverMegabytes(mode));
    if (argc > 1)
        churn(std::atoi(argv[1]));
    return 0;
}
