// The shortcut table: defaults and persistence, registration, last-wins
// assignment, and the actions a shortcut runs on the live controller.
#include <gtest/gtest.h>

#include "support/controller_fixture.h"
#include "shortcuts/fake_hotkey_registrar.h"
#include "ui/shortcuts/hotkey_manager.h"

namespace hg {
namespace {

using namespace carbon_modifiers;
using testing::ControllerFixture;
using testing::FakeHotkeyRegistrar;

constexpr std::uint32_t kCommandOption = command | option;
const HotkeyCombo kSuperAltB{11, kCommandOption, "B"};
const HotkeyCombo kSuperAltComma{43, kCommandOption, ","};

class HotkeyManagerTest : public ::testing::Test, public ControllerFixture {
protected:
    ~HotkeyManagerTest() override
    {
        // Passes suspended on the pool end once they hear the effect is off.
        controller->disable();
        drain();
    }
    std::unique_ptr<HotkeyManager> launch()
    {
        auto manager = std::make_unique<HotkeyManager>(defaults, registrar);
        manager->privacy = controller->weakPtr();
        manager->openSettingsAction = [this] { ++settingsOpened; };
        manager->installHandler();
        manager->registerAll();
        return manager;
    }
    void store(std::string_view json) { defaults.setData(defaults_keys::hotkeyAssignments, Bytes(json.begin(), json.end())); }
    [[nodiscard]] std::string stored() const
    {
        const auto data = defaults.data(defaults_keys::hotkeyAssignments);
        return data ? std::string(data->begin(), data->end()) : std::string("<none>");
    }

    FakeHotkeyRegistrar registrar;
    int settingsOpened = 0;
};

TEST_F(HotkeyManagerTest, WithNothingStoredSuperAltBTogglesAndSuperAltCommaOpensSettings)
{
    const int writes = defaults.writeCount();
    auto manager = launch();
    EXPECT_EQ(defaults.writeCount(), writes);  // loading writes nothing back
    EXPECT_EQ(registrar.live.size(), 2u);
    EXPECT_FALSE(manager->combo(HotkeyAction::cycleBlurStrength));

    registrar.press(11, kCommandOption);
    EXPECT_TRUE(controller->isEnabled());
    EXPECT_EQ(defaults.boolValue(defaults_keys::enabled), true);
    registrar.press(11, kCommandOption);
    EXPECT_FALSE(controller->isEnabled());
    EXPECT_EQ(defaults.boolValue(defaults_keys::enabled), false);

    registrar.press(43, kCommandOption);
    EXPECT_EQ(settingsOpened, 1);
}

TEST_F(HotkeyManagerTest, StoredTablesLoadAsTheyAreAndUnreadableOnesGiveTheDefaults)
{
    store("{}");
    EXPECT_TRUE(launch()->assignments().empty());
    EXPECT_TRUE(registrar.live.empty());

    for (std::string_view bad : {"not json", R"({"x":{"keyCode":1,"carbonModifiers":0,"label":"A"}})"}) {
        store(bad);
        EXPECT_EQ(HotkeyManager(defaults, registrar).assignments(), HotkeyManager::factoryDefaults()) << bad;
    }
    defaults.setString(defaults_keys::hotkeyAssignments, "{}");  // wrong type
    EXPECT_EQ(HotkeyManager(defaults, registrar).assignments(), HotkeyManager::factoryDefaults());
}

TEST_F(HotkeyManagerTest, AnEntryUnderThreeSurvivesUntilItsComboGoesToAnAction)
{
    store(R"({"3":{"keyCode":7,"carbonModifiers":256,"label":"X"},"0":{"keyCode":11,"carbonModifiers":2304,"label":"B"}})");
    auto manager = launch();
    EXPECT_EQ(registrar.live.size(), 1u);  // "3" is never registered
    manager->save();
    EXPECT_NE(stored().find(R"("3":)"), std::string::npos);

    manager->assign({5, command, "G"}, HotkeyAction::togglePauseFullScreen);
    EXPECT_NE(stored().find(R"("3":)"), std::string::npos);
    manager->assign({7, command, "X"}, HotkeyAction::cycleBlurStrength);
    EXPECT_EQ(stored().find(R"("3":)"), std::string::npos);
}

TEST_F(HotkeyManagerTest, TheLastAssignmentWinsAndReassigningKeepsOneRegistration)
{
    auto manager = launch();
    int changes = 0;
    ScopedConnection watch = manager->objectWillChange.connect([&] { ++changes; });

    manager->assign(kSuperAltB, HotkeyAction::cycleBlurStrength);
    EXPECT_FALSE(manager->combo(HotkeyAction::toggleBlur));
    EXPECT_FALSE(manager->isRegistered(HotkeyAction::toggleBlur));
    EXPECT_TRUE(manager->isRegistered(HotkeyAction::cycleBlurStrength));
    EXPECT_EQ(stored().find(R"("0":)"), std::string::npos);
    EXPECT_EQ(changes, 1);

    const auto before = registrar.live.size();
    manager->assign(kSuperAltB, HotkeyAction::cycleBlurStrength);
    EXPECT_EQ(registrar.live.size(), before);
    EXPECT_TRUE(manager->isRegistered(HotkeyAction::cycleBlurStrength));

    // A new combination replaces the action's old registration.
    manager->assign({5, command, "G"}, HotkeyAction::cycleBlurStrength);
    EXPECT_EQ(registrar.live.size(), before);
    controller->setBlurRadius(20);
    registrar.press(11, kCommandOption);
    EXPECT_EQ(controller->store().blurRadius, 20);
    registrar.press(5, command);
    EXPECT_EQ(controller->store().blurRadius, 25);

    manager->clear(HotkeyAction::cycleBlurStrength);
    EXPECT_FALSE(manager->isRegistered(HotkeyAction::cycleBlurStrength));
    EXPECT_EQ(changes, 4);
    // Cleared stays cleared after a restart.
    EXPECT_FALSE(HotkeyManager(defaults, registrar).combo(HotkeyAction::cycleBlurStrength));
}

TEST_F(HotkeyManagerTest, ACombinationHeldElsewhereKeepsItsAssignmentButNeverFires)
{
    registrar.heldElsewhere.insert({11, kCommandOption});
    auto manager = launch();
    EXPECT_EQ(manager->combo(HotkeyAction::toggleBlur), kSuperAltB);
    EXPECT_FALSE(manager->isRegistered(HotkeyAction::toggleBlur));
    EXPECT_TRUE(manager->isRegistered(HotkeyAction::openSettings));

    manager->unregisterAll();
    EXPECT_TRUE(registrar.live.empty());
    EXPECT_TRUE(manager->refs().empty());
}

TEST_F(HotkeyManagerTest, AFailedHandlerInstallationIsTriedAgainAndASuccessfulOneOnlyOnce)
{
    registrar.failInstall = true;
    HotkeyManager manager(defaults, registrar);
    manager.installHandler();
    EXPECT_FALSE(manager.handlerInstalled());
    registrar.failInstall = false;
    manager.installHandler();
    manager.installHandler();
    EXPECT_TRUE(manager.handlerInstalled());
    EXPECT_EQ(registrar.installs, 2);
}

TEST_F(HotkeyManagerTest, CyclingStepsFromTheNearestLevelAndWraps)
{
    auto manager = launch();
    for (auto [from, to] : {std::pair{40.0, 10.0}, {10.4, 15.0}, {22.0, 15.0}, {24.6, 30.0}, {24.45, 15.0}}) {
        controller->setBlurRadius(from);
        manager->perform(HotkeyAction::cycleBlurStrength);
        EXPECT_EQ(controller->store().blurRadius, to) << from;
        EXPECT_EQ(defaults.doubleValue(defaults_keys::blurRadius), to);
    }
}

TEST_F(HotkeyManagerTest, ToggleActionsAnnounceWriteAndRestartPacing)
{
    auto manager = launch();
    int announcements = 0;
    ScopedConnection watch = controller->objectWillChange.connect([&] { ++announcements; });

    manager->perform(HotkeyAction::toggleCursorReveal);
    EXPECT_TRUE(controller->store().revealCursor);
    EXPECT_EQ(defaults.boolValue(defaults_keys::revealCursor), true);

    showWindows({window(10, {100, 100, 800, 600})});
    controller->enable();
    frames(60);
    ASSERT_GT(controller->scheduler().settledFrames(), 0);
    manager->perform(HotkeyAction::togglePauseFullScreen);
    EXPECT_FALSE(controller->store().pauseForFullScreenApps);
    EXPECT_EQ(defaults.boolValue(defaults_keys::pauseFullScreen), false);
    EXPECT_EQ(controller->scheduler().settledFrames(), 0);
    EXPECT_GE(announcements, 2);
}

TEST_F(HotkeyManagerTest, NothingHappensOnceTheControllerIsGoneOrForIdsThatNameNoAction)
{
    auto manager = launch();
    registrar.handler(HotkeyID{HotkeyManager::kSignature, 3});
    registrar.handler(HotkeyID{0, 99});
    EXPECT_FALSE(controller->isEnabled());

    manager->privacy = {};
    registrar.press(43, kCommandOption);
    registrar.press(11, kCommandOption);
    EXPECT_EQ(settingsOpened, 0);
    EXPECT_FALSE(controller->isEnabled());
}

} // namespace
} // namespace hg
