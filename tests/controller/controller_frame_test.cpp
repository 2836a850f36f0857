// The frame tick and the capture pass: following the focus window, ordering
// the overlays around it, what each overlay reveals, which pictures are shown,
// excluded applications and full-screen windows.
#include <gtest/gtest.h>

#include "engine/controller/cadence.h"
#include "support/controller_fixture.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using namespace cadence;
using testing::ControllerFixture;

constexpr std::uint32_t kEditor = 10;  // the editor's window, on display 1
constexpr std::uint32_t kChat = 20;    // the chat window, on display 2
const Rect kEditorRect{100, 100, 800, 600};
const Rect kChatRect{1600, 100, 800, 600};

class ControllerFrames : public ::testing::Test, public ControllerFixture {
protected:
    // Shows every picture asked for so far and the frames that put them up.
    void answerHeldShots()
    {
        capture.holdShots = false;
        while (!capture.shots.empty()) {
            capture.answerShot();
            drain();
        }
    }
    [[nodiscard]] bool excludedFromLastShot(std::uint32_t display, std::uint32_t window) const
    {
        for (auto it = capture.shotLog.rbegin(); it != capture.shotLog.rend(); ++it)
            if (it->filter.display.displayID == display)
                return std::find(it->filter.excludedWindows.begin(), it->filter.excludedWindows.end(), window)
                    != it->filter.excludedWindows.end();
        return false;
    }
};

TEST_F(ControllerFrames, CaptureDelayFollowsTheFocusWindowsStillness)
{
    showWindows({}, std::nullopt);
    controller->enable();
    EXPECT_EQ(controller->captureDelayNanos(), kUnfocusedCaptureDelayNanos);  // nothing to follow

    showWindows({window(kEditor, kEditorRect)});
    ASSERT_TRUE(framesUntil([&] { return controller->focus().has_value(); }));
    EXPECT_EQ(controller->captureDelayNanos(), kMovingCaptureDelayNanos);
    ASSERT_TRUE(framesUntil([&] { return controller->captureDelayNanos() != kMovingCaptureDelayNanos; }, 60));
    EXPECT_EQ(controller->scheduler().settledFrames(), kSettledFramesForSettledPace);
    EXPECT_EQ(controller->captureDelayNanos(), kSettledCaptureDelayNanos);

    // Sub-point jitter is stillness; a move of a point is not.
    for (const Rect& jitter : {Rect{100.3, 100, 800, 600}, Rect{100.3, 100.3, 800, 600}, Rect{100, 100, 800.3, 600.3}}) {
        showWindows({window(kEditor, jitter)});
        frames(5);  // the list is scanned at most every 33 ms
        EXPECT_EQ(controller->captureDelayNanos(), kSettledCaptureDelayNanos);
    }
    showWindows({window(kEditor, {101, 100, 800, 600})});
    frames(5);
    EXPECT_EQ(controller->captureDelayNanos(), kMovingCaptureDelayNanos);
    ASSERT_TRUE(framesUntil([&] { return controller->captureDelayNanos() == kSettledCaptureDelayNanos; }, 60));

    // Fifteen seconds of stillness slow the captures to four a second.
    ASSERT_TRUE(framesUntil([&] { return controller->captureDelayNanos() != kSettledCaptureDelayNanos; },
                            kSettledFramesForIdlePace));
    EXPECT_EQ(controller->scheduler().settledFrames(), kSettledFramesForIdlePace);
    EXPECT_EQ(controller->captureDelayNanos(), kIdleCaptureDelayNanos);
}

TEST_F(ControllerFrames, TheFocusIsChosenEvery3rdFrameThenEvery4thAndEvery6thWithoutOne)
{
    showWindows({}, std::nullopt);
    controller->enable();
    frames(2);
    workspace.frontmostQueries = 0;
    frames(60);
    EXPECT_EQ(workspace.frontmostQueries, 60 / kFocusChoicePeriodWithoutFocus);

    showWindows({window(kEditor, kEditorRect)});
    ASSERT_TRUE(framesUntil([&] { return controller->focus().has_value(); }));
    workspace.frontmostQueries = 0;
    frames(36);  // still moving as far as the pace goes
    ASSERT_LT(controller->scheduler().settledFrames(), kSettledFramesForSettledPace);
    EXPECT_EQ(workspace.frontmostQueries, 36 / kFocusChoicePeriodWhileMoving);

    ASSERT_TRUE(framesUntil([&] { return controller->scheduler().settledFrames() >= kSettledFramesForSettledPace; }));
    workspace.frontmostQueries = 0;
    frames(60);
    EXPECT_EQ(workspace.frontmostQueries, 60 / kFocusChoicePeriodWhileStill);
}

TEST_F(ControllerFrames, AnActivationIsFollowedAtTheNextFrameWhateverThePeriod)
{
    constexpr std::int32_t kChatPID = 200;
    showWindows({window(kEditor, kEditorRect), window(kChat, kChatRect, kChatPID)});
    workspace.activations = 0;
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return controller->scheduler().settledFrames() >= 45; }));
    ASSERT_EQ(controller->focus()->windowID, kEditor);
    // Right after a frame that chose: the next choice by the period is 4 frames away.
    ASSERT_TRUE(framesUntil([&] { return controller->scheduler().frameIndex() % 4 == 0; }, 8));

    workspace.frontmost = RunningApplication{kChatPID, std::nullopt, true, false, kChat};
    workspace.activations = 1;
    frames(1);
    ASSERT_TRUE(controller->focus());
    EXPECT_EQ(controller->focus()->windowID, kChat) << "followed on the very next frame";
}

TEST_F(ControllerFrames, AClosedFocusWindowStaysRevealedBrieflyThenTheOverlaysLeaveIt)
{
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    frames(10);
    ASSERT_TRUE(overlay(1).inserted());
    EXPECT_EQ(surfaces.latest(1)->last("orderBelow"), "orderBelow 10");
    log.clear();

    const int contentRequests = capture.contentRequestCount;
    showWindows({});  // the editor closes its only window and stays in front
    frames(2);  // a scan notices, the next frame finds the window gone
    // Stale now, but still revealed and inserted for 0.15 s.
    ASSERT_TRUE(controller->focus());
    EXPECT_TRUE(controller->focusIsRevealable());
    EXPECT_TRUE(overlay(1).inserted());
    EXPECT_TRUE(log.empty());
    frames(8);  // 0.125 s
    EXPECT_TRUE(controller->focusIsRevealable());
    // The capturer starts afresh: what it knew about the window list is old,
    // so both displays' captures are prepared anew, not only display 1's.
    EXPECT_GE(capture.contentRequestCount, contentRequests + 2);

    frames(2);
    EXPECT_FALSE(controller->focusIsRevealable());
    EXPECT_FALSE(overlay(1).inserted());
    EXPECT_EQ(overlay(1).window().level(), BlurOverlay::kRaisedLevel);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Hushglass: focus window unlocatable for 0.", 0), 0u) << log[0];
    EXPECT_NE(log[0].find("s; leaving insertion"), std::string::npos) << log[0];

    // The focus goes after 15 empty choices (one every 3rd frame), logged once.
    frames(20);
    EXPECT_TRUE(controller->focus());
    frames(30);
    EXPECT_FALSE(controller->focus());
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(controller->captureDelayNanos(), kUnfocusedCaptureDelayNanos);
}

TEST_F(ControllerFrames, ThePreviousFocusWindowStaysSharpUntilTheNewFocusIsPictured)
{
    showWindows({window(kEditor, kEditorRect), window(kChat, kChatRect, kOtherPID)});
    controller->enable();
    frames(10);  // pictures of the editor as focus are up
    ASSERT_TRUE(overlay(1).hasPicture());
    EXPECT_FALSE(reveal(1).window);

    capture.holdShots = true;
    showWindows({window(kChat, kChatRect, kOtherPID), window(kEditor, kEditorRect)}, kOtherPID);
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->windowID == kChat; }, 10));
    frames(10);
    EXPECT_EQ(reveal(1).window, kEditorRect);  // display-local: display 1 starts at 0, 0
    EXPECT_FALSE(reveal(2).window);            // the editor is not on display 2
    EXPECT_EQ(reveal(2).focusWindowID, kChat);
    // The hole follows the editor where it is now, not where it was pictured.
    const Rect moved{150, 120, 700, 500};
    showWindows({window(kChat, kChatRect, kOtherPID), window(kEditor, moved)}, kOtherPID);
    frames(5);
    EXPECT_EQ(reveal(1).window, moved);

    answerHeldShots();
    frames(10);
    EXPECT_FALSE(reveal(1).window);
    EXPECT_FALSE(reveal(2).window);
    EXPECT_TRUE(excludedFromLastShot(2, kChat));
}

TEST_F(ControllerFrames, AFrameCapturedForAnEarlierFocusIsDropped)
{
    capture.holdShots = true;
    showWindows({window(kEditor, kEditorRect), window(kChat, kChatRect, kOtherPID)});
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    const std::size_t heldForEditor = capture.shots.size();

    showWindows({window(kChat, kChatRect, kOtherPID), window(kEditor, kEditorRect)}, kOtherPID);
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->windowID == kChat; }, 10));
    for (std::size_t i = 0; i < heldForEditor; ++i) {
        capture.answerShot();
        drain();
    }
    frames(2);
    EXPECT_FALSE(overlay(1).hasPicture());
    EXPECT_FALSE(overlay(2).hasPicture());
    // Had the old frame counted as pictured, the editor's place would be revealed.
    EXPECT_FALSE(reveal(1).window);
}

TEST_F(ControllerFrames, OurOwnWindowsTakePrecedenceOverTheFocusWindow)
{
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    frames(5);
    ASSERT_TRUE(controller->focusIsRevealable());

    // A key window of ours (an alert elsewhere) hides the focus window.
    appWindows.keyWindow = true;
    frames(5);
    EXPECT_FALSE(controller->focusIsRevealable());
    EXPECT_EQ(overlay(1).window().level(), BlurOverlay::kRaisedLevel);
    frames(10);
    EXPECT_FALSE(excludedFromLastShot(1, kEditor));

    // Our settings window on an overlaid screen: every overlay goes right below it.
    appWindows.keyWindow = false;
    appWindows.ownWindows = {{77, {300, 200, 600, 400}, false, true, false, true}};
    surfaces.forgetCalls();
    frames(3);
    EXPECT_FALSE(controller->focusIsRevealable());
    for (std::uint32_t display : {1u, 2u}) {
        EXPECT_TRUE(overlay(display).inserted()) << display;
        EXPECT_EQ(overlay(display).window().level(), BlurOverlay::kNormalLevel) << display;
        EXPECT_EQ(surfaces.latest(display)->count("orderBelow 77"), 1) << display;  // once, not per frame
    }

    // A hidden or minimised one does not count, nor one kept above or below
    // the other windows.
    appWindows.ownWindows[0].isMinimized = true;
    frames(3);
    EXPECT_TRUE(controller->focusIsRevealable());
    EXPECT_EQ(surfaces.latest(1)->last("orderBelow"), "orderBelow 10");
    appWindows.ownWindows[0].isMinimized = false;
    appWindows.ownWindows[0].isNormalLevel = false;
    frames(3);
    EXPECT_TRUE(controller->focusIsRevealable());
}

TEST_F(ControllerFrames, OverlaysOrderAroundTheFocusWindowByItsLayer)
{
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    frames(3);
    // A normal window: its display's overlay right below it, the other raised.
    EXPECT_TRUE(overlay(1).inserted());
    EXPECT_EQ(surfaces.latest(1)->last("orderBelow"), "orderBelow 10");
    EXPECT_FALSE(overlay(2).inserted());
    EXPECT_EQ(overlay(2).window().level(), BlurOverlay::kRaisedLevel);
    EXPECT_EQ(surfaces.latest(1)->last("level"), "level 0");
    EXPECT_EQ(surfaces.latest(2)->last("level"), "level 15");

    // A floating window (layer 3) of the frontmost application: every overlay
    // at the normal level, in front of all normal windows.
    showWindows({window(kEditor, kEditorRect, kAppPID, 3)});
    surfaces.forgetCalls();
    frames(3);
    for (std::uint32_t display : {1u, 2u}) {
        EXPECT_TRUE(overlay(display).inserted()) << display;
        EXPECT_EQ(overlay(display).window().level(), BlurOverlay::kNormalLevel) << display;
        EXPECT_EQ(surfaces.latest(display)->count("orderFront"), 1) << display;
        EXPECT_EQ(surfaces.latest(display)->count("orderBelow 10"), 0) << display;
    }
}

TEST_F(ControllerFrames, AFocusWindowAcrossTwoDisplaysIsSharpOnBoth)
{
    const Rect across{1000, 100, 1000, 600};  // 440 points on display 1, 560 on display 2
    showWindows({window(kEditor, across)});
    controller->enable();
    frames(10);
    EXPECT_EQ(controller->focus()->displayID, 2u);
    for (std::uint32_t display : {1u, 2u}) {
        EXPECT_TRUE(overlay(display).inserted()) << display;
        EXPECT_EQ(surfaces.latest(display)->last("orderBelow"), "orderBelow 10") << display;
        EXPECT_TRUE(excludedFromLastShot(display, kEditor)) << display;
    }
    // New overlays are put in their place again.
    controller->rebuildOverlays(false);
    frames(3);
    for (std::uint32_t display : {1u, 2u})
        EXPECT_EQ(surfaces.latest(display)->count("orderBelow 10"), 1) << display;

    // Touching display 1 by a point is not enough to be ordered in there;
    // but having touched it, the window stays out of display 1's captures
    // until less than half a point is left there.
    showWindows({window(kEditor, {1439, 100, 1000, 600})});
    frames(5);
    EXPECT_FALSE(overlay(1).inserted());
    EXPECT_EQ(overlay(1).window().level(), BlurOverlay::kRaisedLevel);
    EXPECT_TRUE(overlay(2).inserted());
    EXPECT_TRUE(excludedFromLastShot(1, kEditor));
    showWindows({window(kEditor, {1439.6, 100, 1000, 600})});
    frames(5);
    EXPECT_FALSE(excludedFromLastShot(1, kEditor));
}

TEST_F(ControllerFrames, APointerOnADisplaysRightOrBottomEdgeBelongsToTheNextDisplay)
{
    controller->store().changeRevealCursor(true, [] {});
    showWindows({window(kEditor, kEditorRect)});
    pointer.point = Point{1440, 300};
    controller->enable();
    frames(2);
    EXPECT_FALSE(reveal(1).cursor);
    EXPECT_EQ(reveal(2).cursor, (Rect{-120, 180, 240, 240}));

    pointer.point = Point{1439.5, 300};
    frames(2);
    EXPECT_EQ(reveal(1).cursor, (Rect{1319.5, 180, 240, 240}));
    EXPECT_FALSE(reveal(2).cursor);

    // Nothing lies below display 1: on its bottom edge the pointer is on no display.
    pointer.point = Point{100, 900};
    frames(2);
    EXPECT_FALSE(reveal(1).cursor);
    EXPECT_FALSE(reveal(2).cursor);
    pointer.point = Point{100, 899.5};
    frames(2);
    EXPECT_EQ(reveal(1).cursor, (Rect{-20, 779.5, 240, 240}));

    pointer.point.reset();  // the pointer cannot be read
    frames(2);
    EXPECT_FALSE(reveal(1).cursor);
}

TEST_F(ControllerFrames, ThePointerIsRevealedOnlyWithAFocusWindowOrExcludedWindows)
{
    controller->store().changeRevealCursor(true, [] {});
    pointer.point = Point{300, 300};
    showWindows({}, std::nullopt);
    controller->enable();
    frames(3);
    ASSERT_FALSE(controller->focus());
    EXPECT_FALSE(reveal(1).cursor);  // on a bare desktop there is nothing to read around it

    controller->addExcludedApp("com.example.chat");
    // A floating window of an excluded application, which is never a focus window.
    showWindows({window(kChat, {1600, 100, 800, 600}, kOtherPID, 3)}, std::nullopt);
    frames(20);  // without a focus window the list is read every 200 ms
    ASSERT_FALSE(controller->focus());
    ASSERT_FALSE(controller->excludedWindows().empty());
    EXPECT_TRUE(reveal(1).cursor);
}

TEST_F(ControllerFrames, ExcludedWindowsStaySharpExceptWhereOthersCoverThem)
{
    constexpr std::int32_t kNotesPID = 300;
    server.setBundle(kNotesPID, "com.example.notes");
    controller->addExcludedApp("  Com.Example.Chat\n");
    const Rect notes{600, 150, 300, 200};
    const Rect chat{300, 200, 500, 400};
    // Front to back: the focus window, a notes window, a notes bar 30 points
    // high, a notes window kept below the others, the excluded chat window, a
    // too narrow and a too low chat window and one on a panel layer.
    showWindows({window(kEditor, kEditorRect), window(30, notes, kNotesPID), window(31, {350, 250, 300, 30}, kNotesPID),
                 window(32, {320, 220, 200, 200}, kNotesPID, -1), window(kChat, chat, kOtherPID),
                 window(21, {1500, 500, 40, 300}, kOtherPID), window(23, {1500, 900, 300, 30}, kOtherPID),
                 window(22, {1500, 100, 300, 300}, kOtherPID, 20)});
    controller->enable();
    frames(7);
    // The focus window overlaps the chat window but, being revealed, does not cover it.
    ASSERT_EQ(controller->excludedWindows().size(), 1u);
    EXPECT_EQ(reveal(1).excluded, (std::vector<SharpWindow>{{chat, {notes}}}));
    EXPECT_TRUE(reveal(2).excluded.empty());

    // The chat window as the focus window is sharp anyway: no excluded window.
    showWindows({window(kChat, chat, kOtherPID), window(kEditor, kEditorRect)}, kOtherPID);
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->windowID == kChat; }));
    frames(6);
    EXPECT_TRUE(controller->excludedWindows().empty());
    EXPECT_TRUE(reveal(1).excluded.empty());

    int announcements = 0;
    ScopedConnection counting = controller->objectWillChange.connect([&] { ++announcements; });
    controller->addExcludedApp("com.example.chat");
    controller->removeExcludedApp("com.example.absent");
    EXPECT_EQ(announcements, 0);
    controller->removeExcludedApp("com.example.chat");
    EXPECT_EQ(announcements, 1);
    frames(1);
    EXPECT_TRUE(reveal(1).excluded.empty());
}

TEST_F(ControllerFrames, AFullScreenWindowOfTheFrontmostApplicationSwallowsItsDisplay)
{
    // The editor's second window covers display 2 from the shielding layer 1000.
    showWindows({window(kEditor, kEditorRect), window(11, {1440, 0, 1920, 1080}, kAppPID, 1000)});
    controller->enable();
    frames(3);
    EXPECT_TRUE(overlay(2).swallowed());
    EXPECT_EQ(overlay(2).window().alpha(), 0);
    EXPECT_FALSE(overlay(1).swallowed());
    const auto shotsOf2 = [&] {
        return std::count_if(capture.shotLog.begin(), capture.shotLog.end(),
                             [](const auto& shot) { return shot.filter.display.displayID == 2; });
    };
    const auto before = shotsOf2();
    frames(30);
    EXPECT_EQ(shotsOf2(), before);  // not captured while swallowed

    // On layer 25 (a panel) it is not full screen.
    showWindows({window(kEditor, kEditorRect), window(11, {1440, 0, 1920, 1080}, kAppPID, 25)});
    frames(3);
    EXPECT_FALSE(overlay(2).swallowed());
    EXPECT_EQ(overlay(2).window().alpha(), 1);
    frames(10);
    EXPECT_GT(shotsOf2(), before);
}

TEST_F(ControllerFrames, AWindowFillingTheVisibleAreaWithinAPointHidesTheOverlayWhateverThePauseSetting)
{
    // Display 1 has a 30-point panel along its top (screens have a bottom-left origin).
    screens.mutableScreens()[0].visibleFrame = {0, 0, 1440, 870};
    controller->store().changePauseForFullScreenApps(false, [] {});
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    frames(60);
    ASSERT_GE(controller->scheduler().settledFrames(), kSettledFramesForSettledPace);

    // The editor fills the area below the panel, to half a point.
    showWindows({window(kEditor, {0.5, 30.5, 1439, 869})});
    ASSERT_TRUE(framesUntil([&] { return overlay(1).swallowed(); }, 10));
    EXPECT_EQ(overlay(1).window().alpha(), 0);
    EXPECT_FALSE(overlay(2).swallowed());
    // Without the pause the display is still captured.
    const std::size_t shots = capture.shotLog.size();
    frames(5);
    EXPECT_TRUE(std::any_of(capture.shotLog.begin() + static_cast<std::ptrdiff_t>(shots), capture.shotLog.end(),
                            [](const auto& shot) { return shot.filter.display.displayID == 1; }));

    // With the pause, every display swallowed slows the captures to five a
    // second; a change of the swallowed displays counts as movement.
    controller->store().changePauseForFullScreenApps(true, [] {});
    frames(60);
    ASSERT_GE(controller->scheduler().settledFrames(), kSettledFramesForSettledPace);
    EXPECT_NE(controller->captureDelayNanos(), kUnfocusedCaptureDelayNanos);
    showWindows({window(kEditor, {0.5, 30.5, 1439, 869}), window(11, {1440, 0, 1920, 1080})});
    ASSERT_TRUE(framesUntil([&] { return overlay(2).swallowed(); }, 10));
    EXPECT_LT(controller->scheduler().settledFrames(), 2);
    EXPECT_EQ(controller->captureDelayNanos(), kUnfocusedCaptureDelayNanos);

    // A window over the whole display less more than a point is not full screen.
    showWindows({window(kEditor, {0.5, 30.5, 1438, 869}), window(11, {1440, 0, 1920, 1080})});
    ASSERT_TRUE(framesUntil([&] { return !overlay(1).swallowed(); }, 20));  // the list is read every 200 ms
    EXPECT_EQ(overlay(1).window().alpha(), 1);
}

} // namespace
} // namespace hg

namespace hg {
namespace {

TEST_F(ControllerFrames, AStillScreenIsBlurredOnceAndIsNotTakenForAStuckOne)
{
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return overlay(1).hasPicture(); }));
    advance(1s);  // the focus window found, its hole in the picture
    const auto pictures = [&] { return surfaces.latest(1)->count("picture"); };
    const int first = pictures();
    const std::size_t shots = capture.shotLog.size();

    advance(3s);  // many passes of the same screen, and three clock checks
    EXPECT_GT(capture.shotLog.size(), shots + 10);
    EXPECT_EQ(pictures(), first) << "an unchanged capture was blurred and shown again";
    for (const std::string& line : log)
        EXPECT_EQ(line.find("same picture"), std::string::npos) << line;

    capture.shade = 40;  // something on screen changed
    advance(500ms);
    EXPECT_GT(pictures(), first);
}

} // namespace
} // namespace hg

namespace hg {
namespace {

// The X11 service answers its last picture again, the very same pixels, while
// nothing on screen changed; pixels never change once made, so the controller
// need not even look at them. The test alters them in place to see that it
// does not.
TEST_F(ControllerFrames, AServiceAnsweringTheSamePixelsCostsNoBlurAndNoStuckPicture)
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(16 * 10 * 4, 128);
    CapturedImage still = CapturedImage::make(16, 10, {});
    still.pixels = bytes;
    capture.image = [&](std::uint32_t) { return still; };
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return overlay(1).hasPicture(); }));
    advance(1s);  // the focus window found, its hole in the picture
    const auto pictures = [&] { return surfaces.latest(1)->count("picture"); };
    const int first = pictures();
    const std::size_t shots = capture.shotLog.size();
    log.clear();

    std::fill(bytes->begin(), bytes->end(), 40);
    advance(10s);
    EXPECT_GT(capture.shotLog.size(), shots + 20);
    EXPECT_EQ(pictures(), first) << "the same pixels were looked at or blurred again";
    for (const std::string& line : log)
        EXPECT_EQ(line.find("same picture"), std::string::npos) << line;

    still = CapturedImage::make(16, 10, std::vector<std::uint8_t>(16 * 10 * 4, 40));  // a new picture
    advance(500ms);
    EXPECT_EQ(pictures(), first + 1);

    // The overlay asks for pictures of another size (its window was resized
    // on a still screen): the same pixels are blurred again at that size.
    surfaces.latest(1)->picturePixelSize = Size{32, 20};
    advance(500ms);
    EXPECT_EQ(pictures(), first + 2);
    ASSERT_TRUE(surfaces.latest(1)->picture);
    EXPECT_EQ(surfaces.latest(1)->picture->width, 32);
}

} // namespace
} // namespace hg
