// The login item: brings the platform's registration of this program as
// something started at login into line with the `launchAtLogin` preference.
//
// `LoginItem` has no state of its own (the platform holds the registration);
// it is created once by the application and used on the main thread, at launch
// with the stored preference and after every assignment of the preference.
// Nothing is registered unless the program runs from an installed location: a
// copy started from a build folder would register a path that soon vanishes.
//
// A refused registration writes one "LoginItem: …" line and answers false; the
// preference is never changed back.
#pragma once

#include <optional>
#include <string>

#include "settings/settings_preferences.h"

namespace hg {

// The platform's login item registration of the program itself.
class LoginItemService {
public:
    // What the platform says about the registration.
    enum class Status { notRegistered, enabled, requiresApproval, notFound };

    virtual ~LoginItemService() = default;
    // True when the running executable is an installed copy of the program.
    [[nodiscard]] virtual bool runsFromInstalledLocation() const = 0;
    [[nodiscard]] virtual Status status() const = 0;
    // nullopt on success, otherwise the error's readable description.
    virtual std::optional<std::string> registerItem() = 0;
    virtual std::optional<std::string> unregisterItem() = 0;
};

inline constexpr std::string_view kLoginItemFailurePrefix = "LoginItem: 注册/注销登录项失败: ";

class LoginItem final : public LoginItemPort {
public:
    explicit LoginItem(LoginItemService& service) : m_service(service) {}

    // False outside an installed location. An item waiting for the user's
    // approval counts as registered.
    [[nodiscard]] bool isRegistered() const;
    // Whether the setting can take effect at all (the settings window says so
    // when it cannot).
    [[nodiscard]] bool runsFromInstalledLocation() const { return m_service.runsFromInstalledLocation(); }

    // True when the registration matches `wanted` afterwards (or nothing was
    // needed); false outside an installed location or when the platform refused.
    bool apply(bool wanted) override;

private:
    LoginItemService& m_service;
};

} // namespace hg
