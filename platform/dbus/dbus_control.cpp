#include "platform/dbus/dbus_control.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

#include "base/log.h"

namespace hg {

DBusControl::DBusControl(QDBusConnection connection, Controls controls)
    : m_connection(std::move(connection)), m_controls(std::move(controls))
{
    m_lastEnabled = enabled();
    m_lastRadius = blurRadius();
    if (!m_connection.isConnected()) {
        logLine("Hushglass: no session bus; control over D-Bus and from the command line is not available");
        return;
    }
    const bool exported = m_connection.registerObject(
        kDBusPath, this, QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAllProperties);
    const bool named = exported && m_connection.registerService(kDBusService);
    if (!named) {
        logFormat("Hushglass: could not take the name %s on the session bus (%s)", kDBusService,
                  m_connection.lastError().message().toUtf8().constData());
        m_connection.unregisterObject(kDBusPath);
        return;
    }
    m_serving = true;
}

DBusControl::~DBusControl()
{
    if (!m_serving)
        return;
    m_connection.unregisterService(kDBusService);
    m_connection.unregisterObject(kDBusPath);
}

void DBusControl::announceChanges()
{
    QVariantMap changed;
    if (const bool now = enabled(); now != m_lastEnabled) {
        m_lastEnabled = now;
        changed.insert(QStringLiteral("Enabled"), now);
    }
    if (const double now = blurRadius(); now != m_lastRadius) {
        m_lastRadius = now;
        changed.insert(QStringLiteral("BlurRadius"), now);
    }
    if (changed.isEmpty() || !m_serving)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kDBusPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kDBusInterface) << changed << QStringList();
    m_connection.send(signal);
}

void DBusControl::Toggle()
{
    m_controls.toggle();
    announceChanges();
}

void DBusControl::Enable()
{
    m_controls.setEnabled(true);
    announceChanges();
}

void DBusControl::Disable()
{
    m_controls.setEnabled(false);
    announceChanges();
}

void DBusControl::OpenSettings()
{
    m_controls.openSettings();
}

void DBusControl::CheckForUpdates()
{
    m_controls.checkForUpdates();
}

void DBusControl::PerformAction(int action)
{
    if (!m_controls.performAction(action)) {
        if (calledFromDBus())
            sendErrorReply(QStringLiteral("io.hushglass.Hushglass.Error.UnknownAction"),
                           QStringLiteral("%1 names no action; the actions are 0, 1, 2, 4 and 5").arg(action));
        return;
    }
    announceChanges();
}

} // namespace hg
