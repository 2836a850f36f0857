// The login item over a scripted platform: nothing happens outside an installed
// location, registration follows the wish, failures are logged once and never
// change the preference back.
#include "system/login_item.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.h"

namespace hg {
namespace {

using Status = LoginItemService::Status;

class ScriptedService final : public LoginItemService {
public:
    bool runsFromInstalledLocation() const override { return installed; }
    Status status() const override { return current; }
    std::optional<std::string> registerItem() override
    {
        calls.push_back("register");
        if (!error)
            current = Status::enabled;
        return error;
    }
    std::optional<std::string> unregisterItem() override
    {
        calls.push_back("unregister");
        if (!error)
            current = Status::notRegistered;
        return error;
    }

    bool installed = true;
    Status current = Status::notRegistered;
    std::optional<std::string> error;
    std::vector<std::string> calls;
};

class LoginItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = setLogSink([this](std::string_view line) { logged.emplace_back(line); });
    }
    void TearDown() override { setLogSink(m_previous); }

    ScriptedService service;
    LoginItem loginItem{service};
    std::vector<std::string> logged;

private:
    LogSink m_previous;
};

TEST_F(LoginItemTest, OutsideAnInstalledLocationThePreferenceIsStoredButNothingIsRegisteredOrLogged)
{
    service.installed = false;
    service.current = Status::enabled;  // even a registration made by someone else is left alone
    InMemoryDefaults defaults;
    SettingsPreferences preferences(defaults, loginItem);

    preferences.setLaunchAtLogin(true);
    EXPECT_FALSE(loginItem.apply(true));
    EXPECT_FALSE(loginItem.apply(false));

    EXPECT_FALSE(loginItem.isRegistered());
    EXPECT_TRUE(service.calls.empty());
    EXPECT_TRUE(logged.empty());
    EXPECT_EQ(defaults.boolValue(defaults_keys::launchAtLogin), true);
}

TEST_F(LoginItemTest, RegistersAndUnregistersOnlyWhenTheStateDiffers)
{
    EXPECT_TRUE(loginItem.apply(false));  // off with nothing registered calls nothing
    EXPECT_TRUE(service.calls.empty());

    EXPECT_TRUE(loginItem.apply(true));
    EXPECT_TRUE(loginItem.isRegistered());
    EXPECT_TRUE(loginItem.apply(true));
    EXPECT_TRUE(loginItem.apply(false));
    EXPECT_FALSE(loginItem.isRegistered());
    EXPECT_EQ(service.calls, (std::vector<std::string>{"register", "unregister"}));
    EXPECT_TRUE(logged.empty());
}

TEST_F(LoginItemTest, AnItemAwaitingApprovalCountsAsRegistered)
{
    service.current = Status::requiresApproval;
    EXPECT_TRUE(loginItem.isRegistered());
    EXPECT_TRUE(loginItem.apply(true));
    EXPECT_TRUE(service.calls.empty());
    EXPECT_TRUE(loginItem.apply(false));
    EXPECT_EQ(service.calls, (std::vector<std::string>{"unregister"}));

    service.current = Status::notFound;
    EXPECT_FALSE(loginItem.isRegistered());
}

TEST_F(LoginItemTest, ARefusalIsLoggedOnceAndThePreferenceStands)
{
    service.error = "Permission denied";
    InMemoryDefaults defaults;
    SettingsPreferences preferences(defaults, loginItem);

    preferences.setLaunchAtLogin(true);

    EXPECT_EQ(logged, (std::vector<std::string>{"LoginItem: 注册/注销登录项失败: Permission denied"}));
    EXPECT_TRUE(preferences.launchAtLogin());
    EXPECT_EQ(defaults.boolValue(defaults_keys::launchAtLogin), true);
    EXPECT_FALSE(loginItem.apply(true));  // the next attempt tries again
    EXPECT_EQ(service.calls.size(), 2u);
}

} // namespace
} // namespace hg
