// The desktop ports of the privacy controller on Linux/X11: the program's own
// Qt windows, the pointer, monitor power (DPMS), the logind session's lock
// state and the screen saver.
//
// Created by the application on the main thread with Qt's X11 connection; used
// on the main thread only. A missing system bus, logind or screen-saver service
// is not an error: the answer is "no", and one line says so at creation.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <xcb/xcb.h>

#include "engine/controller/desktop_ports.h"

namespace hg {

class QtApplicationWindows final : public ApplicationWindows {
public:
    QtApplicationWindows(xcb_connection_t* connection, xcb_window_t root);
    std::vector<Window> windows() const override;
    bool hasKeyWindow() const override;
    std::int32_t processID() const override;
    std::optional<std::string> bundleIdentifier() const override;

private:
    // The root's child that holds `window` (the window manager's frame), or
    // `window` itself when it is not reparented.
    xcb_window_t frameOf(xcb_window_t window) const;

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

class X11Pointer final : public PointerSource {
public:
    X11Pointer(xcb_connection_t* connection, xcb_window_t root);
    std::optional<Point> location() override;

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

// DPMS covers the whole X screen: every monitor sleeps or none does.
class X11DisplayPower final : public DisplayPower {
public:
    explicit X11DisplayPower(xcb_connection_t* connection);
    bool isAsleep(std::uint32_t displayID) override;

private:
    xcb_connection_t* m_connection;
    bool m_hasDpms = false;
};

// The lock state comes from logind's session (`LockedHint`), the screen
// saver from the desktop's service (`GetActive`), else from the X server's
// screen saver. Both are looked for again when needed: the session, while not
// found, at a query once a wait has passed (1 s, doubling up to a minute) and
// at the next query after logind appears on the bus; the screen saver service
// at every query.
class LinuxSessionState final : public SessionState {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    LinuxSessionState(xcb_connection_t* connection, xcb_window_t root,
                      QDBusConnection systemBus = QDBusConnection::systemBus(),
                      QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                      Clock now = &std::chrono::steady_clock::now);
    ~LinuxSessionState() override;
    bool isLocked() override;
    bool screenSaverRunning() override;

private:
    // Asks logind for our session once its wait is over; true when it is known.
    bool findSession();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    QDBusConnection m_system;
    QDBusConnection m_sessionBus;
    Clock m_now;
    QString m_sessionPath;  // logind's object path of our session; empty while not found
    std::chrono::steady_clock::time_point m_nextLookup;
    std::chrono::milliseconds m_lookupWait{1000};
    std::unique_ptr<QObject> m_logindWatcher;  // ends the wait when logind appears
};

} // namespace hg
