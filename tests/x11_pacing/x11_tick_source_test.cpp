// The X11 tick sources under Xvfb: Present's notifications and the steady
// clock both tick at roughly the refresh rate on their own thread and are
// silent once destroyed; a display link over the Qt main queue hands the ticks
// to the main thread. Bounds are generous: this is real time on a busy machine.
#include "platform/pacing/x11_tick_source.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/log.h"
#include "engine/pacing/display_link.h"
#include "platform/runtime/qt_runtime.h"
#include "support/x_session.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::XSession;

// Counts ticks and notes whether any came on the thread that created it.
struct TickCounter {
    std::atomic<int> ticks = 0;
    std::atomic<bool> onCreatingThread = false;
    std::thread::id creator = std::this_thread::get_id();

    std::function<void()> callback()
    {
        return [this] {
            if (std::this_thread::get_id() == creator)
                onCreatingThread = true;
            ++ticks;
        };
    }
};

// Lets `source` tick for one second, then destroys it and checks it stays silent.
void expectTicksForOneSecondThenSilence(std::unique_ptr<TickSource> source, TickCounter& counter)
{
    std::this_thread::sleep_for(1s);
    source.reset();
    const int afterStop = counter.ticks;
    ::testing::Test::RecordProperty("ticksInOneSecond", afterStop);
    EXPECT_GE(afterStop, 10);
    EXPECT_LE(afterStop, 200);
    EXPECT_FALSE(counter.onCreatingThread);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(counter.ticks, afterStop) << "no tick after the source is destroyed";
}

class X11TickSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XSession::available(false))
            GTEST_SKIP() << "Xvfb is not installed";
        m_previousSink = setLogSink([this](std::string_view line) { lines.emplace_back(line); });
        session = std::make_unique<XSession>(testing::XSessionOptions{.windowManager = false});
        ASSERT_TRUE(session->ok()) << session->error();
    }
    void TearDown() override { setLogSink(m_previousSink); }

    std::unique_ptr<XSession> session;
    std::vector<std::string> lines;

private:
    LogSink m_previousSink;
};

TEST_F(X11TickSourceTest, PresentNotificationsTickAboutOncePerRefresh)
{
    X11TickSourceFactory factory(session->display());
    TickCounter counter;
    auto source = factory.start(counter.callback());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(factory.lastKind(), X11TickSourceFactory::Kind::present);
    expectTicksForOneSecondThenSilence(std::move(source), counter);

    factory.start([] {});  // a second start is not logged again
    EXPECT_EQ(lines.size(), 1u);
}

// A source started again (the frame clock waking from idle) takes up the
// Present thread and connection of the one before, ticks once per refresh
// like the first (never a second chain of notifications on top), and none
// while no source is there.
TEST_F(X11TickSourceTest, PresentTicksStartedAgainReuseTheConnectionAtTheSameRate)
{
    X11TickSourceFactory factory(session->display());
    TickCounter first;
    expectTicksForOneSecondThenSilence(factory.start(first.callback()), first);
    for (int round = 0; round < 3; ++round) {
        // Stopped while it waits for its next notification: that one must
        // not tick for the source after it.
        auto brief = factory.start([] {});
        std::this_thread::sleep_for(5ms);
        brief.reset();
        TickCounter again;
        auto source = factory.start(again.callback());
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(factory.lastKind(), X11TickSourceFactory::Kind::present);
        expectTicksForOneSecondThenSilence(std::move(source), again);
        EXPECT_LE(again.ticks, first.ticks * 3 / 2 + 5) << "round " << round << " ticks faster than the first";
    }
    EXPECT_EQ(factory.connectionsOpened(), 1);

    // Two sources at once each get ticks of their own.
    TickCounter a, b;
    auto sourceA = factory.start(a.callback());
    auto sourceB = factory.start(b.callback());
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(a.ticks, 3);
    EXPECT_GT(b.ticks, 3);
    EXPECT_EQ(factory.connectionsOpened(), 2);
}

TEST_F(X11TickSourceTest, SteadyClockTicksAtTheGivenRate)
{
    TickCounter counter;
    expectTicksForOneSecondThenSilence(std::make_unique<SteadyClockTickSource>(60.0, counter.callback()), counter);
    EXPECT_EQ(SteadyClockTickSource(0.0, [] {}).period(), 1s);
}

TEST_F(X11TickSourceTest, WithoutAServerTheSteadyClockTicksAtSixtyHertz)
{
    X11TickSourceFactory factory(":999");  // no such display
    TickCounter counter;
    auto source = factory.start(counter.callback());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(factory.lastKind(), X11TickSourceFactory::Kind::steadyClock);
    expectTicksForOneSecondThenSilence(std::move(source), counter);
}

TEST_F(X11TickSourceTest, DisplayLinkDeliversOnTheQtMainThread)
{
    int argc = 1;
    char name[] = "x11_pacing";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtMainQueue queue;
    SystemClock clock;
    X11TickSourceFactory factory(session->display());
    int delivered = 0;
    bool offMainThread = false;
    const auto mainThread = std::this_thread::get_id();
    DisplayLink link(
        60,
        [&] {
            ++delivered;
            offMainThread |= std::this_thread::get_id() != mainThread;
        },
        queue, clock, factory);
    link.start();
    QTimer::singleShot(1000, &app, &QCoreApplication::quit);
    app.exec();
    link.stop();
    RecordProperty("deliveredInOneSecond", delivered);
    EXPECT_GE(delivered, 10);
    EXPECT_LE(delivered, 70) << "at most about 60 per second";
    EXPECT_FALSE(offMainThread);
}

} // namespace
} // namespace hg
