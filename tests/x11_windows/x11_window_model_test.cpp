// The window model under a real X server: what the server tells by events
// reaches the list without reading the whole tree again, a lost event is
// repaired by the fallback read, and a remote client's window (no
// `_NET_WM_PID`, a process the server cannot name) stays listed and can take
// the focus.
#include <unistd.h>

#include <algorithm>
#include <array>

#include "platform/x11/window_model.h"
#include "x11_fixture.h"

namespace hg::testing {
namespace {

using ModelTest = X11WindowsTest;

const x11::TopLevelWindow* byClient(const std::optional<x11::WindowList>& list, xcb_window_t client)
{
    if (!list)
        return nullptr;
    for (const x11::TopLevelWindow& w : list->windows)
        if (w.client == client)
            return &w;
    return nullptr;
}

std::size_t placeOf(const std::optional<x11::WindowList>& list, xcb_window_t client)
{
    for (std::size_t i = 0; list && i < list->windows.size(); ++i)
        if (list->windows[i].client == client)
            return i;
    return SIZE_MAX;
}

struct ManualModel {
    std::uint64_t now = 1'000'000'000;
    std::shared_ptr<x11::WindowModel> model;

    ManualModel(const std::string& display, xcb_connection_t* fallback, xcb_window_t root)
        : model(x11::WindowModel::connect(display, fallback, root,
                                          {.nowNanos = [this] { return now; },
                                           .fullReadIntervalNanos = 1'000'000'000}))
    {
    }
    // Takes the events and the list until `condition` holds on it.
    bool until(const std::function<bool(const std::optional<x11::WindowList>&)>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            (void)model->changeCount();
            if (condition(model->list()))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(ModelTest, MappedMovedRestackedDestroyedAndActivatedWindowsReachTheListWithoutAFullRead)
{
    start();
    TestClient& client = newClient();
    const std::uint32_t first = client.open("first 400x300+100+100 class=one,One");
    ManualModel m(session->display(), connection, root);
    ASSERT_TRUE(m.model->followsEvents());
    ASSERT_TRUE(byClient(m.model->list(), first));
    ASSERT_EQ(m.model->counts().fullReads, 1u);
    const std::uint64_t unchanged = m.model->changeCount();
    EXPECT_EQ(m.model->changeCount(), unchanged) << "a still desktop changes nothing";

    const std::uint32_t second = client.open("second 300x200+600+400 class=two,Two");
    EXPECT_TRUE(m.until([&](const auto& l) {
        const auto* w = byClient(l, second);
        return w && w->managed && w->viewable && w->wmClass && w->wmClass->className == "Two"
            && w->pid == std::uint32_t(client.pid()) && w->frame != second;
    })) << "a new window with its details, frame and process";
    EXPECT_NE(m.model->changeCount(), unchanged);

    client.command("move first 250 180");
    EXPECT_TRUE(m.until([&](const auto& l) {
        const auto* w = byClient(l, first);
        return w && w->x <= 250 && w->x > 200 && w->y <= 180 && w->y > 100;
    })) << "a move";

    client.command("activate first");
    EXPECT_TRUE(m.until([&](const auto& l) {
        return l && l->activeClient == first && placeOf(l, first) < placeOf(l, second);
    })) << "an activation, and the restack that comes with it";
    const std::uint64_t activations = m.model->activationCount();
    client.command("activate second");
    EXPECT_TRUE(m.until([&](const auto& l) { return l && l->activeClient == second; }));
    EXPECT_NE(m.model->activationCount(), activations);

    client.command("close second");
    EXPECT_TRUE(m.until([&](const auto& l) { return l && !byClient(l, second) && byClient(l, first); }))
        << "a destroyed window";

    EXPECT_EQ(m.model->counts().fullReads, 1u) << "every change came by events";
    EXPECT_GT(m.model->counts().partialReads, 0u);

    // The model agrees with a full read of the tree (once the window
    // manager's last activation has reached both).
    x11::AtomCache atoms(connection);
    EXPECT_TRUE(m.until([&](const std::optional<x11::WindowList>& kept) {
        const std::optional<x11::WindowList> truth = x11::WindowListQuery(connection, root, atoms).run();
        return truth && kept && kept->windows == truth->windows && kept->activeClient == truth->activeClient;
    }));
}

TEST_F(ModelTest, ALostEventIsRepairedByTheFallbackRead)
{
    start();
    TestClient& client = newClient();
    const std::uint32_t menu = client.open("menu 200x150+300+300 override class=menu,Menu");
    ManualModel m(session->display(), connection, root);
    ASSERT_TRUE(m.until([&](const auto& l) { return byClient(l, menu) != nullptr; }));
    const std::uint64_t reads = m.model->counts().fullReads;

    client.command("move menu 500 420");  // an override-redirect window moves at once
    m.model->dropEventsForTesting();
    const std::uint64_t before = m.model->changeCount();
    const std::optional<x11::WindowList> stale = m.model->list();
    ASSERT_TRUE(byClient(stale, menu));
    ASSERT_EQ(byClient(stale, menu)->x, 300) << "the move was lost";

    m.now += 999'000'000;
    EXPECT_EQ(m.model->changeCount(), before);
    EXPECT_EQ(m.model->counts().fullReads, reads) << "no read before the fallback interval";

    m.now += 1'000'000;
    EXPECT_NE(m.model->changeCount(), before) << "the fallback read found the change";
    EXPECT_EQ(m.model->counts().fullReads, reads + 1);
    const std::optional<x11::WindowList> repairedList = m.model->list();
    const x11::TopLevelWindow* moved = byClient(repairedList, menu);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->x, 500);
    EXPECT_EQ(moved->y, 420);

    // Once the desktop is quiet (a busy window manager may still be at work),
    // a fallback read that finds nothing changes nothing.
    std::uint64_t quiet = m.model->changeCount();
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::uint64_t now = m.model->changeCount();
        if (now == quiet)
            break;
        quiet = now;
    }
    m.now += 1'000'000'000;
    const std::uint64_t repaired = m.model->changeCount();
    EXPECT_EQ(m.model->changeCount(), repaired) << "a fallback read that finds nothing changes nothing";
}

TEST_F(ModelTest, ARemoteClientsWindowWithoutAProcessIsListedAndTakesTheFocus)
{
    start();
    // Xvfb names the process of every client on this machine, even over TCP:
    // the server that cannot (an `ssh -X` client's) is stood for by not
    // asking it, and the window names none itself (no _NET_WM_PID).
    workspace.reset();
    server = std::make_unique<X11WindowServer>(connection, root, session->display(), false);
    workspace = std::make_unique<X11Workspace>(*server);
    TestClient& local = newClient();
    const std::uint32_t editor = local.open("editor 700x500+50+50 class=ed,Editor");
    TestClient& remote = newClient();
    const std::uint32_t terminal = remote.open("terminal 600x400+400+300 pid=no class=term,RemoteTerm");
    ASSERT_TRUE(editor && terminal);

    remote.command("activate terminal");
    ASSERT_TRUE(eventually([&] {
        const auto list = server->query();
        const auto* w = byClient(list, terminal);
        return w && list->activeClient == terminal;
    }));
    const std::optional<x11::WindowList> list = server->query();
    const x11::TopLevelWindow* unknown = byClient(list, terminal);
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(unknown->pid) << "neither the window nor the server names its process";

    const std::vector<WindowSnapshot> windows = scan();
    const WindowSnapshot* listed = findWindow(windows, frameOf(terminal));
    ASSERT_TRUE(listed) << "listed all the same";
    EXPECT_LT(listed->pid, 0);
    ASSERT_TRUE(findWindow(windows, frameOf(editor)));
    EXPECT_EQ(findWindow(windows, frameOf(editor))->pid, local.pid());
    EXPECT_EQ(listed->bundleID, "RemoteTerm");

    const std::optional<RunningApplication> front = workspace->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->pid, listed->pid);
    EXPECT_EQ(front->activeWindowID, frameOf(terminal));
    const std::optional<FocusedWindow> chosen =
        FocusTracker::focusWindow(scan(), front->pid, front->isDesktopShell, *screens, getpid(), front->activeWindowID);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->windowID, frameOf(terminal)) << "the remote window is the focus, so it stays sharp";

    local.command("activate editor");
    EXPECT_TRUE(eventually([&] {
        const auto f = focus();
        return f && f->windowID == frameOf(editor);
    }));
}

// A window's place in the list is the window as shown: a window manager's
// invisible resize borders and a client's transparent shadow margin are not
// part of it (a hole cut for the window would show what lies beneath them).
TEST(ShownArea, FramesLoseWhatShowsNothingOfTheWindow)
{
    x11::TopLevelWindow w;
    w.client = 2;
    w.frame = 1;
    const auto shown = [&] { return std::vector<std::int64_t>{w.x, w.y, w.width, w.height}; };
    const auto framed = [&](std::int32_t x, std::int32_t y, std::uint32_t width, std::uint32_t height) {
        w.x = x, w.y = y, w.width = width, w.height = height;
        x11::trimToShownArea(w);
        return shown();
    };
    // A frame with a 10-pixel invisible border around a 1-pixel visible one
    // and a 30-pixel title bar: the client sits at (11, 40) in it.
    w.clientPlace = x11::TopLevelWindow::ClientPlace{1, 11, 40, 400, 300};
    w.frameExtents = {1, 1, 30, 1};
    EXPECT_EQ(framed(100, 50, 422, 351), (std::vector<std::int64_t>{110, 60, 402, 331}));
    // Without the window manager's extents the frame is the window.
    w.frameExtents.clear();
    EXPECT_EQ(framed(100, 50, 422, 351), (std::vector<std::int64_t>{100, 50, 422, 351}));
    // A client drawing its own frame and shadow, not reparented.
    w.frame = w.client;
    w.clientPlace = x11::TopLevelWindow::ClientPlace{99, 100, 50, 460, 380};
    w.shadowExtents = {20, 20, 12, 28};
    EXPECT_EQ(framed(100, 50, 460, 380), (std::vector<std::int64_t>{120, 62, 420, 340}));
    // Nonsense margins never grow the window nor leave nothing of it.
    w.shadowExtents = {300, 300, 0, 0};
    EXPECT_EQ(framed(100, 50, 460, 380), (std::vector<std::int64_t>{100, 50, 460, 380}));
    w.shadowExtents.clear();
    w.frame = 1;
    w.clientPlace = x11::TopLevelWindow::ClientPlace{1, -50, -50, 900, 900};
    w.frameExtents = {40, 40, 40, 40};
    EXPECT_EQ(framed(100, 50, 422, 351), (std::vector<std::int64_t>{100, 50, 422, 351}));
    // A client nested deeper than its frame: where it lies is not known.
    w.clientPlace = x11::TopLevelWindow::ClientPlace{7, 11, 40, 400, 300};
    w.frameExtents = {1, 1, 30, 1};
    EXPECT_EQ(framed(100, 50, 422, 351), (std::vector<std::int64_t>{100, 50, 422, 351}));
}

TEST_F(ModelTest, AShadowMarginSetOrChangedReachesTheListAndFollowsAResize)
{
    start();
    TestClient& client = newClient();
    const std::uint32_t window = client.open("shadowed 400x300+100+100 class=one,One");
    ManualModel m(session->display(), connection, root);
    // The window as listed is its frame less `margins` (left, right, top,
    // bottom), and its client is `width` pixels wide.
    const auto shown = [&](const std::optional<x11::WindowList>& l, std::array<std::uint32_t, 4> margins,
                           std::uint32_t width) {
        const x11::TopLevelWindow* w = byClient(l, window);
        if (!w || w->frameExtents.size() != 4)
            return false;
        const auto frame = std::find_if(l->children.begin(), l->children.end(),
                                        [&](const x11::RootChild& c) { return c.id == w->frame; });
        return frame != l->children.end() && w->x == frame->x + std::int32_t(margins[0])
            && w->y == frame->y + std::int32_t(margins[2]) && w->width == frame->width - margins[0] - margins[1]
            && w->height == frame->height - margins[2] - margins[3]
            && frame->width == width + w->frameExtents[0] + w->frameExtents[1];
    };
    ASSERT_TRUE(m.until([&](const auto& l) { return shown(l, {0, 0, 0, 0}, 400); }))
        << "a window that names no margin is listed at its frame";

    x11::AtomCache atoms(connection);
    atoms.intern({"_GTK_FRAME_EXTENTS"});
    const std::uint32_t margins[] = {20, 30, 10, 40};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atoms["_GTK_FRAME_EXTENTS"], XCB_ATOM_CARDINAL,
                        32, 4, margins);
    xcb_flush(connection);
    EXPECT_TRUE(m.until([&](const auto& l) { return shown(l, {20, 30, 10, 40}, 400); }))
        << "the margin set on the client reaches the list";

    client.command("resize shadowed 500 350");
    EXPECT_TRUE(m.until([&](const auto& l) { return shown(l, {20, 30, 10, 40}, 500); }))
        << "the window as shown follows its frame's new size";
    const std::uint64_t fullReads = m.model->counts().fullReads;

    // The model agrees with a full read of the tree.
    const std::optional<x11::WindowList> truth = x11::WindowListQuery(connection, root, atoms).run();
    EXPECT_TRUE(shown(truth, {20, 30, 10, 40}, 500));
    EXPECT_EQ(m.model->counts().fullReads, fullReads);
}

} // namespace
} // namespace hg::testing
