// What a still or nearly still screen costs: the real program under Xvfb at
// 1920x1080 with openbox, a noise wallpaper and six patterned test-client
// windows, the effect on. CPU of the program and of the X server (which
// composes the captures), from /proc/<pid>/stat:
//   - still: over 60 s, starting 20 s after the last change;
//   - typing-like: a focused xterm blinking its cursor and a clock behind the
//     overlay ticking once a second, over 30 s.
// Each program given on the command line (default: the one built here) runs
// the same scenario on a fresh desktop, one after the other, so that two
// builds are measured side by side on the same machine.
//
// Run: ninja -C build bench_still_screen && build/bench/effect/bench_still_screen [program...]
// Prints figures only.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_desktop.h"

namespace {

using namespace std::chrono_literals;
using hg::testing::E2eDesktop;
using hg::testing::cpuSeconds;

void measureCpu(const char* what, pid_t program, pid_t server, std::chrono::seconds period)
{
    const double p0 = cpuSeconds(program), s0 = cpuSeconds(server);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(period);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double p = 100 * (cpuSeconds(program) - p0) / wall, s = 100 * (cpuSeconds(server) - s0) / wall;
    std::printf("  %-34s program %5.2f %%   Xvfb %5.2f %%   together %5.2f %% of a core (%.0f s)\n", what, p, s,
                p + s, wall);
    std::fflush(stdout);
}

bool scenario(const char* binary)
{
    E2eDesktop desk(1920, 1080);
    if (!desk.ok()) {
        std::fprintf(stderr, "%s\n", desk.error().c_str());
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        const std::string name = "w" + std::to_string(i);
        const std::string geometry = std::to_string(520 + 40 * i) + "x" + std::to_string(380 + 20 * i) + "+"
            + std::to_string(60 + 230 * i) + "+" + std::to_string(60 + 90 * i);
        desk.openPatterned(name + " " + geometry + " class=app" + std::to_string(i) + ",App", i + 1);
    }
    desk.client().command("activate w0");
    desk.session().run({"xdotool", "mousemove", "1900", "1060"});
    desk.writeDefaults(R"({"enabled": true})");
    if (!desk.startProgram({}, binary)) {
        std::fprintf(stderr, "the program did not start:\n%s\n", desk.programOutput().c_str());
        return false;
    }
    const pid_t program = desk.programPid(), server = desk.session().serverPid();
    std::printf("%s\n", binary ? binary : "this build");
    std::this_thread::sleep_for(20s);
    measureCpu("still, 20-80 s after a change", program, server, 60s);

    desk.session().spawn({"xclock", "-digital", "-update", "1", "-geometry", "+20+950"});
    desk.session().spawn({"xterm", "-bc", "-title", "typing", "-geometry", "80x24+1300+80"});
    std::this_thread::sleep_for(2s);
    desk.session().run({"xdotool", "search", "--name", "typing", "windowactivate"});
    std::this_thread::sleep_for(20s);  // the focus settled, the capture delay at its longest
    measureCpu("blinking cursor + ticking clock", program, server, 30s);
    desk.stopProgram();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!hg::testing::XSession::available()) {
        std::fprintf(stderr, "Xvfb or openbox is not installed\n");
        return 1;
    }
    std::printf("hushglass under Xvfb 1920x1080, openbox, 6 windows, effect on\n");
    if (argc < 2)
        return scenario(nullptr) ? 0 : 1;
    for (int i = 1; i < argc; ++i)
        if (!scenario(argv[i]))
            return 1;
    return 0;
}
