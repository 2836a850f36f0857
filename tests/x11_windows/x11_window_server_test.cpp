#include <algorithm>
#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "x11_fixture.h"

namespace hg::testing {
namespace {

using ServerTest = X11WindowsTest;

TEST_F(ServerTest, ScanListsFramesFrontMostFirstWithProcessesLayersAndIdentifiers)
{
    start();
    TestClient& client = newClient();
    const std::uint32_t alpha = client.open("alpha 400x300+100+120 class=alpha,Alpha");
    const std::uint32_t beta = client.open("beta 300x200+600+150 appid=org.example.Beta");
    const std::uint32_t gamma = client.open("gamma 350x250+300+500 pid=no class=gamma,Gamma");
    const std::uint32_t tool = client.open("tool 200x200+1200+100 type=utility class=kit,Kit");
    ASSERT_TRUE(alpha && beta && gamma && tool);

    std::vector<WindowSnapshot> windows;
    xcb_window_t frames[4] = {};
    ASSERT_TRUE(eventually([&] {
        windows = scan();
        int i = 0;
        for (std::uint32_t c : {alpha, beta, gamma, tool})
            frames[i++] = frameOf(c);
        return std::all_of(std::begin(frames), std::end(frames), [&](xcb_window_t f) { return findWindow(windows, f); });
    }));

    const WindowSnapshot* a = findWindow(windows, frames[0]);
    const WindowSnapshot* b = findWindow(windows, frames[1]);
    const WindowSnapshot* g = findWindow(windows, frames[2]);
    const WindowSnapshot* t = findWindow(windows, frames[3]);
    EXPECT_NE(frames[0], alpha);  // the window manager's frame, not the client
    EXPECT_LT(g, b);              // opened later, so in front
    EXPECT_LT(b, a);

    // The frame holds the client at the asked position, decorations around it.
    EXPECT_TRUE(a->rect.contains(Rect(100, 120, 400, 300)) || a->rect.origin == Point(100, 120)) << a->rect.origin.x;
    EXPECT_GE(a->rect.width(), 400);
    EXPECT_GE(a->rect.height(), 300);
    EXPECT_LT(a->rect.width(), 440);

    for (const WindowSnapshot* w : {a, b, g, t}) {
        EXPECT_EQ(w->pid, client.pid());  // gamma's through the X-Resource extension
        EXPECT_TRUE(w->isOnScreen);
    }
    EXPECT_EQ(a->layer, 0);
    EXPECT_EQ(t->layer, 3);
    // One process: its identifier is that of its front-most window (openbox
    // may or may not raise the utility window above gamma).
    const char* expected = t < g ? "Kit" : "Gamma";
    for (const WindowSnapshot* w : {a, b, g, t})
        EXPECT_EQ(w->bundleID, expected);
}

TEST_F(ServerTest, IdentifiersPreferDesktopEntriesOverTheClassAndLayersFollowTheTable)
{
    start();
    struct Case {
        const char* options;
        std::optional<std::string> identifier;
        std::int64_t layer;
    };
    const Case cases[] = {
        {"class=a,Alpha appid=org.example.Beta", "org.example.Beta", 0},
        {"class=a,Alpha kdefile=org.kde.gamma", "org.kde.gamma", 0},
        {"class=a,Alpha state=above", "Alpha", 3},
        {"class=a,Alpha type=toolbar", "Alpha", 3},
        {"class=a,Alpha state=below", "Alpha", -1},
        {"class=a,Alpha type=dock", "Alpha", 20},
        {"class=a,Alpha type=notification", "Alpha", 101},
        {"class=a,Alpha override", "Alpha", 101},
    };
    for (const Case& c : cases) {
        TestClient& client = newClient();
        const std::uint32_t id = client.open(std::string("w 300x200+200+200 ") + c.options);
        ASSERT_NE(id, 0u) << c.options;
        const WindowSnapshot* found = nullptr;
        std::vector<WindowSnapshot> windows;
        EXPECT_TRUE(eventually([&] {
            windows = scan();
            const xcb_window_t frame = frameOf(id);
            found = frame ? findWindow(windows, frame) : nullptr;
            return found != nullptr;
        })) << c.options;
        if (!found)
            continue;
        EXPECT_EQ(found->bundleID, c.identifier) << c.options;
        EXPECT_EQ(found->layer, c.layer) << c.options;
        EXPECT_EQ(found->pid, client.pid()) << c.options;
        client.command("close w");
    }
}

TEST_F(ServerTest, MinimisedWindowIsNotOnScreen)
{
    start();
    TestClient& client = newClient();
    const std::uint32_t shown = client.open("shown 300x200+100+100");
    const std::uint32_t iconic = client.open("iconic 300x200+500+100 state=hidden");
    ASSERT_TRUE(shown && iconic);
    ASSERT_TRUE(eventually([&] { return frameOf(iconic) != 0 && frameOf(shown) != 0; }));
    client.command("minimize shown");

    auto isOnScreen = [&](std::uint32_t client) {
        const auto all = server->windowList(WindowListOption::all);
        for (const WindowInfoEntry& e : all.value_or(std::vector<WindowInfoEntry>{}))
            if (e.windowNumber == frameOf(client))
                return e.isOnScreen.value_or(true);
        return true;
    };
    EXPECT_TRUE(eventually([&] { return !isOnScreen(shown) && !isOnScreen(iconic); }));
    const std::vector<WindowSnapshot> windows = scan();
    EXPECT_EQ(findWindow(windows, frameOf(shown)), nullptr);  // the scan asks for on-screen windows only
    EXPECT_EQ(findWindow(windows, frameOf(iconic)), nullptr);
}

TEST_F(ServerTest, WithoutAWindowManagerTheRootsChildrenAreListed)
{
    start({.windowManager = false});
    TestClient& client = newClient();
    const std::uint32_t lower = client.open("lower 300x200+100+100 class=l,Lower");
    const std::uint32_t upper = client.open("upper 300x200+150+150 pid=no class=u,Upper");
    ASSERT_TRUE(lower && upper);
    const std::vector<WindowSnapshot> windows = scan();
    const WindowSnapshot* l = findWindow(windows, lower);
    const WindowSnapshot* u = findWindow(windows, upper);
    ASSERT_TRUE(l && u);
    EXPECT_LT(u, l);
    EXPECT_EQ(l->rect, Rect(100, 100, 300, 200));
    EXPECT_EQ(u->pid, client.pid());
    EXPECT_EQ(u->bundleID, "Upper");  // one process: the identifier of its front-most window
}

TEST_F(ServerTest, WindowsDestroyedDuringScansNeitherCrashNorLeakErrors)
{
    start();
    TestClient& client = newClient();
    for (int i = 0; i < 40; ++i)
        ASSERT_NE(client.open("w" + std::to_string(i) + " 200x150+" + std::to_string(20 * i) + "+100"), 0u);

    std::atomic<bool> closing{true};
    std::thread closer([&] {
        for (int i = 0; i < 40; ++i)
            client.command("close w" + std::to_string(i));
        closing = false;
    });
    int scans = 0;
    while (closing) {
        (void)scan();
        ++scans;
    }
    closer.join();
    EXPECT_GT(scans, 0);
    EXPECT_TRUE(eventually([&] { return scan().size() < 5; }));

    // Every error of a vanished window was taken with its reply: none waits
    // in the event queue.
    xcb_flush(connection);
    int errors = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        errors += event->response_type == 0;
        free(event);
    }
    EXPECT_EQ(errors, 0);
}

// Under the event loop the server says when the window list changed or a
// window was activated, so that an idle frame clock can wake; a still
// desktop says nothing.
TEST_F(ServerTest, UnderTheEventLoopChangesAndActivationsCallTheChangeHandler)
{
    int argc = 1;
    char name[] = "x11_windows";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    start();
    int calls = 0;
    server->setChangeHandler([&] { ++calls; });
    (void)scan();  // the model's first read, as the program's at switch-on
    const auto runFor = [&](int ms, const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms && !done())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    };

    TestClient& client = newClient();
    const std::uint32_t first = client.open("first 400x300+100+100 class=one,One");
    const std::uint32_t second = client.open("second 300x200+600+400 class=two,Two");
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(runFor(5000, [&] { return calls > 0; })) << "new windows";
    runFor(500, [] { return false; });  // whatever the window manager still does

    int before = calls;
    runFor(400, [] { return false; });
    EXPECT_EQ(calls, before) << "a still desktop";

    client.command("activate first");
    EXPECT_TRUE(runFor(5000, [&] { return calls > before; })) << "an activation";
    runFor(300, [] { return false; });
    before = calls;
    client.command("move second 650 420");
    EXPECT_TRUE(runFor(5000, [&] { return calls > before; })) << "a move";
    server.reset();  // before the application goes
}

} // namespace
} // namespace hg::testing
