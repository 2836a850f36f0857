// What the settings screens' controls change, keyed by the row ids of the
// screen models. Every blur setting goes through the privacy controller (which
// clamps, compares, announces, stores and applies) or, for the settings that
// the controller reads on every frame, through the store's change rule with
// the controller's change announcement.
//
// Owned by the settings window's root view; main thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/color.h"
#include "engine/controller/privacy_controller.h"
#include "settings/settings_preferences.h"
#include "system/updater_controller.h"
#include "ui/i18n/i18n.h"
#include "ui/settings/shortcut_recorder.h"

namespace hg {

struct SettingsActionTargets {
    PrivacyController& privacy;
    SettingsPreferences& preferences;
    I18n& i18n;
    UpdaterController* updater = nullptr;    // absent: the update rows do nothing
    ShortcutRecorder* recorder = nullptr;    // absent: the shortcut rows do nothing
    // Opens the help on screen capture (the README's section).
    std::function<void()> openCaptureHelp;
};

class SettingsActions {
public:
    explicit SettingsActions(SettingsActionTargets targets) : m_t(std::move(targets)) {}

    // Each returns false for a row id it does not know.
    bool toggle(std::string_view rowID, bool on);
    bool slide(std::string_view rowID, double value);
    bool pick(std::string_view rowID, int index);
    bool press(std::string_view rowID);

    void setTintColor(Color color);
    void addExcludedApp(std::string_view bundleID);

private:
    void announce() { m_t.privacy.objectWillChange.emit(); }

    SettingsActionTargets m_t;
};

} // namespace hg
