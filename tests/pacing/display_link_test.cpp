// The display link: its interval, its life cycle, how it thins out and hands
// over ticks, and the timer that stands in when no tick thread starts.
#include "engine/pacing/display_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "base/log.h"
#include "support/fakes/fake_tick_sources.h"
#include "support/manual_queue.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::FakeTickSources;
using testing::ManualQueue;

// An uptime clock that moves without running the queue: the main thread is
// busy while the tick thread's time goes on.
class SteppedClock final : public Clock {
public:
    std::uint64_t uptimeNanos() const override { return now; }
    double secondsSinceReferenceDate() const override { return 0; }
    std::atomic<std::uint64_t> now = 5'000'000'000;
};

class DisplayLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousSink = setLogSink([](std::string_view) {});
    }
    void TearDown() override { setLogSink(m_previousSink); }

    ManualQueue queue;
    FakeTickSources sources;
    int delivered = 0;

private:
    LogSink m_previousSink;
};

TEST_F(DisplayLinkTest, IntervalIsOnePeriodLessOneMillisecondWithAOneMillisecondFloor)
{
    EXPECT_EQ(DisplayLink::intervalForRate(60), 15'666'666u);
    EXPECT_EQ(DisplayLink::intervalForRate(1), 999'000'000u);
    EXPECT_EQ(DisplayLink::intervalForRate(0), 999'000'000u);
    EXPECT_EQ(DisplayLink::intervalForRate(-3), 999'000'000u);
    EXPECT_EQ(DisplayLink::intervalForRate(499), 1'004'008u);
    EXPECT_EQ(DisplayLink::intervalForRate(500), 1'000'000u);
    EXPECT_EQ(DisplayLink::intervalForRate(100'000), 1'000'000u);
    DisplayLink link(60, [] {}, queue, queue, sources);
    EXPECT_EQ(link.minimumIntervalNanos(), 15'666'666u);
}

TEST_F(DisplayLinkTest, StartsOneSourceStopsHarmlesslyAndStartsAgain)
{
    DisplayLink link(60, [this] { ++delivered; }, queue, queue, sources);
    link.stop();  // before start
    EXPECT_EQ(sources.startCalls, 0);

    link.start();
    link.start();
    EXPECT_EQ(sources.startCalls, 1);
    EXPECT_EQ(sources.live, 1);
    EXPECT_FALSE(link.usesFallbackTimer());

    link.stop();
    link.stop();
    EXPECT_EQ(sources.live, 0);

    link.start();  // the bookkeeping was reset: the first tick goes through at once
    sources.tick();
    queue.runUntilIdle();
    EXPECT_EQ(sources.startCalls, 2);
    EXPECT_EQ(delivered, 1);
}

TEST_F(DisplayLinkTest, HandsTicksToTheMainQueueAndThinsA120HzDisplayToSixty)
{
    DisplayLink link(60, [this] { ++delivered; }, queue, queue, sources);
    link.start();
    sources.tick();
    EXPECT_EQ(delivered, 0) << "the handler runs on the main queue, not on the tick thread";
    queue.runUntilIdle();
    EXPECT_EQ(delivered, 1);

    delivered = 0;
    for (int refresh = 0; refresh < 120; ++refresh) {  // one second at 120 Hz
        queue.fastForwardBy(8'333'333ns);
        sources.tick();
        queue.runUntilIdle();
    }
    EXPECT_EQ(delivered, 60);

    delivered = 0;
    for (int refresh = 0; refresh < 60; ++refresh) {  // one second at 60 Hz: none dropped
        queue.fastForwardBy(16'666'666ns);
        sources.tick();
        queue.runUntilIdle();
    }
    EXPECT_EQ(delivered, 60);
}

TEST_F(DisplayLinkTest, ABusyMainThreadGetsOneTickWhenItFreesUp)
{
    SteppedClock clock;
    DisplayLink link(60, [this] { ++delivered; }, queue, clock, sources);
    link.start();
    for (int refresh = 0; refresh < 7; ++refresh) {  // 100 ms of refreshes, main thread blocked
        sources.tick();
        clock.now += 16'666'666;
    }
    EXPECT_EQ(queue.pendingTaskCount(), 1u);
    queue.runUntilIdle();
    EXPECT_EQ(delivered, 1);

    sources.tick();  // the next refresh after the delivery goes through
    queue.runUntilIdle();
    EXPECT_EQ(delivered, 2);
}

TEST_F(DisplayLinkTest, NothingReachesTheHandlerAfterStop)
{
    auto link = std::make_unique<DisplayLink>(60, [this] { ++delivered; }, queue, queue, sources);
    link->start();
    link->stop();
    sources.lateTick();  // the tick thread had not seen the stop yet
    EXPECT_EQ(queue.pendingTaskCount(), 0u);

    link->start();
    sources.tick();  // queued, then the link stops and goes away before it runs
    link->stop();
    queue.runUntilIdle();
    link->start();
    queue.fastForwardBy(20ms);
    sources.tick();
    link.reset();
    queue.runUntilIdle();
    EXPECT_EQ(delivered, 0);
}

TEST_F(DisplayLinkTest, FallsBackToAMainQueueTimerAtTheSameInterval)
{
    std::vector<std::string> lines;
    setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    sources.failing = true;
    DisplayLink link(60, [this] { ++delivered; }, queue, queue, sources);
    link.start();
    link.start();
    EXPECT_TRUE(link.usesFallbackTimer());
    EXPECT_EQ(lines.size(), 1u);

    queue.fastForwardBy(15'666'665ns);
    EXPECT_EQ(delivered, 0);
    queue.fastForwardBy(1ns);
    EXPECT_EQ(delivered, 1);
    queue.fastForwardBy(1s);
    EXPECT_EQ(delivered, 64);  // one timer, every 15.67 ms

    link.stop();
    EXPECT_FALSE(link.usesFallbackTimer());
    queue.fastForwardBy(1s);
    EXPECT_EQ(delivered, 64);
}

} // namespace
} // namespace hg
