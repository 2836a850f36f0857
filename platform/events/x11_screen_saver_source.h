// Posts `screenSaverDidStart` and `screenSaverDidStop` for the X server's own
// screen saver (MIT-SCREEN-SAVER), which runs where no desktop service does:
// the server blanks the screen after its timeout, or on `xset s activate`.
// Desktops that run a screen saver service usually disable this one; when
// both run, the observer's confirmation against the session decides.
//
// At creation it asks the server for the screen saver's notify events on the
// root. Events arrive through Qt's native event filter in the program, or are
// handed to `handleEvent` by whoever reads the connection (tests). Without the
// extension it logs one line and stays silent.
//
// Owned by SystemEventSources; used on the main thread, posts on it.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <xcb/xcb.h>

#include "base/notification_center.h"

namespace hg {

class X11ScreenSaverSource final : public QAbstractNativeEventFilter {
public:
    X11ScreenSaverSource(NotificationCenter& center, xcb_connection_t* connection, xcb_window_t root);

    // Looks at one event of the connection; posts when the screen saver started
    // or stopped (once each: repeated notifies of one state are not posted).
    void handleEvent(const xcb_generic_event_t* event);

    // Never consumes the event.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    NotificationCenter& m_center;
    xcb_window_t m_root;
    std::uint8_t m_notifyType = 0;  // the event code of ScreenSaverNotify; 0 without the extension
    bool m_active = false;
};

} // namespace hg
