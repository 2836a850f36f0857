#include "platform/runtime/qt_runtime.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <thread>

#include "base/async.h"
#include "platform/shell/qt_effect_alerts.h"

namespace hg {
namespace {

using namespace std::chrono_literals;

// Real time is unavoidable here: these tests check the wiring to Qt's event
// loop, not timing rules (those are tested with the manual queue).
class QtRuntimeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qt_runtime_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    // Spins the event loop until `done` or a generous deadline.
    template <typename Done>
    void spinUntil(Done done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    QtMainQueue queue;
    SystemClock clock;
};

TEST_F(QtRuntimeTest, WorkPostedFromAnotherThreadRunsOnTheMainThreadInOrder)
{
    std::vector<int> order;
    const auto mainThread = std::this_thread::get_id();
    bool allOnMain = true;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i)
            queue.post([&, i] {
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                order.push_back(i);
            });
    });
    worker.join();
    spinUntil([&] { return order.size() == 5; });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(allOnMain);
}

TEST_F(QtRuntimeTest, CancelledDelayedTasksAndRepeatingTimersStop)
{
    bool cancelledRan = false;
    int ticks = 0;
    TaskHandle cancelled = queue.postDelayed(20ms, [&] { cancelledRan = true; });
    cancelled.cancel();
    TaskHandle repeating;
    repeating = queue.repeating(5ms, [&] {
        if (++ticks == 3)
            repeating.cancel();
    });
    bool later = false;
    queue.postDelayed(60ms, [&] { later = true; });
    spinUntil([&] { return later; });
    EXPECT_FALSE(cancelledRan);
    EXPECT_EQ(ticks, 3);
}

TEST_F(QtRuntimeTest, CoroutinesSleepAndAwaitThePoolOnTheRealLoop)
{
    QtBackgroundPool pool;
    std::optional<int> result;
    const std::uint64_t start = clock.uptimeNanos();
    // A coroutine lambda takes what it needs as parameters: its captures would
    // die with the closure at the first suspension.
    auto task = [](MainQueue& q, BackgroundPool& p, std::optional<int>& out) -> Async {
        co_await sleepFor(q, 10ms);
        out = co_await onPool(p, q, [] { return 6 * 7; });
    }(queue, pool, result);
    spinUntil([&] { return result.has_value(); });
    EXPECT_EQ(result, 42);
    EXPECT_GE(clock.uptimeNanos() - start, 10'000'000u);
    EXPECT_TRUE(task.isFinished());
}

Async holdWhileTheWorkRuns(std::shared_ptr<int> held, QtMainQueue& queue, QtBackgroundPool& pool,
                           std::atomic<bool>& gate)
{
    auto work = [&gate] {
        while (!gate)
            std::this_thread::sleep_for(1ms);
        return 1;
    };
    *held += co_await onPool(pool, queue, std::move(work));
}

TEST_F(QtRuntimeTest, AtQuitATaskWaitingForThePoolEndsAndFreesWhatItHolds)
{
    auto picture = std::make_shared<int>(0);
    const std::weak_ptr<int> alive = picture;
    {
        QtMainQueue queue;
        QtBackgroundPool pool;
        std::atomic<bool> gate{false};
        holdWhileTheWorkRuns(std::move(picture), queue, pool, gate);
        gate = true;  // the work finishes once the event loop has ended
        queue.finishPosted(pool);
    }
    EXPECT_TRUE(alive.expired()) << "the task was dropped while it waited, and what it held with it";
}

TEST_F(QtRuntimeTest, TheReferenceDateClockCountsFrom2001)
{
    // 2026-01-01 is 788,918,400 s after 2001-01-01; this code runs later than that.
    EXPECT_GT(clock.secondsSinceReferenceDate(), 788'918'400.0);
    EXPECT_LT(clock.secondsSinceReferenceDate(), 788'918'400.0 + 100.0 * 365 * 86400);
}

TEST_F(QtRuntimeTest, TheRelaunchWaitsForTheOldCopyToQuitHoweverLongItTakes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.path() + "/hushglass";
    const QString marker = dir.path() + "/reopened";
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\ntouch '" + marker + "'\n").toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    // The old copy takes two seconds to quit.
    QProcess old;
    old.start("sleep", {"2"});
    ASSERT_TRUE(old.waitForStarted());
    ASSERT_TRUE(QProcess::startDetached("/bin/sh", ShellRelauncher::arguments(program, old.processId())));
    spinUntil([&] { return QFile::exists(marker) || old.state() == QProcess::NotRunning; });
    EXPECT_FALSE(QFile::exists(marker)) << "the new copy started while the old one still ran";
    spinUntil([&] { return QFile::exists(marker); });
    EXPECT_TRUE(QFile::exists(marker)) << "the new copy was not started after the old one quit";
    old.waitForFinished();
}

} // namespace
} // namespace hg

namespace hg {
namespace {

TEST_F(QtRuntimeTest, TheRelaunchReopensAPathWithSpacesAndQuotes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + "/Hush glass \"beta\" $HOME";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + "/hushglass";
    const QString marker = dir.path() + "/reopened";
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\ntouch '" + marker + "'\n").toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    QProcess previous;  // the copy that quits, already gone
    previous.start("true");
    ASSERT_TRUE(previous.waitForStarted());
    const qint64 previousPID = previous.processId();
    ASSERT_TRUE(previous.waitForFinished());
    ShellRelauncher relauncher(program, previousPID);
    EXPECT_EQ(relauncher.relaunch(), std::nullopt);
    spinUntil([&] { return QFile::exists(marker); });
    EXPECT_TRUE(QFile::exists(marker)) << "the new instance was not started";
}

} // namespace
} // namespace hg
