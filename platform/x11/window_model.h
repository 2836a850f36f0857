// The top-level windows of an X screen, kept up to date from the server's
// events instead of being read again for every question.
//
// The model listens on a connection of its own: on the root for its children
// being created, mapped, unmapped, moved, restacked, reparented and destroyed
// (SubstructureNotify) and for `_NET_CLIENT_LIST_STACKING`,
// `_NET_ACTIVE_WINDOW` and `_NET_CURRENT_DESKTOP` changing; on every managed
// client for its state, desktop, type, class and process properties. An event
// updates what it describes at once (geometry, order, mapped state) or marks
// what must be read again; the next `list` reads only that, in one batch (a
// new client: its details, its frame and its process together). A full read
// of the tree (`WindowListQuery::run`) happens only at the start, when an
// event cannot be followed (a client nested deeper in its frame, a read that
// failed) and, as the repair of an event that was lost, when the last full
// read is older than the fallback interval.
//
//     x11::WindowModel model(connection, root, {.nowNanos = uptime});
//     if (model.changeCount() != seen) use(model.list());
//
// Without a connection of its own (`eventConnection` null, or it failed)
// every `list` is a full read and every `changeCount` is new: the behaviour
// of a plain query.
//
// Thread-safe: the scan on a pool thread and the main thread share it; a
// mutex guards the state and is held during the reads of `list`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <xcb/xcb.h>

#include "platform/x11/atom_cache.h"
#include "platform/x11/window_list_query.h"

namespace hg::x11 {

class WindowModel {
public:
    struct Options {
        // Uptime in nanoseconds; the fallback read is timed with it.
        std::function<std::uint64_t()> nowNanos;
        // A full read repairs what a lost event left wrong at most this long after.
        std::uint64_t fullReadIntervalNanos = 1'000'000'000;
        // Whether the X-Resource extension is asked for the process of a
        // window that names none (see `WindowListQuery::setAskServerForProcesses`).
        bool askServerForProcesses = true;
    };

    // With `followEvents` the model owns `connection` from now on (it selects
    // events on it and closes it at the end); without, it only reads through
    // it and every list is a full read.
    WindowModel(xcb_connection_t* connection, xcb_window_t root, Options options, bool followEvents);
    ~WindowModel();
    WindowModel(const WindowModel&) = delete;
    WindowModel& operator=(const WindowModel&) = delete;

    // A model on a connection of its own to `displayName`, or one without
    // events over `fallback` when no name is given or the connection fails.
    [[nodiscard]] static std::shared_ptr<WindowModel> connect(const std::string& displayName,
                                                              xcb_connection_t* fallback, xcb_window_t root,
                                                              Options options);

    // The windows, front-most first, brought up to date; nullopt when the
    // tree cannot be read.
    [[nodiscard]] std::optional<WindowList> list();
    // Takes the events that arrived and answers a number that changes
    // whenever the list may have changed since. Cheap: no round trip.
    [[nodiscard]] std::uint64_t changeCount();
    // Takes the events that arrived and reads at once what they name, so that
    // the next `list` has nothing to wait for; for whoever watches the
    // connection (`fileDescriptor`) between frames.
    void pump();
    // Tells that `pump` is called whenever the connection has data to read:
    // the other calls then take only what the connection has already read,
    // without a system call each.
    void setWatched(bool watched);
    // True when `list` can answer from memory, without a round trip.
    [[nodiscard]] bool answersWithoutWaiting();
    // The event connection's socket, to watch for events; -1 without events.
    [[nodiscard]] int fileDescriptor() const;
    // A number that changes whenever `_NET_ACTIVE_WINDOW` was set.
    [[nodiscard]] std::uint64_t activationCount();

    // Whether the model follows events (false: every list is a full read).
    [[nodiscard]] bool followsEvents() const { return m_events != nullptr; }
    // The connection the model reads with.
    [[nodiscard]] xcb_connection_t* connection() const { return m_connection; }
    [[nodiscard]] AtomCache& atoms() { return *m_atoms; }

    struct Counts {
        std::uint64_t fullReads = 0;     // reads of the whole tree
        std::uint64_t partialReads = 0;  // batches that read only what events named
    };
    [[nodiscard]] Counts counts() const;

    // For tests: the connection without events, to plant a lost event.
    void dropEventsForTesting();

private:
    struct Child {
        xcb_window_t id = XCB_WINDOW_NONE;
        bool viewable = false;
        bool overrideRedirect = false;
        bool geometryKnown = false;
        std::int32_t x = 0, y = 0;
        std::uint32_t width = 0, height = 0;
    };

    // Handles the events that arrived; with `fromSocket` false (a watched
    // connection) only those the connection has read already.
    void takeEvents(bool fromSocket = true);
    void handleEvent(const xcb_generic_event_t* event);
    void update();
    [[nodiscard]] bool dirty() const;
    void fullRead();
    void partialRead();
    void noteUndescribedChildren();
    [[nodiscard]] WindowList assemble() const;
    void selectClient(xcb_window_t client);
    void bump() { ++m_changes; }

    [[nodiscard]] Child* child(xcb_window_t id);
    void eraseChild(xcb_window_t id);
    void placeAbove(xcb_window_t id, xcb_window_t sibling);

    xcb_connection_t* m_events;      // owned; nullptr without events
    xcb_connection_t* m_connection;  // what reads go through
    xcb_window_t m_root;
    Options m_options;
    std::unique_ptr<AtomCache> m_atoms;
    std::unique_ptr<WindowListQuery> m_query;

    mutable std::mutex m_mutex;
    bool m_needsFullRead = true;
    bool m_readFailed = false;
    std::uint64_t m_lastFullRead = 0;
    std::uint64_t m_changes = 1;
    std::uint64_t m_activations = 0;
    Counts m_counts;

    std::vector<Child> m_children;  // bottom to top
    std::vector<xcb_window_t> m_clients;  // the window manager's, bottom to top
    bool m_hasWindowManager = false;
    std::optional<std::uint32_t> m_currentDesktop;
    xcb_window_t m_activeClient = XCB_WINDOW_NONE;
    std::uint32_t m_rootWidth = 0, m_rootHeight = 0;
    // Managed clients by client, other described windows by their root child.
    std::unordered_map<xcb_window_t, TopLevelWindow> m_windows;

    bool m_stackingDirty = false, m_activeDirty = false, m_desktopDirty = false;
    std::unordered_set<xcb_window_t> m_stateDirty;    // state and desktop
    std::unordered_set<xcb_window_t> m_detailsDirty;  // everything they name
    std::unordered_set<xcb_window_t> m_geometryDirty; // root children of unknown geometry

    bool m_watched = false;
    bool m_discardStale = false;      // events before `m_freshFrom` describe what the read saw
    std::uint16_t m_freshFrom = 0;

    std::optional<WindowList> m_assembled;
    std::uint64_t m_assembledAt = 0;  // m_changes when m_assembled was made
};

} // namespace hg::x11
