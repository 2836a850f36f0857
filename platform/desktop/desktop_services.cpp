#include "platform/desktop/desktop_services.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QWindow>
#include <memory>
#include <unistd.h>
#include <xcb/dpms.h>
#include <xcb/screensaver.h>


namespace hg {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* raw)
{
    return Reply<T>(raw, &std::free);
}

constexpr int kDBusTimeoutMs = 300;
// The longest wait between two look-ups of a logind session not found.
constexpr std::chrono::milliseconds kLongestLookupWait = std::chrono::minutes(1);

} // namespace

QtApplicationWindows::QtApplicationWindows(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root)
{
}

std::vector<ApplicationWindows::Window> QtApplicationWindows::windows() const
{
    std::vector<Window> result;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->flags().testFlag(Qt::X11BypassWindowManagerHint) || window->type() == Qt::Desktop)
            continue;
        // Qt's geometry is in device-independent pixels; the window server's
        // is in root pixels, whatever Qt's scale factor. Scaled, Qt's origin
        // is its screen's, so the frame is read from the server instead.
        // Hidden windows (the settings window before it opens, menus) cost
        // no round trip: every frame tick asks for this list.
        const bool visible = window->isVisible() && window->isExposed();
        const xcb_window_t frameWindow =
            visible ? frameOf(static_cast<xcb_window_t>(window->winId())) : static_cast<xcb_window_t>(window->winId());
        const QRect qtFrame = window->frameGeometry();
        Rect frame(qtFrame.x(), qtFrame.y(), qtFrame.width(), qtFrame.height());
        if (visible && window->devicePixelRatio() != 1) {
            if (auto g = reply(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, frameWindow), nullptr)))
                frame = Rect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
        }
        result.push_back({
            .windowID = frameWindow,
            .frame = frame,
            .hasParent = window->transientParent() != nullptr,
            .isVisible = visible,
            .isMinimized = window->windowStates().testFlag(Qt::WindowMinimized),
            .isNormalLevel = !window->flags().testAnyFlags(Qt::WindowStaysOnTopHint | Qt::WindowStaysOnBottomHint),
        });
    }
    return result;
}

bool QtApplicationWindows::hasKeyWindow() const
{
    return QGuiApplication::focusWindow() != nullptr;
}

std::int32_t QtApplicationWindows::processID() const
{
    return static_cast<std::int32_t>(::getpid());
}

std::optional<std::string> QtApplicationWindows::bundleIdentifier() const
{
    // Qt names the WM_CLASS class after the application name.
    return QGuiApplication::applicationName().toStdString();
}

xcb_window_t QtApplicationWindows::frameOf(xcb_window_t window) const
{
    for (int depth = 0; depth < 8; ++depth) {
        auto tree = reply(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
        if (!tree || tree->parent == m_root || tree->parent == XCB_WINDOW_NONE)
            return window;
        window = tree->parent;
    }
    return window;
}

X11Pointer::X11Pointer(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root) {}

std::optional<Point> X11Pointer::location()
{
    auto pointer = reply(xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr));
    if (!pointer || !pointer->same_screen)
        return std::nullopt;
    return Point{static_cast<double>(pointer->root_x), static_cast<double>(pointer->root_y)};
}

X11DisplayPower::X11DisplayPower(xcb_connection_t* connection) : m_connection(connection)
{
    const auto* extension = xcb_get_extension_data(m_connection, &xcb_dpms_id);
    m_hasDpms = extension && extension->present;
}

bool X11DisplayPower::isAsleep(std::uint32_t)
{
    if (!m_hasDpms)
        return false;
    auto info = reply(xcb_dpms_info_reply(m_connection, xcb_dpms_info(m_connection), nullptr));
    return info && info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON;
}

LinuxSessionState::LinuxSessionState(xcb_connection_t* connection, xcb_window_t root, QDBusConnection systemBus,
                                     QDBusConnection sessionBus, Clock now)
    : m_connection(connection), m_root(root), m_system(std::move(systemBus)), m_sessionBus(std::move(sessionBus)),
      m_now(std::move(now)), m_nextLookup(m_now())
{
    if (!m_system.isConnected())
        return;
    // Without a session the lock state reads as unlocked; the event sources
    // already say once that locks are not heard.
    auto watcher = std::make_unique<QDBusServiceWatcher>("org.freedesktop.login1", m_system,
                                                         QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(watcher.get(), &QDBusServiceWatcher::serviceRegistered, watcher.get(), [this] {
        m_nextLookup = m_now();
        m_lookupWait = std::chrono::seconds(1);
    });
    m_logindWatcher = std::move(watcher);
    findSession();
}

LinuxSessionState::~LinuxSessionState() = default;

bool LinuxSessionState::findSession()
{
    if (!m_sessionPath.isEmpty())
        return true;
    if (!m_system.isConnected() || m_now() < m_nextLookup)
        return false;
    // Plain messages with a short timeout: a QDBusInterface would introspect
    // its peer first and could hang the start for 25 s on a stuck service.
    const QByteArray sessionID = qgetenv("XDG_SESSION_ID");
    QDBusMessage lookup = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                         "org.freedesktop.login1.Manager",
                                                         sessionID.isEmpty() ? "GetSessionByPID" : "GetSession");
    if (sessionID.isEmpty())
        lookup << static_cast<quint32>(::getpid());
    else
        lookup << QString::fromLocal8Bit(sessionID);
    lookup.setAutoStartService(false);
    const QDBusReply<QDBusObjectPath> path = m_system.call(lookup, QDBus::Block, kDBusTimeoutMs);
    if (path.isValid() && !path.value().path().isEmpty()) {
        m_sessionPath = path.value().path();
        return true;
    }
    // Each look-up may cost a timeout: they come further apart while they fail.
    m_nextLookup = m_now() + m_lookupWait;
    m_lookupWait = std::min(m_lookupWait * 2, kLongestLookupWait);
    return false;
}

bool LinuxSessionState::isLocked()
{
    if (!findSession())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall("org.freedesktop.login1", m_sessionPath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString("org.freedesktop.login1.Session") << QString("LockedHint");
    QDBusReply<QDBusVariant> locked = m_system.call(get, QDBus::Block, kDBusTimeoutMs);
    return locked.isValid() && locked.value().variant().toBool();
}

bool LinuxSessionState::screenSaverRunning()
{
    // Asked every time: a service that started late answers too, and a
    // missing one is answered for by the bus at once.
    if (m_sessionBus.isConnected()) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "GetActive");
        get.setAutoStartService(false);
        QDBusReply<bool> active = m_sessionBus.call(get, QDBus::Block, kDBusTimeoutMs);
        if (active.isValid())
            return active.value();
    }
    if (!m_connection)
        return false;
    const auto* extension = xcb_get_extension_data(m_connection, &xcb_screensaver_id);
    if (!extension || !extension->present)
        return false;
    auto info = reply(xcb_screensaver_query_info_reply(m_connection, xcb_screensaver_query_info(m_connection, m_root),
                                                       nullptr));
    return info && info->state == XCB_SCREENSAVER_STATE_ON;
}

} // namespace hg
