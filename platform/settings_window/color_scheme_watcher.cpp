#include "platform/settings_window/color_scheme_watcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

namespace hg {
namespace {

constexpr auto kService = "org.freedesktop.portal.Desktop";
constexpr auto kPath = "/org/freedesktop/portal/desktop";
constexpr auto kInterface = "org.freedesktop.portal.Settings";

unsigned unwrap(QVariant value)
{
    // Read answers a variant inside a variant.
    while (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.toUInt();
}

} // namespace

ColorSchemeWatcher::ColorSchemeWatcher(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage read = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
        read << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        // A short wait: the answer decides the window's first paint.
        const QDBusMessage reply = bus.call(read, QDBus::Block, 300);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            m_portalValue = unwrap(reply.arguments().first());
        bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                    SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    }
    qApp->installEventFilter(this);
}

bool ColorSchemeWatcher::prefersDark() const
{
    if (m_portalValue && *m_portalValue != 0)
        return *m_portalValue == 1;
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

void ColorSchemeWatcher::portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group != QStringLiteral("org.freedesktop.appearance") || key != QStringLiteral("color-scheme"))
        return;
    m_portalValue = unwrap(value.variant());
    Q_EMIT changed();
}

bool ColorSchemeWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        Q_EMIT changed();
    return false;
}

} // namespace hg
