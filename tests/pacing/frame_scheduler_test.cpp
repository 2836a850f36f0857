// The frame scheduler: the frame clock and its counter, the clock check and
// its watchdog, and the capture loop's passes, delays and cancellation.
#include "engine/pacing/frame_scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/log.h"
#include "support/fakes/fake_tick_sources.h"
#include "support/manual_queue.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::FakeTickSources;
using testing::ManualQueue;

class FrameSchedulerTest : public ::testing::Test {
protected:
    void SetUp() override { m_previousSink = setLogSink([](std::string_view) {}); }
    void TearDown() override { setLogSink(m_previousSink); }

    // Refreshes at 60 Hz for `count` frames, running the main queue in between.
    void refresh(int count)
    {
        for (int i = 0; i < count; ++i) {
            queue.fastForwardBy(16'666'667ns);
            sources.tick();
            queue.runUntilIdle();
        }
    }

    // Hooks that count their calls; passes are kept until the test ends them.
    FrameHooks countingHooks()
    {
        return {
            .onFrame = [this] { ++frames; },
            .onCapture = [this](CapturePass pass) {
                passStarts.push_back(queue.uptimeNanos());
                pass_.emplace(std::move(pass));
            },
            .captureDelayNanos = nullptr,
            .onClockCheck = [this] { ++clockChecks; },
            .hasAwakeDisplay = [this] { return awake; },
            .onClockRestarted = [this] { ++restarts; },
        };
    }

    ManualQueue queue;
    FakeTickSources sources;
    FrameScheduler scheduler{queue, queue, sources};
    int frames = 0;
    int clockChecks = 0;
    int restarts = 0;
    bool awake = true;
    std::vector<std::uint64_t> passStarts;  // uptime ns
    std::optional<CapturePass> pass_;       // the pass under way

private:
    LogSink m_previousSink;
};

TEST_F(FrameSchedulerTest, StartingTwiceKeepsOneFrameClockAndOneClockCheck)
{
    scheduler.setHooks(countingHooks());
    scheduler.start();
    scheduler.start();
    refresh(60);
    EXPECT_EQ(sources.startCalls, 1);
    EXPECT_EQ(frames, 60);
    EXPECT_EQ(scheduler.frameIndex(), 60);
    EXPECT_EQ(clockChecks, 1);

    int newFrames = 0;  // starting again while running only refreshes the hooks
    scheduler.setHooks({.onFrame = [&] { ++newFrames; }});
    scheduler.start();
    refresh(1);
    EXPECT_EQ(sources.startCalls, 1);
    EXPECT_EQ(frames, 60);
    EXPECT_EQ(newFrames, 1);
}

TEST_F(FrameSchedulerTest, WatchdogReplacesASilentFrameClockWithinTwoSeconds)
{
    scheduler.setHooks(countingHooks());
    scheduler.start();
    queue.fastForwardBy(1s);  // silent for exactly one second: not yet
    EXPECT_EQ(restarts, 0);
    queue.fastForwardBy(1s);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(sources.startCalls, 2);
    EXPECT_EQ(sources.live, 1) << "the old frame clock is stopped";

    refresh(300);  // a ticking clock is left alone
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(clockChecks, 7);
}

TEST_F(FrameSchedulerTest, WatchdogNeverRestartsWhileEveryDisplaySleeps)
{
    awake = false;
    scheduler.setHooks(countingHooks());
    scheduler.start();
    queue.fastForwardBy(5s);
    EXPECT_EQ(clockChecks, 5);
    EXPECT_EQ(restarts, 0);
    EXPECT_EQ(sources.startCalls, 1);

    FrameHooks withoutAnswer = countingHooks();
    withoutAnswer.hasAwakeDisplay = nullptr;  // no answer counts as asleep
    scheduler.setHooks(withoutAnswer);
    queue.fastForwardBy(5s);
    EXPECT_EQ(restarts, 0);
}

TEST_F(FrameSchedulerTest, FrameIndexWrapsAfterAMillionTicks)
{
    sources.failing = true;  // the timer ticks every 15,666,666 ns exactly
    scheduler.setHooks(countingHooks());
    scheduler.start();
    queue.fastForwardBy(999'999 * 15'666'666ns);
    EXPECT_EQ(scheduler.frameIndex(), 999'999);
    queue.fastForwardBy(15'666'666ns);
    EXPECT_EQ(scheduler.frameIndex(), 0);
    EXPECT_EQ(frames, 1'000'000);
}

TEST_F(FrameSchedulerTest, StopEndsAllThreeClocksAndResetsTheSharedCounters)
{
    scheduler.setHooks(countingHooks());
    scheduler.start();
    scheduler.startCaptureLoop();
    refresh(5);
    for (int i = 0; i < 50; ++i)
        scheduler.countSettledFrame();
    pass_->finish();

    scheduler.stop();
    EXPECT_FALSE(scheduler.isRunning());
    EXPECT_FALSE(scheduler.isCaptureLoopRunning());
    EXPECT_EQ(sources.live, 0);
    EXPECT_EQ(scheduler.settledFrames(), 0);
    EXPECT_EQ(scheduler.frameIndex(), 5);

    scheduler.restartDisplayLink();  // not running: no new frame clock
    sources.lateTick();
    queue.fastForwardBy(3s);
    EXPECT_EQ(sources.live, 0);
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(clockChecks, 0);
    EXPECT_EQ(passStarts.size(), 1u);
}

TEST_F(FrameSchedulerTest, HooksMayReplaceHooksOrStopTheSchedulerWhileTheyRun)
{
    int calls = 0;
    scheduler.setHooks({.onFrame = [&] {
        ++calls;
        scheduler.setHooks({});
    }});
    scheduler.start();
    refresh(2);
    EXPECT_EQ(calls, 1);

    scheduler.setHooks({.onFrame = [&] {
        ++calls;
        scheduler.stop();
    }});
    refresh(2);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(scheduler.isRunning());
}

TEST_F(FrameSchedulerTest, CaptureLoopSleeps33MillisecondsWithoutADelayHook)
{
    scheduler.setHooks({.onCapture = [&](CapturePass) { passStarts.push_back(queue.uptimeNanos()); }});
    const std::uint64_t t0 = queue.uptimeNanos();
    scheduler.startCaptureLoop();
    scheduler.startCaptureLoop();
    queue.runUntilIdle();
    ASSERT_EQ(passStarts.size(), 1u) << "the first pass starts at once, and only one loop runs";
    queue.fastForwardBy(100ms);
    constexpr std::uint64_t delay = FrameScheduler::kDefaultCaptureDelayNanos;
    EXPECT_EQ(passStarts, (std::vector<std::uint64_t>{t0, t0 + delay, t0 + 2 * delay, t0 + 3 * delay}));
}

TEST_F(FrameSchedulerTest, DelayRunsFromTheEndOfAPass)
{
    FrameHooks hooks = countingHooks();
    hooks.captureDelayNanos = [] { return std::uint64_t{8'000'000}; };
    scheduler.setHooks(hooks);
    const std::uint64_t t0 = queue.uptimeNanos();
    const double startedAt = queue.secondsSinceReferenceDate();
    scheduler.startCaptureLoop();
    queue.fastForwardBy(100ms);  // the pass takes 100 ms
    EXPECT_EQ(passStarts.size(), 1u);
    EXPECT_EQ(scheduler.captureStartedAt(), startedAt);

    pass_->finish();
    pass_->finish();  // a second call changes nothing
    queue.runUntilIdle();
    EXPECT_EQ(scheduler.captureStartedAt(), 0);
    queue.fastForwardBy(8ms);
    EXPECT_EQ(passStarts, (std::vector<std::uint64_t>{t0, t0 + 108'000'000}));
}

TEST_F(FrameSchedulerTest, APassEndsWhenItsHolderDropsIt)
{
    scheduler.setHooks(countingHooks());
    scheduler.startCaptureLoop();
    queue.runUntilIdle();
    pass_.reset();  // e.g. the capture coroutine was cancelled
    queue.fastForwardBy(std::chrono::nanoseconds(FrameScheduler::kDefaultCaptureDelayNanos));
    EXPECT_EQ(passStarts.size(), 2u);
}

TEST_F(FrameSchedulerTest, StoppingTheLoopDuringAPassLetsItEndAndStartsNoOther)
{
    scheduler.setHooks(countingHooks());
    scheduler.startCaptureLoop();
    queue.runUntilIdle();
    CapturePass running = *pass_;
    EXPECT_FALSE(running.isCancelled());

    scheduler.stopCaptureLoop();
    EXPECT_TRUE(running.isCancelled()) << "the pass is told to hand nothing over";
    EXPECT_FALSE(scheduler.isCaptureLoopRunning());
    EXPECT_EQ(scheduler.captureStartedAt(), 0);
    pass_.reset();
    running.finish();
    queue.fastForwardBy(1s);
    EXPECT_EQ(passStarts.size(), 1u);

    scheduler.startCaptureLoop();  // a fresh loop starts a fresh pass at once
    queue.runUntilIdle();
    EXPECT_EQ(passStarts.size(), 2u);
    EXPECT_FALSE(pass_->isCancelled());
}

TEST_F(FrameSchedulerTest, APassThatOutlivesTheSchedulerEndsHarmlessly)
{
    auto owned = std::make_unique<FrameScheduler>(queue, queue, sources);
    owned->setHooks(countingHooks());
    owned->start();
    owned->startCaptureLoop();
    queue.runUntilIdle();
    owned.reset();
    EXPECT_TRUE(pass_->isCancelled());
    EXPECT_EQ(sources.live, 0);
    pass_->finish();
    queue.fastForwardBy(2s);
    EXPECT_EQ(passStarts.size(), 1u);
    EXPECT_EQ(clockChecks, 0);
}

// The frame clock idles while the client allows it: no display ticks, one
// tick from a timer every quarter second, and each such tick ends every
// period. Nothing idles without the client's word.
TEST_F(FrameSchedulerTest, TheFrameClockIdlesOnlyWhileTheClientAllowsIt)
{
    bool mayIdle = false;
    std::vector<bool> boundaries;  // isPeriodBoundary(4) of each tick
    FrameHooks hooks = countingHooks();
    hooks.onFrame = [&] {
        ++frames;
        boundaries.push_back(scheduler.isPeriodBoundary(4));
    };
    hooks.mayIdle = [&] { return mayIdle; };
    scheduler.setHooks(hooks);
    scheduler.start();
    refresh(120);
    EXPECT_FALSE(scheduler.isIdle());
    EXPECT_EQ(frames, 120);
    EXPECT_EQ(std::count(boundaries.begin(), boundaries.end(), true), 30);

    mayIdle = true;
    refresh(1);  // asked after this tick
    ASSERT_TRUE(scheduler.isIdle());
    EXPECT_EQ(sources.live, 0) << "the display's ticks go on while idle";
    frames = 0;
    boundaries.clear();
    queue.fastForwardBy(10s);
    EXPECT_EQ(frames, static_cast<int>(10'000'000'000 / FrameScheduler::kIdleTickNanos));
    EXPECT_EQ(std::count(boundaries.begin(), boundaries.end(), false), 0);
    EXPECT_EQ(restarts, 0) << "a slow clock is not a silent one";

    // The client changes its mind during an idle tick: the display's rate
    // comes back without an extra tick.
    mayIdle = false;
    frames = 0;
    queue.fastForwardBy(std::chrono::nanoseconds(FrameScheduler::kIdleTickNanos));
    EXPECT_EQ(frames, 1);
    EXPECT_FALSE(scheduler.isIdle());
    EXPECT_EQ(sources.live, 1);
    queue.runUntilIdle();
    EXPECT_EQ(frames, 1);
    refresh(4);
    EXPECT_EQ(frames, 5);

    // Stopping while idle ends the slow clock too.
    mayIdle = true;
    refresh(1);
    ASSERT_TRUE(scheduler.isIdle());
    scheduler.stop();
    frames = 0;
    queue.fastForwardBy(2s);
    EXPECT_EQ(frames, 0);
    EXPECT_FALSE(scheduler.isIdle());
}

// While the frame clock idles, passes at the idle pace start on its ticks:
// one wake-up serves both. The first pass may come up to half a tick off its
// time, the ones after it exactly a tick apart; a clock woken meanwhile lets
// the waiting pass start at the end of its own pause.
TEST_F(FrameSchedulerTest, WhileIdleThePassesRideTheIdleTicks)
{
    std::vector<std::uint64_t> ticks;
    FrameHooks hooks = countingHooks();
    hooks.onFrame = [&] { ticks.push_back(queue.uptimeNanos()); };
    hooks.onCapture = [&](CapturePass pass) {
        passStarts.push_back(queue.uptimeNanos());
        pass.finish();
    };
    hooks.captureDelayNanos = [] { return FrameScheduler::kIdleTickNanos; };
    hooks.mayIdle = [] { return true; };
    scheduler.setHooks(hooks);
    scheduler.start();
    refresh(1);
    ASSERT_TRUE(scheduler.isIdle());
    queue.fastForwardBy(100ms);  // out of step with the idle ticks
    scheduler.startCaptureLoop();
    queue.runUntilIdle();
    ASSERT_EQ(passStarts.size(), 1u);
    const std::uint64_t first = passStarts[0];

    queue.fastForwardBy(5s);
    ASSERT_GE(passStarts.size(), 20u);
    EXPECT_LE(passStarts.size(), 21u);
    const auto isTick = [&](std::uint64_t t) { return std::find(ticks.begin(), ticks.end(), t) != ticks.end(); };
    EXPECT_LE(passStarts[1] - first, FrameScheduler::kIdleTickNanos * 3 / 2);
    EXPECT_GE(passStarts[1] - first, FrameScheduler::kIdleTickNanos / 2);
    for (std::size_t i = 1; i < passStarts.size(); ++i)
        EXPECT_TRUE(isTick(passStarts[i])) << "pass " << i << " on a timer of its own";
    for (std::size_t i = 2; i < passStarts.size(); ++i)
        EXPECT_EQ(passStarts[i] - passStarts[i - 1], FrameScheduler::kIdleTickNanos);

    // Woken 100 ms after a pass, the clock idles again out of step: the
    // waiting pass starts when its pause ends, neither at once nor late.
    for (const std::size_t passes = passStarts.size(); passStarts.size() == passes;)
        queue.fastForwardBy(1ms);
    const std::uint64_t last = passStarts.back();
    queue.fastForwardBy(100ms);
    scheduler.wake();
    refresh(1);
    ASSERT_TRUE(scheduler.isIdle());
    const std::size_t before = passStarts.size();
    queue.fastForwardBy(std::chrono::nanoseconds(FrameScheduler::kIdleTickNanos));
    ASSERT_EQ(passStarts.size(), before + 1);
    EXPECT_EQ(passStarts.back(), last + FrameScheduler::kIdleTickNanos);
}

// Waking: by `wake`, by a reset of the settled frames and by a restart of
// the frame clock. The display's rate is back at once and, but for the
// restart, a tick comes from the queue without waiting for the clock.
TEST_F(FrameSchedulerTest, EveryWakeBringsTheDisplaysRateBackWithATickAtOnce)
{
    bool mayIdle = true;
    FrameHooks hooks = countingHooks();
    std::vector<bool> boundaries;
    hooks.onFrame = [&] {
        ++frames;
        boundaries.push_back(scheduler.isPeriodBoundary(6));
    };
    hooks.mayIdle = [&] { return mayIdle; };
    scheduler.setHooks(hooks);
    scheduler.start();

    const std::vector<std::pair<const char*, std::function<void()>>> wakes = {
        {"wake", [&] { scheduler.wake(); }},
        {"reset", [&] { scheduler.resetSettledFrames(); }},
    };
    for (const auto& [name, wakeUp] : wakes) {
        mayIdle = true;
        refresh(1);
        ASSERT_TRUE(scheduler.isIdle()) << name;
        queue.fastForwardBy(100ms);
        mayIdle = false;
        frames = 0;
        boundaries.clear();
        wakeUp();
        EXPECT_FALSE(scheduler.isIdle()) << name;
        EXPECT_EQ(sources.live, 1) << name;
        queue.runUntilIdle();  // no time passes
        EXPECT_EQ(frames, 1) << name << ": the first tick after a wake comes at once";
        ASSERT_EQ(boundaries.size(), 1U);
        EXPECT_TRUE(boundaries[0]) << name << ": it ends every period, as an idle tick does";
        refresh(12);
        EXPECT_EQ(frames, 13) << name;
        EXPECT_EQ(std::count(boundaries.begin(), boundaries.end(), true), 3) << name;
    }

    mayIdle = true;
    refresh(1);
    ASSERT_TRUE(scheduler.isIdle());
    mayIdle = false;
    scheduler.restartDisplayLink();
    EXPECT_FALSE(scheduler.isIdle());
    EXPECT_EQ(sources.live, 1);

    // Waking a clock that does not idle, or a stopped one, does nothing.
    frames = 0;
    scheduler.wake();
    queue.runUntilIdle();
    EXPECT_EQ(frames, 0);
    scheduler.stop();
    scheduler.wake();
    queue.fastForwardBy(1s);
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(sources.live, 0);
}

} // namespace
} // namespace hg
