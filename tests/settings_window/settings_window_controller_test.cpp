// The window controller on the manual clock: the activation policy around
// opening and closing, the focus retries, and title and appearance following
// the language and the preferences.
#include "ui/settings/settings_window_controller.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "support/manual_queue.h"
#include "test_i18n.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::ManualQueue;

struct FakeWindowState {
    std::string title;
    AppearancePreference appearance = AppearancePreference::system;
    bool visible = false;
    bool key = false;
    bool grantsFocus = true;  // the window manager obeys the first request
    std::vector<std::uint64_t> raisesAt;  // uptime of each makeKeyAndOrderFront, ns
    bool destroyed = false;
};

class FakeWindow final : public SettingsWindow {
public:
    FakeWindow(FakeWindowState& state, const ManualQueue& clock) : m_state(state), m_clock(clock) {}
    ~FakeWindow() override { m_state.destroyed = true; }
    void setTitle(const std::string& title) override { m_state.title = title; }
    void setAppearance(AppearancePreference a) override { m_state.appearance = a; }
    bool isVisible() const override { return m_state.visible; }
    bool isKey() const override { return m_state.key; }
    void makeKeyAndOrderFront() override
    {
        m_state.visible = true;
        m_state.key = m_state.grantsFocus;
        m_state.raisesAt.push_back(m_clock.uptimeNanos());
    }

private:
    FakeWindowState& m_state;
    const ManualQueue& m_clock;
};

class FakeHost final : public SettingsWindowHost {
public:
    explicit FakeHost(const ManualQueue& clock) : m_clock(clock) {}
    std::unique_ptr<SettingsWindow> createWindow(SettingsWindowController&, SettingsTabSelection&) override
    {
        windows.emplace_back();
        return std::make_unique<FakeWindow>(windows.back(), m_clock);
    }
    std::deque<FakeWindowState> windows;

private:
    const ManualQueue& m_clock;
};

class FakePolicy final : public ActivationPolicy {
public:
    bool isRegular() const override { return regular; }
    void setRegular(bool r) override
    {
        regular = r;
        ++changes;
    }
    bool regular = false;
    int changes = 0;
};

struct NoLoginItem final : LoginItemPort {
    bool apply(bool) override { return true; }
};

class SettingsWindowControllerTest : public ::testing::Test {
protected:
    ManualQueue queue;
    FakeHost host{queue};
    FakePolicy policy;
    testing::TestI18n t;
    NotificationCenter& center = t.center;
    InMemoryDefaults prefsDefaults;
    NoLoginItem loginItem;
    SettingsPreferences preferences{prefsDefaults, loginItem};
    SettingsWindowController controller{host, policy, queue, center, t.i18n, preferences};
};

TEST_F(SettingsWindowControllerTest, ClosingAndReopeningWithinTheDelayKeepsTheProgramRegular)
{
    controller.show();
    EXPECT_TRUE(policy.regular);
    EXPECT_TRUE(controller.raisedActivationPolicy());
    controller.windowWillClose();
    queue.fastForwardBy(200ms);
    EXPECT_TRUE(policy.regular);
    controller.show(SettingsTab::about);
    queue.fastForwardBy(1s);
    EXPECT_TRUE(policy.regular);
    EXPECT_EQ(policy.changes, 1);
    EXPECT_EQ(controller.selection().tab.get(), SettingsTab::about);
    EXPECT_EQ(host.windows.size(), 2u);  // a fresh window each opening

    controller.windowWillClose();
    queue.fastForwardBy(249ms);
    EXPECT_TRUE(policy.regular);
    queue.fastForwardBy(1ms);
    EXPECT_FALSE(policy.regular);
    EXPECT_TRUE(host.windows.back().destroyed);
}

TEST_F(SettingsWindowControllerTest, AProgramAlreadyRegularIsLeftRegular)
{
    policy.regular = true;
    controller.show();
    EXPECT_FALSE(controller.raisedActivationPolicy());
    controller.windowWillClose();
    queue.fastForwardBy(1s);
    EXPECT_TRUE(policy.regular);
    EXPECT_EQ(policy.changes, 0);
}

TEST_F(SettingsWindowControllerTest, FocusIsAskedSixMoreTimesThenLeftAlone)
{
    const std::uint64_t start = queue.uptimeNanos();
    controller.show();
    host.windows.back().grantsFocus = false;
    host.windows.back().key = false;
    host.windows.back().raisesAt.clear();  // the opening itself; the checks follow
    queue.fastForwardBy(5s);
    std::vector<std::uint64_t> expected;
    for (auto at : {0ms, 50ms, 250ms, 450ms, 650ms, 850ms, 1050ms})
        expected.push_back(start + std::chrono::nanoseconds(at).count());
    EXPECT_EQ(host.windows.back().raisesAt, expected);
}

TEST_F(SettingsWindowControllerTest, AFocusedWindowEndsTheChecks)
{
    controller.show();
    queue.fastForwardBy(5s);
    EXPECT_EQ(host.windows.back().raisesAt.size(), 1u);
    EXPECT_EQ(controller.focusAttempt(), 0);
}

TEST_F(SettingsWindowControllerTest, TitleAndAppearanceFollowLanguageAndPreference)
{
    controller.show();
    EXPECT_EQ(host.windows.back().title, "Hush Glass Settings");
    t.i18n.setLanguage(AppLanguage::zhHans);
    EXPECT_EQ(host.windows.back().title, "Hushglass设置");
    preferences.setColorScheme(AppearancePreference::dark);
    EXPECT_EQ(host.windows.back().appearance, AppearancePreference::dark);
}

} // namespace
} // namespace hg
