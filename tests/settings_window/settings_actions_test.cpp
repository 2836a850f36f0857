// What the settings rows change: through the controller and the store, with
// the change announced, clamped where the row clamps.
#include "ui/settings/settings_actions.h"

#include <gtest/gtest.h>

#include "support/controller_fixture.h"
#include "test_i18n.h"

namespace hg {
namespace {

struct AcceptingLoginItem final : LoginItemPort {
    bool apply(bool) override { return true; }
};

class SettingsActionsTest : public ::testing::Test, public testing::ControllerFixture {
protected:
    SettingsActionsTest()
    {
        m_announcements = controller->objectWillChange.connect([this] { ++announced; });
    }

    testing::TestI18n t;
    InMemoryDefaults prefsDefaults;
    AcceptingLoginItem loginItem;
    SettingsPreferences preferences{prefsDefaults, loginItem};
    SettingsActions actions{{*controller, preferences, t.i18n, nullptr, nullptr, {}}};
    int announced = 0;

private:
    ScopedConnection m_announcements;
};

TEST_F(SettingsActionsTest, RevealRadiusIsClampedAndWrittenOnlyWhenItChanges)
{
    actions.slide("cursor.radius", 1000);
    EXPECT_EQ(controller->store().cursorRevealRadius, 400);
    EXPECT_EQ(defaults.doubleValue(defaults_keys::cursorRevealRadius), 400);
    const int after = announced;
    actions.slide("cursor.radius", 400);
    EXPECT_EQ(announced, after);
    actions.slide("cursor.radius", 3);
    EXPECT_EQ(controller->store().cursorRevealRadius, 20);
}

TEST_F(SettingsActionsTest, ExcludingADisplayAnnouncesOnceAndStores)
{
    EXPECT_TRUE(actions.toggle("display.1001", true));
    EXPECT_TRUE(controller->store().excludedDisplayIDs.contains("1001"));
    EXPECT_EQ(announced, 1);
    actions.toggle("display.1001", true);  // no change, no announcement
    EXPECT_EQ(announced, 1);
    actions.toggle("display.1001", false);
    EXPECT_FALSE(controller->store().excludedDisplayIDs.contains("1001"));
}

TEST_F(SettingsActionsTest, PickersSetPreferencesAndLanguageAndTheEffectSwitchIsRemembered)
{
    actions.pick("appearance.theme", 2);
    EXPECT_EQ(preferences.colorScheme(), AppearancePreference::dark);
    actions.pick("language", 1);
    EXPECT_EQ(t.i18n.language(), AppLanguage::zhHans);
    actions.toggle("effect.enabled", true);
    EXPECT_TRUE(controller->isEnabled());
    EXPECT_TRUE(controller->store().effectEnabled);
    // The blur-layer row has nothing to change on X11: the stored setting stays.
    const bool stored = controller->store().blurExcludedFromCapture;
    actions.toggle("capture.hideBlurLayer", !stored);
    EXPECT_EQ(controller->store().blurExcludedFromCapture, stored);
    EXPECT_FALSE(actions.press("no.such.row"));
}

} // namespace
} // namespace hg
