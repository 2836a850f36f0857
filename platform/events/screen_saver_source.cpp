#include "platform/events/screen_saver_source.h"

#include <QDBusConnectionInterface>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kAnyPath;  // empty: every object path of the service

} // namespace

ScreenSaverSource::ScreenSaverSource(NotificationCenter& center, QDBusConnection sessionBus)
    : m_center(center), m_bus(std::move(sessionBus))
{
    if (!m_bus.isConnected()) {
        logLine("Hushglass: no session bus; screen saver starts and stops are not noticed");
        return;
    }
    QDBusConnectionInterface* daemon = m_bus.interface();
    if (!daemon || !daemon->isServiceRegistered(kService).value())
        logLine("Hushglass: no screen saver service; screen saver starts and stops are not noticed");
    m_connected = m_bus.connect(kService, kAnyPath, kService, QStringLiteral("ActiveChanged"), this,
                                SLOT(activeChanged(bool)));
}

ScreenSaverSource::~ScreenSaverSource()
{
    if (m_connected)
        m_bus.disconnect(kService, kAnyPath, kService, QStringLiteral("ActiveChanged"), this,
                         SLOT(activeChanged(bool)));
}

void ScreenSaverSource::activeChanged(bool active)
{
    m_center.post(active ? notifications::screenSaverDidStart : notifications::screenSaverDidStop);
}

} // namespace hg
