#include "x11_fixture.h"

namespace hg::testing {
namespace {

using FocusTest = X11WindowsTest;

TEST_F(FocusTest, ActivatingAnotherWindowMovesTheFrontmostProcessAndTheFocus)
{
    start();
    TestClient& editor = newClient();
    TestClient& viewer = newClient();
    const std::uint32_t document = editor.open("doc 600x400+100+100 class=ed,Editor");
    const std::uint32_t picture = viewer.open("pic 600x400+300+200 class=vw,Viewer");
    ASSERT_TRUE(document && picture);

    viewer.command("activate pic");
    EXPECT_TRUE(eventually([&] {
        auto front = workspace->frontmostApplication();
        auto f = focus();
        return front && front->pid == viewer.pid() && f && f->windowID == frameOf(picture);
    }));
    EXPECT_EQ(workspace->frontmostApplication()->bundleIdentifier, "Viewer");

    editor.command("activate doc");
    EXPECT_TRUE(eventually([&] {
        auto f = focus();
        return f && f->windowID == frameOf(document) && f->pid == editor.pid();
    }));
    const std::optional<RunningApplication> front = workspace->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->pid, editor.pid());
    EXPECT_TRUE(front->isRegular);
    EXPECT_FALSE(front->isDesktopShell);
    EXPECT_EQ(workspace->runningApplications().size(), 2u);
}

TEST_F(FocusTest, OnlyASessionModalDialogTakesTheFocusFromTheFrontmostApplication)
{
    start();
    TestClient& editor = newClient();
    TestClient& mailer = newClient();
    const std::uint32_t owner = mailer.open("owner 500x400+100+100 class=m,Mailer");
    // Modal for one window of its application: an ordinary window, which
    // leaves the focus with the application in front.
    const std::uint32_t sheet =
        mailer.open("sheet 300x200+200+200 class=m,Mailer type=dialog state=modal transient=owner");
    const std::uint32_t document = editor.open("doc 900x700+50+50 class=ed,Editor");
    ASSERT_TRUE(owner && sheet && document);
    editor.command("activate doc");
    EXPECT_TRUE(eventually([&] {
        auto f = focus();
        return f && f->windowID == frameOf(document) && f->pid == editor.pid();
    }));
    const std::vector<WindowSnapshot> first = scan();
    const WindowSnapshot* s = findWindow(first, frameOf(sheet));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->layer, 0);

    // Modal for the whole session (transient for no window): it takes the focus.
    const std::uint32_t dialog = mailer.open("dialog 300x200+250+250 class=m,Mailer type=dialog state=modal");
    ASSERT_TRUE(dialog);
    editor.command("activate doc");
    EXPECT_TRUE(eventually([&] {
        auto front = workspace->frontmostApplication();
        auto f = focus();
        return front && front->pid == editor.pid() && f && f->windowID == frameOf(dialog);
    }));
    const std::vector<WindowSnapshot> second = scan();
    const WindowSnapshot* d = findWindow(second, frameOf(dialog));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->layer, 8);
}

TEST_F(FocusTest, DesktopShellInFrontLeavesTheFocusOnTheFrontMostWindow)
{
    start();
    TestClient& shell = newClient();
    TestClient& editor = newClient();
    const std::uint32_t desktop = shell.open("desktop 1920x1080+0+0 type=desktop class=fm,Files");
    const std::uint32_t folder = shell.open("folder 500x400+100+100 class=fm,Files");
    const std::uint32_t document = editor.open("doc 600x400+300+300 class=ed,Editor");
    ASSERT_TRUE(desktop && folder && document);

    shell.command("activate desktop");  // the desktop clicked
    EXPECT_TRUE(eventually([&] {
        auto front = workspace->frontmostApplication();
        auto f = focus();
        return front && front->pid == shell.pid() && front->isDesktopShell && f && f->windowID == frameOf(document);
    }));
    EXPECT_EQ(findWindow(scan(), frameOf(desktop)), nullptr);  // desktop elements are left out

    shell.command("activate folder");  // now the shell's window is in front of the editor
    EXPECT_TRUE(eventually([&] {
        auto f = focus();
        return f && f->windowID == frameOf(folder);
    }));
}

TEST_F(FocusTest, DockIsNeverTheFocus)
{
    start();
    TestClient& panel = newClient();
    const std::uint32_t dock = panel.open("dock 1920x400+0+0 type=dock strut=top:400 class=p,Panel");
    ASSERT_NE(dock, 0u);
    panel.command("activate dock");
    ASSERT_TRUE(eventually([&] { return findWindow(scan(), frameOf(dock)) != nullptr; }));
    EXPECT_EQ(focus(), std::nullopt);

    TestClient& editor = newClient();
    const std::uint32_t small = editor.open("doc 100x60+100+600 class=ed,Editor");
    ASSERT_NE(small, 0u);
    EXPECT_TRUE(eventually([&] {
        auto f = focus();
        return f && f->windowID == frameOf(small);
    }));
    // The panel's struts shrink the visible frame of the screen.
    EXPECT_TRUE(eventually([&] {
        screens->refresh();
        auto area = FocusTracker::visibleArea(screens->screens().at(0), *screens);
        return area && *area == Rect(0, 400, 1920, 680);
    }));
}

TEST_F(FocusTest, TwoMonitorsGiveTwoDisplaysAndTheFocusDisplayFollowsTheWindow)
{
    start();
    ASSERT_EQ(screens->screens().size(), 1u);
    ASSERT_EQ(session->run({"xrandr", "--setmonitor", "left", "960/254x1080/286+0+0", "none"}), 0);
    ASSERT_EQ(session->run({"xrandr", "--setmonitor", "right", "960/254x1080/286+960+0", "none"}), 0);
    EXPECT_TRUE(screens->refresh());  // Xvfb announces nothing: the re-query notices
    EXPECT_FALSE(screens->refresh());
    const std::vector<Screen> list = screens->screens();
    ASSERT_EQ(list.size(), 2u);
    const std::uint32_t left = X11Screens::displayNumberForName("left");
    const std::uint32_t right = X11Screens::displayNumberForName("right");
    EXPECT_NE(left, right);
    EXPECT_EQ(screens->displayBounds(right), Rect(960, 0, 960, 1080));
    EXPECT_EQ(list[0].frame.height(), 1080);

    TestClient& editor = newClient();
    const std::uint32_t doc = editor.open("doc 400x300+100+100 class=ed,Editor");
    ASSERT_NE(doc, 0u);
    EXPECT_TRUE(eventually([&] {
        auto f = focus();
        return f && f->displayID == left;
    }));
    editor.command("move doc 1300 200");
    EXPECT_TRUE(eventually([&] {
        auto f = focus();
        return f && f->displayID == right && f->windowID == frameOf(doc);
    }));
}

TEST_F(FocusTest, PanelOnOneMonitorShrinksOnlyThatScreensVisibleArea)
{
    start();
    ASSERT_EQ(session->run({"xrandr", "--setmonitor", "left", "960/254x1080/286+0+0", "none"}), 0);
    ASSERT_EQ(session->run({"xrandr", "--setmonitor", "right", "960/254x1080/286+960+0", "none"}), 0);
    TestClient& panel = newClient();
    ASSERT_NE(panel.open("bar 960x40+960+1040 type=dock strut=bottom:40:960:1919 class=p,Panel"), 0u);

    auto areas = [&] {
        screens->refresh();
        std::vector<Rect> result;
        for (const Screen& screen : screens->screens())
            result.push_back(FocusTracker::visibleArea(screen, *screens).value_or(Rect::null()));
        return result;
    };
    EXPECT_TRUE(eventually([&] {
        return areas() == std::vector<Rect>{Rect(0, 0, 960, 1080), Rect(960, 0, 960, 1040)};
    })) << areas().size();
    // The frames in the bottom-left convention: the visible frame starts above the panel.
    const Screen right = screens->screens().at(1);
    EXPECT_EQ(right.frame, Rect(960, 0, 960, 1080));
    EXPECT_EQ(right.visibleFrame, Rect(960, 40, 960, 1040));
}

} // namespace
} // namespace hg::testing
