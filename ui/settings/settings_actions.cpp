#include "ui/settings/settings_actions.h"

#include <algorithm>
#include <charconv>

#include "ui/shortcuts/hotkey_combo.h"

namespace hg {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

constexpr double kMinRevealRadius = 20;
constexpr double kMaxRevealRadius = 400;

} // namespace

bool SettingsActions::toggle(std::string_view id, bool on)
{
    PrivacyController& privacy = m_t.privacy;
    SettingsStore& store = privacy.store();
    const auto announce = [this] { this->announce(); };
    if (id == "effect.enabled") {
        if (on)
            privacy.enable();
        else
            privacy.disable();
        privacy.setEffectEnabledSetting(privacy.isEnabled());
    } else if (id == "login.launchAtLogin") {
        m_t.preferences.setLaunchAtLogin(on);
    } else if (id == "blur.enabled") {
        if (store.changeBlurEnabled(on, announce) && privacy.usesVibrancy())
            privacy.rebuildOverlays(false);
    } else if (id == "cursor.reveal") {
        store.changeRevealCursor(on, announce);
    } else if (id == "fullScreen.pause") {
        store.changePauseForFullScreenApps(on, announce);
    } else if (id == "capture.hideBlurLayer") {
        // Nothing to change on X11; the stored setting stays as it is.
    } else if (startsWith(id, "display.")) {
        const std::string displayID(id.substr(8));
        if (store.excludedDisplayIDs.contains(displayID) == on)
            return true;
        announce();
        store.setDisplayExcluded(displayID, on);
        if (privacy.isEnabled())
            privacy.rebuildOverlays(false);
    } else if (id == "updates.automatic") {
        if (m_t.updater)
            m_t.updater->setAutomaticallyChecksForUpdates(on);
    } else {
        return false;
    }
    return true;
}

bool SettingsActions::slide(std::string_view id, double value)
{
    PrivacyController& privacy = m_t.privacy;
    if (id == "blur.radius")
        privacy.setBlurRadius(value);
    else if (id == "color.amount")
        privacy.setTintAmount(value);
    else if (id == "cursor.radius")
        privacy.store().changeCursorRevealRadius(std::clamp(value, kMinRevealRadius, kMaxRevealRadius),
                                                 [this] { announce(); });
    else
        return false;
    return true;
}

bool SettingsActions::pick(std::string_view id, int index)
{
    if (index < 0)
        return false;
    const auto at = [index](const auto& all) { return all[std::min<std::size_t>(index, all.size() - 1)]; };
    if (id == "menuBar.click")
        m_t.preferences.setMenuBarClickAction(at(kMenuBarClickActions));
    else if (id == "appearance.theme")
        m_t.preferences.setColorScheme(at(kAppearancePreferences));
    else if (id == "language")
        m_t.i18n.setLanguage(at(kAppLanguages));
    else
        return false;
    return true;
}

bool SettingsActions::press(std::string_view id)
{
    if (id == "updates.check") {
        if (m_t.updater)
            m_t.updater->checkForUpdates();
    } else if (id == "permission.capture") {
        if (m_t.openCaptureHelp)
            m_t.openCaptureHelp();
        announce();
    } else if (startsWith(id, "excludedApp.")) {
        m_t.privacy.removeExcludedApp(id.substr(12));
    } else if (startsWith(id, "shortcut.")) {
        const std::string_view digits = id.substr(9);
        long long raw = -1;
        std::from_chars(digits.data(), digits.data() + digits.size(), raw);
        const std::optional<HotkeyAction> action = hotkeyActionFromRaw(raw);
        if (action && m_t.recorder)
            m_t.recorder->start(*action);
    } else {
        return false;
    }
    return true;
}

void SettingsActions::setTintColor(Color color) { m_t.privacy.setTintColor(color); }

void SettingsActions::addExcludedApp(std::string_view bundleID) { m_t.privacy.addExcludedApp(bundleID); }

} // namespace hg
