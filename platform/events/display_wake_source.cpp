#include "platform/events/display_wake_source.h"

#include <cstdlib>
#include <memory>
#include <xcb/dpms.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {

DisplayWakeSource::DisplayWakeSource(NotificationCenter& center, xcb_connection_t* connection,
                                     std::chrono::milliseconds pollInterval)
    : m_center(center), m_connection(connection)
{
    const auto* extension = m_connection ? xcb_get_extension_data(m_connection, &xcb_dpms_id) : nullptr;
    if (!extension || !extension->present) {
        logLine("Hushglass: DPMS is missing; monitors waking up are not noticed");
        return;
    }
    m_wasOff = monitorsOff().value_or(false);
    m_pollTimer.setInterval(pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &DisplayWakeSource::pollPower);
    m_pollTimer.start();
}

void DisplayWakeSource::pollPower()
{
    const std::optional<bool> off = monitorsOff();
    if (!off)
        return;
    const bool woke = m_wasOff && !*off;
    m_wasOff = *off;
    if (woke)
        m_center.post(notifications::screensDidWake);
}

std::optional<bool> DisplayWakeSource::monitorsOff() const
{
    std::unique_ptr<xcb_dpms_info_reply_t, decltype(&std::free)> info(
        xcb_dpms_info_reply(m_connection, xcb_dpms_info(m_connection), nullptr), &std::free);
    if (!info)
        return std::nullopt;
    return info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON;
}

} // namespace hg
