// Times one window scan (the window server's list and the identifiers, as the
// background refresh runs it) with 100 client windows under Xvfb + openbox,
// and counts the round trips it waits for: a full read of the tree, and the
// window model's list when nothing changed and after one window moved or was
// activated (one batch of events, no full read). Also times the
// frontmost-application look-up and a screen re-query. Prints median and p90
// in milliseconds.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <xcb/xcb.h>

#include "bench/windows/bench_stats.h"
#include "engine/windows/window_scanner.h"
#include "platform/windows/x11_screens.h"
#include "platform/windows/x11_window_server.h"
#include "platform/windows/x11_workspace.h"
#include "platform/x11/window_model.h"
#include "support/x_session.h"
#include "test_client.h"

namespace {

double cpuMillis()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Wall-clock median and p90, and this process's own processor time per run
// (the rest is the X server's work and waiting on a loaded machine).
void report(const char* what, int runs, const std::function<void()>& work)
{
    std::vector<double> millis;
    const double cpuBefore = cpuMillis();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%s, %d runs: median %.3f ms, p90 %.3f ms, client processor time %.3f ms per run\n", what, runs,
                hg::bench::percentile(millis, 0.5), hg::bench::percentile(millis, 0.9),
                (cpuMillis() - cpuBefore) / runs);
}

} // namespace

int main()
{
    using hg::testing::XSession;
    if (!XSession::available()) {
        std::printf("skipped: Xvfb or openbox is not installed\n");
        return 0;
    }
    XSession session;
    if (!session.ok()) {
        std::printf("skipped: %s\n", session.error().c_str());
        return 0;
    }
    hg::testing::TestClient clients[2] = {hg::testing::TestClient(session.display()),
                                          hg::testing::TestClient(session.display())};
    for (int i = 0; i < 100; ++i) {
        const std::string options = i % 2 ? " pid=no class=odd,Odd" : " appid=org.example.Even";
        clients[i % 2].open("w" + std::to_string(i) + " 300x200+" + std::to_string((i * 17) % 1600) + "+"
                            + std::to_string((i * 11) % 850) + options);
    }
    xcb_connection_t* connection = xcb_connect(session.display().c_str(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    hg::X11WindowServer server(connection, root, session.display());
    hg::X11Workspace workspace(server);
    hg::X11Screens screens(connection, root);

    // Let openbox finish placing and decorating the new windows first.
    hg::testing::TestClient(session.display()).command("sync");
    for (int i = 0; i < 50; ++i)
        (void)server.query();
    const auto list = server.query();
    std::printf("windows listed: %zu, round trips per scan: %d\n", list ? list->windows.size() : 0,
                list ? list->roundTrips : -1);
    hg::x11::AtomCache atoms(connection);
    const hg::x11::WindowListQuery fullRead(connection, root, atoms);
    report("full read of the tree (WindowListQuery::run)", 100, [&] { (void)fullRead.run(); });
    const std::shared_ptr<hg::x11::WindowModel>& model = server.model();
    const std::uint64_t fullReadsBefore = model->counts().fullReads;
    report("model list, nothing changed", 300, [&] { (void)model->list(); });
    int step = 0;
    // Events come within milliseconds; a window manager that ignored the
    // request would leave the loop after two seconds.
    auto until = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
        }
    };
    auto waitForChange = [&](std::uint64_t seen) { until([&] { return model->changeCount() != seen; }); };
    std::vector<double> moveMillis, activateMillis;
    for (int i = 0; i < 50; ++i) {
        std::uint64_t seen = model->changeCount();
        clients[0].command("move w0 " + std::to_string(100 + (++step % 50) * 4) + " 100");
        waitForChange(seen);
        auto start = std::chrono::steady_clock::now();
        (void)model->list();
        moveMillis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        seen = model->changeCount();
        const std::uint64_t activations = model->activationCount();
        clients[i % 2].command("activate w" + std::to_string(i % 2 + 2 * (i % 10)));
        until([&] { return model->activationCount() != activations; });
        start = std::chrono::steady_clock::now();
        (void)model->list();
        activateMillis.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("model list after a move, 50 runs: median %.3f ms, p90 %.3f ms\n",
                hg::bench::percentile(moveMillis, 0.5), hg::bench::percentile(moveMillis, 0.9));
    std::printf("model list after an activation, 50 runs: median %.3f ms, p90 %.3f ms\n",
                hg::bench::percentile(activateMillis, 0.5), hg::bench::percentile(activateMillis, 0.9));
    std::printf("model: full reads during the moves and activations: %llu (the fallback read at most once a second), "
                "batches that read what events named: %llu\n",
                static_cast<unsigned long long>(model->counts().fullReads - fullReadsBefore),
                static_cast<unsigned long long>(model->counts().partialReads));
    std::size_t snapshots = 0;
    report("WindowScanner::scan, 100 client windows", 300, [&] { snapshots = hg::WindowScanner::scan(server).size(); });
    std::printf("snapshots per scan: %zu\n", snapshots);
    report("X11Workspace::frontmostApplication", 100, [&] { (void)workspace.frontmostApplication(); });
    report("X11Screens::refresh", 100, [&] { (void)screens.refresh(); });
    xcb_disconnect(connection);
    return 0;
}
