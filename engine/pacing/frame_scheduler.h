// The privacy controller's two clocks and their watchdog.
//
// - The frame clock: a `DisplayLink` at 60 ticks per second; each delivered
//   tick advances `frameIndex` and calls the `onFrame` hook.
// - The capture loop: a main-queue coroutine that hands one `CapturePass` to
//   the `onCapture` hook, waits until that pass has ended, sleeps for the
//   delay the `captureDelayNanos` hook chooses (33 ms without the hook), and
//   repeats. The delay runs from the end of one pass to the start of the next.
// - The clock check: once a second it calls `onClockCheck` and, when the frame
//   clock has been silent for more than a second although `hasAwakeDisplay`
//   answers true, replaces the frame clock and calls `onClockRestarted` (its
//   client then captures every display anew).
//
// The scheduler holds no policy: its client installs the hooks (each holding
// the client weakly), reads `frameIndex` and tells it whether a frame was
// settled (`countSettledFrame`) or something changed (`resetSettledFrames`),
// and reads `settledFrames` back to choose its capture delay.
//
// Idling: after every tick the scheduler asks `mayIdle`; while it answers
// true the frame clock stops following the display and ticks from a
// main-queue timer every `kIdleTickNanos` instead, so that a still screen
// costs four wake-ups a second rather than sixty. `wake` (and
// `resetSettledFrames`, `restartDisplayLink`) brings the display's rate back
// at once, with a tick of its own right away. An idle tick stands for all the
// refreshes it spans: `isPeriodBoundary` is true on it for every period.
// While the clock idles, a capture loop whose pause is the idle tick's own
// (`kIdleTickNanos`, up to twice that) starts its next pass on the idle tick
// nearest the end of its pause instead of on a timer of its own, so that a
// still screen wakes the program four times a second, not eight: the first
// pass after the clock began to idle comes up to half a tick early or late,
// the ones after it in step with the ticks. Should the clock wake meanwhile,
// the waiting pass starts when its pause ends, as it would have.
//
//     FrameScheduler scheduler(queue, clock, tickSources);
//     scheduler.setHooks({.onFrame = [weak] { ... }, .onCapture = ..., ...});
//     scheduler.start();               // frame clock and clock check
//     scheduler.startCaptureLoop();    // captures, separately switched
//     scheduler.stop();                // all three end; counters reset
//
// Owned by the privacy controller. Main thread only: every hook is called on
// the main thread, and a hook may call any method here. Hooks must not be
// slow: frame ticks and clock checks run between the capture loop's waits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/async.h"
#include "base/clock.h"
#include "base/main_queue.h"
#include "base/weak_ptr.h"
#include "engine/pacing/capture_pass.h"
#include "engine/pacing/display_link.h"
#include "engine/pacing/tick_source.h"

namespace hg {

// What the scheduler calls; any hook may be left empty.
struct FrameHooks {
    // The per-frame work, on every delivered frame tick.
    std::function<void()> onFrame = nullptr;
    // Starts one capture pass; the loop waits until the pass ends (see
    // CapturePass). Without this hook the loop only sleeps.
    std::function<void(CapturePass)> onCapture = nullptr;
    // The pause after a pass, in nanoseconds; 33 ms without this hook. Called
    // from inside the loop: it must not start or stop the loop.
    std::function<std::uint64_t()> captureDelayNanos = nullptr;
    // Housekeeping, once a second while the scheduler runs.
    std::function<void()> onClockCheck = nullptr;
    // Whether at least one covered display is awake; absent counts as false.
    std::function<bool()> hasAwakeDisplay = nullptr;
    // Told that the watchdog replaced a silent frame clock.
    std::function<void()> onClockRestarted = nullptr;
    // Asked after every frame tick: whether nothing can change what is shown
    // unless something wakes the clock; absent counts as false.
    std::function<bool()> mayIdle = nullptr;
};

class FrameScheduler {
public:
    // The pause after a pass without a `captureDelayNanos` hook.
    static constexpr std::uint64_t kDefaultCaptureDelayNanos = 33'000'000;
    // The distance between two ticks of an idle frame clock.
    static constexpr std::uint64_t kIdleTickNanos = 250'000'000;

    FrameScheduler(MainQueue& queue, Clock& clock, TickSourceFactory& tickSources);
    ~FrameScheduler();  // stops everything; a pass in flight may still end later
    FrameScheduler(const FrameScheduler&) = delete;
    FrameScheduler& operator=(const FrameScheduler&) = delete;

    // Replaces the hooks; takes effect at the next call of each.
    void setHooks(FrameHooks hooks);

    // Starts the frame clock and the clock check unless they run already.
    void start();
    // Ends the frame clock, the clock check and the capture loop; resets
    // `settledFrames`. `frameIndex` is kept.
    void stop();
    // Replaces the frame clock by a fresh one (none while not running), e.g.
    // after wake or a display change. The capture loop is not affected.
    void restartDisplayLink();
    // Starts the capture loop unless it runs. Its first pass begins from the
    // main queue right away (never inside this call).
    void startCaptureLoop();
    // Ends the capture loop. A pass under way runs to its end (it sees
    // `isCancelled()`); no further pass starts.
    void stopCaptureLoop();

    // Back to the display's rate, with a tick from the main queue at once;
    // nothing unless the frame clock idles.
    void wake();
    // True while the frame clock ticks from the slow timer.
    [[nodiscard]] bool isIdle() const { return m_idleTimer.isActive(); }
    // Whether the current tick ends a period of `period` refreshes: every
    // `period`-th display tick, and every idle tick or tick that ends an idle
    // spell, which come at least that long after the previous one.
    [[nodiscard]] bool isPeriodBoundary(int period) const
    {
        return m_tickSpansPeriods || period <= 1 || m_frameIndex % period == 0;
    }

    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool isCaptureLoopRunning() const { return m_captureTask.has_value(); }

    // Delivered frame ticks, modulo 1,000,000.
    [[nodiscard]] int frameIndex() const { return m_frameIndex; }
    // Frames in a row in which nothing changed, as the client counts them.
    [[nodiscard]] int settledFrames() const { return m_settledFrames; }
    // One more frame in which nothing changed.
    void countSettledFrame() { ++m_settledFrames; }
    // Something changed: the captures come at the fastest pace again.
    // Wakes an idle frame clock.
    void resetSettledFrames()
    {
        m_settledFrames = 0;
        wake();
    }

    // Start of the capture pass under way, in seconds since the reference
    // date; 0 when none.
    [[nodiscard]] double captureStartedAt() const { return m_captureStartedAt; }

private:
    void startFrameClock();
    void tick();
    // A tick that stands for the refreshes since the previous one.
    void spanningTick();
    void idleIfAllowed();
    // An idle tick: a waiting pass due within half a tick starts now.
    void idleTickForWaitingPass();
    // Starts the capture pass that waits for the idle tick, if one waits.
    void releaseWaitingPass();
    // The clock stopped idling: a pass waiting for the idle tick starts when
    // its pause ends instead.
    void timeWaitingPass();
    void clockCheck();
    // The body of the capture loop; holds the scheduler weakly.
    static Async captureLoop(WeakPtr<FrameScheduler> weak, MainQueue& queue, std::shared_ptr<const bool> cancelled);
    // Hands a pass to the `onCapture` hook (or ends it at once).
    static void beginPass(WeakPtr<FrameScheduler> weak, std::shared_ptr<const bool> cancelled,
                          std::function<void()> ended);
    [[nodiscard]] bool passMayStart(double now) const;
    [[nodiscard]] std::uint64_t captureDelay() const;

    MainQueue& m_queue;
    Clock& m_clock;
    TickSourceFactory& m_tickSources;
    // Shared so that a hook may replace the hooks while it runs.
    std::shared_ptr<const FrameHooks> m_hooks = std::make_shared<const FrameHooks>();

    std::unique_ptr<DisplayLink> m_displayLink;  // the frame clock
    ScopedTaskHandle m_idleTimer;                // the frame clock while it idles
    ScopedTaskHandle m_wakeTick;                 // the tick that follows a wake at once
    ScopedTaskHandle m_clockTimer;               // the one-second clock check
    std::optional<Async> m_captureTask;          // the capture loop
    std::shared_ptr<bool> m_passCancelled;       // the loop's passes see it; set when it stops
    std::function<void()> m_waitingPass;         // resumes a loop waiting for the next idle tick
    ScopedTaskHandle m_waitingPassTimer;         // ...or for the end of its pause, once the clock woke
    std::uint64_t m_waitingPassDue = 0;          // that end, uptime ns

    std::uint64_t m_lastTickNanos = 0;  // last frame tick or (re)start of the frame clock, uptime ns
    double m_captureStartedAt = 0;      // seconds since the reference date; 0 when no pass runs
    bool m_running = false;
    bool m_ticking = false;           // inside the `onFrame` hook
    bool m_tickSpansPeriods = false;  // during an idle tick or the tick after a wake
    int m_settledFrames = 0;
    int m_frameIndex = 0;

    WeakPtrFactory<FrameScheduler> m_weak{this};
};

} // namespace hg
