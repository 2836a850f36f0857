// The window server on X11: the top-level windows front-most first, each as
// the window scanner reads it, and the application identifier of a process.
//
// A window is its frame (the root child the window manager put the client in,
// which is what is stacked and composited): `windowNumber` is the frame, the
// bounds are the frame's outer rectangle in root coordinates (pixels, taken as
// points), the process comes from `_NET_WM_PID` or else the X-Resource
// extension, and a window whose process cannot be found (a remote client)
// gets a negative stand-in, one per X client, so that it stays listed and can
// take the focus. A window is on screen when its frame is viewable, it is on the
// current desktop and not hidden (minimised). An application's identifier is
// its desktop-entry id where a window names one (`_GTK_APPLICATION_ID`,
// `_KDE_NET_WM_DESKTOP_FILE`), else its `WM_CLASS` class.
//
// Everything is answered from one window model (platform/x11/window_model.h),
// which follows the server's events on a connection of its own and is shared
// with the workspace, the overlay stacking and the capture service: a list
// asked for when nothing changed costs no round trip.
//
// Owned by the application. Thread-safe: the scan calls it from a pool thread
// (xcb connections are thread-safe), the workspace from the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include <QSocketNotifier>
#include <xcb/xcb.h>

#include "engine/windows/window_server.h"
#include "platform/windows/window_layer.h"
#include "platform/x11/atom_cache.h"
#include "platform/x11/window_list_query.h"
#include "platform/x11/window_model.h"

namespace hg {

class X11WindowServer final : public WindowServer {
public:
    // `connection` stays owned by the caller and must outlive this object.
    // The model listens on a connection of its own to `displayName` (the
    // display `connection` is open on); without one it reads the whole tree
    // for every list.
    // `askServerForProcesses` false stands for a server that cannot name a
    // remote client's process (tests).
    X11WindowServer(xcb_connection_t* connection, xcb_window_t root, const std::string& displayName = {},
                    bool askServerForProcesses = true);
    ~X11WindowServer() override;

    std::optional<std::vector<WindowInfoEntry>> windowList(WindowListOption options) override;
    std::optional<std::uint64_t> changeCount() override;
    bool answersWithoutWaiting() override { return m_model->answersWithoutWaiting(); }
    // Answered from the latest window list; nullopt for a process that showed
    // no window in it or whose windows name no identifier.
    std::optional<std::string> bundleIdentifier(std::int32_t pid) override;

    // The top-level windows, front-most first, as the model has them now;
    // also refreshes the identifiers `bundleIdentifier` answers with.
    [[nodiscard]] std::optional<x11::WindowList> query();
    [[nodiscard]] const std::shared_ptr<x11::WindowModel>& model() const { return m_model; }
    // Called on the main thread when events that arrived changed the window
    // list or named a new active window (only where the model's socket is
    // watched under the event loop).
    void setChangeHandler(std::function<void()> handler) { *m_changeHandler = std::move(handler); }
    // A window's process, or the stand-in of a window whose process is unknown.
    [[nodiscard]] std::int32_t processOf(const x11::TopLevelWindow& window) const;

    // On screen: viewable, on the current desktop and not minimised.
    [[nodiscard]] bool isOnScreen(const x11::TopLevelWindow& window, std::optional<std::uint32_t> currentDesktop) const;
    [[nodiscard]] const WindowKindAtoms& kinds() const { return m_kinds; }
    [[nodiscard]] xcb_connection_t* connection() const { return m_connection; }
    [[nodiscard]] xcb_window_t root() const { return m_root; }

    // The identifier a window names for its application, if any.
    [[nodiscard]] static std::optional<std::string> applicationIdentifier(const x11::TopLevelWindow& window);

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::shared_ptr<x11::WindowModel> m_model;
    std::shared_ptr<std::function<void()>> m_changeHandler = std::make_shared<std::function<void()>>();
    // Takes the model's events as they come, between frames (with a Qt event loop).
    std::unique_ptr<QSocketNotifier> m_notifier;
    x11::AtomCache m_atoms;
    WindowKindAtoms m_kinds;

    std::mutex m_mutex;  // guards m_identifiers
    std::unordered_map<std::int32_t, std::string> m_identifiers;
};

} // namespace hg
