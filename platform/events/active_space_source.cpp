#include "platform/events/active_space_source.h"

#include <QByteArray>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

constexpr char kCurrentDesktop[] = "_NET_CURRENT_DESKTOP";

} // namespace

ActiveSpaceSource::ActiveSpaceSource(NotificationCenter& center, xcb_connection_t* connection, xcb_window_t root)
    : m_center(center), m_connection(connection), m_root(root)
{
    const auto atomCookie = xcb_intern_atom(m_connection, 0, std::strlen(kCurrentDesktop), kCurrentDesktop);
    const auto attributesCookie = xcb_get_window_attributes(m_connection, m_root);
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(m_connection, atomCookie, nullptr));
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_connection, attributesCookie, nullptr));
    if (atom)
        m_currentDesktopAtom = atom->atom;

    // Selecting replaces this client's mask on the root, so keep the old bits.
    const std::uint32_t mask = (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    m_currentDesktop = readCurrentDesktop();
    xcb_flush(m_connection);
}

void ActiveSpaceSource::handleEvent(const xcb_generic_event_t* event)
{
    if (!event || (event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return;
    const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (notify->window != m_root || notify->atom != m_currentDesktopAtom || m_currentDesktopAtom == XCB_ATOM_NONE)
        return;
    const std::optional<std::uint32_t> desktop = readCurrentDesktop();
    if (!desktop || desktop == m_currentDesktop)
        return;
    m_currentDesktop = desktop;
    m_center.post(notifications::activeSpaceChanged);
}

bool ActiveSpaceSource::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType == "xcb_generic_event_t")
        handleEvent(static_cast<const xcb_generic_event_t*>(message));
    return false;
}

std::optional<std::uint32_t> ActiveSpaceSource::readCurrentDesktop() const
{
    if (m_currentDesktopAtom == XCB_ATOM_NONE)
        return std::nullopt;
    Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, m_root, m_currentDesktopAtom, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 4)
        return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(property.get()), sizeof value);
    return value;
}

} // namespace hg
