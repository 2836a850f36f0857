// The capture capability: the fallback to system materials, switching while
// running, the alerts, the relaunch and the refresh of stuck pictures.
#include <gtest/gtest.h>

#include "engine/controller/system_notifications.h"
#include "support/controller_fixture.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ControllerFixture;

class ControllerPermission : public ::testing::Test, public ControllerFixture {
protected:
    // Capture runs, but no picture ever comes back.
    void startWithoutPictures()
    {
        capture.available = false;
        showWindows({}, std::nullopt);
        controller->enable();
    }
    void runPass() { controller->runCapturePass(CapturePass(std::make_shared<bool>(false), [] {})); }
    // As if `n` frames had passed without a change.
    void settle(int n)
    {
        for (int i = 0; i < n; ++i)
            controller->scheduler().countSettledFrame();
    }
};

TEST_F(ControllerPermission, WithoutCaptureTheFallbackRunsUntilCaptureIsGranted)
{
    access.granted = false;
    showWindows({window(10, {100, 100, 800, 600})});
    controller->enable();
    EXPECT_TRUE(controller->usesVibrancy());
    EXPECT_EQ(access.requests, 1);
    for (const auto& surface : surfaces.made)
        EXPECT_TRUE(surface->options.usesVibrancy);
    advance(2500ms);
    // Neither a new focus window nor the end of a pause starts capturing.
    showWindows({window(20, {1600, 100, 800, 600}, kOtherPID)}, kOtherPID);
    ASSERT_TRUE(framesUntil([&] { return controller->focus()->windowID == 20; }, 10));
    notifications.post(notifications::willSleep);
    notifications.post(notifications::screenIsUnlocked);
    notifications.post(notifications::updaterWillShowModal);
    notifications.post(notifications::updaterDidDismissModal);
    advance(500ms);
    EXPECT_FALSE(controller->scheduler().isCaptureLoopRunning());
    EXPECT_TRUE(capture.shotLog.empty());
    EXPECT_TRUE(alerts.shown.empty());

    access.granted = true;
    advance(1s);  // the next clock check
    EXPECT_FALSE(controller->usesVibrancy());
    ASSERT_EQ(surfaces.made.size(), 4u);
    for (std::uint32_t display : {1u, 2u})
        EXPECT_FALSE(surfaces.latest(display)->options.usesVibrancy);
    frames(10);
    EXPECT_FALSE(capture.shotLog.empty());
    EXPECT_TRUE(controller->overlays().at(1)->hasPicture());
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(ControllerPermission, LosingCaptureSoonAfterSwitchingOnExplainsItOnTheFocusDisplay)
{
    showWindows({window(20, {1600, 100, 800, 600}, kOtherPID)}, kOtherPID);
    controller->enable();
    advance(500ms);
    access.granted = false;
    advance(1100ms);
    EXPECT_TRUE(controller->usesVibrancy());
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].alert, EffectAlert::permission);
    EXPECT_EQ(alerts.shown[0].host, 2u);
    alerts.shown[0].done(true);
    EXPECT_EQ(alerts.helpOpened, 1);
    advance(5s);
    EXPECT_EQ(alerts.shown.size(), 1u);
}

TEST_F(ControllerPermission, SwitchingOffEndsTheShownAlert)
{
    controller->enable();
    access.granted = false;
    advance(1600ms);
    ASSERT_EQ(alerts.count(EffectAlert::permission), 1);
    controller->disable();
    EXPECT_EQ(alerts.dismissals, 1);
    advance(3s);
    EXPECT_EQ(alerts.shown.size(), 1u);
}

TEST_F(ControllerPermission, KeepingCaptureShowsNoAlert)
{
    controller->enable();
    advance(3s);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(ControllerPermission, CaptureWithoutPicturesAsksForARestartOnceAfterSixSeconds)
{
    startWithoutPictures();
    advance(6500ms);
    EXPECT_TRUE(alerts.shown.empty());
    advance(1s);
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].alert, EffectAlert::restart);
    EXPECT_EQ(alerts.shown[0].host, 1u);
    alerts.shown[0].done(false);  // "later": no question until the next switch to capture
    advance(10s);
    EXPECT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(relauncher.relaunches, 0);
}

TEST_F(ControllerPermission, TheRestartAlertWaitsForFiveCapturePasses)
{
    startWithoutPictures();
    controller->scheduler().stopCaptureLoop();
    for (int i = 0; i < 4; ++i)
        runPass();
    advance(8s);
    EXPECT_TRUE(alerts.shown.empty());
    runPass();
    advance(1s);
    EXPECT_EQ(alerts.count(EffectAlert::restart), 1);
}

TEST_F(ControllerPermission, APictureDisarmsTheWatch)
{
    showWindows({}, std::nullopt);
    controller->enable();
    advance(10s);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(ControllerPermission, AFailedRelaunchTurnsTheEffectBackOnAndSaysSo)
{
    startWithoutPictures();
    advance(7500ms);
    ASSERT_EQ(alerts.shown.size(), 1u);
    relauncher.error = "cannot fork";
    alerts.shown[0].done(true);
    EXPECT_EQ(relauncher.relaunches, 1);
    EXPECT_EQ(relauncher.quits, 0);
    EXPECT_TRUE(controller->isEnabled());
    EXPECT_EQ(controller->overlays().size(), 2u);
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(alerts.shown[1].alert, EffectAlert::relaunchFailed);
    EXPECT_FALSE(alerts.shown[1].host);
    EXPECT_NE(std::find(log.begin(), log.end(), "[Hushglass] relaunch failed: cannot fork"), log.end());
}

TEST_F(ControllerPermission, ASuccessfulRelaunchQuits)
{
    startWithoutPictures();
    advance(7500ms);
    ASSERT_EQ(alerts.shown.size(), 1u);
    alerts.shown[0].done(true);
    EXPECT_EQ(relauncher.quits, 1);
    EXPECT_FALSE(controller->isEnabled());
}

TEST_F(ControllerPermission, WithEveryDisplayExcludedTheAlertsHaveNoHost)
{
    controller->store().setDisplayExcluded("1", true);
    controller->store().setDisplayExcluded("2", true);
    startWithoutPictures();
    EXPECT_TRUE(controller->overlays().empty());
    advance(500ms);
    access.granted = false;
    advance(1500ms);
    EXPECT_EQ(alerts.count(EffectAlert::permission), 0);  // nothing to attach it to

    access.granted = true;  // back to capture: the watch starts again
    advance(8s);
    ASSERT_EQ(alerts.count(EffectAlert::restart), 1);
    EXPECT_FALSE(alerts.shown.back().host);  // application-modal
}

TEST_F(ControllerPermission, AStuckPictureIsLoggedWithItsAgeAndRefreshed)
{
    power.asleep = {2};  // a sleeping display is never stuck
    startWithoutPictures();
    advance(1630ms);  // the clock check at 1 s found nothing old enough
    EXPECT_TRUE(log.empty() || log.back().find("same picture") == std::string::npos);
    settle(30);
    log.clear();
    controller->clockCheck();
    EXPECT_EQ(log, (std::vector<std::string>{
                       "Hushglass: display 1 has shown the same picture for 1.6s; forcing a refresh"}));
    EXPECT_EQ(controller->scheduler().settledFrames(), 0);

    // Still stuck at the next checks: said once per episode, refreshed each time.
    log.clear();
    settle(30);
    controller->clockCheck();
    controller->clockCheck();
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(controller->scheduler().settledFrames(), 0);
}

} // namespace
} // namespace hg
