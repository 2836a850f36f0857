#include "platform/events/system_event_sources.h"

#include <QCoreApplication>

#include "platform/events/active_space_source.h"
#include "platform/events/display_wake_source.h"
#include "platform/events/logind_sources.h"
#include "platform/events/screen_parameters_source.h"
#include "platform/events/screen_saver_source.h"
#include "platform/events/x11_screen_saver_source.h"
#include "platform/windows/x11_screens.h"

namespace hg {

SystemBuses SystemBuses::standard()
{
    return {QDBusConnection::systemBus(), QDBusConnection::sessionBus()};
}

SystemEventSources::SystemEventSources(NotificationCenter& center, xcb_connection_t* connection, xcb_window_t root,
                                       SystemBuses buses, X11Screens* screens)
    : m_center(center), m_connection(connection), m_root(root), m_buses(std::move(buses)), m_screens(screens)
{
}

SystemEventSources::~SystemEventSources()
{
    stop();
}

void SystemEventSources::start()
{
    if (m_running)
        return;
    m_running = true;
    if (!m_screens && m_connection) {
        m_ownScreens = std::make_unique<X11Screens>(m_connection, m_root);
        m_screens = m_ownScreens.get();
    }
    ScreenParametersSource::MonitorRefresh refresh;
    if (X11Screens* screens = m_screens)
        refresh = [screens] {
            screens->refresh();
            return screens->screens();
        };
    m_screenParameters = std::make_unique<ScreenParametersSource>(m_center, std::move(refresh));
    m_sleep = std::make_unique<LogindSleepSource>(m_center, m_buses.system);
    m_lock = std::make_unique<LogindLockSource>(m_center, m_buses.system);
    m_screenSaver = std::make_unique<ScreenSaverSource>(m_center, m_buses.session);
    if (!m_connection)
        return;
    m_displayWake = std::make_unique<DisplayWakeSource>(m_center, m_connection);
    m_activeSpace = std::make_unique<ActiveSpaceSource>(m_center, m_connection, m_root);
    m_xScreenSaver = std::make_unique<X11ScreenSaverSource>(m_center, m_connection, m_root);
    if (auto* app = QCoreApplication::instance()) {
        app->installNativeEventFilter(m_activeSpace.get());
        app->installNativeEventFilter(m_xScreenSaver.get());
    }
}

void SystemEventSources::stop()
{
    if (!m_running)
        return;
    m_running = false;
    if (auto* app = QCoreApplication::instance(); app && m_activeSpace) {
        app->removeNativeEventFilter(m_activeSpace.get());
        app->removeNativeEventFilter(m_xScreenSaver.get());
    }
    m_xScreenSaver.reset();
    m_activeSpace.reset();
    m_screenSaver.reset();
    m_lock.reset();
    m_displayWake.reset();
    m_sleep.reset();
    m_screenParameters.reset();
    if (m_ownScreens) {
        m_screens = nullptr;
        m_ownScreens.reset();
    }
}

} // namespace hg
