// Keeps the latest list of on-screen windows, refreshed in the background.
//
// The privacy controller owns one scanner and asks it on every frame tick to
// refresh itself if a refresh is due; the request costs one lock and a clock
// read and returns at once, while the scan runs on the pool. Readers take a
// copy of the list (`current`) and work on it.
//
//     WindowScanner scanner(server, clock, pool);
//     scanner.store(WindowScanner::scan(server));     // synchronous, at switch-on
//     scanner.refreshIfDue(33'000'000);               // each frame: at most every 33 ms
//     std::vector<WindowSnapshot> windows = scanner.current();
//
// Threads: `current`, `refreshIfDue` and `store` may be called from any thread.
// At most one background scan runs at a time; a request during a scan is
// dropped, not queued. The scan holds the scanner's state weakly: a scan that
// outlives the scanner drops its result. The destructor waits for a scan that
// is already running (a few milliseconds at most), so the server and the clock
// are never used after the scanner is gone; a scan still waiting in the pool
// does nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/background_pool.h"
#include "base/clock.h"
#include "engine/windows/window_server.h"
#include "engine/windows/window_snapshot.h"

namespace hg {

class WindowScanner {
public:
    WindowScanner(WindowServer& server, Clock& clock, BackgroundPool& pool);
    ~WindowScanner();
    WindowScanner(const WindowScanner&) = delete;
    WindowScanner& operator=(const WindowScanner&) = delete;

    // A copy of the last completed scan's list, taken under the lock.
    [[nodiscard]] std::vector<WindowSnapshot> current() const;
    // True while a background scan is under way.
    [[nodiscard]] bool scanning() const;
    // Uptime in nanoseconds when the last result was stored; 0 before the first.
    [[nodiscard]] std::uint64_t lastCompletionNanos() const;

    // Starts a background scan unless one is running or the last one completed
    // less than `minimumIntervalNanos` ago. Returns at once. An interval of 0
    // forces a scan unless one is running. A server that tells of its changes
    // (`WindowServer::changeCount`) is scanned whenever it changed since the
    // stored list was asked for, and not at all while it did not: the
    // interval then plays no part. Such a server's list is scanned at once,
    // on the calling thread, when the server can answer it from memory
    // (`WindowServer::answersWithoutWaiting`), so that the frame that asked
    // already works on it.
    void refreshIfDue(std::uint64_t minimumIntervalNanos);
    // Makes `windows` the current list, stamps the completion time and ends the
    // scanning state.
    void store(std::vector<WindowSnapshot> windows);

    // Asks the server for its on-screen windows without desktop elements and
    // turns the entries into snapshots, front-most first. Malformed entries are
    // skipped; no list at all gives an empty list. Each process's application
    // identifier is asked for at most once per scan. Blocks on the server.
    [[nodiscard]] static std::vector<WindowSnapshot> scan(WindowServer& server);

private:
    struct State;
    static void runScan(const std::weak_ptr<State>& weakState);

    std::shared_ptr<State> m_state;
    BackgroundPool& m_pool;
};

} // namespace hg
