// Where the overlays go in the window stack: below the focus window where
// that covers everything else, above the ordinary windows with the focus
// window cut out where it does not, and back into place after a restack.
#include <gtest/gtest.h>

#include "support/controller_fixture.h"

namespace hg {
namespace {

using testing::ControllerFixture;

constexpr std::uint32_t kEditor = 10;  // the focus window, on display 1
constexpr std::uint32_t kChat = 20;    // another application's window
const Rect kEditorRect{100, 100, 800, 600};

class ControllerStacking : public ::testing::Test, public ControllerFixture {
protected:
    [[nodiscard]] std::vector<SharpWindow> cutOut(std::uint32_t display) { return reveal(display).cutOut; }
};

TEST_F(ControllerStacking, AWindowThatMustBeBlurredAboveTheFocusWindowRaisesTheOverlaysAndCutsTheFocusOut)
{
    // Another application's always-on-top window over the editor's corner.
    const Rect onTop{700, 500, 400, 300};
    showWindows({window(kChat, onTop, kOtherPID, 3), window(kEditor, kEditorRect)});
    controller->enable();
    frames(10);
    ASSERT_EQ(controller->focus()->windowID, kEditor);
    for (std::uint32_t display : {1u, 2u}) {
        EXPECT_FALSE(overlay(display).inserted()) << display;
        EXPECT_EQ(overlay(display).window().level(), BlurOverlay::kRaisedLevel) << display;
    }
    // The editor shows through a hole, less the part the other window covers.
    ASSERT_EQ(cutOut(1).size(), 1u);
    EXPECT_EQ(cutOut(1)[0].rect, kEditorRect);
    EXPECT_EQ(cutOut(1)[0].coveredBy, std::vector<Rect>{onTop});
    EXPECT_TRUE(cutOut(2).empty());

    // Once it is gone the overlays go back below the editor, without a hole.
    showWindows({window(kEditor, kEditorRect)});
    frames(10);
    EXPECT_TRUE(overlay(1).inserted());
    EXPECT_EQ(overlay(1).window().level(), BlurOverlay::kNormalLevel);
    EXPECT_EQ(surfaces.latest(1)->last("orderBelow"), "orderBelow 10");
    EXPECT_TRUE(cutOut(1).empty());
}

TEST_F(ControllerStacking, OnlyWindowsThatMustBeBlurredCountAboveTheFocusWindow)
{
    controller->addExcludedApp("com.example.chat");
    const WindowSnapshot dock = window(30, {0, 860, 1440, 40}, kOtherPID + 1, 20);
    const WindowSnapshot menu = window(31, {150, 150, 200, 300}, kOtherPID + 1, 101);
    const WindowSnapshot excluded = window(kChat, {700, 500, 400, 300}, kOtherPID, 0);
    const WindowSnapshot ours = window(77, {700, 500, 400, 300}, testing::FakeAppWindows::kOwnPID, 3);
    WindowSnapshot elsewhere = window(32, {700, 500, 400, 300}, kOtherPID + 1, 0);
    elsewhere.isOnScreen = false;  // on another desktop
    showWindows({dock, menu, excluded, ours, elsewhere, window(kEditor, kEditorRect)});
    controller->enable();
    frames(10);
    EXPECT_TRUE(overlay(1).inserted());
    EXPECT_EQ(surfaces.latest(1)->last("orderBelow"), "orderBelow 10");
    EXPECT_TRUE(cutOut(1).empty());

    // Windows behind the focus window never count; a visible one above it does.
    elsewhere.isOnScreen = true;
    showWindows({dock, window(kEditor, kEditorRect), window(33, {0, 0, 1440, 900}, kOtherPID + 1)});
    frames(10);
    EXPECT_TRUE(overlay(1).inserted());
    showWindows({dock, elsewhere, window(kEditor, kEditorRect)});
    frames(10);
    EXPECT_FALSE(overlay(1).inserted());
}

TEST_F(ControllerStacking, AWindowManagerThatDrawsOverlaysOnTopGetsTheFocusWindowAndOurOwnWindowsCutOut)
{
    surfaces.honours = false;
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    frames(10);
    EXPECT_EQ(overlay(1).window().level(), BlurOverlay::kRaisedLevel);
    ASSERT_EQ(cutOut(1).size(), 1u);
    EXPECT_EQ(cutOut(1)[0].rect, kEditorRect);
    EXPECT_TRUE(cutOut(1)[0].coveredBy.empty());

    // An alert of ours has the keyboard: the editor is covered, the alert is not.
    appWindows.keyWindow = true;
    appWindows.ownWindows = {{78, {500, 300, 400, 200}, false, true, false, false}};
    frames(3);
    ASSERT_EQ(cutOut(1).size(), 1u);
    EXPECT_EQ(cutOut(1)[0].rect, (Rect{500, 300, 400, 200}));
}

TEST_F(ControllerStacking, WithTheFocusCutOutOnlyTheFocusWindowShowsThroughDuringASwitch)
{
    surfaces.honours = false;
    const Rect chatRect{950, 100, 400, 300};
    showWindows({window(kEditor, kEditorRect), window(kChat, chatRect, kOtherPID)});
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return overlay(1).hasPicture(); }));
    frames(10);
    capture.holdShots = true;  // the new focus window's picture is late

    showWindows({window(kChat, chatRect, kOtherPID), window(kEditor, kEditorRect)}, kOtherPID);
    ASSERT_TRUE(framesUntil([&] { return controller->focus() && controller->focus()->windowID == kChat; }));
    frames(2);
    EXPECT_FALSE(reveal(1).window.has_value()) << "the previous focus window showed through";
    ASSERT_EQ(cutOut(1).size(), 1u);
    EXPECT_EQ(cutOut(1)[0].rect, chatRect);
}

TEST_F(ControllerStacking, ARestackPutsTheOverlaysBackInPlace)
{
    showWindows({window(kEditor, kEditorRect), window(kChat, {200, 200, 600, 400}, kOtherPID)});
    controller->enable();
    frames(10);
    ASSERT_EQ(surfaces.latest(1)->count("orderBelow 10"), 1);

    // Another window moves in the stack behind the focus window (raised
    // without the focus and lowered again, say): the focus window is the
    // same, the overlay's place is applied again.
    showWindows({window(kEditor, kEditorRect), window(33, {0, 0, 300, 300}, kOtherPID + 1),
                 window(kChat, {200, 200, 600, 400}, kOtherPID)});
    frames(10);
    EXPECT_EQ(surfaces.latest(1)->count("orderBelow 10"), 2);
    frames(10);
    EXPECT_EQ(surfaces.latest(1)->count("orderBelow 10"), 2);  // once per change, not per frame

    // A raised overlay is put back at the top of its level.
    surfaces.honours = false;
    frames(10);
    const int fronts = surfaces.latest(1)->count("orderFront");
    showWindows({window(kEditor, kEditorRect), window(kChat, {200, 200, 600, 400}, kOtherPID)});
    frames(10);
    EXPECT_EQ(surfaces.latest(1)->count("orderFront"), fronts + 1);
}

} // namespace
} // namespace hg
