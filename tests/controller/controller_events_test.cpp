// System events while the effect is on: display changes, sleep, lock and the
// screen saver, desktop switches.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/controller/cadence.h"
#include "engine/controller/system_notifications.h"
#include "support/controller_fixture.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ControllerFixture;

class ControllerEvents : public ::testing::Test, public ControllerFixture {
protected:
    ControllerEvents()
    {
        showWindows({window(10, {100, 100, 800, 600})});
        controller->enable();
        frames(10);
    }
};

TEST_F(ControllerEvents, ABurstOfDisplayChangesRebuildsOnce300msAfterTheLast)
{
    screens.add(3, {3360, 0, 1280, 1024});
    for (int i = 0; i < 3; ++i) {
        notifications.post(notifications::screenParametersChanged);
        advance(100ms);
    }
    advance(199ms);
    EXPECT_EQ(surfaces.made.size(), 2u);
    advance(2ms);
    EXPECT_EQ(surfaces.made.size(), 5u);
    EXPECT_EQ(controller->overlays().size(), 3u);
    EXPECT_TRUE(controller->overlays().count(3));
    advance(1s);
    EXPECT_EQ(surfaces.made.size(), 5u);
}

TEST_F(ControllerEvents, UnpluggingADisplayDuringACaptureKeepsTheOthersGoing)
{
    capture.holdShots = true;
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    screens.clear();
    screens.add(1, {0, 0, 1440, 900}, 2);
    notifications.post(notifications::screenParametersChanged);
    advance(301ms);
    ASSERT_EQ(controller->overlays().size(), 1u);
    capture.holdShots = false;
    while (!capture.shots.empty())
        capture.answerShot();  // pictures of the old layout
    drain();
    frames(10);
    EXPECT_TRUE(overlay(1).hasPicture());
    EXPECT_EQ(surfaces.made.size(), 3u);
}

TEST_F(ControllerEvents, AnUnchangedLayoutRestartsCaptureWithoutRebuilding)
{
    const int linkStarts = ticks.startCalls;
    notifications.post(notifications::didWake);
    advance(299ms);
    const int contentRequests = capture.contentRequestCount;
    advance(2ms);
    EXPECT_EQ(surfaces.made.size(), 2u);
    EXPECT_EQ(ticks.startCalls, linkStarts + 1);  // the display link follows the displays anew
    frames(10);
    EXPECT_GT(capture.contentRequestCount, contentRequests);  // the capturer forgot its filters
    EXPECT_TRUE(overlay(1).hasPicture());
}

TEST_F(ControllerEvents, AScaleChangeRebuilds)
{
    screens.mutableScreens()[1].backingScaleFactor = 2;
    notifications.post(notifications::screensDidWake);
    advance(301ms);
    EXPECT_EQ(surfaces.made.size(), 4u);
}

TEST_F(ControllerEvents, LockAndScreenSaverPauseOnlyWhenTheSessionConfirms)
{
    notifications.post(notifications::screenIsLocked);  // stray: the session is not locked
    notifications.post(notifications::screenSaverDidStart);
    EXPECT_FALSE(controller->isPowerPaused());

    session.locked = true;
    notifications.post(notifications::screenIsLocked);
    EXPECT_TRUE(controller->isPowerPaused());
    EXPECT_FALSE(controller->scheduler().isCaptureLoopRunning());
    const auto shots = capture.shotLog.size();
    const Rect before = controller->focus()->rect;
    showWindows({window(10, {150, 100, 800, 600})});
    advance(3s);  // still locked: neither frames, captures nor the clock check end it
    EXPECT_TRUE(controller->isPowerPaused());
    EXPECT_EQ(capture.shotLog.size(), shots);
    EXPECT_EQ(controller->focus()->rect, before);  // frames do no work
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_TRUE(overlay->window().isVisible()) << display;  // the last picture stays up

    session.locked = false;
    notifications.post(notifications::screenIsUnlocked);
    EXPECT_FALSE(controller->isPowerPaused());
    EXPECT_TRUE(controller->scheduler().isCaptureLoopRunning());

    session.saver = true;
    notifications.post(notifications::screenSaverDidStart);
    EXPECT_TRUE(controller->isPowerPaused());
    session.saver = false;
    notifications.post(notifications::screenSaverDidStop);
    EXPECT_FALSE(controller->isPowerPaused());
    frames(10);
    EXPECT_GT(capture.shotLog.size(), shots);
}

TEST_F(ControllerEvents, TheClockCheckEndsAPauseWhoseUnlockWasLost)
{
    // Line the pause up with a clock check, which comes once a second.
    const auto sinceCheck = [&] { return std::chrono::nanoseconds(queue.uptimeNanos() - 1'000'000'000) % 1s; };
    advance(1s - sinceCheck());
    session.locked = true;
    notifications.post(notifications::screenIsLocked);
    advance(1500ms);
    session.locked = false;  // unlocked, but the notification never comes
    advance(400ms);
    EXPECT_TRUE(controller->isPowerPaused());  // the check at 1 s: too young
    advance(200ms);
    EXPECT_TRUE(controller->isPowerPaused());  // the check at 2 s: not older than 2 s
    advance(1s);
    EXPECT_FALSE(controller->isPowerPaused());
    EXPECT_TRUE(controller->scheduler().isCaptureLoopRunning());
}

TEST_F(ControllerEvents, SleepPausesAndADisplayWakeEndsThePause)
{
    notifications.post(notifications::willSleep);
    EXPECT_TRUE(controller->isPowerPaused());
    notifications.post(notifications::didWake);
    advance(301ms);
    EXPECT_FALSE(controller->isPowerPaused());
}

TEST_F(ControllerEvents, AFocusWindowFoundWhileAsleepEndsThePauseUnlessTheSessionIsLocked)
{
    // The wake notification never came; a desktop switch chooses the focus
    // window anew (on a frame whose index is a multiple of 6).
    const auto switchDesktopsUntilAFocusIsFound = [&] {
        for (int i = 0; i < 6; ++i) {
            notifications.post(notifications::activeSpaceChanged);
            if (controller->focus())
                return;
            frames(1);
        }
    };
    session.locked = true;
    notifications.post(notifications::willSleep);
    switchDesktopsUntilAFocusIsFound();
    ASSERT_TRUE(controller->focus());
    EXPECT_TRUE(controller->isPowerPaused());

    session.locked = false;
    switchDesktopsUntilAFocusIsFound();
    ASSERT_TRUE(controller->focus());
    EXPECT_FALSE(controller->isPowerPaused());
    EXPECT_TRUE(controller->scheduler().isCaptureLoopRunning());
}

TEST_F(ControllerEvents, ASpaceChangeClearsEveryPictureAndChoosesTheFocusAnew)
{
    ASSERT_TRUE(overlay(1).hasPicture());
    ASSERT_TRUE(overlay(2).hasPicture());
    capture.holdShots = true;
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));
    const std::size_t heldBefore = capture.shots.size();
    showWindows({window(20, {1600, 100, 800, 600}, kOtherPID)}, kOtherPID);
    notifications.post(notifications::activeSpaceChanged);
    EXPECT_FALSE(overlay(1).hasPicture());
    EXPECT_FALSE(overlay(2).hasPicture());
    for (std::size_t i = 0; i < heldBefore; ++i)
        capture.answerShot();  // pictures of the old desktop
    drain();
    controller->frameTick();
    EXPECT_FALSE(overlay(1).hasPicture());
    EXPECT_FALSE(overlay(1).hasPendingPicture());
    ASSERT_TRUE(framesUntil([&] { return controller->focus() && controller->focus()->windowID == 20; }, 12));
    EXPECT_EQ(controller->focus()->displayID, 2u);
    EXPECT_TRUE(controller->scheduler().isCaptureLoopRunning());
}

TEST_F(ControllerEvents, AfterASpaceChangeEveryDisplayIsCapturedAtOnce)
{
    // Display 2, which the focus window does not reach, was captured just now:
    // on the same desktop it would wait its turn. The change comes on a frame
    // that chooses the focus, so the first pass follows at once.
    ASSERT_TRUE(framesUntil(
        [&] {
            return capture.shotLog.back().filter.display.displayID == 2
                && controller->scheduler().frameIndex() % cadence::kFocusChoicePeriodWithoutFocus == 0;
        },
        200));
    const std::size_t before = capture.shotLog.size();
    notifications.post(notifications::activeSpaceChanged);
    drain();
    const auto shotsOf = [&](std::uint32_t display) {
        return std::count_if(capture.shotLog.begin() + static_cast<std::ptrdiff_t>(before), capture.shotLog.end(),
                             [display](const auto& shot) { return shot.filter.display.displayID == display; });
    };
    EXPECT_GE(shotsOf(1), 1);
    EXPECT_GE(shotsOf(2), 1);
}

} // namespace
} // namespace hg
