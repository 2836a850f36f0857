// The manual queue is the clock of every timing test, so its own rules are
// pinned here: due times, cancellation, repeating timers, ordering and posts
// from other threads.
#include "support/manual_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace hg::testing {
namespace {

using namespace std::chrono_literals;

TEST(ManualQueueTest, DelayedTaskRunsAtItsDueTimeAndSeesThatTime)
{
    ManualQueue queue;
    const std::uint64_t start = queue.uptimeNanos();
    const double startSeconds = queue.secondsSinceReferenceDate();
    std::uint64_t ranAt = 0;
    queue.postDelayed(300ms, [&] { ranAt = queue.uptimeNanos(); });

    EXPECT_EQ(queue.nextPendingDelay(), Nanoseconds(300ms));
    queue.fastForwardBy(299ms);
    EXPECT_EQ(ranAt, 0u);
    EXPECT_EQ(queue.nextPendingDelay(), Nanoseconds(1ms));
    queue.fastForwardBy(5ms);
    EXPECT_EQ(ranAt, start + 300'000'000u);
    EXPECT_EQ(queue.uptimeNanos(), start + 304'000'000u);
    EXPECT_DOUBLE_EQ(queue.secondsSinceReferenceDate(), startSeconds + 0.304);
    EXPECT_FALSE(queue.nextPendingDelay());
}

TEST(ManualQueueTest, PostAndNegativeDelayRunOnlyWhenTheQueueIsRun)
{
    ManualQueue queue;
    int runs = 0;
    queue.post([&] { ++runs; });
    queue.postDelayed(-5s, [&] { ++runs; });
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(queue.nextPendingDelay(), Nanoseconds(0));
    queue.runUntilIdle();
    EXPECT_EQ(runs, 2);
}

TEST(ManualQueueTest, CancelledTaskNeverRunsAndIsNotCounted)
{
    ManualQueue queue;
    bool ran = false;
    TaskHandle handle = queue.postDelayed(10ms, [&] { ran = true; });
    queue.postDelayed(50ms, [] {});
    EXPECT_FALSE(handle.isCancelled());
    handle.cancel();
    EXPECT_TRUE(handle.isCancelled());
    EXPECT_EQ(queue.pendingTaskCount(), 1u);
    EXPECT_EQ(queue.nextPendingDelay(), Nanoseconds(50ms));
    queue.fastForwardBy(1s);
    EXPECT_FALSE(ran);
}

TEST(ManualQueueTest, ScopedHandleCancelsOnDestructionAndReassignment)
{
    ManualQueue queue;
    int first = 0, second = 0, third = 0;
    {
        ScopedTaskHandle scoped = queue.postDelayed(10ms, [&] { ++first; });
        EXPECT_TRUE(scoped.isActive());
    }
    ScopedTaskHandle scoped = queue.postDelayed(10ms, [&] { ++second; });
    scoped = queue.postDelayed(10ms, [&] { ++third; });
    queue.fastForwardBy(20ms);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(third, 1);
    EXPECT_FALSE(TaskHandle().isValid());
}

TEST(ManualQueueTest, EqualDueTimesRunInPostingOrderAcrossDelays)
{
    ManualQueue queue;
    std::string order;
    queue.postDelayed(20ms, [&] { order += 'c'; });
    queue.postDelayed(10ms, [&] { order += 'a'; });
    queue.postDelayed(10ms, [&] { order += 'b'; });
    queue.fastForwardBy(10ms);
    queue.postDelayed(10ms, [&] { order += 'd'; });  // due with 'c', posted later
    queue.post([&] { order += '0'; });
    queue.fastForwardBy(10ms);
    EXPECT_EQ(order, "ab0cd");
}

TEST(ManualQueueTest, TasksPostedForNowRunInTheSameFastForward)
{
    ManualQueue queue;
    std::vector<std::uint64_t> times;
    queue.postDelayed(10ms, [&] {
        times.push_back(queue.uptimeNanos());
        queue.post([&] { times.push_back(queue.uptimeNanos()); });
        queue.postDelayed(5ms, [&] { times.push_back(queue.uptimeNanos()); });
    });
    const std::uint64_t start = queue.uptimeNanos();
    queue.fastForwardBy(15ms);
    ASSERT_EQ(times.size(), 3u);
    EXPECT_EQ(times[0], start + 10'000'000u);
    EXPECT_EQ(times[1], start + 10'000'000u);
    EXPECT_EQ(times[2], start + 15'000'000u);
}

TEST(ManualQueueTest, RepeatingTimerRunsEveryIntervalUntilCancelled)
{
    ManualQueue queue;
    int runs = 0;
    TaskHandle timer = queue.repeating(100ms, [&] { ++runs; });
    queue.fastForwardBy(99ms);
    EXPECT_EQ(runs, 0);
    queue.fastForwardBy(1ms);
    EXPECT_EQ(runs, 1);
    queue.fastForwardBy(1s);
    EXPECT_EQ(runs, 11);
    timer.cancel();
    queue.fastForwardBy(1s);
    EXPECT_EQ(runs, 11);
    EXPECT_EQ(queue.pendingTaskCount(), 0u);
}

TEST(ManualQueueTest, RepeatingTaskMayCancelItself)
{
    ManualQueue queue;
    int runs = 0;
    TaskHandle timer;
    timer = queue.repeating(10ms, [&] {
        if (++runs == 3)
            timer.cancel();
    });
    queue.fastForwardBy(1s);
    EXPECT_EQ(runs, 3);
    EXPECT_FALSE(queue.nextPendingDelay());
}

TEST(ManualQueueTest, RepeatingIntervalIsAtLeastOneMillisecond)
{
    ManualQueue queue;
    int runs = 0;
    TaskHandle timer = queue.repeating(0ns, [&] { ++runs; });
    EXPECT_EQ(queue.nextPendingDelay(), Nanoseconds(1ms));
    queue.fastForwardBy(10ms);
    EXPECT_EQ(runs, 10);
    timer.cancel();
}

TEST(ManualQueueTest, TaskPostedFromAnotherThreadRunsOnTheTestThread)
{
    ManualQueue queue;
    std::thread::id ranOn;
    std::thread worker([&] { queue.post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_EQ(queue.pendingTaskCount(), 1u);
    queue.runUntilIdle();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// Posts a task when destroyed, as an object handing its clean-up back to the
// main thread would.
struct PostsOnDestruction {
    ManualQueue& queue;
    int& cleanups;
    ~PostsOnDestruction()
    {
        queue.post([&cleanups = cleanups] { ++cleanups; });
    }
};

TEST(ManualQueueTest, CancelledTaskMayPostWhileItIsDropped)
{
    ManualQueue queue;
    int cleanups = 0;
    auto guard = std::make_shared<PostsOnDestruction>(queue, cleanups);
    TaskHandle handle = queue.postDelayed(10ms, [guard] {});
    guard.reset();
    handle.cancel();
    queue.fastForwardBy(20ms);  // drops the cancelled task, whose capture posts
    queue.runUntilIdle();
    EXPECT_EQ(cleanups, 1);
}

TEST(ManualPoolTest, RunsNothingUntilAskedThenRunsWorkThatWorkHandsOn)
{
    ManualPool pool;
    std::string order;
    pool.run([&] {
        order += 'a';
        pool.run([&] { order += 'c'; });
    });
    pool.run([&] { order += 'b'; });
    EXPECT_EQ(pool.pendingCount(), 2u);
    EXPECT_EQ(order, "");
    EXPECT_EQ(pool.runAll(), 3u);
    EXPECT_EQ(order, "abc");
    EXPECT_EQ(pool.runAll(), 0u);
}

} // namespace
} // namespace hg::testing
