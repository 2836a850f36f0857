#include "private_bus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/controller/system_notifications.h"

namespace hg::testing {
namespace {

constexpr char kDaemon[] = "/usr/bin/dbus-daemon";

constexpr char kConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// Reads one line from `fd` within `timeoutMs`; empty on failure.
std::string readLine(int fd, int timeoutMs)
{
    std::string line;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line.push_back(c);
    }
    return {};
}

} // namespace

bool PrivateBus::available()
{
    return ::access(kDaemon, X_OK) == 0;
}

PrivateBus::PrivateBus()
{
    char path[] = "/tmp/hushglass-bus-XXXXXX";
    const int configFd = ::mkstemp(path);
    if (configFd < 0)
        return;
    m_configPath = path;
    const bool written = ::write(configFd, kConfig, sizeof kConfig - 1) == static_cast<ssize_t>(sizeof kConfig - 1);
    ::close(configFd);
    int pipeFds[2];
    if (!written || ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    const std::string configArg = "--config-file=" + m_configPath;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeFds[1], 1);
        if (const int devNull = ::open("/dev/null", O_WRONLY); devNull >= 0)
            ::dup2(devNull, 2);  // its complaints about fd limits are noise here
        ::execl(kDaemon, kDaemon, configArg.c_str(), "--print-address=1", "--nofork", "--nopidfile",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (m_pid > 0)
        m_address = readLine(pipeFds[0], 5000);
    ::close(pipeFds[0]);
}

PrivateBus::~PrivateBus()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_configPath.empty())
        ::unlink(m_configPath.c_str());
}

QDBusConnection PrivateBus::connect(const QString& purpose) const
{
    static std::atomic<int> counter{0};
    return QDBusConnection::connectToBus(QString::fromStdString(m_address),
                                         QStringLiteral("%1-%2").arg(purpose).arg(++counter));
}

FakeLogind::FakeLogind(QDBusConnection bus, QString sessionID)
    : m_bus(std::move(bus)), m_sessionID(std::move(sessionID))
{
    m_ok = m_bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this, QDBusConnection::ExportAllSlots)
        && m_bus.registerService(QStringLiteral("org.freedesktop.login1"));
}

FakeLogind::~FakeLogind()
{
    m_bus.unregisterService(QStringLiteral("org.freedesktop.login1"));
    m_bus.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
}

QDBusObjectPath FakeLogind::GetSession(const QString& id)
{
    lookups << QStringLiteral("GetSession %1").arg(id);
    if (id != m_sessionID) {
        sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), QStringLiteral("No such session"));
        return {};
    }
    return QDBusObjectPath(kSessionPath);
}

QDBusObjectPath FakeLogind::GetSessionByPID(uint pid)
{
    lookups << QStringLiteral("GetSessionByPID %1").arg(pid);
    return QDBusObjectPath(kSessionPath);
}

void FakeLogind::emitPrepareForSleep(bool sleeping)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"),
                                                     QStringLiteral("PrepareForSleep"));
    m_bus.send(signal << sleeping);
}

void FakeLogind::emitSessionSignal(const QString& name, const QString& path)
{
    m_bus.send(QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.login1.Session"), name));
}

void FakeLogind::emitPropertiesChanged(const QVariantMap& changed, const QString& interface, const QString& path)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    m_bus.send(signal << interface << changed << QStringList());
}

FakeSession::FakeSession(QDBusConnection bus, bool locked) : m_bus(std::move(bus)), m_locked(locked)
{
    m_bus.registerObject(FakeLogind::kSessionPath, this, QDBusConnection::ExportAllProperties);
}

FakeSession::~FakeSession()
{
    m_bus.unregisterObject(FakeLogind::kSessionPath);
}

FakeScreenSaver::FakeScreenSaver(QDBusConnection bus, bool ownName, bool active)
    : m_bus(std::move(bus)), m_ownsName(ownName)
{
    m_object.active = active;
    if (m_ownsName) {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &m_object,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }
}

FakeScreenSaver::~FakeScreenSaver()
{
    if (m_ownsName) {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
    }
}

ServiceThread::ServiceThread() : m_thread(std::make_unique<QThread>()), m_context(std::make_unique<QObject>())
{
    m_thread->start();
    m_context->moveToThread(m_thread.get());
}

ServiceThread::~ServiceThread()
{
    m_thread->quit();
    m_thread->wait();
}

void ServiceThread::run(const std::function<void()>& work)
{
    QMetaObject::invokeMethod(m_context.get(), work, Qt::BlockingQueuedConnection);
}

void FakeScreenSaver::emitActiveChanged(bool active, const QString& path)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.ScreenSaver"),
                                                     QStringLiteral("ActiveChanged"));
    m_bus.send(signal << active);
}

NotificationRecorder::NotificationRecorder(NotificationCenter& center) : m_center(center)
{
    namespace n = hg::notifications;
    for (std::string_view name : {n::screenParametersChanged, n::willSleep, n::didWake, n::screensDidWake,
                                  n::screenIsLocked, n::screenIsUnlocked, n::screenSaverDidStart,
                                  n::screenSaverDidStop, n::activeSpaceChanged})
        m_tokens.push_back(m_center.addObserver(std::string(name), [this, name] { posted.emplace_back(name); }));
}

NotificationRecorder::~NotificationRecorder()
{
    for (NotificationToken token : m_tokens)
        m_center.removeObserver(token);
}

bool spinUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

bool emitUntil(const std::function<void()>& emit, const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
        emit();
        QElapsedTimer pause;
        pause.start();
        while (!done() && pause.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

void roundTrip(const QDBusConnection& bus)
{
    if (bus.interface())
        bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
}

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "dbus_events_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

} // namespace hg::testing
