// The frame clock of a still screen: it idles only once nothing but an
// outside change can alter what is shown, every change wakes it, and no rule
// answers later than its own pace allows.
#include <gtest/gtest.h>

#include "engine/controller/cadence.h"
#include "support/controller_fixture.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using namespace cadence;
using testing::ControllerFixture;

constexpr std::uint32_t kEditor = 10;
constexpr std::uint32_t kChat = 20;
const Rect kEditorRect{100, 100, 800, 600};
const Rect kChatRect{600, 300, 500, 400};

class ControllerIdle : public ::testing::Test, public ControllerFixture {
protected:
    // The editor focused and still until the frame clock idles.
    void settleIntoIdle()
    {
        showWindows({window(kEditor, kEditorRect), window(kChat, kChatRect, kOtherPID)});
        workspace.activations = 0;
        controller->enable();
        ASSERT_TRUE(framesUntil([&] { return overlay(1).hasPicture(); }));
        ASSERT_TRUE(framesUntil([&] { return controller->scheduler().isIdle(); }, kSettledFramesForIdlePace + 10));
        ASSERT_EQ(controller->focus()->windowID, kEditor);
    }
    [[nodiscard]] bool idle() { return controller->scheduler().isIdle(); }
};

TEST_F(ControllerIdle, AStillScreenIdlesOnlyPastTheIdlePaceAndKeepsChoosingTheFocus)
{
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    ASSERT_TRUE(framesUntil(
        [&] { return controller->scheduler().settledFrames() >= kSettledFramesForIdlePace - 1; },
        kSettledFramesForIdlePace + 10));
    EXPECT_FALSE(idle()) << "idle before the captures slowed to their idle pace";
    frames(2);
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller->captureDelayNanos(), kIdleCaptureDelayNanos);

    // Ten seconds: a focus choice on every idle tick (each spans more than
    // the period), captures at their own pace, nothing shown anew, no stuck
    // picture.
    workspace.frontmostQueries = 0;
    const int pictures = surfaces.latest(1)->count("picture");
    const std::size_t shots = capture.shotLog.size();
    advance(10s);
    EXPECT_TRUE(idle());
    // (Each background read of the window list adds a refresh or two.)
    EXPECT_GE(workspace.frontmostQueries, 36);
    EXPECT_LE(workspace.frontmostQueries, 40);
    EXPECT_NEAR(static_cast<double>(capture.shotLog.size() - shots), 2 * 40, 4);  // two displays
    EXPECT_EQ(surfaces.latest(1)->count("picture"), pictures);
    for (const std::string& line : log)
        EXPECT_EQ(line.find("same picture"), std::string::npos) << line;
}

TEST_F(ControllerIdle, NothingIdlesWhileTheRevealFollowsThePointerOrAnOverlayAnimates)
{
    controller->store().changeRevealCursor(true, [] {});
    pointer.point = Point{300, 300};
    showWindows({window(kEditor, kEditorRect)});
    controller->enable();
    frames(kSettledFramesForIdlePace + 100);
    EXPECT_FALSE(idle());

    controller->store().changeRevealCursor(false, [] {});
    surfaces.animating = true;
    frames(10);
    EXPECT_FALSE(idle());
    surfaces.animating = false;
    frames(1);
    EXPECT_TRUE(idle());
}

// A signal from outside (the window list changed, a window was activated)
// is followed on a tick that comes at once, not at the next idle tick.
TEST_F(ControllerIdle, AnActivationSignalledWhileIdleIsFollowedAtOnce)
{
    settleIntoIdle();
    workspace.frontmost = RunningApplication{kOtherPID, std::nullopt, true, false, kChat};
    workspace.activations = 1;
    controller->wakeFrameClock();
    EXPECT_FALSE(idle());
    drain();  // no time passes
    ASSERT_TRUE(controller->focus());
    EXPECT_EQ(controller->focus()->windowID, kChat);
    EXPECT_FALSE(idle()) << "the new focus window settles at the display's rate";
}

TEST_F(ControllerIdle, SettingsPausesAndNewPicturesWakeTheClock)
{
    settleIntoIdle();
    const int before = workspace.frontmostQueries;
    controller->setTintAmount(0.4);
    EXPECT_FALSE(idle());
    drain();
    EXPECT_EQ(workspace.frontmostQueries, before + 1) << "a tick at once";
    ASSERT_TRUE(framesUntil([&] { return idle(); }, kSettledFramesForIdlePace + 10));

    controller->enterUpdatePause();
    EXPECT_FALSE(idle());
    frames(1);
    EXPECT_TRUE(idle()) << "a paused controller has nothing to do on frames";
    controller->leaveUpdatePause();
    EXPECT_FALSE(idle());
    ASSERT_TRUE(framesUntil([&] { return idle(); }, kSettledFramesForIdlePace + 10));

    // The screen changed behind the overlay: the new picture's cross-fade
    // runs at the display's rate from the moment it is shown, not from the
    // next idle tick.
    const int pictures = surfaces.latest(1)->count("picture");
    capture.shade = 40;
    capture.holdShots = true;
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }, 30));
    // (The pass rides an idle tick; the background read of the window list
    // on that tick keeps the clock awake for a refresh or two.)
    ASSERT_TRUE(framesUntil([&] { return idle(); }, 5));
    surfaces.animating = true;  // as showing the picture will start a cross-fade
    capture.answerShot();
    drain();  // no time passes
    ASSERT_GT(surfaces.latest(1)->count("picture"), pictures);
    EXPECT_FALSE(idle());
}

// Without a signal (a lost event, no window manager) the idle tick itself
// sees the change, no later than the window list's own pace.
TEST_F(ControllerIdle, AChangeWithoutASignalIsSeenByTheNextIdleTick)
{
    settleIntoIdle();
    showWindows({window(kEditor, kEditorRect.offsetBy(50, 0)), window(kChat, kChatRect, kOtherPID)});
    advance(std::chrono::nanoseconds(kIdleCaptureDelayNanos + 20'000'000));
    EXPECT_EQ(controller->focus()->rect, kEditorRect.offsetBy(50, 0));
    EXPECT_FALSE(idle());
    EXPECT_EQ(controller->captureDelayNanos(), kMovingCaptureDelayNanos);

    // The focus window closes (its application stays in front): stale after
    // the next idle tick's read, revealed for the grace time, then dropped
    // after the usual empty choices at the display's rate.
    ASSERT_TRUE(framesUntil([&] { return idle(); }, kSettledFramesForIdlePace + 10));
    showWindows({});
    advance(std::chrono::nanoseconds(kIdleCaptureDelayNanos + 40'000'000));
    EXPECT_FALSE(idle());
    ASSERT_TRUE(controller->focus());
    EXPECT_TRUE(controller->focusIsRevealable());
    advance(std::chrono::nanoseconds(static_cast<std::int64_t>(kStaleGraceSeconds * 1e9)));
    EXPECT_FALSE(controller->focusIsRevealable());
    EXPECT_FALSE(idle());
    ASSERT_TRUE(framesUntil([&] { return !controller->focus(); },
                            kLostFocusLimit * kFocusChoicePeriodWhileStill + 2));
}

} // namespace
} // namespace hg
