// The X11 sources on a private Xvfb with openbox: desktop switches, monitors
// added and removed with xrandr, DPMS, and the whole set of sources inside a
// QGuiApplication on that display.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <QDBusConnection>
#include <QtGui/qguiapplication_platform.h>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"
#include "platform/events/active_space_source.h"
#include "platform/events/display_wake_source.h"
#include "platform/events/screen_parameters_source.h"
#include "platform/events/system_event_sources.h"
#include "platform/events/x11_screen_saver_source.h"
#include "platform/windows/x11_screens.h"
#include "support/x_session.h"

namespace hg {
namespace {

namespace n = notifications;
using testing::XSession;

// Real time is unavoidable here: the monitor re-query runs on a Qt timer of
// one second, and openbox answers in its own time. Deadlines are generous.
constexpr qint64 kDeadlineMs = 5000;

class X11EventsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!XSession::available())
            return;
        s_session = new XSession({.width = 1920, .height = 1080, .windowManager = true});
        if (!s_session->ok())
            return;
        ::setenv("DISPLAY", s_session->display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);  // the sources read Qt's X11 connection
        static int argc = 1;
        static char name[] = "x11_events_test";
        static char* argv[] = {name, nullptr};
        s_app = new QGuiApplication(argc, argv);
    }
    static void TearDownTestSuite()
    {
        delete s_app;  // before its X server goes
        s_app = nullptr;
        delete s_session;
        s_session = nullptr;
    }

    void SetUp() override
    {
        if (!s_app)
            GTEST_SKIP() << "no Xvfb/openbox here" << (s_session ? ": " + s_session->error() : std::string());
        m_connection = xcb_connect(s_session->display().c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(m_connection));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        for (std::string_view name : {n::screenParametersChanged, n::screensDidWake, n::activeSpaceChanged,
                                      n::screenSaverDidStart, n::screenSaverDidStop})
            center.addObserver(std::string(name), [this, name] { posted.emplace_back(name); });
        m_previousSink = setLogSink([this](std::string_view line) { log.emplace_back(line); });
        // openbox names its desktops a moment after it manages the screen.
        ASSERT_TRUE(pumpUntil([&] { return rootCardinal("_NET_CURRENT_DESKTOP").has_value(); }));
    }
    void TearDown() override
    {
        if (!s_app)
            return;
        setLogSink(m_previousSink);
        xcb_disconnect(m_connection);
    }

    XSession& session() { return *s_session; }

    // Spins Qt's loop and hands this test's X events to `space` (when given)
    // until `done` or the deadline.
    bool pumpUntil(const std::function<bool()>& done, ActiveSpaceSource* space = nullptr)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < kDeadlineMs) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if (space)
                    space->handleEvent(event);
                std::free(event);
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    }
    // Waits until the server handled every request sent so far on our
    // connection, then hands `space` the events that came before the reply.
    void sync(ActiveSpaceSource* space = nullptr)
    {
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        pumpUntil([] { return true; }, space);
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if (space)
                space->handleEvent(event);
            std::free(event);
        }
    }
    // Asks openbox to switch to `desktop` until it did: during its start it
    // may drop a request. Events on our connection go to `space` meanwhile.
    bool switchDesktop(std::uint32_t desktop, ActiveSpaceSource* space = nullptr)
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            session().run({"wmctrl", "-s", std::to_string(desktop)});
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 500) {
                pumpUntil([] { return true; }, space);
                if (rootCardinal("_NET_CURRENT_DESKTOP") == desktop)
                    return true;
            }
        }
        return false;
    }
    std::optional<std::uint32_t> rootCardinal(const char* name)
    {
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 0, m_root, atom(name), XCB_ATOM_CARDINAL, 0, 1),
                                   nullptr),
            &std::free);
        if (!reply || xcb_get_property_value_length(reply.get()) < 4)
            return std::nullopt;
        return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    }
    xcb_atom_t atom(const char* name)
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, std::strlen(name), name), nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    [[nodiscard]] long count(std::string_view name) const { return std::ranges::count(posted, name); }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    NotificationCenter center;
    std::vector<std::string> posted;
    std::vector<std::string> log;

private:
    LogSink m_previousSink;
    static inline XSession* s_session = nullptr;
    static inline QGuiApplication* s_app = nullptr;
};

TEST_F(X11EventsTest, SwitchingDesktopsPostsOncePerSwitchAndKeepsTheRootEventMask)
{
    // Another part of the program already listens on the root.
    const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &structure);
    ActiveSpaceSource space(center, m_connection, m_root);
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr),
        &std::free);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->your_event_mask, structure | XCB_EVENT_MASK_PROPERTY_CHANGE);
    ASSERT_EQ(space.currentDesktop(), 0u);

    ASSERT_TRUE(switchDesktop(1, &space));
    ASSERT_TRUE(pumpUntil([&] { return count(n::activeSpaceChanged) == 1; }, &space));
    EXPECT_EQ(space.currentDesktop(), 1u);

    // The property rewritten with the same desktop is no switch.
    const std::uint32_t same = 1;
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_CURRENT_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &same);
    sync(&space);
    EXPECT_EQ(count(n::activeSpaceChanged), 1);
    ASSERT_TRUE(switchDesktop(0, &space));
    ASSERT_TRUE(pumpUntil([&] { return count(n::activeSpaceChanged) >= 2; }, &space));
    sync(&space);
    EXPECT_EQ(count(n::activeSpaceChanged), 2);
    EXPECT_EQ(posted.size(), 2u);
}

TEST_F(X11EventsTest, MonitorsAddedAndRemovedWithoutRandREventsArePostedWithinTheReRead)
{
    // Qt hears of these monitors on this server; silence it to see the re-read alone.
    std::vector<std::unique_ptr<QSignalBlocker>> quietQt;
    quietQt.push_back(std::make_unique<QSignalBlocker>(qGuiApp));
    for (QScreen* screen : QGuiApplication::screens())
        quietQt.push_back(std::make_unique<QSignalBlocker>(screen));
    X11Screens screens(m_connection, m_root);
    ScreenParametersSource source(center, [&] {
        screens.refresh();
        return screens.screens();
    });
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(session().run({"xrandr", "--setmonitor", "hg-left", "960/254x1080/286+0+0", "none"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return count(n::screenParametersChanged) == 1; }));
    EXPECT_LT(timer.elapsed(), 2500) << "the re-read runs once a second";
    EXPECT_TRUE(std::ranges::any_of(screens.screens(), [](const Screen& s) { return s.name == "hg-left"; }))
        << "the screens are current when the notification is heard";

    ASSERT_EQ(session().run({"xrandr", "--delmonitor", "hg-left"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return count(n::screenParametersChanged) == 2; }));
    source.pollMonitors();
    EXPECT_EQ(count(n::screenParametersChanged), 2);
}

// Whoever else re-reads the same screens must not swallow a change.
TEST(ScreenParametersSourceTest, AChangeReadFirstBySomeoneElseIsStillPosted)
{
    static int argc = 1;
    static char name[] = "x11_events_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        static QCoreApplication app(argc, argv);  // for the source's timer
    NotificationCenter center;
    int posts = 0;
    center.addObserver(std::string(notifications::screenParametersChanged), [&] { ++posts; });
    auto screen = [](std::uint32_t number, Rect frame) {
        Screen s;
        s.displayNumber = number;
        s.frame = s.visibleFrame = frame;
        return s;
    };
    std::vector<Screen> current{screen(1, Rect(0, 0, 1920, 1080))};
    ScreenParametersSource source(center, [&] { return current; }, std::chrono::hours(1));

    source.pollMonitors();
    EXPECT_EQ(posts, 0);
    current.push_back(screen(2, Rect(1920, 0, 1280, 1024)));
    source.pollMonitors();
    source.pollMonitors();
    EXPECT_EQ(posts, 1);
    current.back().backingScaleFactor = 2.0;
    source.pollMonitors();
    EXPECT_EQ(posts, 2);
}

TEST_F(X11EventsTest, TheServersScreenSaverIsPostedWhenItStartsAndStops)
{
    X11ScreenSaverSource saver(center, m_connection, m_root);
    auto pump = [&](const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < kDeadlineMs) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                saver.handleEvent(event);
                std::free(event);
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    };
    ASSERT_EQ(session().run({"xset", "s", "activate"}), 0);
    ASSERT_TRUE(pump([&] { return count(n::screenSaverDidStart) == 1; }));
    ASSERT_EQ(session().run({"xset", "s", "activate"}), 0);  // already running
    ASSERT_EQ(session().run({"xset", "s", "reset"}), 0);
    ASSERT_TRUE(pump([&] { return count(n::screenSaverDidStop) == 1; }));
    sync();
    pump([] { return true; });
    const std::vector<std::string> startThenStop{std::string(n::screenSaverDidStart), std::string(n::screenSaverDidStop)};
    EXPECT_EQ(posted, startThenStop);
    EXPECT_TRUE(log.empty());
}

// Xvfb has no DPMS: the source says so once and stays silent; the change
// back to "on" is checked with a scripted reader.
TEST_F(X11EventsTest, MonitorsWakingUpArePostedOncePerReturnToOn)
{
    DisplayWakeSource withoutDpms(center, m_connection);
    EXPECT_EQ(log, std::vector<std::string>{"Hushglass: DPMS is missing; monitors waking up are not noticed"});
    withoutDpms.pollPower();

    // Readings: off at creation, then off, unreadable, on, on, standby, on.
    std::deque<std::optional<bool>> readings{true, true, std::nullopt, false, false, true, false};
    DisplayWakeSource scripted(
        center,
        [&]() -> std::optional<bool> {
            const auto reading = readings.front();
            readings.pop_front();
            return reading;
        },
        std::chrono::milliseconds(0));
    std::vector<long> wakesAfterEachPoll;
    while (!readings.empty()) {
        scripted.pollPower();
        wakesAfterEachPoll.push_back(count(n::screensDidWake));
    }
    EXPECT_EQ(wakesAfterEachPoll, (std::vector<long>{0, 0, 1, 1, 1, 2}));
}

// The program's path: Qt's own connection, events through the native event
// filter, the monitor re-query on Qt's loop.
TEST_F(X11EventsTest, TheSourcesFollowDesktopsAndMonitorsInsideAQtApplication)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* qtConnection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(qtConnection)).data->root;
    const QDBusConnection none = QDBusConnection::connectToBus("unix:path=/nonexistent/hushglass-bus", "no-bus");
    SystemEventSources sources(center, qtConnection, root, {none, none});
    sources.start();
    EXPECT_EQ(std::ranges::count(log, "Hushglass: DPMS is missing; monitors waking up are not noticed"), 1);
    EXPECT_EQ(std::ranges::count_if(log, [](const std::string& l) { return l.find("RandR") != std::string::npos; }), 0);

    ASSERT_TRUE(switchDesktop(2));
    EXPECT_TRUE(pumpUntil([&] { return count(n::activeSpaceChanged) == 1; }));
    ASSERT_EQ(session().run({"xrandr", "--setmonitor", "hg-right", "960/254x1080/286+960+0", "none"}), 0);
    EXPECT_TRUE(pumpUntil([&] { return count(n::screenParametersChanged) >= 1; }));
    ASSERT_EQ(session().run({"xrandr", "--delmonitor", "hg-right"}), 0);
    ASSERT_TRUE(switchDesktop(0));
    EXPECT_TRUE(pumpUntil([&] { return count(n::activeSpaceChanged) == 2; }));
    ASSERT_EQ(session().run({"xset", "s", "activate"}), 0);
    EXPECT_TRUE(pumpUntil([&] { return count(n::screenSaverDidStart) == 1; }));
    ASSERT_EQ(session().run({"xset", "s", "reset"}), 0);
    EXPECT_TRUE(pumpUntil([&] { return count(n::screenSaverDidStop) == 1; }));
    sources.stop();
}

} // namespace
} // namespace hg
