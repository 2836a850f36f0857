#include "platform/events/screen_parameters_source.h"

#include <QGuiApplication>
#include <QScreen>

#include "engine/controller/system_notifications.h"

namespace hg {

ScreenParametersSource::ScreenParametersSource(NotificationCenter& center, MonitorRefresh refresh,
                                               std::chrono::milliseconds pollInterval)
    : m_center(center), m_refresh(std::move(refresh))
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::screenAdded, this, &ScreenParametersSource::screenAdded);
        connect(app, &QGuiApplication::screenRemoved, this, &ScreenParametersSource::screenChanged);
        connect(app, &QGuiApplication::primaryScreenChanged, this, &ScreenParametersSource::screenChanged);
        for (QScreen* screen : QGuiApplication::screens())
            watchScreen(screen);
    }
    if (!m_refresh)
        return;
    m_lastSeen = m_refresh();
    m_pollTimer.setInterval(pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &ScreenParametersSource::pollMonitors);
    m_pollTimer.start();
}

void ScreenParametersSource::pollMonitors()
{
    if (!m_refresh)
        return;
    std::vector<Screen> screens = m_refresh();
    if (screens == m_lastSeen)
        return;
    m_lastSeen = std::move(screens);
    m_center.post(notifications::screenParametersChanged);
}

void ScreenParametersSource::screenAdded(QScreen* screen)
{
    watchScreen(screen);
    screenChanged();
}

void ScreenParametersSource::screenChanged()
{
    // Qt may know of a change (a scale, a refresh rate) the monitors do not
    // show: post either way, after the re-read.
    if (m_refresh)
        m_lastSeen = m_refresh();
    m_center.post(notifications::screenParametersChanged);
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

} // namespace hg
