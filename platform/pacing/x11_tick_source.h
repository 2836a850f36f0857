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
// callback from its own thread and joins that thread when destroyed.
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

class PresentTickSource final : public TickSource {
public:
    // Takes `connection` over (it is closed with the source, or at once on
    // failure) and starts the thread. nullptr when the server has no Present
    // or the thread cannot start.
    [[nodiscard]] static std::unique_ptr<PresentTickSource> start(xcb_connection_t* connection, xcb_window_t root,
                                                                  std::function<void()> onTick);
    ~PresentTickSource() override;

private:
    PresentTickSource(xcb_connection_t* connection, xcb_window_t root, std::function<void()> onTick);
    bool subscribe();
    void run();
    // Asks for a notification at MSC `target` (or at once when it has passed).
    void requestNotify(std::uint64_t target);
    void handle(const xcb_generic_event_t* event);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::function<void()> m_onTick;
    std::uint32_t m_eventId = 0;
    xcb_special_event_t* m_events = nullptr;
    std::uint32_t m_serial = 0;
    int m_wakeFd = -1;  // eventfd that ends the thread's wait
    std::atomic<bool> m_quit = false;
    std::thread m_thread;
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

private:
    std::unique_ptr<TickSource> startSteadyClock(double hz, std::function<void()> onTick);
    void note(Kind kind, double hz);

    std::string m_displayName;
    Kind m_lastKind = Kind::none;
    Kind m_loggedKind = Kind::none;  // each change of kind is logged once
};

} // namespace hg
