#include "engine/windows/window_scanner.h"

#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace hg {

// Shared between the scanner and its background scan. `mutex` guards the
// fields below it; it is held only for these few reads and writes, never
// during a scan.
struct WindowScanner::State {
    State(WindowServer& s, Clock& c) : server(s), clock(c) {}

    WindowServer& server;
    Clock& clock;

    mutable std::mutex mutex;
    std::vector<WindowSnapshot> current;
    bool scanning = false;
    std::uint64_t lastCompletionNanos = 0;
    // The server's change count when the stored list was asked for, and when
    // the running scan was.
    std::optional<std::uint64_t> storedCount;
    std::optional<std::uint64_t> scanCount;
    bool alive = true;          // false once the scanner is being destroyed
    bool scanRunning = false;   // a pool thread is inside `scan` right now
    std::condition_variable scanEnded;

    void store(std::vector<WindowSnapshot> windows, std::optional<std::uint64_t> count = std::nullopt)
    {
        const std::uint64_t now = clock.uptimeNanos();
        std::lock_guard lock(mutex);
        current = std::move(windows);
        lastCompletionNanos = now;
        scanning = false;
        storedCount = count;
    }
};

WindowScanner::WindowScanner(WindowServer& server, Clock& clock, BackgroundPool& pool)
    : m_state(std::make_shared<State>(server, clock)), m_pool(pool)
{
}

WindowScanner::~WindowScanner()
{
    std::unique_lock lock(m_state->mutex);
    m_state->alive = false;
    m_state->scanEnded.wait(lock, [this] { return !m_state->scanRunning; });
}

std::vector<WindowSnapshot> WindowScanner::current() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->current;
}

bool WindowScanner::scanning() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->scanning;
}

std::uint64_t WindowScanner::lastCompletionNanos() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->lastCompletionNanos;
}

void WindowScanner::refreshIfDue(std::uint64_t minimumIntervalNanos)
{
    const std::optional<std::uint64_t> count = m_state->server.changeCount();
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->scanning)
            return;
        if (count) {
            // A server that tells of its changes: the list is scanned again
            // as soon as it changed, and never while it did not.
            if (m_state->storedCount == count)
                return;
        } else if (m_state->clock.uptimeNanos() < m_state->lastCompletionNanos + minimumIntervalNanos) {
            // The interval counts from the previous completion, not its start.
            return;
        }
        m_state->scanning = true;
        m_state->scanCount = count;
    }
    // A list the server holds in memory is taken at once: the frame that asked
    // works on it, and nothing waits for the server.
    if (count && m_state->server.answersWithoutWaiting()) {
        m_state->store(scan(m_state->server), count);
        return;
    }
    m_pool.run([weak = std::weak_ptr<State>(m_state)] { runScan(weak); });
}

void WindowScanner::runScan(const std::weak_ptr<State>& weakState)
{
    const std::shared_ptr<State> state = weakState.lock();
    if (!state)
        return;
    {
        std::lock_guard lock(state->mutex);
        if (!state->alive)
            return;
        state->scanRunning = true;
    }
    std::vector<WindowSnapshot> windows = scan(state->server);
    bool alive = false;
    {
        std::lock_guard lock(state->mutex);
        alive = state->alive;
    }
    // Stored only while the scanner exists; the destructor waits for
    // `scanRunning` to drop, so the clock is still there.
    if (alive) {
        std::optional<std::uint64_t> count;
        {
            std::lock_guard lock(state->mutex);
            count = state->scanCount;
        }
        state->store(std::move(windows), count);
    }
    {
        std::lock_guard lock(state->mutex);
        state->scanRunning = false;
    }
    state->scanEnded.notify_all();
}

void WindowScanner::store(std::vector<WindowSnapshot> windows)
{
    m_state->store(std::move(windows));
}

namespace {

// The snapshot fields of one entry, or nullopt when the entry is malformed: a
// required field missing, a window number outside 32 unsigned bits, a process
// outside the signed 32-bit range, or bounds that are not finite.
std::optional<WindowSnapshot> snapshotFields(const WindowInfoEntry& entry)
{
    if (!entry.windowNumber || !entry.ownerPID || !entry.layer || !entry.bounds)
        return std::nullopt;
    const std::int64_t number = *entry.windowNumber;
    const std::int64_t pid = *entry.ownerPID;
    if (number < 0 || number > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    if (pid < std::numeric_limits<std::int32_t>::min() || pid > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    const Rect& r = *entry.bounds;
    if (!std::isfinite(r.origin.x) || !std::isfinite(r.origin.y) || !std::isfinite(r.size.width)
        || !std::isfinite(r.size.height))
        return std::nullopt;
    WindowSnapshot snapshot;
    snapshot.windowID = static_cast<std::uint32_t>(number);
    snapshot.pid = static_cast<std::int32_t>(pid);
    snapshot.layer = *entry.layer;
    snapshot.rect = r;
    snapshot.isOnScreen = entry.isOnScreen.value_or(true);
    return snapshot;
}

} // namespace

std::vector<WindowSnapshot> WindowScanner::scan(WindowServer& server)
{
    const std::optional<std::vector<WindowInfoEntry>> list =
        server.windowList(WindowListOption::onScreenOnly | WindowListOption::excludeDesktopElements);
    if (!list)
        return {};

    // Lives for this scan only: a process asked about once, absent answers included.
    std::unordered_map<std::int32_t, std::optional<std::string>> bundleIDs;
    std::vector<WindowSnapshot> windows;
    windows.reserve(list->size());
    for (const WindowInfoEntry& entry : *list) {
        std::optional<WindowSnapshot> snapshot = snapshotFields(entry);
        if (!snapshot)
            continue;
        auto [it, inserted] = bundleIDs.try_emplace(snapshot->pid);
        if (inserted)
            it->second = server.bundleIdentifier(snapshot->pid);
        snapshot->bundleID = it->second;
        windows.push_back(std::move(*snapshot));
    }
    return windows;
}

} // namespace hg
