// Coroutines over the main queue: where they resume, what cancelling one at
// each kind of suspension does, and weak owners that vanish while a task waits.
#include "base/async.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/weak_ptr.h"
#include "support/manual_queue.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ManualPool;
using testing::ManualQueue;

// Records its destruction, so a test can tell that a coroutine's locals went.
struct Local {
    explicit Local(bool& destroyed) : destroyed(destroyed) {}
    ~Local() { destroyed = true; }
    bool& destroyed;
};

Async sleepTwice(MainQueue& queue, std::vector<std::string>& log, bool& localDestroyed)
{
    Local local(localDestroyed);
    log.push_back("start");
    co_await sleepFor(queue, 100ms);
    log.push_back("after first");
    co_await sleepFor(queue, 100ms);
    log.push_back("after second");
}

TEST(AsyncTest, RunsUntilItsFirstWaitThenResumesFromTheQueue)
{
    ManualQueue queue;
    std::vector<std::string> log;
    bool destroyed = false;
    Async task = sleepTwice(queue, log, destroyed);
    EXPECT_EQ(log, std::vector<std::string>{"start"});
    queue.fastForwardBy(99ms);
    EXPECT_EQ(log.size(), 1u);
    queue.fastForwardBy(1ms);
    EXPECT_EQ(log.back(), "after first");
    EXPECT_FALSE(task.isFinished());
    queue.fastForwardBy(100ms);
    EXPECT_EQ(log.back(), "after second");
    EXPECT_TRUE(task.isFinished());
    EXPECT_TRUE(destroyed);
    task.cancel();  // finished: nothing to do
    EXPECT_FALSE(task.isCancelled());
}

TEST(AsyncTest, CancelDuringSleepRunsNoMoreBodyDestroysLocalsAndDropsTheTimer)
{
    ManualQueue queue;
    std::vector<std::string> log;
    bool destroyed = false;
    Async task = sleepTwice(queue, log, destroyed);
    queue.fastForwardBy(100ms);
    ASSERT_EQ(log.back(), "after first");

    task.cancel();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(task.isCancelled());
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(queue.pendingTaskCount(), 0u);
    queue.fastForwardBy(1s);
    EXPECT_EQ(log.back(), "after first");
}

TEST(AsyncTest, DroppingTheHandleDoesNotCancel)
{
    ManualQueue queue;
    std::vector<std::string> log;
    bool destroyed = false;
    sleepTwice(queue, log, destroyed);
    queue.fastForwardBy(1s);
    EXPECT_EQ(log.back(), "after second");
    EXPECT_TRUE(destroyed);
}

Async cancelsItself(MainQueue& queue, Async& self, int& steps, bool& localDestroyed)
{
    Local local(localDestroyed);
    co_await sleepFor(queue, 10ms);
    ++steps;
    self.cancel();  // running: stops at the next wait
    ++steps;
    co_await sleepFor(queue, 10ms);
    ++steps;
}

TEST(AsyncTest, CancelFromInsideTheBodyStopsAtTheNextWait)
{
    ManualQueue queue;
    int steps = 0;
    bool destroyed = false;
    Async task;
    task = cancelsItself(queue, task, steps, destroyed);
    queue.fastForwardBy(1s);
    EXPECT_EQ(steps, 2);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(queue.pendingTaskCount(), 0u);
}

Async blurOnPool(ManualPool& pool, MainQueue& queue, std::vector<int>& results, bool& localDestroyed)
{
    Local local(localDestroyed);
    const int value = co_await onPool(pool, queue, [] { return 42; });
    results.push_back(value);
    co_await onPool(pool, queue, [&results] { results.push_back(-1); });
    results.push_back(7);
}

TEST(AsyncTest, PoolResultComesBackThroughTheMainQueue)
{
    ManualQueue queue;
    ManualPool pool;
    std::vector<int> results;
    bool destroyed = false;
    Async task = blurOnPool(pool, queue, results, destroyed);
    EXPECT_EQ(pool.runAll(), 1u);
    EXPECT_TRUE(results.empty());  // not resumed on the pool's thread
    queue.runUntilIdle();
    EXPECT_EQ(results, std::vector<int>{42});
    pool.runAll();
    queue.runUntilIdle();
    EXPECT_EQ(results, (std::vector<int>{42, -1, 7}));
    EXPECT_TRUE(task.isFinished());
}

TEST(AsyncTest, CancelDuringPoolWorkLetsTheWorkFinishAndDropsItsResult)
{
    ManualQueue queue;
    ManualPool pool;
    std::vector<int> results;
    bool destroyed = false;
    Async task = blurOnPool(pool, queue, results, destroyed);
    task.cancel();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(pool.runAll(), 1u);  // the work still runs
    queue.runUntilIdle();          // its wake-up finds nothing to resume
    EXPECT_TRUE(results.empty());
}

Async takeOwnedResult(ManualPool& pool, MainQueue& queue, bool& resumed, bool& resultDestroyed)
{
    auto result = co_await onPool(pool, queue, [&resultDestroyed] { return std::make_unique<Local>(resultDestroyed); });
    resumed = result != nullptr;
}

TEST(AsyncTest, CancelAfterThePoolFinishedButBeforeTheQueueResumesDropsTheResult)
{
    ManualQueue queue;
    ManualPool pool;
    bool resumed = false;
    bool resultDestroyed = false;
    Async task = takeOwnedResult(pool, queue, resumed, resultDestroyed);
    pool.runAll();
    EXPECT_EQ(queue.pendingTaskCount(), 1u);  // the wake-up is on its way
    task.cancel();
    queue.runUntilIdle();
    EXPECT_FALSE(resumed);
    EXPECT_TRUE(resultDestroyed);

    Async kept = takeOwnedResult(pool, queue, resumed, resultDestroyed);
    pool.runAll();
    queue.runUntilIdle();
    EXPECT_TRUE(resumed);
}

Async awaitCallback(MainQueue& queue, std::function<void(std::function<void(std::string)>)> start,
                    std::vector<std::string>& got, bool& localDestroyed)
{
    Local local(localDestroyed);
    got.push_back(co_await onCompletion<std::string>(queue, std::move(start)));
}

TEST(AsyncTest, CompletionCountsOnlyItsFirstCall)
{
    ManualQueue queue;
    std::function<void(std::string)> done;
    std::vector<std::string> got;
    bool destroyed = false;
    Async task = awaitCallback(queue, [&](auto d) { done = std::move(d); }, got, destroyed);
    ASSERT_TRUE(done);
    done("first");
    done("second");
    EXPECT_TRUE(got.empty());  // resumes on the queue, not inside the callback
    queue.runUntilIdle();
    EXPECT_EQ(got, std::vector<std::string>{"first"});
    EXPECT_TRUE(task.isFinished());
    done("third");
    queue.runUntilIdle();
    EXPECT_EQ(got.size(), 1u);
}

TEST(AsyncTest, CompletionCalledRightAwayStillResumesFromTheQueue)
{
    ManualQueue queue;
    std::vector<std::string> got;
    bool destroyed = false;
    Async task = awaitCallback(queue, [](auto done) { done("now"); }, got, destroyed);
    EXPECT_TRUE(got.empty());
    queue.runUntilIdle();
    EXPECT_EQ(got, std::vector<std::string>{"now"});
}

TEST(AsyncTest, CompletionFromAnotherThreadResumesOnTheMainThread)
{
    ManualQueue queue;
    std::function<void(std::string)> done;
    std::vector<std::string> got;
    bool destroyed = false;
    Async task = awaitCallback(queue, [&](auto d) { done = std::move(d); }, got, destroyed);
    std::thread a([&] { done("from a"); });
    std::thread b([&] { done("from b"); });
    a.join();
    b.join();
    queue.runUntilIdle();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0] == "from a" || got[0] == "from b");
}

TEST(AsyncTest, CompletionAfterCancelIsIgnored)
{
    ManualQueue queue;
    std::function<void(std::string)> done;
    std::vector<std::string> got;
    bool destroyed = false;
    Async task = awaitCallback(queue, [&](auto d) { done = std::move(d); }, got, destroyed);
    task.cancel();
    EXPECT_TRUE(destroyed);
    done("late");
    queue.runUntilIdle();
    EXPECT_TRUE(got.empty());
}

class Ticker {
public:
    explicit Ticker(MainQueue& queue) { m_loop = run(m_weak.get(), queue); }
    int ticks = 0;

private:
    static Async run(WeakPtr<Ticker> weak, MainQueue& queue)
    {
        for (;;) {
            co_await sleepFor(queue, 10ms);
            auto* self = weak.get();
            if (!self)
                co_return;  // the owner is gone
            ++self->ticks;
        }
    }

    Async m_loop;
    WeakPtrFactory<Ticker> m_weak{this};
};

TEST(AsyncTest, LoopEndsOnItsOwnOnceItsWeakOwnerIsGone)
{
    ManualQueue queue;
    auto ticker = std::make_unique<Ticker>(queue);
    queue.fastForwardBy(35ms);
    EXPECT_EQ(ticker->ticks, 3);
    ticker.reset();
    queue.fastForwardBy(10ms);  // the loop wakes, finds no owner and returns
    EXPECT_EQ(queue.pendingTaskCount(), 0u);
}

TEST(WeakPtrTest, GoesNullWhenTheOwnerDiesOrInvalidates)
{
    struct Owner {
        WeakPtrFactory<Owner> weak{this};
    };
    auto owner = std::make_unique<Owner>();
    WeakPtr<Owner> first = owner->weak.get();
    WeakPtr<Owner> copy = first;
    EXPECT_EQ(copy.get(), owner.get());

    owner->weak.invalidate();
    EXPECT_FALSE(first);
    EXPECT_EQ(copy.get(), nullptr);
    WeakPtr<Owner> second = owner->weak.get();
    EXPECT_EQ(second.get(), owner.get());

    owner.reset();
    EXPECT_EQ(second.get(), nullptr);
    EXPECT_FALSE(WeakPtr<Owner>());
}

} // namespace
} // namespace hg
