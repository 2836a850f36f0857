#include "platform/x11/window_list_query.h"

#include <algorithm>

#include <unordered_map>
#include <unordered_set>

#include "platform/x11/own_windows.h"
#include "platform/x11/window_details.h"

namespace hg::x11 {

namespace {

using TreeReply = PendingReply<xcb_query_tree_cookie_t, xcb_query_tree_reply_t>;
using AttributesReply = PendingReply<xcb_get_window_attributes_cookie_t, xcb_get_window_attributes_reply_t>;
using GeometryReply = PendingReply<xcb_get_geometry_cookie_t, xcb_get_geometry_reply_t>;

// Frame nesting deeper than this is not followed: no window manager nests so deep.
constexpr int kMaximumFrameDepth = 8;

struct RootState {
    xcb_window_t root = XCB_WINDOW_NONE;
    std::vector<xcb_window_t> children;  // bottom to top
    std::vector<xcb_window_t> clients;   // the window manager's, bottom to top
    bool hasWindowManager = false;
    std::optional<std::uint32_t> currentDesktop;
    xcb_window_t activeClient = XCB_WINDOW_NONE;
};

struct ChildState {
    bool viewable = false;
    bool overrideRedirect = false;
    bool known = false;  // the child still existed at stage 2
    std::int32_t x = 0, y = 0;
    std::uint32_t width = 0, height = 0;
};

} // namespace

WindowListQuery::WindowListQuery(xcb_connection_t* connection, xcb_window_t root, AtomCache& atoms)
    : m_connection(connection), m_root(root), m_atomCache(atoms)
{
    atoms.intern({"_NET_CLIENT_LIST_STACKING", "_NET_CURRENT_DESKTOP", "_NET_ACTIVE_WINDOW", "_NET_WM_PID",
                  "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_NET_WM_DESKTOP", "_GTK_APPLICATION_ID",
                  "_KDE_NET_WM_DESKTOP_FILE", kOwnOverlayMarker, "_NET_FRAME_EXTENTS", "_GTK_FRAME_EXTENTS"});
    m_atoms = {atoms["_NET_CLIENT_LIST_STACKING"], atoms["_NET_CURRENT_DESKTOP"], atoms["_NET_ACTIVE_WINDOW"],
               atoms["_NET_WM_PID"], atoms["_NET_WM_WINDOW_TYPE"], atoms["_NET_WM_STATE"],
               atoms["_NET_WM_DESKTOP"], atoms["_GTK_APPLICATION_ID"], atoms["_KDE_NET_WM_DESKTOP_FILE"],
               atoms[kOwnOverlayMarker], atoms["_NET_FRAME_EXTENTS"], atoms["_GTK_FRAME_EXTENTS"]};
}

namespace {

// The root's EWMH lists and, unless `withoutTree`, its children.
std::optional<RootState> readRoot(xcb_connection_t* c, xcb_window_t root, const WindowListQuery::Atoms& a,
                                  bool withoutTree = false)
{
    TreeReply tree;
    if (!withoutTree)
        tree = TreeReply(c, xcb_query_tree(c, root), xcb_query_tree_reply);
    // A desktop has tens of managed windows, not thousands: a list of 100,000
    // bogus ids costs at most this many per scan until the window manager
    // rewrites it.
    constexpr std::uint32_t kMostClients = 4096;
    PropertyReply stacking = requestProperty(c, root, a.clientListStacking, XCB_ATOM_WINDOW, kMostClients);
    PropertyReply desktop = requestProperty(c, root, a.currentDesktop, XCB_ATOM_CARDINAL, 1);
    PropertyReply active = requestProperty(c, root, a.activeWindow, XCB_ATOM_WINDOW, 1);

    RootState state;
    state.root = root;
    if (!withoutTree) {
        XReply<xcb_query_tree_reply_t> treeReply = tree.take();
        if (!treeReply)
            return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(treeReply.get());
        state.children.assign(children, children + xcb_query_tree_children_length(treeReply.get()));
    }
    XReply<xcb_get_property_reply_t> stackingReply = stacking.take();
    state.hasWindowManager = propertyExists(stackingReply.get());
    state.clients = values32(stackingReply.get());
    state.currentDesktop = firstValue(desktop.take().get());
    state.activeClient = firstValue(active.take().get()).value_or(XCB_WINDOW_NONE);
    return state;
}

std::vector<ChildState> readChildren(const std::vector<xcb_window_t>& children,
                                     std::vector<AttributesReply>& attributes, std::vector<GeometryReply>& geometry)
{
    std::vector<ChildState> states(children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        XReply<xcb_get_window_attributes_reply_t> a = attributes[i].take();
        XReply<xcb_get_geometry_reply_t> g = geometry[i].take();
        if (!a || !g)
            continue;
        states[i] = {a->map_state == XCB_MAP_STATE_VIEWABLE, a->override_redirect != 0, true, g->x, g->y,
                     g->width + 2u * g->border_width, g->height + 2u * g->border_width};
    }
    return states;
}

// Follows parents upwards until each window reaches a child of the root; the
// root child is its frame. Each level costs one batch. Frames of windows that
// vanished stay XCB_WINDOW_NONE.
std::vector<xcb_window_t> findFrames(xcb_connection_t* c, xcb_window_t root,
                                     const std::unordered_map<xcb_window_t, std::size_t>& rootChildren,
                                     const std::vector<xcb_window_t>& parents,
                                     const std::vector<xcb_window_t>& clients, int& roundTrips)
{
    std::vector<xcb_window_t> frames(clients.size(), XCB_WINDOW_NONE);
    std::vector<xcb_window_t> current = clients;
    std::vector<xcb_window_t> parent = parents;
    for (int depth = 0; depth < kMaximumFrameDepth; ++depth) {
        std::vector<std::pair<std::size_t, TreeReply>> pending;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            if (frames[i] != XCB_WINDOW_NONE || parent[i] == XCB_WINDOW_NONE)
                continue;
            if (parent[i] == root) {
                frames[i] = current[i];
                continue;
            }
            if (rootChildren.count(parent[i])) {
                frames[i] = parent[i];
                continue;
            }
            current[i] = parent[i];
            pending.emplace_back(i, TreeReply(c, xcb_query_tree(c, current[i]), xcb_query_tree_reply));
        }
        if (pending.empty())
            break;
        ++roundTrips;
        for (auto& [i, tree] : pending) {
            XReply<xcb_query_tree_reply_t> reply = tree.take();
            parent[i] = reply ? reply->parent : xcb_window_t{XCB_WINDOW_NONE};
        }
    }
    return frames;
}

} // namespace

namespace {

// What stage 2 learns: the root children's state and, for managed clients
// (or, without a window manager, for every root child), parents and details.
struct Stage2 {
    std::vector<ChildState> children;
    std::uint32_t rootWidth = 0, rootHeight = 0;  // pixels
    std::vector<xcb_window_t> parents;  // of the managed clients
    std::vector<TopLevelWindow> details;  // per managed client, or per root child without a window manager
};

Stage2 readStage2(xcb_connection_t* c, const RootState& root, const WindowListQuery::Atoms& a,
                  const WindowListQuery::StableCache& known)
{
    GeometryReply rootSize(c, xcb_get_geometry(c, root.root), xcb_get_geometry_reply);
    std::vector<AttributesReply> attributes;
    std::vector<GeometryReply> geometry;
    for (xcb_window_t w : root.children) {
        attributes.emplace_back(c, xcb_get_window_attributes(c, w), xcb_get_window_attributes_reply);
        geometry.emplace_back(c, xcb_get_geometry(c, w), xcb_get_geometry_reply);
    }
    const std::vector<xcb_window_t>& described = root.hasWindowManager ? root.clients : root.children;
    std::vector<TreeReply> trees;
    std::vector<DetailRequests> details;
    std::vector<const WindowListQuery::StableDetails*> stable;
    for (xcb_window_t w : described) {
        auto it = root.hasWindowManager ? known.find(w) : known.end();
        stable.push_back(it == known.end() ? nullptr : &it->second);
        if (root.hasWindowManager && !stable.back())
            trees.emplace_back(c, xcb_query_tree(c, w), xcb_query_tree_reply);
        else
            trees.emplace_back();
        details.push_back(requestDetails(c, w, a, stable.back() != nullptr));
    }

    Stage2 stage;
    stage.children = readChildren(root.children, attributes, geometry);
    if (XReply<xcb_get_geometry_reply_t> rootGeometry = rootSize.take()) {
        stage.rootWidth = rootGeometry->width;
        stage.rootHeight = rootGeometry->height;
    }
    for (std::size_t i = 0; i < described.size(); ++i) {
        TopLevelWindow window;
        window.client = described[i];
        if (stable[i])
            applyStable(*stable[i], window);
        takeDetails(details[i], window);
        stage.details.push_back(std::move(window));
        if (!root.hasWindowManager)
            continue;
        if (stable[i]) {
            // The remembered frame; a frame that is gone is followed upwards
            // from there and fails, and the window is looked up afresh next time.
            stage.parents.push_back(stable[i]->frame == described[i] ? root.root : stable[i]->frame);
            continue;
        }
        XReply<xcb_query_tree_reply_t> tree = trees[i].take();
        stage.parents.push_back(tree ? tree->parent : xcb_window_t{XCB_WINDOW_NONE});
    }
    return stage;
}

using ChildIndex = std::unordered_map<xcb_window_t, std::size_t>;
// Root child index → the window listed for it.
using Listed = std::unordered_map<std::size_t, TopLevelWindow>;

void placeInFrame(TopLevelWindow& window, xcb_window_t frame, const ChildState& state)
{
    x11::placeInFrame(window,
                      RootChild{frame, state.viewable, state.overrideRedirect, state.x, state.y, state.width, state.height});
}

} // namespace

namespace {

Listed listManaged(xcb_connection_t* c, xcb_window_t rootWindow, const RootState& root, Stage2& stage,
                   const ChildIndex& childIndex, int& roundTrips)
{
    Listed listed;
    const std::vector<xcb_window_t> frames =
        findFrames(c, rootWindow, childIndex, stage.parents, root.clients, roundTrips);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        auto it = childIndex.find(frames[i]);
        if (it == childIndex.end() || !stage.children[it->second].known || listed.count(it->second))
            continue;
        TopLevelWindow& window = listed[it->second] = std::move(stage.details[i]);
        window.managed = true;
        placeInFrame(window, frames[i], stage.children[it->second]);
    }
    return listed;
}

Listed listUnmanaged(const RootState& root, Stage2& stage)
{
    Listed listed;
    for (std::size_t i = 0; i < root.children.size(); ++i) {
        if (!stage.children[i].known)
            continue;
        TopLevelWindow& window = listed[i] = std::move(stage.details[i]);
        placeInFrame(window, root.children[i], stage.children[i]);
    }
    return listed;
}

// A mapped override-redirect window that shows on the root (the window
// manager's 1×1 check window far off the root does not).
bool isShownPopUp(const ChildState& child, const Stage2& stage)
{
    if (!child.viewable || !child.overrideRedirect)
        return false;
    return child.x + std::int64_t(child.width) > 0 && child.y + std::int64_t(child.height) > 0
        && child.x < std::int64_t(stage.rootWidth) && child.y < std::int64_t(stage.rootHeight);
}

// The last stage: details of shown override-redirect windows (menus, tooltips;
// with a window manager only, since they are not its clients) and, in the same
// batch, the X-Resource process of every window that may not name its own.
void completeAndResolve(xcb_connection_t* c, const RootState& root, const Stage2& stage,
                        const WindowListQuery::Atoms& atoms, Listed& listed, int& roundTrips, bool askServer)
{
    std::vector<std::size_t> popups;
    if (root.hasWindowManager) {
        for (std::size_t i = 0; i < root.children.size(); ++i) {
            if (isShownPopUp(stage.children[i], stage) && !listed.count(i))
                popups.push_back(i);
        }
    }
    std::vector<DetailRequests> details;
    std::vector<xcb_window_t> unnamed;
    for (std::size_t i : popups) {
        details.push_back(requestDetails(c, root.children[i], atoms));
        unnamed.push_back(root.children[i]);
    }
    for (auto& [index, window] : listed) {
        if (!window.pid)
            unnamed.push_back(window.client);
    }
    if (unnamed.empty())
        return;
    ClientIdsReply processes = askServer ? requestProcesses(c, unnamed) : ClientIdsReply();
    if (processes.isPending() || !popups.empty())
        ++roundTrips;
    for (std::size_t k = 0; k < popups.size(); ++k) {
        TopLevelWindow& window = listed[popups[k]];
        window.client = root.children[popups[k]];
        takeDetails(details[k], window);
        placeInFrame(window, window.client, stage.children[popups[k]]);
    }
    const auto pids = takeProcesses(processes);
    for (auto& [index, window] : listed) {
        if (!window.pid)
            window.pid = processOf(c, pids, window.client);
    }
}

} // namespace

void WindowListQuery::forgetRootTransients(WindowList& list) const
{
    for (TopLevelWindow& window : list.windows)
        if (window.transientFor == m_root)
            window.transientFor = XCB_WINDOW_NONE;
}

std::optional<WindowList> WindowListQuery::run() const
{
    xcb_connection_t* c = m_connection;
    std::optional<RootState> root = readRoot(c, m_root, m_atoms);
    if (!root)
        return std::nullopt;
    WindowList list;
    list.roundTrips = 2;
    list.hasWindowManager = root->hasWindowManager;
    list.currentDesktop = root->currentDesktop;
    list.activeClient = root->activeClient;

    StableCache known;
    {
        std::lock_guard lock(m_cacheMutex);
        known = m_stable;
    }
    Stage2 stage = readStage2(c, *root, m_atoms, known);
    ChildIndex childIndex;
    for (std::size_t i = 0; i < root->children.size(); ++i)
        childIndex[root->children[i]] = i;
    Listed listed = root->hasWindowManager
        ? listManaged(c, m_root, *root, stage, childIndex, list.roundTrips)
        : listUnmanaged(*root, stage);
    completeAndResolve(c, *root, stage, m_atoms, listed, list.roundTrips, m_askServerForProcesses);

    for (std::size_t i = root->children.size(); i-- > 0;) {
        if (auto it = listed.find(i); it != listed.end())
            list.windows.push_back(std::move(it->second));
    }
    list.children.reserve(root->children.size());
    for (std::size_t i = 0; i < root->children.size(); ++i) {
        const ChildState& s = stage.children[i];
        if (s.known)
            list.children.push_back({root->children[i], s.viewable, s.overrideRedirect, s.x, s.y, s.width, s.height});
    }
    list.clients = root->clients;
    list.rootWidth = stage.rootWidth;
    list.rootHeight = stage.rootHeight;
    forgetRootTransients(list);
    if (root->hasWindowManager)
        remember(list, root->clients);
    return list;
}

void WindowListQuery::remember(const WindowList& list, const std::vector<xcb_window_t>& clients) const
{
    StableCache stable;
    for (const TopLevelWindow& w : list.windows) {
        if (w.managed)
            stable[w.client] = {w.pid, w.types, w.desktopEntry, w.wmClass, w.transientFor, w.frame, w.ownOverlay};
    }
    const std::unordered_set<xcb_window_t> managed(clients.begin(), clients.end());
    std::lock_guard lock(m_cacheMutex);
    // Windows that left the window manager's list are forgotten; windows listed
    // now replace what was remembered of them.
    std::erase_if(m_stable, [&](const auto& entry) { return !managed.count(entry.first); });
    for (auto& [client, details] : stable)
        m_stable[client] = std::move(details);
}

void placeInFrame(TopLevelWindow& window, const RootChild& frame)
{
    window.frame = frame.id;
    window.viewable = frame.viewable;
    // Some window managers (icewm, fluxbox, i3) make their frames
    // override-redirect; the client in such a frame is still managed, never a
    // pop-up.
    window.overrideRedirect = !window.managed && frame.overrideRedirect;
    window.x = frame.x;
    window.y = frame.y;
    window.width = frame.width;
    window.height = frame.height;
    trimToShownArea(window);
}

void trimToShownArea(TopLevelWindow& window)
{
    const auto& place = window.clientPlace;
    if (!place || window.width == 0 || window.height == 0)
        return;
    const std::int64_t frameLeft = window.x, frameTop = window.y;
    const std::int64_t frameRight = frameLeft + window.width, frameBottom = frameTop + window.height;
    // The client in root coordinates: the frame itself, or directly inside it.
    std::int64_t left = frameLeft, top = frameTop, right = frameRight, bottom = frameBottom;
    if (window.client != window.frame) {
        if (place->parent != window.frame)
            return;  // nested deeper: where it lies in the frame is not known here
        left = frameLeft + place->x;
        top = frameTop + place->y;
        right = left + place->width;
        bottom = top + place->height;
        // What the window manager draws around the client; without it, the frame.
        if (window.frameExtents.size() == 4) {
            left -= window.frameExtents[0];
            right += window.frameExtents[1];
            top -= window.frameExtents[2];
            bottom += window.frameExtents[3];
        } else {
            left = frameLeft, top = frameTop, right = frameRight, bottom = frameBottom;
        }
    }
    // The client's own transparent margin for its shadow.
    if (window.shadowExtents.size() == 4) {
        left += window.shadowExtents[0];
        right -= window.shadowExtents[1];
        top += window.shadowExtents[2];
        bottom -= window.shadowExtents[3];
    }
    left = std::max(left, frameLeft);
    top = std::max(top, frameTop);
    right = std::min(right, frameRight);
    bottom = std::min(bottom, frameBottom);
    if (right <= left || bottom <= top)
        return;  // nonsense margins: keep the frame
    window.x = static_cast<std::int32_t>(left);
    window.y = static_cast<std::int32_t>(top);
    window.width = static_cast<std::uint32_t>(right - left);
    window.height = static_cast<std::uint32_t>(bottom - top);
}

} // namespace hg::x11
