#include "platform/events/screen_parameters_source.h"

#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <memory>
#include <xcb/randr.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

bool hasMonitorQuery(xcb_connection_t* connection)
{
    const auto* extension = xcb_get_extension_data(connection, &xcb_randr_id);
    if (!extension || !extension->present)
        return false;
    std::unique_ptr<xcb_randr_query_version_reply_t, FreeDeleter> version(
        xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr));
    return version && (version->major_version > 1 || version->minor_version >= 5);
}

} // namespace

std::optional<std::vector<MonitorEntry>> queryMonitors(xcb_connection_t* connection, xcb_window_t root)
{
    std::unique_ptr<xcb_randr_get_monitors_reply_t, FreeDeleter> reply(
        xcb_randr_get_monitors_reply(connection, xcb_randr_get_monitors(connection, root, 1), nullptr));
    if (!reply)
        return std::nullopt;
    std::vector<MonitorEntry> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& info = *it.data;
        monitors.push_back({info.name, info.x, info.y, info.width, info.height, info.primary != 0});
    }
    return monitors;
}

ScreenParametersSource::ScreenParametersSource(NotificationCenter& center, xcb_connection_t* connection,
                                               xcb_window_t root, std::chrono::milliseconds pollInterval)
    : m_center(center), m_connection(connection), m_root(root)
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::screenAdded, this, &ScreenParametersSource::screenAdded);
        connect(app, &QGuiApplication::screenRemoved, this, &ScreenParametersSource::screenChanged);
        connect(app, &QGuiApplication::primaryScreenChanged, this, &ScreenParametersSource::screenChanged);
        for (QScreen* screen : QGuiApplication::screens())
            watchScreen(screen);
    }

    if (!m_connection || !hasMonitorQuery(m_connection)) {
        logLine("Hushglass: RandR 1.5 is missing; monitor changes are followed through Qt's screens only");
        return;
    }
    m_monitors = queryMonitors(m_connection, m_root).value_or(std::vector<MonitorEntry>{});
    m_pollTimer.setInterval(pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &ScreenParametersSource::pollMonitors);
    m_pollTimer.start();
}

ScreenParametersSource::~ScreenParametersSource() = default;

void ScreenParametersSource::pollMonitors()
{
    // A failed query (the server busy or gone) says nothing about the monitors.
    std::optional<std::vector<MonitorEntry>> monitors = queryMonitors(m_connection, m_root);
    if (!monitors || *monitors == m_monitors)
        return;
    m_monitors = std::move(*monitors);
    post();
}

void ScreenParametersSource::screenAdded(QScreen* screen)
{
    watchScreen(screen);
    post();
}

void ScreenParametersSource::screenChanged()
{
    post();
}

void ScreenParametersSource::watchScreen(QScreen* screen)
{
    // Signals of a removed screen end with the QScreen itself.
    connect(screen, &QScreen::geometryChanged, this, &ScreenParametersSource::screenChanged);
    connect(screen, &QScreen::availableGeometryChanged, this, &ScreenParametersSource::screenChanged);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &ScreenParametersSource::screenChanged);
    connect(screen, &QScreen::physicalDotsPerInchChanged, this, &ScreenParametersSource::screenChanged);
    connect(screen, &QScreen::refreshRateChanged, this, &ScreenParametersSource::screenChanged);
    connect(screen, &QScreen::orientationChanged, this, &ScreenParametersSource::screenChanged);
}

void ScreenParametersSource::post()
{
    m_center.post(notifications::screenParametersChanged);
}

} // namespace hg
