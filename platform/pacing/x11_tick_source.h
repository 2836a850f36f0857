// Display-refresh ticks on X11, for the display link.
//
// Where the X server has the Present extension, a thread waits for Present's
// MSC notifications on the root window (one per vertical refresh of the
// monitor that shows most of the root, about 60 Hz on Xvfb) on a connection of
// its own. Without Present, a thread woken by the steady clock at the primary
// monitor's refresh rate (RandR mode timings; 60 Hz when unknown) stands in.
// When neither thread can start, the factory answers nullptr and the display
// link falls back to its main-queue timer.
//
//     X11TickSourceFactory tickSources;           // $DISPLAY, or a display name
//     DisplayLink link(60, handler, queue, clock, tickSources);
//
// The factory is created and used on the main thread; each source calls its
// callback from its own thread, and none after it is destroyed. The Present
// thread and its connection are kept by the factory between sources.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <xcb/xcb.h>

#include "engine/pacing/tick_source.h"

namespace hg {

// The primary monitor's refresh rate in Hz from its RandR mode (the first
// active CRTC's when no output is primary); nullopt when RandR or the mode's
// timings are missing, as on Xvfb. Blocks on a few round trips.
[[nodiscard]] std::optional<double> primaryRefreshRate(xcb_connection_t* connection, xcb_window_t root);

// A thread that follows Present's MSC notifications on the root over a
// connection of its own. It outlives the sources that use it: while no source
// does, it asks for no notification and sleeps, so that a display link
// started again (after the frame clock idled) ticks without a new connection,
// subscription and thread.
class PresentClock {
public:
    // Takes `connection` over (it is closed with the clock, or at once on
    // failure) and starts the thread, paused. nullptr when the server has no
    // Present or the thread cannot start.
    [[nodiscard]] static std::shared_ptr<PresentClock> start(xcb_connection_t* connection, xcb_window_t root);
    ~PresentClock();
    PresentClock(const PresentClock&) = delete;
    PresentClock& operator=(const PresentClock&) = delete;

    // Calls `onTick` from the thread once per refresh from now on.
    void resume(std::function<void()> onTick);
    // When this returns, `onTick` is not running and is not called again
    // until the next `resume`.
    void pause();
    [[nodiscard]] bool isTicking() const;
    // False once the connection broke: the clock cannot tick again.
    [[nodiscard]] bool isUsable() const;

private:
    PresentClock(xcb_connection_t* connection, xcb_window_t root);
    bool subscribe();
    void run();
    // Asks for a notification at MSC `target` (or at once when it has passed).
    void requestNotify(std::uint64_t target);
    void handle(const xcb_generic_event_t* event);
    void wakeThread();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::uint32_t m_eventId = 0;
    xcb_special_event_t* m_events = nullptr;
    int m_wakeFd = -1;  // eventfd that ends the thread's wait
    std::atomic<bool> m_quit = false;
    std::thread m_thread;

    mutable std::mutex m_mutex;     // guards what follows; held while `onTick` runs
    std::function<void()> m_onTick;  // empty while paused
    std::uint32_t m_serial = 0;     // of the last notification asked for (thread only)
    std::uint32_t m_firstLive = 1;  // notifications asked for before the last resume are stale
    bool m_restart = false;         // resumed: the thread asks for a notification at once
};

// A source over a shared Present clock: resumes it when made, pauses it when
// destroyed.
class PresentTickSource final : public TickSource {
public:
    PresentTickSource(std::shared_ptr<PresentClock> clock, std::function<void()> onTick);
    ~PresentTickSource() override;

private:
    std::shared_ptr<PresentClock> m_clock;
};

class SteadyClockTickSource final : public TickSource {
public:
    // Ticks `hz` times per second (clamped to 1…1000; 60 when not finite).
    // Throws std::system_error when the thread cannot start.
    SteadyClockTickSource(double hz, std::function<void()> onTick);
    ~SteadyClockTickSource() override;

    [[nodiscard]] std::chrono::nanoseconds period() const { return m_period; }

private:
    void run();

    std::chrono::nanoseconds m_period;
    std::function<void()> m_onTick;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;  // guarded by m_mutex
    std::thread m_thread;
};

class X11TickSourceFactory final : public TickSourceFactory {
public:
    enum class Kind { none, present, steadyClock };

    // `displayName` as xcb_connect takes it; empty for $DISPLAY. Each source
    // opens its own connection.
    explicit X11TickSourceFactory(std::string displayName = {});

    std::unique_ptr<TickSource> start(std::function<void()> onTick) override;

    // What the last `start` gave; `none` when it returned nullptr.
    [[nodiscard]] Kind lastKind() const { return m_lastKind; }
    // Connections opened to the X server so far.
    [[nodiscard]] int connectionsOpened() const { return m_connectionsOpened; }

private:
    std::unique_ptr<TickSource> startSteadyClock(double hz, std::function<void()> onTick);
    void note(Kind kind, double hz);

    std::string m_displayName;
    std::shared_ptr<PresentClock> m_present;  // kept between sources
    double m_presentHz = 0;                   // the refresh rate it was started for
    int m_connectionsOpened = 0;
    Kind m_lastKind = Kind::none;
    Kind m_loggedKind = Kind::none;  // each change of kind is logged once
};

} // namespace hg
