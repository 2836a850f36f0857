// The application delegate: owns every long-lived object of the program and
// is the only place that wires the core to the platform.
//
// Created by main() after the Qt application, on the main thread, and
// destroyed after the event loop ends. `applicationDidFinishLaunching` runs
// once the event loop is up; `applicationWillTerminate` runs before it stops
// and switches the effect off, so every overlay window is gone before the
// process ends.
#pragma once

#include <memory>
#include <xcb/xcb.h>

#include "base/notification_center.h"
#include "engine/controller/privacy_controller.h"
#include "platform/capture/x11_capture_access.h"
#include "platform/capture/x11_capture_service.h"
#include "platform/dbus/dbus_control.h"
#include "platform/menubar/qt_status_tray.h"
#include "platform/shortcuts/x11_hotkey_registrar.h"
#include "platform/desktop/desktop_services.h"
#include "platform/events/system_event_sources.h"
#include "platform/i18n/qt_preferred_languages.h"
#include "platform/overlay/x11_overlay_factory.h"
#include "platform/pacing/x11_tick_source.h"
#include "platform/runtime/qt_runtime.h"
#include "platform/settings/json_file_defaults.h"
#include "platform/shell/qt_effect_alerts.h"
#include "platform/system/appcast_feed.h"
#include "platform/system/update_offer_window.h"
#include "platform/system/xdg_autostart.h"
#include "platform/settings_window/qt_settings_window.h"
#include "platform/windows/x11_screens.h"
#include "platform/windows/x11_window_server.h"
#include "platform/windows/x11_workspace.h"
#include "settings/settings_preferences.h"
#include "system/appcast_updater.h"
#include "system/login_item.h"
#include "system/updater_controller.h"
#include "ui/i18n/i18n.h"
#include "ui/menubar/status_item_controller.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/shortcuts/hotkey_manager.h"

namespace hg {

class AppDelegate {
public:
    // `connection` is the Qt application's X11 connection; `screen` its default screen.
    AppDelegate(xcb_connection_t* connection, xcb_screen_t* screen);
    ~AppDelegate();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    [[nodiscard]] PrivacyController& privacy() { return m_privacy; }
    [[nodiscard]] SettingsPreferences& preferences() { return m_preferences; }
    [[nodiscard]] I18n& i18n() { return m_i18n; }
    // Update checks: the tray's and the settings window's "Check for Updates…"
    // call `checkForUpdates()` on it.
    [[nodiscard]] UpdaterController& updater() { return m_updater; }
    // Whether "start at login" can take effect (only for an installed copy).
    [[nodiscard]] LoginItem& loginItem() { return m_loginItem; }

    // Shows the settings window without choosing a tab; does nothing before
    // launching has finished.
    std::function<void()> openSettingsAction;
    // Shows the settings window on its About tab; does nothing before
    // launching has finished.
    void showAbout();
    // The settings window's controller and host; null before launching finished.
    [[nodiscard]] SettingsWindowController* settingsWindow() const { return m_settingsWindow.get(); }
    [[nodiscard]] QtSettingsWindowHost* settingsWindowHost() const { return m_settingsHost.get(); }

private:
    [[nodiscard]] PrivacyControllerPorts controllerPorts();
    void createUserControls();
    void createSettingsWindow();

    // The tray's face of the updater controller (which marks itself checking).
    struct TrayUpdateChecks final : UpdateChecks {
        explicit TrayUpdateChecks(UpdaterController& u) : updater(u) {}
        bool isChecking() const override;
        void markChecking() override {}
        void checkForUpdatesInForeground() override;
        UpdaterController& updater;
    };

    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen;

    SystemClock m_clock;
    QtMainQueue m_queue;
    QtBackgroundPool m_pool;
    NotificationCenter m_notifications;
    JsonFileDefaults m_defaults;
    XdgAutostartLoginItem m_loginService;
    LoginItem m_loginItem{m_loginService};
    QtPreferredLanguages m_preferredLanguages;
    I18n m_i18n;
    SettingsPreferences m_preferences;
    QtAppcastFeed m_updateFeed{QtAppcastFeed::configuredAddress(), QStringLiteral(HUSHGLASS_VERSION), {}};
    UpdateOfferWindow m_updateWindow{m_i18n};
    DesktopUrlOpener m_urlOpener;
    AppcastUpdater m_updateDriver{
        {m_queue, m_clock, m_defaults, m_notifications, m_i18n, m_updateFeed, m_updateWindow, m_urlOpener},
        HUSHGLASS_VERSION};
    UpdaterController m_updater{m_updateDriver, m_queue};

    X11Screens m_screens;
    X11WindowServer m_windowServer;
    X11Workspace m_workspace;
    X11CaptureService m_capture;
    X11CaptureAccess m_captureAccess;
    X11OverlaySurfaceFactory m_overlaySurfaces;
    X11TickSourceFactory m_ticks;
    QtApplicationWindows m_appWindows;
    X11Pointer m_pointer;
    X11DisplayPower m_displayPower;
    LinuxSessionState m_session;
    QtEffectAlerts m_alerts;
    ShellRelauncher m_relauncher;
    PrivacyController m_privacy;
    SystemEventSources m_events;

    std::unique_ptr<LocaleChangeWatcher> m_localeWatcher;

    TrayUpdateChecks m_trayUpdateChecks{m_updater};
    ScopedConnection m_captureRedirect;
    ScopedConnection m_updateLog;
    X11HotkeyRegistrar m_hotkeyRegistrar;
    QtActivationPolicy m_activationPolicy;
    std::unique_ptr<QtSettingsWindowHost> m_settingsHost;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    std::unique_ptr<QtStatusTray> m_tray;
    std::unique_ptr<StatusItemController> m_statusController;
    std::unique_ptr<DBusControl> m_dbus;
    ScopedConnection m_dbusWatch;
};

} // namespace hg
