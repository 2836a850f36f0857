// The settings window's content over a real privacy controller with fake
// ports: window-local keys, and controls that change the settings end to end.
#include "platform/settings_window/settings_root_view.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "support/controller_fixture.h"
#include "../settings_window/test_i18n.h"
#include "../shortcuts/fake_hotkey_registrar.h"
#include "qt_offscreen.h"

namespace hg {
namespace {

struct AcceptingLoginItem final : LoginItemPort {
    bool apply(bool) override { return true; }
};

class SettingsRootViewTest : public ::testing::Test, public testing::ControllerFixture {
protected:
    SettingsRootViewTest()
    {
        testing::offscreenApp();
        hotkeys.installHandler();
        hotkeys.registerAll();
        view = std::make_unique<SettingsRootView>(
            SettingsWindowDeps{*controller, preferences, t.i18n, notifications, &hotkeys, nullptr, &screens,
                               &workspace, [] { return true; }, [] { return true; }, {}, [] { return 0.0; }},
            selection);
        view->resize(940, 640);
        view->show();
        QApplication::setActiveWindow(view.get());
    }

    void key(QWidget* target, int k, Qt::KeyboardModifiers m = {})
    {
        QTest::keyClick(target, static_cast<Qt::Key>(k), m);
        settle();
    }
    // A control's change runs after its event, and the refresh after that.
    void settle()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }
    template <typename T>
    T* control(SettingsTab tab, const std::string& row)
    {
        SettingsRow* r = view->screenView(tab)->row(row);
        return r ? r->findChild<T*>() : nullptr;
    }

    testing::TestI18n t;
    InMemoryDefaults prefsDefaults;
    AcceptingLoginItem loginItem;
    SettingsPreferences preferences{prefsDefaults, loginItem};
    testing::FakeHotkeyRegistrar registrar;
    HotkeyManager hotkeys{defaults, registrar};
    SettingsTabSelection selection;
    std::unique_ptr<SettingsRootView> view;
};

TEST_F(SettingsRootViewTest, ControlDigitsSelectTabsAndControlKFocusesTheSearch)
{
    key(view.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(selection.tab.get(), SettingsTab::behavior);
    key(view.get(), Qt::Key_6, Qt::ControlModifier);
    EXPECT_EQ(selection.tab.get(), SettingsTab::behavior);
    key(view.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(view->searchField()->hasFocus());
}

TEST_F(SettingsRootViewTest, EscapeClearsTheSearchThenPassesOn)
{
    view->searchField()->setFocus();
    QTest::keyClicks(view->searchField(), QStringLiteral("blur"));
    settle();
    EXPECT_TRUE(view->screenView(SettingsTab::appearance)->isVisible());  // search shows every screen
    key(view->searchField(), Qt::Key_Escape);
    EXPECT_TRUE(view->searchField()->text().isEmpty());
    EXPECT_FALSE(view->searchField()->hasFocus());
    EXPECT_FALSE(view->screenView(SettingsTab::appearance)->isVisible());

    // A second Escape is not the window's: a widget behind sees it.
    int seen = 0;
    struct Counter : QObject {
        int& n;
        explicit Counter(int& c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape)
                ++n;
            return false;
        }
    } counter(seen);
    view->installEventFilter(&counter);
    key(view.get(), Qt::Key_Escape);
    EXPECT_EQ(seen, 1);
}

TEST_F(SettingsRootViewTest, KeysOfOtherWindowsAreLeftAlone)
{
    QLineEdit other;
    other.show();
    key(&other, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(selection.tab.get(), SettingsTab::general);
}

TEST_F(SettingsRootViewTest, SwitchesAndSlidersChangeTheControllerAndTheStore)
{
    auto* effect = control<GlassSwitch>(SettingsTab::general, "effect.enabled");
    ASSERT_TRUE(effect);
    QTest::mouseClick(effect, Qt::LeftButton);
    settle();
    EXPECT_TRUE(controller->isEnabled());
    EXPECT_TRUE(controller->store().effectEnabled);

    selection.tab.set(SettingsTab::appearance);
    settle();
    auto* radius = control<GlassSlider>(SettingsTab::appearance, "blur.radius");
    ASSERT_TRUE(radius);
    radius->setFocus();
    key(radius, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(controller->store().blurRadius, 21);

    auto* blur = control<GlassSwitch>(SettingsTab::appearance, "blur.enabled");
    QTest::mouseClick(blur, Qt::LeftButton);
    settle();
    EXPECT_FALSE(controller->store().blurEnabled);
    radius = control<GlassSlider>(SettingsTab::appearance, "blur.radius");
    EXPECT_TRUE(radius->isDimmed());
    EXPECT_FALSE(control<GlassSlider>(SettingsTab::appearance, "color.amount")->isDimmed());

    // The reveal radius row comes and goes with the reveal.
    EXPECT_FALSE(view->screenView(SettingsTab::appearance)->row("cursor.radius"));
    QTest::mouseClick(control<GlassSwitch>(SettingsTab::appearance, "cursor.reveal"), Qt::LeftButton);
    settle();
    EXPECT_TRUE(view->screenView(SettingsTab::appearance)->row("cursor.radius"));
}

TEST_F(SettingsRootViewTest, RecordingAPlainKeyShowsTheHintInTheRow)
{
    selection.tab.set(SettingsTab::shortcuts);
    settle();
    auto* cap = control<RecordCap>(SettingsTab::shortcuts, "shortcut.2");
    ASSERT_TRUE(cap);
    QTest::mouseClick(cap, Qt::LeftButton);
    settle();
    EXPECT_EQ(cap->text(), QStringLiteral("Press a shortcut…"));
    key(view.get(), Qt::Key_A);
    settle();
    SettingsRow* row = view->screenView(SettingsTab::shortcuts)->row("shortcut.2");
    bool hintShown = false;
    for (QLabel* label : row->findChildren<QLabel*>())
        hintShown |= label->isVisible() && label->text().startsWith(QStringLiteral("Hold a modifier"));
    EXPECT_TRUE(hintShown);
    key(view.get(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(cap->text(), QStringLiteral("Unassigned"));
    EXPECT_FALSE(hotkeys.refs().empty());  // registered again
}

} // namespace
} // namespace hg
