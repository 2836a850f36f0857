#include "platform/events/x11_screen_saver_source.h"

#include <QByteArray>
#include <cstdlib>
#include <memory>
#include <xcb/screensaver.h>

#include "base/log.h"
#include "engine/controller/system_notifications.h"

namespace hg {

X11ScreenSaverSource::X11ScreenSaverSource(NotificationCenter& center, xcb_connection_t* connection,
                                           xcb_window_t root)
    : m_center(center), m_root(root)
{
    const auto* extension = connection ? xcb_get_extension_data(connection, &xcb_screensaver_id) : nullptr;
    if (!extension || !extension->present) {
        logLine("Hushglass: MIT-SCREEN-SAVER is missing; the X screen saver is not noticed");
        return;
    }
    m_notifyType = extension->first_event + XCB_SCREENSAVER_NOTIFY;
    xcb_screensaver_select_input(connection, root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
    std::unique_ptr<xcb_screensaver_query_info_reply_t, decltype(&std::free)> info(
        xcb_screensaver_query_info_reply(connection, xcb_screensaver_query_info(connection, root), nullptr),
        &std::free);
    m_active = info && info->state == XCB_SCREENSAVER_STATE_ON;
    xcb_flush(connection);
}

void X11ScreenSaverSource::handleEvent(const xcb_generic_event_t* event)
{
    if (!event || m_notifyType == 0 || (event->response_type & 0x7f) != m_notifyType)
        return;
    const auto* notify = reinterpret_cast<const xcb_screensaver_notify_event_t*>(event);
    if (notify->root != m_root)
        return;
    // Cycle notifies come while it runs; disabled says nothing about running.
    if (notify->state == XCB_SCREENSAVER_STATE_ON && !m_active) {
        m_active = true;
        m_center.post(notifications::screenSaverDidStart);
    } else if (notify->state == XCB_SCREENSAVER_STATE_OFF && m_active) {
        m_active = false;
        m_center.post(notifications::screenSaverDidStop);
    }
}

bool X11ScreenSaverSource::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType == "xcb_generic_event_t")
        handleEvent(static_cast<const xcb_generic_event_t*>(message));
    return false;
}

} // namespace hg
