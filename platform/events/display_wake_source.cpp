#include "platform/events/display_wake_source.h"

#include <cstdlib>
#include <memory>
#include <xcb/dpms.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

std::optional<bool> dpmsMonitorsOff(xcb_connection_t* connection)
{
    std::unique_ptr<xcb_dpms_info_reply_t, decltype(&std::free)> info(
        xcb_dpms_info_reply(connection, xcb_dpms_info(connection), nullptr), &std::free);
    if (!info)
        return std::nullopt;
    return info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON;
}

} // namespace

DisplayWakeSource::DisplayWakeSource(NotificationCenter& center, xcb_connection_t* connection,
                                     std::chrono::milliseconds pollInterval)
    : m_center(center)
{
    const auto* extension = connection ? xcb_get_extension_data(connection, &xcb_dpms_id) : nullptr;
    if (!extension || !extension->present) {
        logLine("Hushglass: DPMS is missing; monitors waking up are not noticed");
        return;
    }
    m_monitorsOff = [connection] { return dpmsMonitorsOff(connection); };
    startPolling(pollInterval);
}

DisplayWakeSource::DisplayWakeSource(NotificationCenter& center, PowerReader reader,
                                     std::chrono::milliseconds pollInterval)
    : m_center(center), m_monitorsOff(std::move(reader))
{
    startPolling(pollInterval);
}

void DisplayWakeSource::startPolling(std::chrono::milliseconds interval)
{
    m_wasOff = m_monitorsOff().value_or(false);
    if (interval.count() <= 0)
        return;
    m_pollTimer.setInterval(interval);
    connect(&m_pollTimer, &QTimer::timeout, this, &DisplayWakeSource::pollPower);
    m_pollTimer.start();
}

void DisplayWakeSource::pollPower()
{
    if (!m_monitorsOff)
        return;
    // A failed read says nothing: the next one decides.
    const std::optional<bool> off = m_monitorsOff();
    if (!off)
        return;
    const bool woke = m_wasOff && !*off;
    m_wasOff = *off;
    if (woke)
        m_center.post(notifications::screensDidWake);
}

} // namespace hg
