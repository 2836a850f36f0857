// Posts `screenParametersChanged` when the set, arrangement, size, scale or
// refresh rate of the screens may have changed.
//
// Two feeds: Qt's screen signals (when a QGuiApplication runs), and a re-read
// of the monitors once a second that posts when they differ from the last
// read. The re-read is needed because an X server may change its monitors
// without any RandR event (Xvfb after `xrandr --setmonitor`). The re-read goes
// through the application's X11Screens, so that the screens it hands out are
// current by the time the notification is heard; a Qt signal re-reads them
// too before posting. One change may be posted by both feeds; the observer
// debounces.
//
// Owned by SystemEventSources; lives on the main thread, posts on it.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

#include "base/notification_center.h"
#include "engine/windows/screens.h"

class QScreen;

namespace hg {

class ScreenParametersSource final : public QObject {
    Q_OBJECT
public:
    // Re-reads the monitors and returns the screens they make. The source
    // compares with what it saw last, so others may re-read them too.
    using MonitorRefresh = std::function<std::vector<Screen>()>;

    // The period of the monitor re-read; a change is noticed within it.
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    ScreenParametersSource(NotificationCenter& center, MonitorRefresh refresh,
                           std::chrono::milliseconds pollInterval = kPollInterval);

    // Re-reads the monitors now; posts when they differ from the last read.
    void pollMonitors();

private Q_SLOTS:
    void screenAdded(QScreen* screen);
    void screenChanged();

private:
    void watchScreen(QScreen* screen);

    NotificationCenter& m_center;
    MonitorRefresh m_refresh;
    std::vector<Screen> m_lastSeen;
    QTimer m_pollTimer;
};

} // namespace hg
