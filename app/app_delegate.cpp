#include "app/app_delegate.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QPointer>

#include "base/log.h"
#include "platform/windows/qt_screen_scale.h"
#include "ui/shortcuts/effect_commands.h"

namespace hg {

AppDelegate::AppDelegate(xcb_connection_t* connection, xcb_screen_t* screen)
    : m_connection(connection),
      m_screen(screen),
      m_i18n(m_defaults, m_notifications, m_preferredLanguages),
      m_preferences(m_defaults, m_loginItem),
      m_screens(connection, screen->root, qtScreenScale()),
      m_windowServer(connection, screen->root, std::getenv("DISPLAY") ? std::getenv("DISPLAY") : ""),
      m_workspace(m_windowServer),
      m_capture(connection, screen, m_pool, X11CaptureService::displaysOf(m_screens)),
      m_captureAccess(connection),
      m_overlaySurfaces(connection, screen, m_screens),
      m_ticks(),
      m_appWindows(connection, screen->root),
      m_pointer(connection, screen->root),
      m_displayPower(connection),
      m_session(connection, screen->root),
      m_alerts(m_i18n, m_screens),
      m_privacy(controllerPorts()),
      m_events(m_notifications, connection, screen->root, SystemBuses::standard(), &m_screens),
      m_hotkeyRegistrar(connection, screen->root)
{
    // One window model, following the server's events, for the scanner, the
    // overlays' stacking and the captures.
    m_overlaySurfaces.setWindowModel(m_windowServer.model());
    m_capture.setWindowModel(m_windowServer.model());
    // The captures hear the screen's drawing through Qt's connection, so that
    // a still screen is answered without asking the server.
    m_capture.followApplicationEvents();
    // A changed window list or a new active window wakes an idle frame clock.
    m_windowServer.setChangeHandler([weak = m_privacy.weakPtr()] {
        if (auto* privacy = weak.get())
            privacy->wakeFrameClock();
    });
    openSettingsAction = [this] {
        if (m_settingsWindow)
            m_settingsWindow->show();
    };
    // The X server keeps a copy of every window while captures can be taken:
    // only while the effect is on and captures are what it shows.
    m_captureRedirect = m_privacy.enabledChanged.connect(
        [this](bool on) { m_capture.setActive(on && m_captureAccess.preflight()); });
    // A failed update check is also said in the log, for those who never open the About screen.
    m_updateLog = m_updater.statusChanged().connect([](const UpdaterController::Status& status) {
        if (status.kind() == UpdaterController::Status::Kind::error)
            logLine("Hushglass: the update check failed: " + status.text());
    });
}

bool AppDelegate::TrayUpdateChecks::isChecking() const
{
    return updater.status().kind() == UpdaterController::Status::Kind::checking;
}

void AppDelegate::TrayUpdateChecks::checkForUpdatesInForeground() { updater.checkForUpdates(); }

PrivacyControllerPorts AppDelegate::controllerPorts()
{
    return {
        .queue = m_queue,
        .clock = m_clock,
        .pool = m_pool,
        .notifications = m_notifications,
        .defaults = m_defaults,
        .windowServer = m_windowServer,
        .workspace = m_workspace,
        .screens = m_screens,
        .capture = m_capture,
        .captureAccess = m_captureAccess,
        .overlaySurfaces = m_overlaySurfaces,
        .ticks = m_ticks,
        .appWindows = m_appWindows,
        .pointer = m_pointer,
        .displayPower = m_displayPower,
        .session = m_session,
        .alerts = m_alerts,
        .relauncher = m_relauncher,
    };
}

AppDelegate::~AppDelegate()
{
    m_privacy.disable();
    m_pool.waitForDone();
    // A capture or blur that finished after the event loop ended left its
    // task's wake-up on the queue: the task ends at its next check (the effect
    // is off) and frees its picture.
    m_queue.finishPosted(m_pool);
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_privacy.store().load();
    if (m_privacy.store().effectEnabled)
        m_privacy.enable();
    // A registration removed or made outside the program follows the stored choice again.
    m_loginItem.apply(m_preferences.launchAtLogin());
    m_events.start();
    m_hotkeys = std::make_unique<HotkeyManager>(m_defaults, m_hotkeyRegistrar);
    createSettingsWindow();
    createUserControls();
    m_localeWatcher = std::make_unique<LocaleChangeWatcher>(m_notifications, QCoreApplication::instance());
    logFormat("Hushglass: running with the settings of %s (effect %s)", m_defaults.path().toStdString().c_str(),
              m_privacy.isEnabled() ? "on" : "off");
}

void AppDelegate::createUserControls()
{
    // The tray icon and its menu, then the shortcuts, then D-Bus control.
    m_tray = std::make_unique<QtStatusTray>();
    m_statusController = std::make_unique<StatusItemController>(StatusItemPorts{
        m_privacy, m_preferences, m_trayUpdateChecks, *m_hotkeys, m_i18n, m_notifications, m_queue, *m_tray,
        [this] { openSettingsAction(); }, [] { QCoreApplication::quit(); }});
    m_hotkeys->privacy = m_privacy.weakPtr();
    m_hotkeys->openSettingsAction = [this] { openSettingsAction(); };
    m_hotkeys->installHandler();
    m_hotkeys->registerAll();

    m_dbus = std::make_unique<DBusControl>(QDBusConnection::sessionBus(), DBusControl::Controls{
        .toggle = [this] { m_statusController->toggle(); },
        .setEnabled = [this](bool on) { effect_commands::setEnabled(m_privacy, on); },
        .openSettings = [this] { m_statusController->openSettingsWindow(); },
        .checkForUpdates = [this] { m_statusController->checkForUpdates(); },
        .performAction = [this](int raw) {
            const auto action = hotkeyActionFromRaw(raw);
            if (action)
                m_hotkeys->perform(*action);
            return action.has_value();
        },
        .isEnabled = [this] { return m_privacy.isEnabled(); },
        .blurRadius = [this] { return m_privacy.store().blurRadius; },
    });
    // The controller announces before it changes: look once the change is done.
    m_dbusWatch = m_privacy.objectWillChange.connect([this] {
        m_queue.post([dbus = QPointer<DBusControl>(m_dbus.get())] {
            if (dbus)
                dbus->announceChanges();
        });
    });
}

void AppDelegate::createSettingsWindow()
{
    // Created now, shown on the first request; its menu bar is the main menu,
    // rebuilt by the window when the language changes.
    SettingsWindowDeps deps{
        .privacy = m_privacy,
        .preferences = m_preferences,
        .i18n = m_i18n,
        .notifications = m_notifications,
        .hotkeys = m_hotkeys.get(),
        .updater = &m_updater,
        .screens = &m_screens,
        .workspace = &m_workspace,
        .runsFromInstalledLocation = [this] { return m_loginItem.runsFromInstalledLocation(); },
        .captureGranted = [this] { return m_captureAccess.preflight(); },
        .openCaptureHelp = [this] { m_alerts.openScreenCaptureHelp(); },
        .now = [this] { return m_clock.secondsSinceReferenceDate(); },
    };
    m_settingsHost = std::make_unique<QtSettingsWindowHost>(
        std::move(deps), MainMenuActions{[this] { showAbout(); }, [] { QCoreApplication::quit(); }});
    m_settingsWindow = std::make_unique<SettingsWindowController>(*m_settingsHost, m_activationPolicy, m_queue,
                                                                  m_notifications, m_i18n, m_preferences);
}

void AppDelegate::showAbout()
{
    if (m_settingsWindow)
        m_settingsWindow->show(SettingsTab::about);
}

void AppDelegate::applicationWillTerminate()
{
    // The window and the controller take their language observers with them.
    m_settingsWindow.reset();
    if (m_hotkeys)
        m_hotkeys->unregisterAll();
    m_privacy.disable();
    m_events.stop();
    xcb_flush(m_connection);
    logLine("Hushglass: quitting");
}

} // namespace hg
