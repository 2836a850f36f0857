// The D-Bus sources against a private bus with fakes of logind and of the
// desktop's screen saver service.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <gtest/gtest.h>
#include <algorithm>
#include <unistd.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"
#include "platform/events/logind_sources.h"
#include "platform/events/screen_saver_source.h"
#include "platform/events/system_event_sources.h"
#include "private_bus.h"

namespace hg {
namespace {

using testing::FakeLogind;
using testing::FakeScreenSaver;
using testing::NotificationRecorder;
using testing::PrivateBus;
using testing::roundTrip;
using testing::spinUntil;
namespace n = notifications;
using Names = std::vector<std::string>;

QDBusMessage prepareForSleep(bool sleeping)
{
    return QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep")
        << sleeping;
}

class DBusEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!PrivateBus::available())
            GTEST_SKIP() << "dbus-daemon is not installed";
        testing::ensureApplication();
        ASSERT_TRUE(systemBus.ok());
        m_previousSink = setLogSink([this](std::string_view line) { log.emplace_back(line); });
        ::setenv("XDG_SESSION_ID", "c2", 1);
    }
    void TearDown() override
    {
        setLogSink(m_previousSink);
        ::unsetenv("XDG_SESSION_ID");
    }

    [[nodiscard]] long logged(std::string_view line) const { return std::count(log.begin(), log.end(), line); }

    PrivateBus systemBus;
    NotificationCenter center;
    NotificationRecorder recorder{center};
    Names& posted = recorder.posted;
    std::vector<std::string> log;

private:
    LogSink m_previousSink;
};

TEST_F(DBusEventsTest, SleepAndWakeComeFromLogindAlone)
{
    FakeLogind logind(systemBus.connect("logind"), "c2");
    ASSERT_TRUE(logind.ok());
    QDBusConnection impostor = systemBus.connect("impostor");
    QDBusConnection bus = systemBus.connect("hushglass");
    LogindSleepSource source(center, bus);
    roundTrip(bus);

    // Someone else emitting logind's signal is not logind.
    impostor.send(prepareForSleep(true));
    roundTrip(impostor);
    logind.emitPrepareForSleep(true);
    logind.emitPrepareForSleep(false);

    ASSERT_TRUE(spinUntil([&] { return posted.size() >= 2; }));
    EXPECT_EQ(posted, (Names{std::string(n::willSleep), std::string(n::didWake)}));
    EXPECT_TRUE(log.empty());
}

TEST_F(DBusEventsTest, LockAndUnlockFollowOurSessionsSignalsAndLockedHint)
{
    FakeLogind logind(systemBus.connect("logind"), "c2");
    ASSERT_TRUE(logind.ok());
    QDBusConnection bus = systemBus.connect("hushglass");
    LogindLockSource source(center, bus);
    ASSERT_TRUE(spinUntil([&] { return !source.sessionPath().isEmpty(); }));
    EXPECT_EQ(source.sessionPath(), FakeLogind::kSessionPath);
    EXPECT_EQ(logind.lookups, QStringList{"GetSession c2"});
    roundTrip(bus);

    const QString session = "org.freedesktop.login1.Session";
    logind.emitSessionSignal("Lock", "/org/freedesktop/login1/session/_99");  // another user's session
    logind.emitSessionSignal("Lock");
    logind.emitSessionSignal("Unlock");
    logind.emitPropertiesChanged({{"IdleHint", true}}, session);
    logind.emitPropertiesChanged({{"LockedHint", true}}, session);
    logind.emitPropertiesChanged({{"LockedHint", false}}, "org.example.Other");
    logind.emitPropertiesChanged({{"LockedHint", false}, {"IdleHint", false}}, session);

    ASSERT_TRUE(spinUntil([&] { return posted.size() >= 4; }));
    const std::string locked(n::screenIsLocked), unlocked(n::screenIsUnlocked);
    EXPECT_EQ(posted, (Names{locked, unlocked, locked, unlocked}));
    EXPECT_TRUE(log.empty());
}

TEST_F(DBusEventsTest, WithoutSessionIDTheSessionIsFoundByProcess)
{
    ::unsetenv("XDG_SESSION_ID");
    FakeLogind logind(systemBus.connect("logind"), "c2");
    QDBusConnection bus = systemBus.connect("hushglass");
    LogindLockSource source(center, bus);
    ASSERT_TRUE(spinUntil([&] { return !source.sessionPath().isEmpty(); }));
    EXPECT_EQ(logind.lookups, QStringList{QString("GetSessionByPID %1").arg(::getpid())});
    roundTrip(bus);
    logind.emitSessionSignal("Lock");
    ASSERT_TRUE(spinUntil([&] { return !posted.empty(); }));
    EXPECT_EQ(posted, Names{std::string(n::screenIsLocked)});
}

TEST_F(DBusEventsTest, AnUnknownSessionLeavesLocksUnnoticedWithOneLogLine)
{
    ::setenv("XDG_SESSION_ID", "gone", 1);
    FakeLogind logind(systemBus.connect("logind"), "c2");
    QDBusConnection bus = systemBus.connect("hushglass");
    LogindLockSource lock(center, bus);
    LogindSleepSource sleep(center, bus);
    ASSERT_TRUE(spinUntil([&] { return !log.empty(); }));
    roundTrip(bus);

    logind.emitSessionSignal("Lock");
    logind.emitPrepareForSleep(true);  // marks the end: the lock went by before it
    ASSERT_TRUE(spinUntil([&] { return !posted.empty(); }));
    EXPECT_EQ(posted, Names{std::string(n::willSleep)});
    EXPECT_EQ(log, Names{"Hushglass: no logind session found; lock and unlock signals are not heard"});
}

TEST_F(DBusEventsTest, ScreenSaverStartsAndStopsComeFromTheServiceOnAnyPath)
{
    PrivateBus sessionBus;
    ASSERT_TRUE(sessionBus.ok());
    FakeScreenSaver saver(sessionBus.connect("saver"), true);
    FakeScreenSaver impostor(sessionBus.connect("impostor"), false);
    QDBusConnection bus = sessionBus.connect("hushglass");
    ScreenSaverSource source(center, bus);
    roundTrip(bus);

    impostor.emitActiveChanged(true);
    saver.emitActiveChanged(true);
    saver.emitActiveChanged(false);
    saver.emitActiveChanged(true, "/ScreenSaver");
    saver.emitActiveChanged(false, "/ScreenSaver");

    ASSERT_TRUE(spinUntil([&] { return posted.size() >= 4; }));
    const std::string started(n::screenSaverDidStart), stopped(n::screenSaverDidStop);
    EXPECT_EQ(posted, (Names{started, stopped, started, stopped}));
    EXPECT_TRUE(log.empty());
}

TEST_F(DBusEventsTest, MissingBusesAndServicesAreSilentWithOneLineEachAtStart)
{
    const QDBusConnection none = QDBusConnection::connectToBus("unix:path=/nonexistent/hushglass-bus", "no-bus");
    ASSERT_FALSE(none.isConnected());
    SystemEventSources withoutBuses(center, nullptr, XCB_WINDOW_NONE, {none, none});
    withoutBuses.start();
    withoutBuses.stop();
    EXPECT_EQ(logged("Hushglass: no system bus; sleep and wake are not noticed"), 1);
    EXPECT_EQ(logged("Hushglass: no system bus; lock and unlock signals are not heard"), 1);
    EXPECT_EQ(logged("Hushglass: no session bus; screen saver starts and stops are not noticed"), 1);

    // Buses without logind or a screen saver: the sources stay, and say so once.
    PrivateBus sessionBus;
    SystemEventSources empty(center, nullptr, XCB_WINDOW_NONE,
                             {systemBus.connect("hushglass"), sessionBus.connect("hushglass")});
    empty.start();
    const std::string noSession = "Hushglass: no logind session found; lock and unlock signals are not heard";
    ASSERT_TRUE(spinUntil([&] { return logged(noSession) == 1; }));
    EXPECT_EQ(logged("Hushglass: logind is not running; sleep and wake are not noticed"), 1);
    EXPECT_EQ(logged("Hushglass: no screen saver service; screen saver starts and stops are not noticed"), 1);

    // Impostors emitting the services' signals are not heard, and not logged.
    const std::size_t linesAtStart = log.size();
    FakeScreenSaver impostor(sessionBus.connect("impostor"), false);
    QDBusConnection notLogind = systemBus.connect("impostor");
    for (int i = 0; i < 3; ++i) {
        impostor.emitActiveChanged(true);
        notLogind.send(prepareForSleep(true));
    }
    roundTrip(notLogind);
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(log.size(), linesAtStart);
}

// The program's path: the buses come from the environment. QtDBus keeps the first
// system and session bus of a process, so this test holds only in a process of
// its own (as ctest runs it), not under --gtest_repeat.
TEST_F(DBusEventsTest, SourcesOnTheEnvironmentsBusesPostUntilStopped)
{
    PrivateBus sessionBus;
    ASSERT_TRUE(sessionBus.ok());
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address().c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", sessionBus.address().c_str(), 1);
    FakeLogind logind(systemBus.connect("logind"), "c2");
    FakeScreenSaver saver(sessionBus.connect("saver"), true);
    SystemEventSources sources(center, nullptr, XCB_WINDOW_NONE);
    sources.start();

    auto has = [&](std::string_view name) { return std::ranges::count(posted, name) > 0; };
    EXPECT_TRUE(testing::emitUntil([&] { logind.emitPrepareForSleep(true); }, [&] { return has(n::willSleep); }));
    EXPECT_TRUE(testing::emitUntil([&] { logind.emitSessionSignal("Lock"); }, [&] { return has(n::screenIsLocked); }));
    EXPECT_TRUE(testing::emitUntil([&] { saver.emitActiveChanged(true); },
                                   [&] { return has(n::screenSaverDidStart); }));

    sources.stop();
    posted.clear();
    logind.emitPrepareForSleep(false);
    saver.emitActiveChanged(false);
    roundTrip(QDBusConnection::systemBus());
    roundTrip(QDBusConnection::sessionBus());
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(std::ranges::none_of(log, [](const std::string& l) { return l.find("bus") != std::string::npos; }));
}

} // namespace
} // namespace hg
