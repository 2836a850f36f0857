#include "engine/pacing/frame_scheduler.h"

#include <chrono>
#include <limits>
#include <utility>

namespace hg {

namespace {

constexpr int kFrameRate = 60;               // frame ticks per second
constexpr int kFrameIndexWrap = 1'000'000;   // frameIndex counts modulo this
constexpr std::chrono::seconds kClockCheckInterval{1};
// A frame clock silent for longer than this (ns) while a display is awake is replaced.
constexpr std::uint64_t kSilentClockNanos = 1'000'000'000;
// A pass that began less than this many seconds ago and has not ended keeps
// the loop from starting another.
constexpr double kPassGuardSeconds = 5.0;

} // namespace

FrameScheduler::FrameScheduler(MainQueue& queue, Clock& clock, TickSourceFactory& tickSources)
    : m_queue(queue), m_clock(clock), m_tickSources(tickSources)
{
}

FrameScheduler::~FrameScheduler()
{
    stop();
}

void FrameScheduler::setHooks(FrameHooks hooks)
{
    m_hooks = std::make_shared<const FrameHooks>(std::move(hooks));
}

void FrameScheduler::start()
{
    if (m_running)
        return;
    m_running = true;
    startFrameClock();
    m_clockTimer = m_queue.repeating(kClockCheckInterval, [weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->clockCheck();
    });
}

void FrameScheduler::stop()
{
    m_running = false;
    m_displayLink.reset();
    m_idleTimer.cancel();
    m_wakeTick.cancel();
    m_clockTimer.cancel();
    stopCaptureLoop();
    m_settledFrames = 0;
}

void FrameScheduler::startFrameClock()
{
    if (m_displayLink)
        return;
    m_displayLink = std::make_unique<DisplayLink>(
        kFrameRate,
        [weak = m_weak.get()] {
            if (auto* self = weak.get())
                self->tick();
        },
        m_queue, m_clock, m_tickSources);
    m_displayLink->start();
    m_lastTickNanos = m_clock.uptimeNanos();
}

void FrameScheduler::restartDisplayLink()
{
    m_displayLink.reset();  // stops it
    m_idleTimer.cancel();
    timeWaitingPass();
    if (m_running)
        startFrameClock();
}

void FrameScheduler::wake()
{
    if (!m_running || !m_idleTimer.isActive())
        return;
    m_idleTimer.cancel();
    startFrameClock();
    timeWaitingPass();
    if (m_ticking)
        return;  // the tick under way sees the change already
    m_wakeTick = m_queue.postDelayed(Nanoseconds(0), [weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->spanningTick();
    });
}

void FrameScheduler::spanningTick()
{
    m_tickSpansPeriods = true;
    tick();
    m_tickSpansPeriods = false;
}

void FrameScheduler::idleIfAllowed()
{
    if (!m_running)
        return;
    const auto hooks = m_hooks;
    const bool mayIdle = hooks->mayIdle && hooks->mayIdle();
    if (mayIdle == m_idleTimer.isActive())
        return;
    if (!mayIdle) {
        // Something started moving during an idle tick: no extra tick, the
        // display's next refresh comes soon enough.
        m_idleTimer.cancel();
        startFrameClock();
        timeWaitingPass();
        return;
    }
    m_displayLink.reset();
    m_wakeTick.cancel();
    m_idleTimer = m_queue.repeating(std::chrono::nanoseconds(kIdleTickNanos), [weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->spanningTick();
        if (auto* self = weak.get())  // unless a hook ended the scheduler
            self->idleTickForWaitingPass();
    });
}

void FrameScheduler::timeWaitingPass()
{
    if (!m_waitingPass || m_waitingPassTimer.isActive())
        return;
    const std::uint64_t now = m_clock.uptimeNanos();
    const std::uint64_t left = m_waitingPassDue > now ? m_waitingPassDue - now : 0;
    m_waitingPassTimer = m_queue.postDelayed(Nanoseconds(static_cast<Nanoseconds::rep>(left)), [weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->releaseWaitingPass();
    });
}

void FrameScheduler::idleTickForWaitingPass()
{
    // A pass due before the tick after this one would be nearer starts now;
    // the pass after it is then in step with the ticks. Only the first pass
    // after the clock began to idle may start up to half a tick early or late.
    if (m_waitingPass && m_waitingPassDue <= m_clock.uptimeNanos() + kIdleTickNanos / 2)
        releaseWaitingPass();
}

void FrameScheduler::releaseWaitingPass()
{
    m_waitingPassTimer.cancel();
    if (auto resume = std::exchange(m_waitingPass, nullptr))
        resume();
}

void FrameScheduler::tick()
{
    if (!m_running)
        return;
    m_lastTickNanos = m_clock.uptimeNanos();
    m_frameIndex = (m_frameIndex + 1) % kFrameIndexWrap;
    const auto hooks = m_hooks;
    m_ticking = true;
    if (hooks->onFrame)
        hooks->onFrame();
    m_ticking = false;
    idleIfAllowed();
}

void FrameScheduler::clockCheck()
{
    if (!m_running)
        return;
    const auto hooks = m_hooks;
    if (hooks->onClockCheck)
        hooks->onClockCheck();
    if (!hooks->hasAwakeDisplay || !hooks->hasAwakeDisplay())
        return;
    const std::uint64_t now = m_clock.uptimeNanos();
    if (now - m_lastTickNanos <= kSilentClockNanos)
        return;
    m_lastTickNanos = now;
    restartDisplayLink();
    if (hooks->onClockRestarted)
        hooks->onClockRestarted();
}

void FrameScheduler::startCaptureLoop()
{
    if (m_captureTask)
        return;
    m_passCancelled = std::make_shared<bool>(false);
    // The coroutine runs until its first wait before it is stored; it calls
    // no hook but `captureDelayNanos` on the way, and passes begin from the queue.
    m_captureTask.emplace(captureLoop(m_weak.get(), m_queue, m_passCancelled));
}

void FrameScheduler::stopCaptureLoop()
{
    if (m_captureTask) {
        m_captureTask->cancel();
        m_captureTask.reset();
    }
    if (m_passCancelled) {
        *m_passCancelled = true;
        m_passCancelled.reset();
    }
    m_waitingPass = nullptr;
    m_waitingPassTimer.cancel();
    m_captureStartedAt = 0;
}

bool FrameScheduler::passMayStart(double now) const
{
    return m_captureStartedAt == 0 || now - m_captureStartedAt > kPassGuardSeconds;
}

std::uint64_t FrameScheduler::captureDelay() const
{
    const auto hooks = m_hooks;
    const std::uint64_t delay = hooks->captureDelayNanos ? hooks->captureDelayNanos() : kDefaultCaptureDelayNanos;
    constexpr auto kLongest = static_cast<std::uint64_t>(std::numeric_limits<Nanoseconds::rep>::max());
    return delay < kLongest ? delay : kLongest;
}

Async FrameScheduler::captureLoop(WeakPtr<FrameScheduler> weak, MainQueue& queue,
                                  std::shared_ptr<const bool> cancelled)
{
    for (;;) {
        auto* self = weak.get();
        if (!self)
            co_return;
        if (self->passMayStart(self->m_clock.secondsSinceReferenceDate())) {
            self->m_captureStartedAt = self->m_clock.secondsSinceReferenceDate();
            if (self->m_hooks->onCapture) {
                // The pass begins from the queue, never inside this coroutine:
                // a hook that stops the loop then never destroys a running frame.
                // `begin` is a named local on purpose: GCC 12 destroys the
                // captures of a lambda written inside a co_await expression
                // too early (AddressSanitizer shows `weak` freed on resumption).
                std::function<void(std::function<void(bool)>)> begin = [weak, &queue, cancelled](auto done) {
                    queue.post([weak, cancelled, done = std::move(done)] {
                        beginPass(weak, cancelled, [done] { done(true); });
                    });
                };
                co_await onCompletion<bool>(queue, std::move(begin));
                self = weak.get();
                if (!self)
                    co_return;
            }
            self->m_captureStartedAt = 0;
        }
        const std::uint64_t delay = self->captureDelay();
        if (self->isIdle() && delay >= kIdleTickNanos && delay < 2 * kIdleTickNanos) {
            // The next idle tick comes within the pause: the pass rides on it,
            // or starts when the pause ends should the clock wake meanwhile.
            self->m_waitingPassDue = self->m_clock.uptimeNanos() + delay;
            std::function<void(std::function<void(bool)>)> wait = [weak](auto done) {
                if (auto* scheduler = weak.get())
                    scheduler->m_waitingPass = [done] { done(true); };
            };
            co_await onCompletion<bool>(queue, std::move(wait));
        } else {
            co_await sleepFor(queue, Nanoseconds(static_cast<Nanoseconds::rep>(delay)));
        }
    }
}

void FrameScheduler::beginPass(WeakPtr<FrameScheduler> weak, std::shared_ptr<const bool> cancelled,
                               std::function<void()> ended)
{
    CapturePass pass(cancelled, std::move(ended));  // ends when dropped unused
    auto* self = weak.get();
    if (!self || *cancelled)
        return;
    const auto hooks = self->m_hooks;
    if (hooks->onCapture)
        hooks->onCapture(std::move(pass));
}

} // namespace hg
