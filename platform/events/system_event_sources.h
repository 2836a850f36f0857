// The Linux sources of the system notifications the privacy controller
// observes, created together: screen parameters (Qt's screens and the RandR
// monitors), sleep and wake (logind), monitors woken (DPMS), the session lock
// (logind), the screen saver (org.freedesktop.ScreenSaver and the X server's
// own, MIT-SCREEN-SAVER) and the active
// virtual desktop (_NET_CURRENT_DESKTOP). Each posts the names of
// engine/controller/system_notifications.h on the given centre.
//
// Owned by the application, created and used on the main thread after the
// QCoreApplication (a QGuiApplication for Qt's screen signals). Pass the
// application's X11Screens: the monitor re-read refreshes it, so the screens
// are current when `screenParametersChanged` is heard (without one, the
// sources keep their own). `start()`
// creates the sources, which log one line each for what is missing (no bus,
// no logind, no screen saver, no DPMS); `stop()` ends them, after which nothing
// is posted. Without an X connection only the D-Bus sources run.
//
//     SystemEventSources sources(center, connection, root, SystemBuses::standard(), &screens);
//     sources.start();
#pragma once

#include <QDBusConnection>
#include <memory>
#include <xcb/xcb.h>

#include "base/notification_center.h"

namespace hg {

class ActiveSpaceSource;
class DisplayWakeSource;
class LogindLockSource;
class LogindSleepSource;
class ScreenParametersSource;
class ScreenSaverSource;
class X11Screens;
class X11ScreenSaverSource;

struct SystemBuses {
    QDBusConnection system;
    QDBusConnection session;
    // The buses of the desktop session ($DBUS_SYSTEM_BUS_ADDRESS and
    // $DBUS_SESSION_BUS_ADDRESS when set).
    static SystemBuses standard();
};

class SystemEventSources {
public:
    SystemEventSources(NotificationCenter& center, xcb_connection_t* connection, xcb_window_t root,
                       SystemBuses buses = SystemBuses::standard(), X11Screens* screens = nullptr);
    ~SystemEventSources();
    SystemEventSources(const SystemEventSources&) = delete;
    SystemEventSources& operator=(const SystemEventSources&) = delete;

    // Starting twice, or stopping when stopped, does nothing.
    void start();
    void stop();
    [[nodiscard]] bool isRunning() const { return m_running; }

private:
    NotificationCenter& m_center;
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    SystemBuses m_buses;
    X11Screens* m_screens;                     // the application's, or m_ownScreens
    std::unique_ptr<X11Screens> m_ownScreens;
    bool m_running = false;

    std::unique_ptr<ScreenParametersSource> m_screenParameters;
    std::unique_ptr<LogindSleepSource> m_sleep;
    std::unique_ptr<DisplayWakeSource> m_displayWake;
    std::unique_ptr<LogindLockSource> m_lock;
    std::unique_ptr<ScreenSaverSource> m_screenSaver;
    std::unique_ptr<ActiveSpaceSource> m_activeSpace;
    std::unique_ptr<X11ScreenSaverSource> m_xScreenSaver;
};

} // namespace hg
