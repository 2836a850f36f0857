// The sources that listen to logind on the system bus:
//
// - LogindSleepSource posts `willSleep` and `didWake` for the Manager's
//   `PrepareForSleep(true)` and `PrepareForSleep(false)`.
// - LogindLockSource posts `screenIsLocked` and `screenIsUnlocked` for our
//   session's `Lock` and `Unlock` signals and for changes of its `LockedHint`.
//   One lock may therefore be posted twice (the request to lock, then the
//   locker's hint); the observer confirms against the session state anyway.
//   The session is looked up asynchronously at creation: by $XDG_SESSION_ID
//   when it is set, else by our process id.
//
// Signals are accepted only from the owner of "org.freedesktop.login1". A
// missing bus, logind or session is not an error: the source logs one line at
// creation and stays silent.
//
// Owned by SystemEventSources; live on the main thread and post on it. The bus
// is a parameter so that tests can hand in a private one.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "base/notification_center.h"

class QDBusPendingCallWatcher;

namespace hg {

class LogindSleepSource final : public QObject {
    Q_OBJECT
public:
    LogindSleepSource(NotificationCenter& center, QDBusConnection systemBus);
    ~LogindSleepSource() override;

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    NotificationCenter& m_center;
    QDBusConnection m_bus;
    bool m_connected = false;
};

class LogindLockSource final : public QObject {
    Q_OBJECT
public:
    LogindLockSource(NotificationCenter& center, QDBusConnection systemBus);
    ~LogindLockSource() override;

    // logind's object path of our session; empty until it was found.
    [[nodiscard]] const QString& sessionPath() const { return m_sessionPath; }

private Q_SLOTS:
    void lock();
    void unlock();
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void sessionFound(QDBusPendingCallWatcher* call);
    bool connectSession(bool connect);

    NotificationCenter& m_center;
    QDBusConnection m_bus;
    QString m_sessionPath;
};

} // namespace hg
