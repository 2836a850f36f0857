// The tray menu and its actions over the live controller: marks, texts in
// both languages, click actions, dimming, quit and update checks.
#include <gtest/gtest.h>

#include "support/controller_fixture.h"
#include "shortcuts/fake_hotkey_registrar.h"
#include "ui/i18n/i18n.h"
#include "ui/menubar/status_item_controller.h"
#include "ui/shortcuts/hotkey_manager.h"

namespace hg {
namespace {

using testing::ControllerFixture;

class FakeTray final : public StatusTray {
public:
    void setIconOpacity(double alpha) override { opacity = alpha; }
    void setAccessibilityDescription(const std::string& text) override { description = text; }
    void attachMenu(const StatusMenu* menu) override { attached = menu; }
    void setClickHandler(std::function<void(MouseButton)> handler) override { click = std::move(handler); }
    void popUpMenu(const StatusMenu& menu) override
    {
        ++popUps;
        shown = &menu;
    }

    // What the desktop does for a click: an attached menu opens on any click.
    void press(MouseButton button)
    {
        if (attached)
            shown = attached;
        else if (click)
            click(button);
    }

    double opacity = -1;
    std::string description;
    const StatusMenu* attached = nullptr;
    const StatusMenu* shown = nullptr;
    std::function<void(MouseButton)> click;
    int popUps = 0;
};

class FakeUpdates final : public UpdateChecks {
public:
    bool isChecking() const override { return checking; }
    void markChecking() override { checking = true; }
    void checkForUpdatesInForeground() override { ++checks; }
    bool checking = false;
    int checks = 0;
};

class English final : public PreferredLanguages {
public:
    std::vector<std::string> preferredLanguages() const override { return {"en-US"}; }
};

class StatusItemTest : public ::testing::Test, public ControllerFixture {
protected:
    StatusItemTest()
    {
        hotkeys.privacy = controller->weakPtr();
        status = std::make_unique<StatusItemController>(StatusItemPorts{
            *controller, preferences, updates, hotkeys, i18n, notifications, queue, tray,
            [this] { ++settingsOpened; }, [this] {
                quitWhileOn = controller->isEnabled();
                ++terminations;
            }});
    }
    ~StatusItemTest() override
    {
        status.reset();
        // Passes suspended on the pool end once they hear the effect is off.
        controller->disable();
        drain();
    }

    // An item of the current menu by its title, submenus included.
    MenuItemPtr find(const std::string& title) const
    {
        for (const auto& item : status->menu()) {
            if (item->title() == title)
                return item;
            for (const auto& sub : item->submenu)
                if (sub->title() == title)
                    return sub;
        }
        return nullptr;
    }
    std::vector<std::string> marked(const std::vector<MenuItemPtr>& items) const
    {
        std::vector<std::string> titles;
        for (const auto& item : items)
            if (item->isChecked())
                titles.push_back(item->title());
        return titles;
    }

    English english;
    I18n i18n{defaults, notifications, english};
    testing::FakeHotkeyRegistrar registrar;
    HotkeyManager hotkeys{defaults, registrar};
    struct NoLoginItem final : LoginItemPort {
        bool apply(bool) override { return true; }
    } loginItem;
    SettingsPreferences preferences{defaults, loginItem};
    FakeUpdates updates;
    FakeTray tray;
    int settingsOpened = 0;
    int terminations = 0;
    bool quitWhileOn = true;
    std::unique_ptr<StatusItemController> status;
};

TEST_F(StatusItemTest, TheMenuReadsInTheInterfaceLanguageAndFollowsItsChanges)
{
    ASSERT_EQ(tray.attached, &status->menu());
    std::vector<std::string> titles;
    for (const auto& item : status->menu())
        titles.push_back(item->isSeparator() ? "-" : item->title());
    EXPECT_EQ(titles, (std::vector<std::string>{"Enable Privacy Blur", "Blur Strength", "Pause Blur in Full Screen",
                                                "Keep Clear Around Cursor", "Cursor Reveal Radius",
                                                "Check for Updates…", "-", "Settings…", "-", "Quit"}));
    EXPECT_EQ(status->toggleItem()->shortcutText, "Alt+Super+B");
    EXPECT_EQ(find("Settings…")->shortcutText, "Alt+Super+,");
    EXPECT_EQ(tray.description, "Hush Glass");
    // Dimmed while off.
    EXPECT_EQ(tray.opacity, 0.45);

    i18n.setLanguage(AppLanguage::zhHans);
    EXPECT_EQ(tray.attached, &status->menu());
    EXPECT_EQ(status->toggleItem()->title(), "启用隐私模糊");
    EXPECT_TRUE(find("光标清晰范围"));
    EXPECT_EQ(tray.description, "Hushglass");

    status->toggle();
    EXPECT_EQ(status->toggleItem()->title(), "停用隐私模糊");
    EXPECT_EQ(tray.opacity, 1.0);
}

TEST_F(StatusItemTest, StrengthMarksFollowTheExactRadius)
{
    controller->setBlurRadius(22);
    preferences.setMenuBarClickAction(MenuBarClickAction::toggleBlur);
    queue.runUntilIdle();
    tray.press(MouseButton::right);
    EXPECT_TRUE(marked(status->strengthItems()).empty());

    find("50%")->activate();
    EXPECT_EQ(controller->store().blurRadius, 25);
    EXPECT_EQ(defaults.doubleValue(defaults_keys::blurRadius), 25);
    EXPECT_EQ(marked(status->strengthItems()), std::vector<std::string>{"50%"});
    find("30%")->activate();
    EXPECT_EQ(marked(status->strengthItems()), std::vector<std::string>{"30%"});
}

TEST_F(StatusItemTest, ChoosingARadiusTurnsTheRevealOnAndTurningItOffUnmarksEveryRadius)
{
    find("200 pt")->activate();
    EXPECT_TRUE(controller->store().revealCursor);
    EXPECT_EQ(controller->store().cursorRevealRadius, 200);
    EXPECT_EQ(defaults.boolValue(defaults_keys::revealCursor), true);
    EXPECT_TRUE(status->cursorItem()->isChecked());
    EXPECT_EQ(marked(status->cursorRadiusItems()), std::vector<std::string>{"200 pt"});

    status->cursorItem()->activate();
    EXPECT_FALSE(controller->store().revealCursor);
    EXPECT_EQ(controller->store().cursorRevealRadius, 200);
    EXPECT_FALSE(status->cursorItem()->isChecked());
    EXPECT_TRUE(marked(status->cursorRadiusItems()).empty());

    // A radius item without a number does nothing.
    MenuItem stray;
    status->setCursorRadius(stray);
    EXPECT_FALSE(controller->store().revealCursor);
}

TEST_F(StatusItemTest, TheClickActionDecidesWhatALeftClickDoes)
{
    tray.press(MouseButton::left);
    EXPECT_EQ(tray.shown, &status->menu());
    EXPECT_FALSE(controller->isEnabled());

    preferences.setMenuBarClickAction(MenuBarClickAction::toggleBlur);
    queue.runUntilIdle();
    ASSERT_EQ(tray.attached, nullptr);
    tray.press(MouseButton::left);
    EXPECT_TRUE(controller->isEnabled());
    EXPECT_EQ(defaults.boolValue(defaults_keys::enabled), true);
    EXPECT_EQ(tray.popUps, 0);
    tray.press(MouseButton::right);
    EXPECT_EQ(tray.popUps, 1);
    EXPECT_EQ(status->toggleItem()->title(), "Disable Privacy Blur");

    preferences.setMenuBarClickAction(MenuBarClickAction::openSettings);
    queue.runUntilIdle();
    tray.press(MouseButton::left);
    EXPECT_EQ(settingsOpened, 1);

    preferences.setMenuBarClickAction(MenuBarClickAction::showMenu);
    queue.runUntilIdle();
    EXPECT_EQ(tray.attached, &status->menu());
}

TEST_F(StatusItemTest, FullScreenPauseWritesAndRestartsPacing)
{
    showWindows({window(10, {100, 100, 800, 600})});
    status->toggle();
    frames(60);
    ASSERT_GT(controller->scheduler().settledFrames(), 0);
    status->autoPauseItem()->activate();
    EXPECT_FALSE(status->autoPauseItem()->isChecked());
    EXPECT_EQ(defaults.boolValue(defaults_keys::pauseFullScreen), false);
    EXPECT_EQ(controller->scheduler().settledFrames(), 0);
}

TEST_F(StatusItemTest, QuitSwitchesTheEffectOffFirstAndKeepsItRemembered)
{
    status->toggle();
    find("Quit")->activate();
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(quitWhileOn);
    // The next launch starts the effect again.
    EXPECT_EQ(defaults.boolValue(defaults_keys::enabled), true);
}

TEST_F(StatusItemTest, ASecondUpdateCheckWhileOneRunsDoesNothing)
{
    find("Check for Updates…")->activate();
    find("Check for Updates…")->activate();
    EXPECT_EQ(updates.checks, 1);
    EXPECT_TRUE(updates.checking);
}

} // namespace
} // namespace hg
