// A running Hushglass follows the system: it pauses for sleep and resumes on
// wake (logind faked on a private bus exported as the system bus), rebuilds
// its overlays when monitors come and go, and captures the new desktop after a
// desktop switch.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <gtest/gtest.h>

#include "e2e_desktop.h"
#include "private_bus.h"

namespace hg::testing {
namespace {

using namespace std::chrono_literals;

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "system_events_e2e_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// Polls `condition` while the Qt event loop runs (the fake logind answers
// from it), every 40 ms up to `timeout`.
bool eventuallyServing(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeout.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 40);
        if (condition())
            return true;
    }
    return condition();
}

// The average colour of `rect` is clearly red.
bool looksRed(const Screenshot& shot, const PixelRect& rect)
{
    double r = 0, g = 0, b = 0;
    for (int y = rect.y; y < rect.y + rect.height; ++y)
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            const std::uint32_t p = shot.at(x, y);
            r += (p >> 16) & 0xFF;
            g += (p >> 8) & 0xFF;
            b += p & 0xFF;
        }
    const double n = static_cast<double>(rect.width) * rect.height;
    return r / n > g / n + 60 && r / n > b / n + 60;
}

class SystemEventsE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XSession::available())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        application();
    }

    // A focus window on the right; the effect on; its first pictures up.
    void startWithFocusWindow(E2eDesktop& desk)
    {
        ASSERT_TRUE(desk.ok()) << desk.error();
        const xcb_window_t focus = desk.openPatterned("focus 360x300+620+200 class=editor,Editor", 2);
        ASSERT_NE(focus, 0u);
        desk.client().command("activate focus");
        desk.writeDefaults(R"({"enabled": true})");
        ASSERT_TRUE(desk.startProgram()) << desk.programOutput();
        ASSERT_TRUE(eventually([&] { return !desk.overlays().empty() && desk.overlays()[0].shown; }, 10s))
            << desk.programOutput();
    }

    const PixelRect m_probe{120, 120, 160, 100};  // inside the red window, far from the focus window
};

TEST_F(SystemEventsE2eTest, SleepPausesTheBlurAndWakeResumesIt)
{
    if (!PrivateBus::available())
        GTEST_SKIP() << "dbus-daemon is not installed";
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    ::setenv("XDG_SESSION_ID", "37", 1);
    FakeLogind logind(bus.connect("logind"), "37");
    ASSERT_TRUE(logind.ok());

    E2eDesktop desk;
    ASSERT_TRUE(desk.ok()) << desk.error();
    ASSERT_NE(desk.client().open("red 400x300+40+40 color=ff0000"), 0u);
    startWithFocusWindow(desk);
    ASSERT_TRUE(eventuallyServing([&] { return looksRed(desk.screenshot(), m_probe); }, 8s)) << desk.programOutput();

    logind.emitPrepareForSleep(true);
    eventuallyServing([] { return false; }, 1000ms);
    // The red window moves away behind the overlay; while asleep the blur
    // keeps its last picture, so its old place still looks red.
    desk.client().command("move red 40 560");
    eventuallyServing([] { return false; }, 1500ms);
    EXPECT_TRUE(looksRed(desk.screenshot(), m_probe)) << "captures went on during sleep";

    logind.emitPrepareForSleep(false);
    EXPECT_TRUE(eventuallyServing([&] { return !looksRed(desk.screenshot(), m_probe); }, 8s))
        << "the blur did not resume after wake\n" << desk.programOutput();
    EXPECT_EQ(desk.stopProgram(), 0);
}

TEST_F(SystemEventsE2eTest, MonitorsAddedAndRemovedGetOneOverlayEach)
{
    E2eDesktop desk;
    startWithFocusWindow(desk);
    ASSERT_EQ(desk.overlays().size(), 1u);

    ASSERT_EQ(desk.session().run({"xrandr", "--setmonitor", "left", "512/135x768/203+0+0", "none"}), 0);
    ASSERT_EQ(desk.session().run({"xrandr", "--setmonitor", "right", "512/135x768/203+512+0", "none"}), 0);
    EXPECT_TRUE(eventually([&] { return desk.overlays().size() == 2; }, 8s))
        << desk.overlays().size() << " overlays\n" << desk.programOutput();

    ASSERT_EQ(desk.session().run({"xrandr", "--delmonitor", "right"}), 0);
    ASSERT_EQ(desk.session().run({"xrandr", "--delmonitor", "left"}), 0);
    EXPECT_TRUE(eventually([&] { return desk.overlays().size() == 1; }, 8s))
        << desk.overlays().size() << " overlays\n" << desk.programOutput();
    EXPECT_TRUE(desk.programRunning());
    EXPECT_EQ(desk.stopProgram(), 0);
}

TEST_F(SystemEventsE2eTest, ADesktopSwitchClearsThePicturesAndBlursTheNewDesktop)
{
    E2eDesktop desk;
    ASSERT_TRUE(desk.ok()) << desk.error();
    desk.session().run({"wmctrl", "-n", "2"});
    ASSERT_NE(desk.client().open("red 400x300+40+40 color=ff0000"), 0u);
    startWithFocusWindow(desk);
    ASSERT_TRUE(eventually([&] { return looksRed(desk.screenshot(), m_probe); }, 8s)) << desk.programOutput();

    // The red window stays on the first desktop: the switch clears the
    // pictures at once, and the new desktop shows none of it.
    EXPECT_TRUE(eventually(
        [&] {
            desk.session().run({"wmctrl", "-s", "1"});  // openbox may drop a request right after a change
            return !looksRed(desk.screenshot(), m_probe);
        },
        8s))
        << desk.programOutput();
    // A window on the new desktop becomes the focus, and the blur of the new
    // desktop comes up around it.
    ASSERT_NE(desk.openPatterned("there 360x300+620+200 class=editor,Editor", 3), 0u);
    desk.client().command("activate there");
    EXPECT_TRUE(eventually([&] { return !desk.overlays().empty() && desk.overlays()[0].shown; }, 8s))
        << desk.programOutput();
    EXPECT_FALSE(looksRed(desk.screenshot(), m_probe));
    EXPECT_TRUE(desk.programRunning());
    EXPECT_EQ(desk.stopProgram(), 0);
}

} // namespace
} // namespace hg::testing
