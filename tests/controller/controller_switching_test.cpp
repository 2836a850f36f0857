// Switching the effect on and off, rebuilding the overlays and the live
// settings.
#include <gtest/gtest.h>

#include "engine/controller/screen_signature.h"
#include "engine/controller/system_notifications.h"
#include "support/controller_fixture.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ControllerFixture;

class ControllerSwitching : public ::testing::Test, public ControllerFixture {
protected:
    ControllerSwitching()
    {
        showWindows({window(10, {100, 100, 800, 600})});
        m_announcements = controller->objectWillChange.connect([this] { ++announcements; });
    }
    int announcements = 0;

private:
    ScopedConnection m_announcements;
};

const std::string_view kObserved[] = {
    notifications::screenParametersChanged, notifications::didWake, notifications::screensDidWake,
    notifications::willSleep, notifications::screenIsLocked, notifications::screenSaverDidStart,
    notifications::screenIsUnlocked, notifications::screenSaverDidStop, notifications::updaterWillShowModal,
    notifications::updaterDidDismissModal, notifications::activeSpaceChanged,
};

TEST_F(ControllerSwitching, EnablingTwiceBuildsOnceAndDisablingLeavesNothingBehind)
{
    std::vector<bool> reported;
    const ScopedConnection observer = controller->enabledChanged.connect([&](bool on) { reported.push_back(on); });
    controller->enable();
    controller->enable();

    EXPECT_TRUE(controller->isEnabled());
    EXPECT_EQ(surfaces.made.size(), 2u);
    EXPECT_EQ(controller->overlays().size(), 2u);
    for (std::string_view name : kObserved)
        EXPECT_EQ(notifications.observerCount(name), 1u) << name;
    EXPECT_EQ(announcements, 1);
    ASSERT_TRUE(controller->focus());
    EXPECT_EQ(controller->focus()->windowID, 10u);

    controller->disable();
    controller->disable();
    EXPECT_EQ(reported, (std::vector<bool>{true, false}));
    EXPECT_TRUE(controller->overlays().empty());
    for (const auto& surface : surfaces.made)
        EXPECT_EQ(surface->last("close"), "close");
    for (std::string_view name : kObserved)
        EXPECT_EQ(notifications.observerCount(name), 0u) << name;
    EXPECT_FALSE(controller->scheduler().isRunning());
    EXPECT_FALSE(controller->focus());

    // Nothing keeps running: no frame, capture or clock check after switching off.
    const auto shots = capture.shotLog.size();
    advance(3s);
    EXPECT_EQ(capture.shotLog.size(), shots);
    EXPECT_EQ(queue.pendingTaskCount(), 0u);
}

TEST_F(ControllerSwitching, ACaptureStartedBeforeSwitchingOffIsNeverShown)
{
    capture.holdShots = true;
    controller->enable();
    ASSERT_TRUE(framesUntil([&] { return !capture.shots.empty(); }));

    controller->disable();
    controller->enable();
    capture.answerShot();  // the picture asked for before switching off
    pool.runAll();
    queue.runUntilIdle();
    // Only the held shot was answered, so any picture now would be the old one.
    controller->frameTick();
    for (const auto& [display, overlay] : controller->overlays()) {
        EXPECT_FALSE(overlay->hasPendingPicture()) << display;
        EXPECT_FALSE(overlay->hasPicture()) << display;
    }
}

TEST_F(ControllerSwitching, LiveSettingsAreClampedAndOnlyChangesAreAnnouncedAndStored)
{
    controller->enable();
    announcements = 0;

    controller->setBlurRadius(3);
    EXPECT_EQ(controller->store().blurRadius, 5);
    controller->setBlurRadius(75);
    EXPECT_EQ(controller->store().blurRadius, 60);
    EXPECT_EQ(defaults.doubleValue("blurRadius"), 60);
    controller->setTintAmount(1.4);
    EXPECT_EQ(controller->store().blurTintAmount, 1);
    EXPECT_EQ(controller->overlays().at(1)->tintAmount(), 1);
    controller->setCursorRevealRadius(10);
    EXPECT_EQ(controller->store().cursorRevealRadius, 20);
    controller->setCursorRevealRadius(500);
    EXPECT_EQ(controller->store().cursorRevealRadius, 400);
    EXPECT_EQ(announcements, 5);

    // Equal values (after clamping) change nothing.
    const int writes = defaults.writeCount();
    controller->setBlurRadius(60);
    controller->setBlurRadius(99);
    controller->setTintAmount(1);
    controller->setCursorRevealRadius(400);
    EXPECT_EQ(announcements, 5);
    EXPECT_EQ(defaults.writeCount(), writes);

    // The tint colour is always taken and reaches every overlay.
    controller->setTintColor(Color{0, 0, 0, 1});
    EXPECT_EQ(announcements, 6);
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_EQ(overlay->tintLuminance(), 0) << display;
    controller->setTintColor(Color::white());
    EXPECT_EQ(controller->overlays().at(2)->tintLuminance(), 1);
    EXPECT_EQ(defaults.stringValue("blurTintColor"), SettingsStore::tintColorToText(Color::white()));
}

TEST_F(ControllerSwitching, BlurRadiusPicksTheMaterialOfFallbackOverlays)
{
    access.granted = false;
    controller->enable();
    ASSERT_TRUE(controller->usesVibrancy());
    const std::pair<double, Material> cases[] = {
        {11.9, Material::hudWindow},
        {12, Material::underWindowBackground},
        {24.9, Material::underWindowBackground},
        {25, Material::fullScreenUI},
        {40, Material::menu},
    };
    for (const auto& [radius, material] : cases) {
        controller->setBlurRadius(radius);
        for (std::uint32_t display : {1u, 2u})
            EXPECT_EQ(surfaces.latest(display)->last("material"),
                      "material " + std::to_string(static_cast<int>(material)))
                << radius;
    }
}

TEST_F(ControllerSwitching, CaptureOverlaysIgnoreTheMaterial)
{
    controller->enable();
    controller->setBlurRadius(40);
    EXPECT_FALSE(surfaces.latest(1)->last("material"));
}

TEST_F(ControllerSwitching, AnExcludedDisplayGetsNoOverlay)
{
    screens.add(3, {3360, 0, 1280, 1024});
    controller->store().setDisplayExcluded("2", true);
    controller->enable();
    EXPECT_EQ(controller->overlays().size(), 2u);
    EXPECT_TRUE(controller->overlays().count(1));
    EXPECT_TRUE(controller->overlays().count(3));
    EXPECT_FALSE(surfaces.latest(2));
}

TEST_F(ControllerSwitching, TheUpdaterPauseHidesOverlaysEvenWhenRebuilt)
{
    controller->enable();
    frames(2);
    notifications.post(notifications::updaterWillShowModal);
    EXPECT_TRUE(controller->isUpdatePaused());
    EXPECT_FALSE(controller->scheduler().isCaptureLoopRunning());
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_FALSE(overlay->window().isVisible()) << display;

    controller->rebuildOverlays(false);
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_FALSE(overlay->window().isVisible()) << display;
    frames(5);  // frames do not order them in again
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_FALSE(overlay->window().isVisible()) << display;

    notifications.post(notifications::updaterDidDismissModal);
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_TRUE(overlay->window().isVisible()) << display;
    EXPECT_TRUE(controller->scheduler().isCaptureLoopRunning());
}

TEST_F(ControllerSwitching, OverlaysStayHiddenWhenTheUpdaterClosesDuringSleep)
{
    controller->enable();
    notifications.post(notifications::updaterWillShowModal);
    notifications.post(notifications::willSleep);
    notifications.post(notifications::updaterDidDismissModal);
    EXPECT_FALSE(controller->isUpdatePaused());
    EXPECT_TRUE(controller->isPowerPaused());
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_FALSE(overlay->window().isVisible()) << display;
    EXPECT_FALSE(controller->scheduler().isCaptureLoopRunning());
}

TEST_F(ControllerSwitching, SwitchingOffEndsBothPauses)
{
    controller->enable();
    notifications.post(notifications::willSleep);
    notifications.post(notifications::updaterWillShowModal);
    controller->disable();
    EXPECT_FALSE(controller->isPowerPaused());
    EXPECT_FALSE(controller->isUpdatePaused());
    controller->enable();
    EXPECT_TRUE(controller->scheduler().isCaptureLoopRunning());
    for (const auto& [display, overlay] : controller->overlays())
        EXPECT_TRUE(overlay->window().isVisible()) << display;
}

TEST_F(ControllerSwitching, OverlaysAreMadeFromTheSettingsAndFadeInWhenSwitchedOn)
{
    const auto fadedIn = [](const testing::SurfaceRecord& surface) {
        return surface.first("alpha") == "alpha 0" && surface.last("alpha") == "alpha 100";
    };
    // Without capture the system material stands in for the blur, but only
    // when there is a blur to stand in for.
    access.granted = false;
    controller->store().changeBlurEnabled(false, [] {});
    controller->store().changeBlurExcludedFromCapture(false, [] {});
    controller->enable();
    for (const auto& surface : surfaces.made) {
        EXPECT_FALSE(surface->options.usesVibrancy);
        EXPECT_EQ(surface->options.sharingType, SharingType::readOnly);
        EXPECT_TRUE(fadedIn(*surface));
    }
    controller->disable();
    controller->store().changeBlurEnabled(true, [] {});
    controller->store().changeBlurExcludedFromCapture(true, [] {});
    controller->enable();
    ASSERT_EQ(surfaces.made.size(), 4u);
    for (std::uint32_t display : {1u, 2u}) {
        EXPECT_TRUE(surfaces.latest(display)->options.usesVibrancy);
        EXPECT_EQ(surfaces.latest(display)->options.sharingType, SharingType::none);
    }

    // Overlays rebuilt while the effect is on appear at once.
    controller->rebuildOverlays(false);
    ASSERT_EQ(surfaces.made.size(), 6u);
    EXPECT_FALSE(fadedIn(*surfaces.latest(1)));
    EXPECT_EQ(surfaces.latest(1)->last("alpha"), "alpha 100");
}

TEST(ScreenSignature, WritesEveryScreenWithShortestDecimals)
{
    const std::vector<Screen> screens = {
        {1, {0, 0, 1440, 900}, {0, 0, 1440, 875}, 2, "eDP-1"},
        {2, {1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}, 1, "DP-1"},
    };
    EXPECT_EQ(screenSignature(screens), "1:0.0,0.0,1440.0,900.0:2.0|2:1440.0,0.0,1920.0,1080.0:1.0");

    std::vector<Screen> odd = screens;
    odd[0].displayNumber.reset();
    odd[1].backingScaleFactor = 1.25;
    odd[1].frame.origin.x = 1440.5;
    EXPECT_EQ(screenSignature(odd), "0:0.0,0.0,1440.0,900.0:2.0|2:1440.5,0.0,1920.0,1080.0:1.25");
    EXPECT_EQ(screenSignature({}), "");
}

} // namespace
} // namespace hg
