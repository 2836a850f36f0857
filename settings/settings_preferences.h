// The interface's own preferences (what a left click on the tray icon does, the
// settings window's colour scheme, start at login) and the small enumerations
// the status item and the settings window share.
//
// `SettingsPreferences` is created once by the application, reads its keys at
// creation and writes each one again on every assignment, equal or not. Views
// observe its published properties. Main thread only.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "base/defaults.h"
#include "base/signal.h"

namespace hg {

enum class MenuBarClickAction { showMenu, toggleBlur, openSettings };
enum class AppearancePreference { system, light, dark };
enum class SettingsTab { general, appearance, behavior, shortcuts, about };

inline constexpr std::array kMenuBarClickActions{MenuBarClickAction::showMenu, MenuBarClickAction::toggleBlur,
                                                 MenuBarClickAction::openSettings};
inline constexpr std::array kAppearancePreferences{AppearancePreference::system, AppearancePreference::light,
                                                   AppearancePreference::dark};
// Also the order of the settings window's sidebar.
inline constexpr std::array kSettingsTabs{SettingsTab::general, SettingsTab::appearance, SettingsTab::behavior,
                                          SettingsTab::shortcuts, SettingsTab::about};

// Raw values (stored in the defaults) equal the case names.
[[nodiscard]] std::string_view rawValue(MenuBarClickAction action);
[[nodiscard]] std::string_view rawValue(AppearancePreference preference);
[[nodiscard]] std::string_view rawValue(SettingsTab tab);
// Exact, case-sensitive matches; nullopt for anything else.
[[nodiscard]] std::optional<MenuBarClickAction> menuBarClickActionFromRaw(std::string_view raw);
[[nodiscard]] std::optional<AppearancePreference> appearancePreferenceFromRaw(std::string_view raw);
[[nodiscard]] std::optional<SettingsTab> settingsTabFromRaw(std::string_view raw);

// The Chinese wording of each name; pass it through I18n::translate to show it.
[[nodiscard]] std::string_view displayName(MenuBarClickAction action);
[[nodiscard]] std::string_view displayName(AppearancePreference preference);
[[nodiscard]] std::string_view title(SettingsTab tab);
// The name of the tab's icon in the program's icon set.
[[nodiscard]] std::string_view iconName(SettingsTab tab);

// The settings window's current tab, shared by its sidebar and its content.
class SettingsTabSelection : public ObservableObject {
public:
    Published<SettingsTab> tab{*this, SettingsTab::general};
};

// Starts and stops the program at login; the login item of system/ fills it in.
class LoginItemPort {
public:
    virtual ~LoginItemPort() = default;
    // Brings the login item into line with `enabled`; false when that failed
    // (the failure is logged where it happens).
    virtual bool apply(bool enabled) = 0;
};

namespace defaults_keys {
inline constexpr std::string_view menuBarClickAction = "settings.menuBarClickAction";
inline constexpr std::string_view colorScheme = "settings.colorScheme";
inline constexpr std::string_view launchAtLogin = "settings.launchAtLogin";
} // namespace defaults_keys

class SettingsPreferences : public ObservableObject {
public:
    // Reads the three keys; unknown or missing values give the defaults.
    SettingsPreferences(DefaultsDomain& defaults, LoginItemPort& loginItem);

    [[nodiscard]] MenuBarClickAction menuBarClickAction() const { return m_menuBarClickAction; }
    [[nodiscard]] AppearancePreference colorScheme() const { return m_colorScheme; }
    [[nodiscard]] bool launchAtLogin() const { return m_launchAtLogin; }

    void setMenuBarClickAction(MenuBarClickAction action);
    void setColorScheme(AppearancePreference scheme);
    // Writes the key first, then applies the login item, so a failed
    // registration still leaves the preference as chosen.
    void setLaunchAtLogin(bool enabled);

    // Each emits the new value on every assignment, before it is stored.
    Signal<const MenuBarClickAction&>& menuBarClickActionChanged() { return m_menuBarClickAction.changed; }
    Signal<const AppearancePreference&>& colorSchemeChanged() { return m_colorScheme.changed; }
    Signal<const bool&>& launchAtLoginChanged() { return m_launchAtLogin.changed; }

private:
    DefaultsDomain& m_defaults;
    LoginItemPort& m_loginItem;
    Published<MenuBarClickAction> m_menuBarClickAction;
    Published<AppearancePreference> m_colorScheme;
    Published<bool> m_launchAtLogin;
};

} // namespace hg
