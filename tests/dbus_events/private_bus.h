// Test helpers for the D-Bus sources: a private dbus-daemon, fakes of logind
// and of the desktop's screen saver service registered on it, and a recorder
// of the notifications posted on a NotificationCenter.
//
// Used on the test's main thread with a QCoreApplication running; waits spin
// the Qt event loop up to a generous deadline (these tests check wiring to
// real buses, not timing rules).
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QThread>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "base/notification_center.h"

namespace hg::testing {

// A dbus-daemon of its own with a minimal configuration (anyone may own any
// name), stopped when this object goes.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    [[nodiscard]] static bool available();
    [[nodiscard]] bool ok() const { return !m_address.empty(); }
    [[nodiscard]] const std::string& address() const { return m_address; }
    // A new connection of this process to the bus, under a name unique to the call.
    [[nodiscard]] QDBusConnection connect(const QString& purpose) const;

private:
    std::string m_configPath;
    std::string m_address;
    pid_t m_pid = -1;
};

// The parts of logind the sources use: the Manager's session look-ups and the
// signals of the Manager and of one session.
class FakeLogind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    static inline const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_37");

    // Owns "org.freedesktop.login1" on `bus`; the session is known as `sessionID`.
    FakeLogind(QDBusConnection bus, QString sessionID);
    ~FakeLogind() override;
    [[nodiscard]] bool ok() const { return m_ok; }

    // The session id logind knows from now on.
    void setSessionID(const QString& id) { m_sessionID = id; }
    void emitPrepareForSleep(bool sleeping);
    void emitSessionSignal(const QString& name, const QString& path = kSessionPath);
    void emitPropertiesChanged(const QVariantMap& changed, const QString& interface,
                               const QString& path = kSessionPath);

    QStringList lookups;  // "GetSession <id>" or "GetSessionByPID <pid>"

public Q_SLOTS:
    QDBusObjectPath GetSession(const QString& id);
    QDBusObjectPath GetSessionByPID(uint pid);

private:
    QDBusConnection m_bus;
    QString m_sessionID;
    bool m_ok = false;
};

// logind's object of our session, with its `LockedHint` (read through
// org.freedesktop.DBus.Properties), on the connection of a FakeLogind.
class FakeSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ lockedHint)
public:
    FakeSession(QDBusConnection bus, bool locked);
    ~FakeSession() override;
    [[nodiscard]] bool lockedHint() const { return m_locked; }

private:
    QDBusConnection m_bus;
    bool m_locked;
};

// The object that answers GetActive for a FakeScreenSaver.
class ScreenSaverObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    bool active = false;
public Q_SLOTS:
    bool GetActive() { return active; }
};

// Emits ActiveChanged as the desktop's screen saver would, owning its name
// when `ownName` (else from a connection that does not own it), and answers
// GetActive with `active` when it owns the name.
class FakeScreenSaver {
public:
    FakeScreenSaver(QDBusConnection bus, bool ownName, bool active = false);
    ~FakeScreenSaver();
    void emitActiveChanged(bool active, const QString& path = QStringLiteral("/org/freedesktop/ScreenSaver"));

private:
    QDBusConnection m_bus;
    bool m_ownsName;
    ScreenSaverObject m_object;
};

// A thread with an event loop of its own, for fakes that must answer the
// blocking calls of the test's thread.
class ServiceThread {
public:
    ServiceThread();
    ~ServiceThread();
    // Runs `work` on the thread and waits for it: objects made there live there.
    void run(const std::function<void()>& work);

private:
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_context;
};

// Records every system notification posted on a centre, in order.
class NotificationRecorder {
public:
    explicit NotificationRecorder(NotificationCenter& center);
    ~NotificationRecorder();
    std::vector<std::string> posted;

private:
    NotificationCenter& m_center;
    std::vector<NotificationToken> m_tokens;
};

// Spins the event loop until `done` or 5 s; returns `done()`.
bool spinUntil(const std::function<bool()>& done);
// Calls `emit` every 100 ms, spinning between, until `done` or 5 s: for a
// source whose signal subscriptions are made asynchronously.
bool emitUntil(const std::function<void()>& emit, const std::function<bool()>& done);
// A round trip through the bus daemon on `bus`: messages sent on it before
// were routed when this returns.
void roundTrip(const QDBusConnection& bus);
// Makes sure a QCoreApplication exists.
void ensureApplication();

} // namespace hg::testing
