// The application delegate: owns every long-lived object of the program and
// is the only place that wires the core to the platform.
//
// Created by main() after the Qt application, on the main thread; destroyed
// after the event loop ends. `applicationDidFinishLaunching` runs once the
// event loop is up; `applicationWillTerminate` runs before it stops.
#pragma once

#include <memory>

#include "base/notification_center.h"
#include "platform/i18n/qt_preferred_languages.h"
#include "platform/runtime/qt_runtime.h"
#include "platform/settings/json_file_defaults.h"
#include "settings/settings_preferences.h"
#include "settings/settings_store.h"
#include "ui/i18n/i18n.h"

namespace hg {

class AppDelegate {
public:
    AppDelegate();
    ~AppDelegate();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    [[nodiscard]] SettingsStore& settings() { return m_settings; }
    [[nodiscard]] SettingsPreferences& preferences() { return m_preferences; }
    [[nodiscard]] I18n& i18n() { return m_i18n; }

private:
    SystemClock m_clock;
    QtMainQueue m_queue;
    QtBackgroundPool m_pool;
    NotificationCenter m_notifications;
    JsonFileDefaults m_defaults;
    NoLoginItem m_loginItem;
    QtPreferredLanguages m_preferredLanguages;
    I18n m_i18n;
    SettingsStore m_settings;
    SettingsPreferences m_preferences;
    std::unique_ptr<LocaleChangeWatcher> m_localeWatcher;
};

} // namespace hg
