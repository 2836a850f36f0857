// The top-level windows of an X screen with what the rest of the program needs
// to know about each, fetched in a few batches of pipelined requests.
//
// A scan sends every request of a stage before it waits for the first reply,
// so its cost is a handful of round trips however many windows there are:
//   1. the root's children (the true stacking order) and its EWMH lists;
//   2. each root child's attributes and geometry, each managed client's parent
//      and properties;
//   3. only when needed: the properties of shown override-redirect windows
//      (menus, tooltips) and the X-Resource process of windows without
//      `_NET_WM_PID`;
//   and one more stage per extra level of frame nesting, which openbox and
//   most window managers do not use. On an unchanged desktop a scan is two
//   round trips.
//
// Windows that vanish during the scan answer with errors, which are swallowed:
// a window whose frame cannot be found is left out, a missing property stays
// absent.
//
// What a managed window sets before it is mapped and keeps for its life (its
// process, types, identifiers, transient owner, and the frame the window
// manager put it in) is read once and remembered while the window stays in
// the window manager's list, so that a scan of an unchanged desktop asks each
// window only for its state and desktop. A frame that is no longer a root child
// (the window manager restarted) is looked up again.
//
// `run` may be called from several threads at once on one (thread-safe) xcb
// connection; the remembered details are guarded by a mutex.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <xcb/xcb.h>

#include "platform/x11/atom_cache.h"
#include "platform/x11/properties.h"

namespace hg::x11 {

struct DetailRequests;

struct TopLevelWindow {
    xcb_window_t frame = XCB_WINDOW_NONE;   // the root child: what is stacked and composited
    xcb_window_t client = XCB_WINDOW_NONE;  // the application's window in it (the frame itself when not reparented)
    bool managed = false;                   // listed by the window manager
    bool overrideRedirect = false;
    bool viewable = false;                  // the frame is mapped (and so shown, unless covered)
    // Outer frame geometry in root coordinates, pixels, border included.
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::optional<std::uint32_t> pid;           // `_NET_WM_PID`, else the X-Resource client PID
    std::optional<std::uint32_t> desktop;       // `_NET_WM_DESKTOP`; 0xFFFFFFFF on every desktop
    std::vector<xcb_atom_t> types;              // `_NET_WM_WINDOW_TYPE`, most specific first
    std::vector<xcb_atom_t> states;             // `_NET_WM_STATE`
    std::optional<std::string> desktopEntry;    // `_GTK_APPLICATION_ID`, else `_KDE_NET_WM_DESKTOP_FILE`
    std::optional<WmClass> wmClass;             // `WM_CLASS`
    // `WM_TRANSIENT_FOR`; none also when it names the root (transient for the
    // application's whole group of windows).
    xcb_window_t transientFor = XCB_WINDOW_NONE;
    // Carries Hushglass's overlay marker (read for windows that are not the
    // window manager's clients).
    bool ownOverlay = false;
    // What tells the window as shown apart from its frame (see
    // `trimToShownArea`): the client's place in its parent, border included,
    // and the margins around it that the window manager draws
    // (`_NET_FRAME_EXTENTS`) and that the client leaves transparent for its
    // own shadow (`_GTK_FRAME_EXTENTS`), left, right, top, bottom.
    struct ClientPlace {
        xcb_window_t parent = XCB_WINDOW_NONE;
        std::int32_t x = 0, y = 0;
        std::uint32_t width = 0, height = 0;
        friend bool operator==(const ClientPlace&, const ClientPlace&) = default;
    };
    std::optional<ClientPlace> clientPlace;
    std::vector<std::uint32_t> frameExtents;
    std::vector<std::uint32_t> shadowExtents;

    friend bool operator==(const TopLevelWindow&, const TopLevelWindow&) = default;
};

// Narrows a window's geometry from its frame to the window as shown: some
// window managers' frames carry invisible resize borders (Mutter: 10 pixels
// around every window), and a client that draws its own decorations leaves a
// transparent margin for its shadow (GTK: tens of pixels). Both would show
// what lies beneath them through a hole cut for the window. Never grows the
// frame; a client nested deeper than its frame keeps the frame's geometry.
void trimToShownArea(TopLevelWindow& window);

// A child of the root as the read found it, listed or not.
struct RootChild {
    xcb_window_t id = XCB_WINDOW_NONE;
    bool viewable = false;
    bool overrideRedirect = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint32_t width = 0;   // border included
    std::uint32_t height = 0;
};

// Puts a listed window at its frame, the root child that is stacked and
// composited: its geometry (the window as shown, see `trimToShownArea`), its
// shown state, and whether it is a pop-up.
void placeInFrame(TopLevelWindow& window, const RootChild& frame);

struct WindowList {
    std::vector<TopLevelWindow> windows;        // front-most first
    bool hasWindowManager = false;              // `_NET_CLIENT_LIST_STACKING` exists on the root
    std::optional<std::uint32_t> currentDesktop;  // `_NET_CURRENT_DESKTOP`
    xcb_window_t activeClient = XCB_WINDOW_NONE;  // `_NET_ACTIVE_WINDOW`
    int roundTrips = 0;                         // stages that waited for replies
    // Only from `run`: every root child, bottom to top; the window manager's
    // clients, bottom to top; the root's size in pixels.
    std::vector<RootChild> children;
    std::vector<xcb_window_t> clients;
    std::uint32_t rootWidth = 0;
    std::uint32_t rootHeight = 0;
};

class WindowListQuery {
public:
    // Interns the atoms it reads (one round trip, the first time per cache).
    WindowListQuery(xcb_connection_t* connection, xcb_window_t root, AtomCache& atoms);

    // The windows, or nullopt when the root's tree cannot be read (the
    // connection has failed). Blocks for the round trips described above.
    [[nodiscard]] std::optional<WindowList> run() const;

    // Whether windows that do not name their process are looked up with the
    // X-Resource extension (true); tests turn it off to stand for a server
    // that cannot tell a remote client's process.
    void setAskServerForProcesses(bool ask) { m_askServerForProcesses = ask; }
    [[nodiscard]] bool asksServerForProcesses() const { return m_askServerForProcesses; }

    // Atoms the decoders of `TopLevelWindow::types` and `states` compare with.
    [[nodiscard]] AtomCache& atoms() const { return m_atomCache; }

    struct Atoms {
        xcb_atom_t clientListStacking, currentDesktop, activeWindow;
        xcb_atom_t wmPid, wmWindowType, wmState, wmDesktop, gtkApplicationId, kdeDesktopFile;
        xcb_atom_t overlayMarker;
        xcb_atom_t frameExtents, gtkFrameExtents;
    };

    // The atoms it reads, for readers of single windows.
    [[nodiscard]] const Atoms& atomsRead() const { return m_atoms; }

    // The remembered part of a managed window.
    struct StableDetails {
        std::optional<std::uint32_t> pid;
        std::vector<xcb_atom_t> types;
        std::optional<std::string> desktopEntry;
        std::optional<WmClass> wmClass;
        xcb_window_t transientFor = XCB_WINDOW_NONE;
        xcb_window_t frame = XCB_WINDOW_NONE;
        bool ownOverlay = false;
    };
    using StableCache = std::unordered_map<xcb_window_t, StableDetails>;

private:
    void remember(const WindowList& list, const std::vector<xcb_window_t>& clients) const;
    void forgetRootTransients(WindowList& list) const;

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    AtomCache& m_atomCache;
    Atoms m_atoms{};
    bool m_askServerForProcesses = true;
    mutable std::mutex m_cacheMutex;  // guards m_stable
    mutable StableCache m_stable;
};

} // namespace hg::x11
