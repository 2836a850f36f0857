#include "engine/windows/focus_tracker.h"

#include <gtest/gtest.h>

#include "support/fakes/fake_screens.h"

namespace hg {
namespace {

using testing::FakeScreens;

constexpr std::int32_t kOwnPID = 42;
constexpr std::uint32_t kMain = 1001;
constexpr std::uint32_t kSide = 2002;

WindowSnapshot window(std::uint32_t id, std::int32_t pid, Rect rect, std::int64_t layer = 0)
{
    return {.windowID = id, .pid = pid, .layer = layer, .rect = rect, .isOnScreen = true, .bundleID = {}};
}

struct FocusTrackerTest : ::testing::Test {
    FakeScreens screens;
    FocusTrackerTest() { screens.add(kMain, {0, 0, 1440, 900}, Rect{0, 25, 1440, 875}); }

    std::optional<FocusedWindow> focus(const std::vector<WindowSnapshot>& windows,
                                       std::optional<std::int32_t> frontmost,
                                       bool desktopShell = false)
    {
        return FocusTracker::focusWindow(windows, frontmost, desktopShell, screens, kOwnPID);
    }
    std::optional<std::uint32_t> focusID(const std::vector<WindowSnapshot>& windows,
                                         std::optional<std::int32_t> frontmost,
                                         bool desktopShell = false)
    {
        auto f = focus(windows, frontmost, desktopShell);
        return f ? std::optional(f->windowID) : std::nullopt;
    }
};

TEST_F(FocusTrackerTest, OwnWindowsAndOffScreenWindowsNeverTakeTheFocus)
{
    WindowSnapshot hidden = window(3, 100, {50, 50, 600, 400});
    hidden.isOnScreen = false;
    EXPECT_EQ(focusID({window(1, kOwnPID, {0, 0, 800, 600}), hidden}, kOwnPID), std::nullopt);
    EXPECT_EQ(focusID({window(1, kOwnPID, {0, 0, 800, 600}), hidden, window(4, 100, {9, 9, 300, 300})}, 100), 4u);
    EXPECT_EQ(focusID({}, 100), std::nullopt);
}

TEST_F(FocusTrackerTest, PaletteIsACandidateOnlyForTheFrontmostApplication)
{
    const WindowSnapshot palette = window(1, 100, {10, 100, 300, 300}, 3);
    EXPECT_TRUE(FocusTracker::candidate(palette, kOwnPID, 100, screens));
    EXPECT_FALSE(FocusTracker::candidate(palette, kOwnPID, 200, screens));
    EXPECT_FALSE(FocusTracker::candidate(palette, kOwnPID, std::nullopt, screens));

    // Utility and modal layers pass either way; docks, menus and the desktop never do.
    for (std::int64_t layer : {std::int64_t{0}, std::int64_t{8}, std::int64_t{19}})
        EXPECT_TRUE(FocusTracker::candidate(window(1, 100, {10, 100, 300, 300}, layer), kOwnPID, std::nullopt, screens))
            << layer;
    for (std::int64_t layer : {std::int64_t{20}, std::int64_t{25}, std::int64_t{101}, std::int64_t{-1}, std::int64_t{-2147483623}})
        EXPECT_FALSE(FocusTracker::candidate(window(1, 100, {10, 100, 300, 300}, layer), kOwnPID, 100, screens))
            << layer;
}

TEST_F(FocusTrackerTest, ModalPanelWinsOverALargerWindowAboveIt)
{
    const std::vector<WindowSnapshot> windows = {
        window(1, 100, {0, 0, 1400, 880}),
        window(2, 200, {400, 300, 400, 200}, 8),
        window(3, 300, {500, 300, 400, 200}, 8),
    };
    EXPECT_EQ(focusID(windows, 100), 2u);
    EXPECT_EQ(focusID(windows, std::nullopt), 2u);
}

TEST_F(FocusTrackerTest, SmallWindowsWinOnlyWhenNothingLargePasses)
{
    const WindowSnapshot small = window(1, 100, {10, 100, 100, 60});
    const WindowSnapshot large = window(2, 200, {10, 300, 120, 80});
    EXPECT_EQ(focusID({small, large}, 100), 2u);  // the size filter outranks the frontmost rule
    // Second pass without the filter: the same precedence over all candidates.
    EXPECT_EQ(focusID({small, window(3, 200, {10, 300, 119, 300})}, 100), 1u);
    EXPECT_EQ(focusID({window(3, 200, {10, 300, 119, 300}), small}, std::nullopt), 3u);
}

TEST_F(FocusTrackerTest, FrontmostApplicationsWindowWinsOverWindowsAboveIt)
{
    const std::vector<WindowSnapshot> windows = {window(1, 200, {0, 30, 500, 500}), window(2, 100, {100, 100, 500, 500})};
    EXPECT_EQ(focusID(windows, 100), 2u);
    EXPECT_EQ(focusID(windows, 300), 1u);  // frontmost without an acceptable window
    EXPECT_EQ(focusID(windows, std::nullopt), 1u);
}

TEST_F(FocusTrackerTest, TheActiveWindowWinsAmongTheFrontmostApplicationsWindowsWhateverTheirOrder)
{
    // A tiling window manager never raises the window it focuses.
    const std::vector<WindowSnapshot> windows = {window(1, 100, {0, 30, 500, 500}), window(2, 200, {500, 30, 500, 500}),
                                                 window(3, 100, {0, 530, 500, 300})};
    EXPECT_EQ(FocusTracker::focusWindow(windows, 100, false, screens, 42, 3u)->windowID, 3u);
    EXPECT_EQ(FocusTracker::focusWindow(windows, 100, false, screens, 42)->windowID, 1u);
    // An active window of another application, or a stale one, changes nothing.
    EXPECT_EQ(FocusTracker::focusWindow(windows, 100, false, screens, 42, 2u)->windowID, 1u);
    EXPECT_EQ(FocusTracker::focusWindow(windows, 100, false, screens, 42, 9u)->windowID, 1u);
    // The desktop shell's own active window is the focus, even behind another application's window.
    const std::vector<WindowSnapshot> behind = {window(2, 200, {500, 30, 500, 500}), window(3, 100, {0, 530, 500, 300})};
    EXPECT_EQ(FocusTracker::focusWindow(behind, 100, true, screens, 42, 3u)->windowID, 3u);
    EXPECT_EQ(FocusTracker::focusWindow(behind, 100, true, screens, 42)->windowID, 2u);
}

TEST_F(FocusTrackerTest, DesktopShellInFrontLeavesTheFocusOnTheFrontMostWindow)
{
    constexpr std::int32_t shell = 500;
    constexpr std::int32_t editor = 600;
    const WindowSnapshot editorWindow = window(1, editor, {0, 30, 700, 500});
    const WindowSnapshot shellWindow = window(2, shell, {100, 100, 700, 500});
    EXPECT_EQ(focusID({editorWindow, shellWindow}, shell, true), 1u);
    EXPECT_EQ(focusID({shellWindow, editorWindow}, editor, false), 1u);
    EXPECT_EQ(focusID({shellWindow, editorWindow}, shell, true), 2u);
}

TEST_F(FocusTrackerTest, BarAlongTheTopOrBottomEdgeIsRejected)
{
    EXPECT_FALSE(FocusTracker::candidate(window(1, 100, {0, 0, 1440, 40}), kOwnPID, 100, screens));
    EXPECT_FALSE(FocusTracker::candidate(window(1, 100, {0, 861, 1440, 40}), kOwnPID, 100, screens));
    EXPECT_TRUE(FocusTracker::candidate(window(1, 100, {0, 3, 1440, 40}), kOwnPID, 100, screens));
    EXPECT_TRUE(FocusTracker::candidate(window(1, 100, {0, 0, 1100, 40}), kOwnPID, 100, screens));

    screens.add(kSide, {1440, 0, 1440, 900});
    EXPECT_TRUE(FocusTracker::candidate(window(1, 100, {0, 0, 2880, 40}), kOwnPID, 100, screens));
}

TEST_F(FocusTrackerTest, DisplayIsTheOneShowingMostAndTheFirstOnATie)
{
    screens.add(kSide, {1440, 0, 1440, 900});
    auto displayOf = [&](Rect r) { return FocusTracker::candidate(window(1, 100, r), kOwnPID, 100, screens)->window.displayID; };
    EXPECT_EQ(displayOf({1240, 100, 400, 300}), kMain);
    EXPECT_EQ(displayOf({1340, 100, 400, 300}), kSide);
    EXPECT_EQ(displayOf({1440, 100, 400, 300}), kSide);  // touching the main display's edge only
    EXPECT_FALSE(FocusTracker::candidate(window(1, 100, {3000, 100, 400, 300}), kOwnPID, 100, screens));

    FakeScreens reversed;
    reversed.add(kSide, {1440, 0, 1440, 900});
    reversed.add(kMain, {0, 0, 1440, 900});
    auto c = FocusTracker::candidate(window(1, 100, {1240, 100, 400, 300}), kOwnPID, 100, reversed);
    EXPECT_EQ(c->window.displayID, kSide);
}

TEST_F(FocusTrackerTest, ScreensWithoutANumberAreIgnored)
{
    FakeScreens unnumbered;
    unnumbered.add(std::nullopt, {0, 0, 1440, 900});
    EXPECT_FALSE(FocusTracker::candidate(window(1, 100, {10, 100, 400, 300}), kOwnPID, 100, unnumbered));
    EXPECT_EQ(FocusTracker::visibleArea(unnumbered.screens()[0], unnumbered), std::nullopt);
}

TEST_F(FocusTrackerTest, VisibleAreaIsInWindowServerCoordinates)
{
    screens.add(kSide, {1440, 100, 1280, 800}, Rect{1440, 100, 1280, 760});  // panel along the bottom
    const std::vector<Screen> list = screens.screens();
    EXPECT_EQ(FocusTracker::visibleArea(list[0], screens), Rect(0, 25, 1440, 875));
    EXPECT_EQ(FocusTracker::visibleArea(list[1], screens), Rect(1440, 100, 1280, 760));
}

} // namespace
} // namespace hg
