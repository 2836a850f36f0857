#include "settings/settings_preferences.h"

namespace hg {

std::string_view rawValue(MenuBarClickAction action)
{
    switch (action) {
    case MenuBarClickAction::showMenu: return "showMenu";
    case MenuBarClickAction::toggleBlur: return "toggleBlur";
    case MenuBarClickAction::openSettings: return "openSettings";
    }
    return "showMenu";
}

std::string_view rawValue(AppearancePreference preference)
{
    switch (preference) {
    case AppearancePreference::system: return "system";
    case AppearancePreference::light: return "light";
    case AppearancePreference::dark: return "dark";
    }
    return "system";
}

std::string_view rawValue(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general: return "general";
    case SettingsTab::appearance: return "appearance";
    case SettingsTab::behavior: return "behavior";
    case SettingsTab::shortcuts: return "shortcuts";
    case SettingsTab::about: return "about";
    }
    return "general";
}

namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> fromRaw(const std::array<Enum, N>& cases, std::string_view raw)
{
    for (Enum c : cases)
        if (rawValue(c) == raw)
            return c;
    return std::nullopt;
}

} // namespace

std::optional<MenuBarClickAction> menuBarClickActionFromRaw(std::string_view raw)
{
    return fromRaw(kMenuBarClickActions, raw);
}

std::optional<AppearancePreference> appearancePreferenceFromRaw(std::string_view raw)
{
    return fromRaw(kAppearancePreferences, raw);
}

std::optional<SettingsTab> settingsTabFromRaw(std::string_view raw)
{
    return fromRaw(kSettingsTabs, raw);
}

std::string_view displayName(MenuBarClickAction action)
{
    switch (action) {
    case MenuBarClickAction::showMenu: return "显示菜单";
    case MenuBarClickAction::toggleBlur: return "开关模糊";
    case MenuBarClickAction::openSettings: return "打开设置";
    }
    return "显示菜单";
}

std::string_view displayName(AppearancePreference preference)
{
    switch (preference) {
    case AppearancePreference::system: return "跟随系统";
    case AppearancePreference::light: return "浅色";
    case AppearancePreference::dark: return "深色";
    }
    return "跟随系统";
}

std::string_view title(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general: return "通用";
    case SettingsTab::appearance: return "外观";
    case SettingsTab::behavior: return "行为";
    case SettingsTab::shortcuts: return "快捷键";
    case SettingsTab::about: return "关于";
    }
    return "通用";
}

std::string_view iconName(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general: return "gearshape";
    case SettingsTab::appearance: return "paintbrush";
    case SettingsTab::behavior: return "switch.2";
    case SettingsTab::shortcuts: return "keyboard";
    case SettingsTab::about: return "info.circle";
    }
    return "gearshape";
}

SettingsPreferences::SettingsPreferences(DefaultsDomain& defaults, LoginItemPort& loginItem)
    : m_defaults(defaults),
      m_loginItem(loginItem),
      m_menuBarClickAction(*this, menuBarClickActionFromRaw(defaults.stringValue(defaults_keys::menuBarClickAction)
                                                                .value_or(""))
                                      .value_or(MenuBarClickAction::showMenu)),
      m_colorScheme(*this, appearancePreferenceFromRaw(defaults.stringValue(defaults_keys::colorScheme).value_or(""))
                               .value_or(AppearancePreference::system)),
      m_launchAtLogin(*this, defaults.boolValue(defaults_keys::launchAtLogin).value_or(false))
{
}

void SettingsPreferences::setMenuBarClickAction(MenuBarClickAction action)
{
    m_menuBarClickAction.set(action);
    m_defaults.setString(defaults_keys::menuBarClickAction, std::string(rawValue(action)));
}

void SettingsPreferences::setColorScheme(AppearancePreference scheme)
{
    m_colorScheme.set(scheme);
    m_defaults.setString(defaults_keys::colorScheme, std::string(rawValue(scheme)));
}

void SettingsPreferences::setLaunchAtLogin(bool enabled)
{
    m_launchAtLogin.set(enabled);
    m_defaults.setBool(defaults_keys::launchAtLogin, enabled);
    m_loginItem.apply(enabled);
}

} // namespace hg
