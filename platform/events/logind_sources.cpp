#include "platform/events/logind_sources.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <algorithm>
#include <unistd.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// logind answers within milliseconds; a slow bus must not hold the start up.
constexpr int kLookupTimeoutMs = 2000;
// The longest wait between two look-ups of a session not found.
constexpr std::chrono::milliseconds kLongestRetry = std::chrono::minutes(1);

// True when logind runs or the bus can start it.
bool logindAvailable(const QDBusConnection& bus)
{
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon)
        return false;
    if (daemon->isServiceRegistered(kService).value())
        return true;
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

} // namespace

LogindSleepSource::LogindSleepSource(NotificationCenter& center, QDBusConnection systemBus)
    : m_center(center), m_bus(std::move(systemBus))
{
    if (!m_bus.isConnected()) {
        logLine("Hushglass: no system bus; sleep and wake are not noticed");
        return;
    }
    if (!logindAvailable(m_bus))
        logLine("Hushglass: logind is not running; sleep and wake are not noticed");
    // Connected either way: should logind start later, its signals are heard.
    m_connected = m_bus.connect(kService, kManagerPath, kManagerInterface, QStringLiteral("PrepareForSleep"), this,
                                SLOT(prepareForSleep(bool)));
}

LogindSleepSource::~LogindSleepSource()
{
    if (m_connected)
        m_bus.disconnect(kService, kManagerPath, kManagerInterface, QStringLiteral("PrepareForSleep"), this,
                         SLOT(prepareForSleep(bool)));
}

void LogindSleepSource::prepareForSleep(bool sleeping)
{
    m_center.post(sleeping ? notifications::willSleep : notifications::didWake);
}

LogindLockSource::LogindLockSource(NotificationCenter& center, QDBusConnection systemBus,
                                   std::chrono::milliseconds firstRetry)
    : m_center(center), m_bus(std::move(systemBus)), m_firstRetry(std::max(firstRetry, std::chrono::milliseconds(1))),
      m_nextRetry(m_firstRetry)
{
    if (!m_bus.isConnected()) {
        logLine("Hushglass: no system bus; lock and unlock signals are not heard");
        return;
    }
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &LogindLockSource::lookUpSession);
    // logind starting (or starting again) is the moment a look-up can succeed.
    auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (m_sessionPath.isEmpty() && !m_lookingUp) {
            m_retry.stop();
            m_nextRetry = m_firstRetry;
            lookUpSession();
        }
    });
    lookUpSession();
}

LogindLockSource::~LogindLockSource()
{
    if (!m_sessionPath.isEmpty())
        connectSession(false);
}

void LogindLockSource::lookUpSession()
{
    const QByteArray sessionID = qgetenv("XDG_SESSION_ID");
    QDBusMessage lookup = sessionID.isEmpty()
        ? QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface, QStringLiteral("GetSessionByPID"))
              << static_cast<quint32>(::getpid())
        : QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface, QStringLiteral("GetSession"))
              << QString::fromLocal8Bit(sessionID);
    // Asynchronous, so that a logind that is slow (or lives on this very thread,
    // as in tests) never blocks the start. The watcher dies with this source.
    m_lookingUp = true;
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(lookup, kLookupTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &LogindLockSource::sessionFound);
}

void LogindLockSource::sessionFound(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    m_lookingUp = false;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError() || reply.value().path().isEmpty()) {
        if (m_misses++ == 0)
            logLine("Hushglass: no logind session found; lock and unlock signals are not heard");
        m_retry.start(m_nextRetry);
        m_nextRetry = std::min(m_nextRetry * 2, kLongestRetry);
        return;
    }
    m_sessionPath = reply.value().path();
    if (!connectSession(true)) {
        logLine("Hushglass: cannot listen to the logind session; lock and unlock signals are not heard");
        connectSession(false);
        m_sessionPath.clear();
        return;
    }
    if (m_misses > 0) {
        // Found late: a lock that came before went unheard, so ask for it.
        QDBusMessage get = QDBusMessage::createMethodCall(kService, m_sessionPath, kPropertiesInterface,
                                                          QStringLiteral("Get"))
            << kSessionInterface << QStringLiteral("LockedHint");
        auto* read = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kLookupTimeoutMs), this);
        connect(read, &QDBusPendingCallWatcher::finished, this, &LogindLockSource::lockedHintRead);
    }
}

void LogindLockSource::lockedHintRead(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *call;
    if (!reply.isError() && reply.value().variant().toBool())
        m_center.post(notifications::screenIsLocked);
}

// Connects (or disconnects) the session's three signals; true when all succeeded.
bool LogindLockSource::connectSession(bool connect)
{
    using Member = bool (QDBusConnection::*)(const QString&, const QString&, const QString&, const QString&,
                                             QObject*, const char*);
    const Member member = connect ? static_cast<Member>(&QDBusConnection::connect)
                                  : static_cast<Member>(&QDBusConnection::disconnect);
    bool ok = (m_bus.*member)(kService, m_sessionPath, kSessionInterface, QStringLiteral("Lock"), this, SLOT(lock()));
    ok = (m_bus.*member)(kService, m_sessionPath, kSessionInterface, QStringLiteral("Unlock"), this,
                         SLOT(unlock())) && ok;
    ok = (m_bus.*member)(kService, m_sessionPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                         SLOT(propertiesChanged(QString, QVariantMap, QStringList))) && ok;
    return ok;
}

void LogindLockSource::lock()
{
    m_center.post(notifications::screenIsLocked);
}

void LogindLockSource::unlock()
{
    m_center.post(notifications::screenIsUnlocked);
}

void LogindLockSource::propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
{
    if (interface != kSessionInterface)
        return;
    const auto hint = changed.constFind(QStringLiteral("LockedHint"));
    if (hint == changed.constEnd())
        return;
    m_center.post(hint->toBool() ? notifications::screenIsLocked : notifications::screenIsUnlocked);
}

} // namespace hg
