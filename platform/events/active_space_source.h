// Posts `activeSpaceChanged` when the window manager switches the virtual
// desktop: a PropertyNotify of `_NET_CURRENT_DESKTOP` on the root whose value
// differs from the last one read (window managers may rewrite the property
// with the same desktop, which must not clear the pictures).
//
// At creation it adds the property-change mask to this client's event mask on
// the root (keeping what was selected already). Events arrive through Qt's
// native event filter in the program (`QCoreApplication::installNativeEventFilter`),
// or are handed to `handleEvent` by whoever reads the connection (tests).
//
// Owned by SystemEventSources; used on the main thread, posts on it.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <optional>
#include <xcb/xcb.h>

#include "base/notification_center.h"

namespace hg {

class ActiveSpaceSource final : public QAbstractNativeEventFilter {
public:
    ActiveSpaceSource(NotificationCenter& center, xcb_connection_t* connection, xcb_window_t root);

    // Looks at one event of the connection; posts when it switched the desktop.
    void handleEvent(const xcb_generic_event_t* event);

    // Never consumes the event: Qt and the other filters see it too.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The desktop number as last read; nullopt without a window manager that sets it.
    [[nodiscard]] std::optional<std::uint32_t> currentDesktop() const { return m_currentDesktop; }

private:
    std::optional<std::uint32_t> readCurrentDesktop() const;

    NotificationCenter& m_center;
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    xcb_atom_t m_currentDesktopAtom = XCB_ATOM_NONE;
    std::optional<std::uint32_t> m_currentDesktop;
};

} // namespace hg
