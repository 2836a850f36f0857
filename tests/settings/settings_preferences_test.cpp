// The interface preferences: exact matching of stored raw values, a write on
// every assignment, and the login item applied only after its key is written.
#include "settings/settings_preferences.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace hg {
namespace {

namespace keys = defaults_keys;

// Reads the preference from the defaults when it is applied, as the real
// login item would when it fails halfway.
class RecordingLoginItem final : public LoginItemPort {
public:
    explicit RecordingLoginItem(const DefaultsDomain& defaults) : m_defaults(defaults) {}

    bool apply(bool enabled) override
    {
        applied.push_back(enabled);
        storedWhenApplied.push_back(m_defaults.boolValue(keys::launchAtLogin));
        return false;
    }

    std::vector<bool> applied;
    std::vector<std::optional<bool>> storedWhenApplied;

private:
    const DefaultsDomain& m_defaults;
};

class SettingsPreferencesTest : public ::testing::Test {
protected:
    InMemoryDefaults defaults;
    RecordingLoginItem loginItem{defaults};
};

TEST_F(SettingsPreferencesTest, MissingKeysGiveTheDefaultsAndApplyNothing)
{
    SettingsPreferences prefs(defaults, loginItem);
    EXPECT_EQ(prefs.menuBarClickAction(), MenuBarClickAction::showMenu);
    EXPECT_EQ(prefs.colorScheme(), AppearancePreference::system);
    EXPECT_FALSE(prefs.launchAtLogin());
    EXPECT_TRUE(loginItem.applied.empty());
    EXPECT_EQ(defaults.writeCount(), 0);
}

TEST_F(SettingsPreferencesTest, StoredRawValuesMatchExactly)
{
    struct Case {
        std::string action, scheme;
        MenuBarClickAction wantAction;
        AppearancePreference wantScheme;
    };
    for (const Case& c : {
             Case{"toggleBlur", "light", MenuBarClickAction::toggleBlur, AppearancePreference::light},
             Case{"openSettings", "dark", MenuBarClickAction::openSettings, AppearancePreference::dark},
             Case{"ToggleBlur", "Dark", MenuBarClickAction::showMenu, AppearancePreference::system},
             Case{"toggleBlur ", " light", MenuBarClickAction::showMenu, AppearancePreference::system},
             Case{"", "", MenuBarClickAction::showMenu, AppearancePreference::system},
         }) {
        defaults.setString(keys::menuBarClickAction, c.action);
        defaults.setString(keys::colorScheme, c.scheme);
        SettingsPreferences prefs(defaults, loginItem);
        EXPECT_EQ(prefs.menuBarClickAction(), c.wantAction) << c.action;
        EXPECT_EQ(prefs.colorScheme(), c.wantScheme) << c.scheme;
    }
}

TEST_F(SettingsPreferencesTest, WronglyTypedValuesReadAsMissing)
{
    defaults.setBool(keys::menuBarClickAction, true);
    defaults.setStringArray(keys::colorScheme, {"dark"});
    defaults.setString(keys::launchAtLogin, "true");
    SettingsPreferences prefs(defaults, loginItem);
    EXPECT_EQ(prefs.menuBarClickAction(), MenuBarClickAction::showMenu);
    EXPECT_EQ(prefs.colorScheme(), AppearancePreference::system);
    EXPECT_FALSE(prefs.launchAtLogin());
}

TEST_F(SettingsPreferencesTest, EveryAssignmentAnnouncesAndWritesEvenWhenEqual)
{
    SettingsPreferences prefs(defaults, loginItem);
    int announcements = 0;
    std::vector<MenuBarClickAction> emitted;
    ScopedConnection will = prefs.objectWillChange.connect([&] { ++announcements; });
    ScopedConnection changed = prefs.menuBarClickActionChanged().connect([&](const auto& a) { emitted.push_back(a); });

    prefs.setMenuBarClickAction(MenuBarClickAction::showMenu);
    EXPECT_EQ(defaults.stringValue(keys::menuBarClickAction), "showMenu");
    prefs.setMenuBarClickAction(MenuBarClickAction::openSettings);
    prefs.setColorScheme(AppearancePreference::system);
    EXPECT_EQ(defaults.stringValue(keys::colorScheme), "system");
    prefs.setColorScheme(AppearancePreference::dark);

    EXPECT_EQ(announcements, 4);
    EXPECT_EQ(emitted, (std::vector{MenuBarClickAction::showMenu, MenuBarClickAction::openSettings}));
    EXPECT_EQ(defaults.writeCount(), 4);
    EXPECT_EQ(defaults.stringValue(keys::menuBarClickAction), "openSettings");
    EXPECT_EQ(defaults.stringValue(keys::colorScheme), "dark");

    // The next launch reads back what was written.
    SettingsPreferences next(defaults, loginItem);
    EXPECT_EQ(next.menuBarClickAction(), MenuBarClickAction::openSettings);
    EXPECT_EQ(next.colorScheme(), AppearancePreference::dark);
}

TEST_F(SettingsPreferencesTest, LaunchAtLoginIsWrittenBeforeTheLoginItemIsApplied)
{
    SettingsPreferences prefs(defaults, loginItem);
    prefs.setLaunchAtLogin(true);
    prefs.setLaunchAtLogin(true);
    prefs.setLaunchAtLogin(false);
    EXPECT_EQ(loginItem.applied, (std::vector{true, true, false}));
    EXPECT_EQ(loginItem.storedWhenApplied, (std::vector<std::optional<bool>>{true, true, false}));
    EXPECT_EQ(defaults.object(keys::launchAtLogin)->index(), 1u);  // stored as a Bool

    // The login item refused, yet the choice stands.
    prefs.setLaunchAtLogin(true);
    EXPECT_TRUE(prefs.launchAtLogin());
    EXPECT_TRUE(SettingsPreferences(defaults, loginItem).launchAtLogin());
}

TEST(SettingsEnumsTest, RawValuesRoundTripAndTabsKeepTheSidebarOrder)
{
    for (MenuBarClickAction a : kMenuBarClickActions)
        EXPECT_EQ(menuBarClickActionFromRaw(rawValue(a)), a);
    for (AppearancePreference p : kAppearancePreferences)
        EXPECT_EQ(appearancePreferenceFromRaw(rawValue(p)), p);
    std::string order;
    for (SettingsTab t : kSettingsTabs) {
        EXPECT_EQ(settingsTabFromRaw(rawValue(t)), t);
        order += std::string(rawValue(t)) + " ";
    }
    EXPECT_EQ(order, "general appearance behavior shortcuts about ");
    EXPECT_FALSE(settingsTabFromRaw("General"));
}

} // namespace
} // namespace hg
