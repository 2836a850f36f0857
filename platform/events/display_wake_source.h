// Posts `screensDidWake` when the monitors are powered on again after the
// power manager blanked them: DPMS is polled once a second (the extension has
// no events) and the change from any off level (standby, suspend, off) back to
// on is posted once.
//
// Owned by SystemEventSources; lives on the main thread, posts on it. Without
// the DPMS extension it logs one line at creation and stays silent.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>
#include <xcb/xcb.h>

#include "base/notification_center.h"

namespace hg {

class DisplayWakeSource final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    DisplayWakeSource(NotificationCenter& center, xcb_connection_t* connection,
                      std::chrono::milliseconds pollInterval = kPollInterval);

    // Reads the monitors' power now; posts when they came back on since the
    // last read.
    void pollPower();

private:
    // True when DPMS is enabled and the level is not on; nullopt when the
    // request failed.
    std::optional<bool> monitorsOff() const;

    NotificationCenter& m_center;
    xcb_connection_t* m_connection;
    QTimer m_pollTimer;
    bool m_wasOff = false;
};

} // namespace hg
