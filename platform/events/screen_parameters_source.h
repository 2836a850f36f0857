// Posts `screenParametersChanged` when the set, arrangement, size, scale or
// refresh rate of the screens may have changed.
//
// Two feeds: Qt's screen signals (when a QGuiApplication runs), and a re-query
// of the RandR monitors once a second that posts when the list of monitors
// (names and rectangles) differs from the last one. The re-query is needed
// because an X server may change its monitors without any RandR event (Xvfb
// after `xrandr --setmonitor`). One change may be posted by both feeds; the
// observer debounces.
//
// Owned by SystemEventSources; lives on the main thread, posts on it.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

#include "base/notification_center.h"

class QScreen;

namespace hg {

struct MonitorEntry {
    xcb_atom_t name = XCB_ATOM_NONE;  // the monitor's name as an atom ("DP-1")
    std::int16_t x = 0;               // root coordinates, pixels
    std::int16_t y = 0;
    std::uint16_t width = 0;          // pixels
    std::uint16_t height = 0;
    bool primary = false;
    friend bool operator==(const MonitorEntry&, const MonitorEntry&) = default;
};

// The active RandR monitors of `root` in the server's order; nullopt when the
// server has no RandR 1.5 or the request failed.
std::optional<std::vector<MonitorEntry>> queryMonitors(xcb_connection_t* connection, xcb_window_t root);

class ScreenParametersSource final : public QObject {
    Q_OBJECT
public:
    // The period of the monitor re-query; a change is noticed within it.
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    ScreenParametersSource(NotificationCenter& center, xcb_connection_t* connection, xcb_window_t root,
                           std::chrono::milliseconds pollInterval = kPollInterval);
    ~ScreenParametersSource() override;

    // Re-queries the monitors now; posts when they changed since the last query.
    void pollMonitors();

private Q_SLOTS:
    void screenAdded(QScreen* screen);
    void screenChanged();

private:
    void watchScreen(QScreen* screen);
    void post();

    NotificationCenter& m_center;
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    QTimer m_pollTimer;
    std::vector<MonitorEntry> m_monitors;  // as of the last query
};

} // namespace hg
