#include "platform/events/screen_saver_source.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kAnyPath;  // empty: every object path of the service
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
constexpr int kAskTimeoutMs = 2000;

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
    // A service that starts later may start active: what it was before it
    // could signal is asked.
    auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &ScreenSaverSource::askWhetherActive);
}

void ScreenSaverSource::askWhetherActive()
{
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("GetActive"));
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, kAskTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<bool> active = *done;
        if (!active.isError() && active.value())
            m_center.post(notifications::screenSaverDidStart);
    });
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
