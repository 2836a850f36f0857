// Posts `screenSaverDidStart` and `screenSaverDidStop` for the desktop's
// screen saver service (`org.freedesktop.ScreenSaver` `ActiveChanged(bool)`
// on the session bus).
//
// Signals are accepted only from the owner of "org.freedesktop.ScreenSaver",
// on any object path (desktops export the service under more than one). A
// missing session bus or service is not an error: one line at creation, then
// silence; a service that starts later is heard, and asked at once whether it
// is active (posting `screenSaverDidStart` when it is).
//
// Owned by SystemEventSources; lives on the main thread and posts on it.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include "base/notification_center.h"

namespace hg {

class ScreenSaverSource final : public QObject {
    Q_OBJECT
public:
    ScreenSaverSource(NotificationCenter& center, QDBusConnection sessionBus);
    ~ScreenSaverSource() override;

private Q_SLOTS:
    void activeChanged(bool active);

private:
    void askWhetherActive();

    NotificationCenter& m_center;
    QDBusConnection m_bus;
    bool m_connected = false;
};

} // namespace hg
