#include "engine/pacing/display_link.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>

#include "base/log.h"

namespace hg {

namespace {

constexpr std::uint64_t kOneMillisecondNanos = 1'000'000;
constexpr std::uint64_t kOneSecondNanos = 1'000'000'000;
// From this rate on the interval is the 1 ms floor.
constexpr int kFloorRate = 500;

} // namespace

// Everything the tick thread touches. The tick source's callback and every
// queued delivery hold it strongly, so it outlives the `DisplayLink` if need be.
struct DisplayLink::Shared {
    struct State {
        bool pending = false;             // a delivery is queued and has not run yet
        std::uint64_t lastTickNanos = 0;  // uptime of the last accepted tick, in ns
    };

    Shared(std::uint64_t interval, std::function<void()> handler, MainQueue& queue, Clock& clock)
        : minimumIntervalNanos(interval), handler(std::move(handler)), queue(queue), clock(clock)
    {
    }

    const std::uint64_t minimumIntervalNanos;
    const std::function<void()> handler;  // called on the main thread only
    MainQueue& queue;
    Clock& clock;

    std::mutex stateLock;
    State state;  // guarded by stateLock
    std::mutex stoppedLock;
    bool stopped = true;  // guarded by stoppedLock; ticks arriving while true are ignored

    bool isStopped()
    {
        std::lock_guard lock(stoppedLock);
        return stopped;
    }

    // Tick thread, once per refresh.
    static void outputCallback(const std::shared_ptr<Shared>& self)
    {
        if (self->isStopped())
            return;
        self->offerTick(self);
    }

    // Tick thread. A dropped tick costs one clock read and two short lock sections.
    void offerTick(const std::shared_ptr<Shared>& self)
    {
        const std::uint64_t now = clock.uptimeNanos();
        {
            std::lock_guard lock(stateLock);
            if (state.pending)
                return;  // a delivery is queued already
            if (now - state.lastTickNanos < minimumIntervalNanos)
                return;  // too soon after the last accepted tick
            state.pending = true;
            state.lastTickNanos = now;
        }
        queue.post([self] { self->deliver(); });
    }

    // Main thread.
    void deliver()
    {
        // A delivery queued before `stop` would call a handler whose owner may
        // be gone; it is dropped. `stop` has cleared `pending` already.
        if (isStopped())
            return;
        {
            std::lock_guard lock(stateLock);
            state.pending = false;
        }
        handler();
    }
};

std::uint64_t DisplayLink::intervalForRate(int rate)
{
    if (rate >= kFloorRate)
        return kOneMillisecondNanos;
    return kOneSecondNanos / static_cast<std::uint64_t>(std::max(rate, 1)) - kOneMillisecondNanos;
}

DisplayLink::DisplayLink(int rate, std::function<void()> handler, MainQueue& queue, Clock& clock,
                         TickSourceFactory& tickSources)
    : m_minimumIntervalNanos(intervalForRate(rate))
    , m_shared(std::make_shared<Shared>(m_minimumIntervalNanos, std::move(handler), queue, clock))
    , m_queue(queue)
    , m_tickSources(tickSources)
{
}

DisplayLink::~DisplayLink()
{
    stop();
}

void DisplayLink::start()
{
    if (m_link || m_fallbackTimer.isActive())
        return;
    {
        std::lock_guard lock(m_shared->stoppedLock);
        m_shared->stopped = false;
    }
    m_link = m_tickSources.start([shared = m_shared] { Shared::outputCallback(shared); });
    if (m_link)
        return;

    logLine("Hushglass: no display tick thread could start; pacing frames with a timer");
    // The timer runs on the main queue already, so it calls the handler itself.
    // It uses neither `pending`, `lastTickNanos` nor `stopped`; `stop` cancels it.
    m_fallbackTimer = m_queue.repeating(std::chrono::nanoseconds(m_minimumIntervalNanos),
                                        [shared = m_shared] { shared->handler(); });
}

void DisplayLink::stop()
{
    m_fallbackTimer.cancel();
    m_fallbackTimer = ScopedTaskHandle();
    {
        std::lock_guard lock(m_shared->stoppedLock);
        m_shared->stopped = true;
    }
    // Joins the tick thread: no tick is offered after this.
    m_link.reset();
    std::lock_guard lock(m_shared->stateLock);
    m_shared->state = {};
}

} // namespace hg
