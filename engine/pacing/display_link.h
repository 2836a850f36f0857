// Turns the display's refresh into a steady, rate-limited series of calls of
// one handler on the main thread.
//
// A tick source (tick_source.h) wakes a thread on every refresh; that thread
// drops ticks that come less than `minimumIntervalNanos` after the last
// accepted one and hands at most one tick at a time to the main queue: while a
// delivery waits (the main thread is busy), further ticks are dropped instead
// of piling up. When no tick thread can start, a repeating main-queue timer at
// the same interval calls the handler instead.
//
//     DisplayLink link(60, [weak] { if (auto* s = weak.get()) s->tick(); },
//                      queue, clock, tickSources);
//     link.start();        // about 60 handler calls per second from now on
//     link.stop();         // no handler call after this returns
//
// Owned by the frame scheduler. `start`, `stop` and the destructor run on the
// main thread, and the handler is always called there. Restarting (after wake
// or a display change) is `stop` followed by a new `DisplayLink`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/clock.h"
#include "base/main_queue.h"
#include "engine/pacing/tick_source.h"

namespace hg {

class DisplayLink {
public:
    // `rate` in ticks per second. Nothing runs until `start`.
    DisplayLink(int rate, std::function<void()> handler, MainQueue& queue, Clock& clock,
                TickSourceFactory& tickSources);
    ~DisplayLink();  // stops first
    DisplayLink(const DisplayLink&) = delete;
    DisplayLink& operator=(const DisplayLink&) = delete;

    // Begins ticking; does nothing while a tick source or the timer runs.
    void start();
    // Ends ticking; safe to call repeatedly. A delivery already queued for the
    // main thread is dropped.
    void stop();

    // Smallest distance between two delivered ticks, in nanoseconds.
    [[nodiscard]] std::uint64_t minimumIntervalNanos() const { return m_minimumIntervalNanos; }
    // True while the main-queue timer stands in for a tick source.
    [[nodiscard]] bool usesFallbackTimer() const { return m_fallbackTimer.isActive(); }

    // The interval for a rate r in ticks per second: 1 ms from 500 on, else one
    // period (1 s / max(r, 1)) minus 1 ms, so that a refresh arriving a little
    // early is not dropped. 60 gives 15,666,666 ns.
    [[nodiscard]] static std::uint64_t intervalForRate(int rate);

private:
    struct Shared;

    std::uint64_t m_minimumIntervalNanos;
    // Tick bookkeeping, the two locks and the handler, shared with the tick
    // thread and with queued deliveries, which keep it alive.
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<TickSource> m_link;  // the running tick source, if any
    ScopedTaskHandle m_fallbackTimer;    // the timer used instead of a tick source
    MainQueue& m_queue;
    TickSourceFactory& m_tickSources;
};

} // namespace hg
