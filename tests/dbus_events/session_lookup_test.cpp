// Looking again for what was missing at start: logind's session, found late
// by the lock source and by the session state, and a screen saver service that
// starts after the program.
#include <QCoreApplication>
#include <QDBusConnection>
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>

#include "base/log.h"
#include "engine/controller/system_notifications.h"
#include "platform/desktop/desktop_services.h"
#include "platform/events/logind_sources.h"
#include "platform/events/screen_saver_source.h"
#include "private_bus.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::FakeLogind;
using testing::FakeScreenSaver;
using testing::FakeSession;
using testing::spinUntil;
namespace n = notifications;
using Names = std::vector<std::string>;

const std::string kNoSession = "Hushglass: no logind session found; lock and unlock signals are not heard";

class SessionLookupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::PrivateBus::available())
            GTEST_SKIP() << "dbus-daemon is not installed";
        testing::ensureApplication();
        ASSERT_TRUE(systemBus.ok());
        ASSERT_TRUE(sessionBus.ok());
        m_previousSink = setLogSink([this](std::string_view line) { log.emplace_back(line); });
        ::setenv("XDG_SESSION_ID", "c2", 1);
    }
    void TearDown() override
    {
        services.run([&] {
            session.reset();
            logind.reset();
            saver.reset();
        });
        setLogSink(m_previousSink);
        ::unsetenv("XDG_SESSION_ID");
    }

    [[nodiscard]] long logged(std::string_view line) const { return std::count(log.begin(), log.end(), line); }

    // logind (and, when `locked` is given, our session's object) appearing on
    // the system bus, served from a thread of their own.
    void startLogind(const QString& knownSession, std::optional<bool> locked = std::nullopt)
    {
        services.run([&] {
            QDBusConnection bus = systemBus.connect("logind");
            logind = std::make_unique<FakeLogind>(bus, knownSession);
            if (locked)
                session = std::make_unique<FakeSession>(bus, *locked);
        });
        ASSERT_TRUE(logind->ok());
    }
    void startScreenSaver(bool active)
    {
        services.run([&] { saver = std::make_unique<FakeScreenSaver>(sessionBus.connect("saver"), true, active); });
    }
    [[nodiscard]] qsizetype lookups()
    {
        qsizetype count = 0;
        services.run([&] { count = logind->lookups.size(); });
        return count;
    }

    testing::PrivateBus systemBus;
    testing::PrivateBus sessionBus;
    NotificationCenter center;
    testing::NotificationRecorder recorder{center};
    Names& posted = recorder.posted;
    std::vector<std::string> log;
    testing::ServiceThread services;
    std::unique_ptr<FakeLogind> logind;
    std::unique_ptr<FakeSession> session;
    std::unique_ptr<FakeScreenSaver> saver;

private:
    LogSink m_previousSink;
};

// logind knows our session only after a while (a slow start): the source
// keeps looking, says so once, and hears locks once it has found it.
TEST_F(SessionLookupTest, TheLockSourceLooksAgainUntilItFindsTheSession)
{
    startLogind("c1");
    QDBusConnection bus = systemBus.connect("hushglass");
    LogindLockSource source(center, bus, 10ms);
    ASSERT_TRUE(spinUntil([&] { return lookups() >= 3; })) << "no look-up after the first failed";
    services.run([&] { logind->setSessionID("c2"); });
    ASSERT_TRUE(spinUntil([&] { return !source.sessionPath().isEmpty(); }));
    EXPECT_EQ(source.sessionPath(), FakeLogind::kSessionPath);

    EXPECT_TRUE(testing::emitUntil([&] { services.run([&] { logind->emitSessionSignal("Lock"); }); },
                                   [&] { return !posted.empty(); }));
    EXPECT_EQ(posted, Names{std::string(n::screenIsLocked)});
    EXPECT_EQ(log, Names{kNoSession});
}

// logind starts after the program, with our session locked already: the
// source looks at once (whatever its wait) and reports the lock it missed.
TEST_F(SessionLookupTest, LogindStartingLateIsAskedAtOnceAndALockItMissedIsReported)
{
    QDBusConnection bus = systemBus.connect("hushglass");
    LogindLockSource source(center, bus, 1h);
    ASSERT_TRUE(spinUntil([&] { return logged(kNoSession) == 1; }));
    startLogind("c2", /*locked=*/true);
    ASSERT_TRUE(spinUntil([&] { return !posted.empty(); }));
    EXPECT_EQ(source.sessionPath(), FakeLogind::kSessionPath);
    EXPECT_EQ(posted, Names{std::string(n::screenIsLocked)});
}

// The session state the controller confirms a lock with: it looks again once
// logind appears, and otherwise after a wait that doubles while it fails.
TEST_F(SessionLookupTest, TheSessionStateFindsASessionThatAppearsLate)
{
    auto now = std::chrono::steady_clock::time_point{};
    LinuxSessionState state(nullptr, XCB_WINDOW_NONE, systemBus.connect("state"), sessionBus.connect("state"),
                            [&] { return now; });
    EXPECT_FALSE(state.isLocked());
    startLogind("c1", /*locked=*/true);
    ASSERT_TRUE(spinUntil([&] {
        (void)state.isLocked();
        return lookups() > 0;
    })) << "logind appearing did not end the wait";
    EXPECT_EQ(lookups(), 1);  // c2 is still unknown

    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(state.isLocked());
    EXPECT_EQ(lookups(), 1) << "looked again before the wait was over";
    now += 1s;
    EXPECT_FALSE(state.isLocked());
    EXPECT_EQ(lookups(), 2);
    now += 1s;
    EXPECT_FALSE(state.isLocked());
    EXPECT_EQ(lookups(), 2) << "the wait did not grow";
    now += 1s;
    services.run([&] { logind->setSessionID("c2"); });
    EXPECT_TRUE(state.isLocked());
    EXPECT_EQ(lookups(), 3);
}

// A screen saver service that starts after the program is heard and asked.
TEST_F(SessionLookupTest, AScreenSaverServiceStartingLateIsAsked)
{
    QDBusConnection bus = sessionBus.connect("hushglass");
    ScreenSaverSource source(center, bus);
    LinuxSessionState state(nullptr, XCB_WINDOW_NONE, systemBus.connect("state"), sessionBus.connect("state"));
    EXPECT_FALSE(state.screenSaverRunning());

    startScreenSaver(/*active=*/true);
    ASSERT_TRUE(spinUntil([&] { return !posted.empty(); })) << "the service was not asked when it appeared";
    EXPECT_EQ(posted, Names{std::string(n::screenSaverDidStart)});
    EXPECT_TRUE(state.screenSaverRunning());
}

} // namespace
} // namespace hg
