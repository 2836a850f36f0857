// The sources that listen to logind on the system bus:
//
// - LogindSleepSource posts `willSleep` and `didWake` for the Manager's
//   `PrepareForSleep(true)` and `PrepareForSleep(false)`.
// - LogindLockSource posts `screenIsLocked` and `screenIsUnlocked` for our
//   session's `Lock` and `Unlock` signals and for changes of its `LockedHint`.
//   One lock may therefore be posted twice (the request to lock, then the
//   locker's hint); the observer confirms against the session state anyway.
//   The session is looked up asynchronously at creation: by $XDG_SESSION_ID
//   when it is set, else by our process id. While it is not found (a slow or
//   restarting bus, logind not running yet), the source looks again after 1 s,
//   then after twice as long each time up to a minute, and at once whenever
//   logind appears on the bus. A session found late that is locked already
//   posts `screenIsLocked`.
//
// Signals are accepted only from the owner of "org.freedesktop.login1". A
// missing bus, logind or session is not an error: the source logs one line
// (the first time it misses the session) and stays silent until it finds it.
//
// Owned by SystemEventSources; live on the main thread and post on it. The bus
// is a parameter so that tests can hand in a private one.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <chrono>
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
    // `firstRetry` is the wait before the second look-up; tests shorten it.
    LogindLockSource(NotificationCenter& center, QDBusConnection systemBus,
                     std::chrono::milliseconds firstRetry = std::chrono::seconds(1));
    ~LogindLockSource() override;

    // logind's object path of our session; empty until it was found.
    [[nodiscard]] const QString& sessionPath() const { return m_sessionPath; }

private Q_SLOTS:
    void lock();
    void unlock();
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void lookUpSession();
    void sessionFound(QDBusPendingCallWatcher* call);
    void lockedHintRead(QDBusPendingCallWatcher* call);
    bool connectSession(bool connect);

    NotificationCenter& m_center;
    QDBusConnection m_bus;
    QString m_sessionPath;
    QTimer m_retry;  // the next look-up while the session is not found
    std::chrono::milliseconds m_firstRetry;
    std::chrono::milliseconds m_nextRetry;
    bool m_lookingUp = false;
    int m_misses = 0;  // look-ups that found no session
};

} // namespace hg
