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
#include <functional>
#include <optional>
#include <xcb/xcb.h>

#include "base/notification_center.h"

namespace hg {

class DisplayWakeSource final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    // Whether the monitors are off now (DPMS enabled and at standby, suspend or
    // off); nullopt when that cannot be read this time.
    using PowerReader = std::function<std::optional<bool>()>;

    DisplayWakeSource(NotificationCenter& center, xcb_connection_t* connection,
                      std::chrono::milliseconds pollInterval = kPollInterval);
    // Reads the power through `reader` (tests script it); polls only when the
    // interval is positive.
    DisplayWakeSource(NotificationCenter& center, PowerReader reader, std::chrono::milliseconds pollInterval);

    // Reads the monitors' power now; posts when they came back on since the
    // last read.
    void pollPower();

private:
    void startPolling(std::chrono::milliseconds interval);

    NotificationCenter& m_center;
    PowerReader m_monitorsOff;
    QTimer m_pollTimer;
    bool m_wasOff = false;
};

} // namespace hg
