#include "platform/x11/window_model.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "platform/x11/properties.h"
#include "platform/x11/window_details.h"
#include "platform/x11/x_reply.h"

namespace hg::x11 {
namespace {

using AttributesReply = PendingReply<xcb_get_window_attributes_cookie_t, xcb_get_window_attributes_reply_t>;
using GeometryReply = PendingReply<xcb_get_geometry_cookie_t, xcb_get_geometry_reply_t>;
using TreeReply = PendingReply<xcb_query_tree_cookie_t, xcb_query_tree_reply_t>;

// As in the full read: a desktop has tens of managed windows, not thousands.
constexpr std::uint32_t kMostClients = 4096;

struct EventDeleter {
    void operator()(xcb_generic_event_t* e) const { std::free(e); }
};
using Event = std::unique_ptr<xcb_generic_event_t, EventDeleter>;

} // namespace

WindowModel::WindowModel(xcb_connection_t* connection, xcb_window_t root, Options options, bool followEvents)
    : m_events(followEvents ? connection : nullptr), m_connection(connection), m_root(root),
      m_options(std::move(options)), m_atoms(std::make_unique<AtomCache>(connection)),
      m_query(std::make_unique<WindowListQuery>(connection, root, *m_atoms))
{
    if (!m_options.nowNanos)
        m_options.nowNanos = [] { return std::uint64_t{0}; };
    m_query->setAskServerForProcesses(m_options.askServerForProcesses);
}

WindowModel::~WindowModel()
{
    m_query.reset();
    m_atoms.reset();
    if (m_events)
        xcb_disconnect(m_events);
}

std::shared_ptr<WindowModel> WindowModel::connect(const std::string& displayName, xcb_connection_t* fallback,
                                                  xcb_window_t root, Options options)
{
    xcb_connection_t* own = displayName.empty() ? nullptr : xcb_connect(displayName.c_str(), nullptr);
    if (own && !xcb_connection_has_error(own))
        return std::make_shared<WindowModel>(own, root, std::move(options), true);
    if (own)
        xcb_disconnect(own);
    return std::make_shared<WindowModel>(fallback, root, std::move(options), false);
}

WindowModel::Counts WindowModel::counts() const
{
    std::lock_guard lock(m_mutex);
    return m_counts;
}

void WindowModel::dropEventsForTesting()
{
    std::lock_guard lock(m_mutex);
    if (!m_events)
        return;
    xcb_flush(m_events);
    free(xcb_get_input_focus_reply(m_events, xcb_get_input_focus(m_events), nullptr));
    while (Event e{xcb_poll_for_event(m_events)}) {
    }
}

std::uint64_t WindowModel::changeCount()
{
    std::lock_guard lock(m_mutex);
    if (!m_events)
        return ++m_changes;
    takeEvents(!m_watched);
    if (!m_needsFullRead && m_options.nowNanos() - m_lastFullRead >= m_options.fullReadIntervalNanos) {
        // The repair of a lost event: a change only when the read finds one.
        const WindowList before = assemble();
        fullRead();
        const WindowList after = assemble();
        if (before.windows != after.windows || before.activeClient != after.activeClient
            || before.currentDesktop != after.currentDesktop)
            bump();
    }
    return m_changes;
}

void WindowModel::pump()
{
    std::lock_guard lock(m_mutex);
    if (!m_events)
        return;
    takeEvents();
    noteUndescribedChildren();
    if (!m_needsFullRead && dirty())
        partialRead();
    if (m_needsFullRead)
        fullRead();
    // Events that queued up while the replies were awaited.
    takeEvents();
}

bool WindowModel::answersWithoutWaiting()
{
    std::lock_guard lock(m_mutex);
    if (!m_events || m_readFailed)
        return false;
    takeEvents(!m_watched);
    noteUndescribedChildren();
    return !m_needsFullRead && !dirty()
        && m_options.nowNanos() - m_lastFullRead < m_options.fullReadIntervalNanos;
}

int WindowModel::fileDescriptor() const
{
    return m_events ? xcb_get_file_descriptor(m_events) : -1;
}

bool WindowModel::dirty() const
{
    return m_stackingDirty || m_activeDirty || m_desktopDirty || !m_stateDirty.empty() || !m_detailsDirty.empty()
        || !m_geometryDirty.empty();
}

std::uint64_t WindowModel::activationCount()
{
    std::lock_guard lock(m_mutex);
    if (m_events)
        takeEvents(!m_watched);
    return m_activations;
}

std::optional<WindowList> WindowModel::list()
{
    std::lock_guard lock(m_mutex);
    if (m_events && m_assembled && m_assembledAt == m_changes) {
        takeEvents(!m_watched);
        if (m_assembledAt == m_changes)
            return m_assembled;
    }
    update();
    if (m_readFailed) {
        m_assembled.reset();
        return std::nullopt;
    }
    m_assembled = assemble();
    m_assembledAt = m_changes;
    return m_assembled;
}

void WindowModel::setWatched(bool watched)
{
    std::lock_guard lock(m_mutex);
    m_watched = watched;
}

void WindowModel::takeEvents(bool fromSocket)
{
    if (!m_events)
        return;
    if (!fromSocket) {
        // Replies awaited on any thread read the events that came before them.
        while (Event e{xcb_poll_for_queued_event(m_events)})
            if (!m_discardStale || static_cast<std::int16_t>(e->sequence - m_freshFrom) >= 0)
                handleEvent(e.get());
        m_discardStale = false;
        return;
    }
    while (Event e{m_discardStale ? xcb_poll_for_queued_event(m_events) : xcb_poll_for_event(m_events)}) {
        // What happened before the last full read is in it already.
        if (m_discardStale && static_cast<std::int16_t>(e->sequence - m_freshFrom) < 0)
            continue;
        handleEvent(e.get());
    }
    m_discardStale = false;
    while (Event e{xcb_poll_for_event(m_events)})
        handleEvent(e.get());
}

WindowModel::Child* WindowModel::child(xcb_window_t id)
{
    auto it = std::find_if(m_children.begin(), m_children.end(), [id](const Child& c) { return c.id == id; });
    return it == m_children.end() ? nullptr : &*it;
}

void WindowModel::eraseChild(xcb_window_t id)
{
    std::erase_if(m_children, [id](const Child& c) { return c.id == id; });
    m_geometryDirty.erase(id);
}

void WindowModel::placeAbove(xcb_window_t id, xcb_window_t sibling)
{
    auto it = std::find_if(m_children.begin(), m_children.end(), [id](const Child& c) { return c.id == id; });
    if (it == m_children.end())
        return;
    const Child moved = *it;
    m_children.erase(it);
    if (sibling == XCB_WINDOW_NONE) {
        m_children.insert(m_children.begin(), moved);
        return;
    }
    auto below = std::find_if(m_children.begin(), m_children.end(), [sibling](const Child& c) { return c.id == sibling; });
    if (below == m_children.end()) {
        // A sibling never seen: the order can no longer be trusted.
        m_children.push_back(moved);
        m_needsFullRead = true;
        return;
    }
    m_children.insert(below + 1, moved);
}

void WindowModel::handleEvent(const xcb_generic_event_t* event)
{
    const WindowListQuery::Atoms& a = m_query->atomsRead();
    switch (event->response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        if (e->parent != m_root || child(e->window))
            return;
        // A new window starts on top of its siblings, unmapped.
        m_children.push_back({e->window, false, e->override_redirect != 0, true, e->x, e->y,
                              e->width + 2u * e->border_width, e->height + 2u * e->border_width});
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (e->event != m_root)
            return;
        eraseChild(e->window);
        if (auto it = m_windows.find(e->window); it != m_windows.end() && !it->second.managed)
            m_windows.erase(it);
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        if (e->event != m_root)
            return;
        if (e->parent == m_root) {
            if (!child(e->window))
                m_children.push_back({e->window, false, e->override_redirect != 0, false, e->x, e->y, 0, 0});
            m_geometryDirty.insert(e->window);
        } else {
            eraseChild(e->window);
            if (auto it = m_windows.find(e->window); it != m_windows.end()) {
                if (!it->second.managed)
                    m_windows.erase(it);
                else if (child(e->parent))
                    it->second.frame = e->parent;  // a client put into its frame
            }
        }
        break;
    }
    case XCB_MAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        Child* c = e->event == m_root ? child(e->window) : nullptr;
        if (!c)
            return;
        c->viewable = true;
        c->overrideRedirect = e->override_redirect != 0;
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
        Child* c = e->event == m_root ? child(e->window) : nullptr;
        if (!c)
            return;
        c->viewable = false;
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (e->event != m_root) {
            // A client moved or resized in its frame (not the window
            // manager's synthetic notice of the frame moving on the root).
            if ((event->response_type & 0x80) || e->event != e->window || !m_windows.count(e->window))
                return;
            m_stateDirty.insert(e->window);
            break;
        }
        Child* c = child(e->window);
        if (!c)
            return;
        const std::uint32_t width = e->width + 2u * e->border_width;
        const std::uint32_t height = e->height + 2u * e->border_width;
        // A frame that changed size changed its client's place in it.
        if (c->geometryKnown && (width != c->width || height != c->height))
            for (const auto& [client, w] : m_windows)
                if (w.frame == e->window)
                    m_stateDirty.insert(client);
        c->x = e->x;
        c->y = e->y;
        c->width = width;
        c->height = height;
        c->overrideRedirect = e->override_redirect != 0;
        c->geometryKnown = true;
        placeAbove(e->window, e->above_sibling);
        break;
    }
    case XCB_CIRCULATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_circulate_notify_event_t*>(event);
        Child* c = e->event == m_root ? child(e->window) : nullptr;
        if (!c)
            return;
        const Child moved = *c;
        eraseChild(e->window);
        if (e->place == XCB_PLACE_ON_TOP)
            m_children.push_back(moved);
        else
            m_children.insert(m_children.begin(), moved);
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (e->window == m_root) {
            if (e->atom == a.clientListStacking)
                m_stackingDirty = true;
            else if (e->atom == a.activeWindow) {
                m_activeDirty = true;
                ++m_activations;
            } else if (e->atom == a.currentDesktop)
                m_desktopDirty = true;
            else
                return;
            break;
        }
        if (!m_windows.count(e->window))
            return;
        if (e->atom == a.wmState || e->atom == a.wmDesktop || e->atom == a.frameExtents
            || e->atom == a.gtkFrameExtents)
            m_stateDirty.insert(e->window);
        else if (e->atom == a.wmPid || e->atom == a.wmWindowType || e->atom == XCB_ATOM_WM_CLASS
                 || e->atom == XCB_ATOM_WM_TRANSIENT_FOR || e->atom == a.gtkApplicationId
                 || e->atom == a.kdeDesktopFile)
            m_detailsDirty.insert(e->window);
        else
            return;
        break;
    }
    default:
        return;
    }
    bump();
}

void WindowModel::selectClient(xcb_window_t client)
{
    // Its own configure events tell of its place in its frame changing.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    discardErrors(m_events, xcb_change_window_attributes_checked(m_events, client, XCB_CW_EVENT_MASK, &mask));
}

void WindowModel::update()
{
    takeEvents();
    if (!m_events || m_needsFullRead || m_options.nowNanos() - m_lastFullRead >= m_options.fullReadIntervalNanos) {
        fullRead();
        return;
    }
    noteUndescribedChildren();
    if (dirty())
        partialRead();
    if (m_needsFullRead)
        fullRead();
}

void WindowModel::fullRead()
{
    if (m_events) {
        // Listen before reading, so that nothing after the read goes unseen;
        // what queued up before the read is in it already.
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_events, m_root, XCB_CW_EVENT_MASK, &mask);
        takeEvents();
        const xcb_get_input_focus_cookie_t marker = xcb_get_input_focus(m_events);
        m_freshFrom = static_cast<std::uint16_t>(marker.sequence);
        free(xcb_get_input_focus_reply(m_events, marker, nullptr));
    }
    std::optional<WindowList> read = m_query->run();
    ++m_counts.fullReads;
    m_lastFullRead = m_options.nowNanos();
    m_needsFullRead = false;
    m_stackingDirty = m_activeDirty = m_desktopDirty = false;
    m_stateDirty.clear();
    m_detailsDirty.clear();
    m_geometryDirty.clear();
    m_readFailed = !read;
    if (!read)
        return;
    m_discardStale = m_events != nullptr;

    m_children.clear();
    for (const RootChild& c : read->children)
        m_children.push_back({c.id, c.viewable, c.overrideRedirect, true, c.x, c.y, c.width, c.height});
    m_clients = read->clients;
    m_hasWindowManager = read->hasWindowManager;
    m_currentDesktop = read->currentDesktop;
    m_activeClient = read->activeClient;
    m_rootWidth = read->rootWidth;
    m_rootHeight = read->rootHeight;
    std::unordered_map<xcb_window_t, TopLevelWindow> windows;
    bool newClients = false;
    for (TopLevelWindow& w : read->windows) {
        if (w.managed && m_events && !m_windows.count(w.client)) {
            // Listened to only after the read: what it set in between is
            // read again, after the listening, in a batch of its own.
            selectClient(w.client);
            m_stateDirty.insert(w.client);
            m_detailsDirty.insert(w.client);
            newClients = true;
        }
        windows[w.managed ? w.client : w.frame] = std::move(w);
    }
    m_windows = std::move(windows);
    if (newClients)
        partialRead();  // its requests follow the listening on the same connection
    else if (m_events)
        xcb_flush(m_events);
}

void WindowModel::noteUndescribedChildren()
{
    for (const Child& c : m_children) {
        if (m_windows.count(c.id) || !c.geometryKnown)
            continue;
        // With a window manager only shown pop-ups (menus, tooltips) are
        // listed besides its clients; a 1×1 window far off the root is not shown.
        const bool shownPopUp = c.viewable && c.overrideRedirect && c.x + std::int64_t(c.width) > 0
            && c.y + std::int64_t(c.height) > 0 && c.x < std::int64_t(m_rootWidth) && c.y < std::int64_t(m_rootHeight);
        if (!m_hasWindowManager || shownPopUp)
            m_detailsDirty.insert(c.id);
    }
}

void WindowModel::partialRead()
{
    ++m_counts.partialReads;
    xcb_connection_t* c = m_connection;
    const WindowListQuery::Atoms& a = m_query->atomsRead();

    // One batch: what the events named.
    PropertyReply stacking, active, desktop;
    if (m_stackingDirty)
        stacking = requestProperty(c, m_root, a.clientListStacking, XCB_ATOM_WINDOW, kMostClients);
    if (m_activeDirty)
        active = requestProperty(c, m_root, a.activeWindow, XCB_ATOM_WINDOW, 1);
    if (m_desktopDirty)
        desktop = requestProperty(c, m_root, a.currentDesktop, XCB_ATOM_CARDINAL, 1);
    std::vector<std::tuple<xcb_window_t, AttributesReply, GeometryReply>> geometry;
    for (xcb_window_t w : m_geometryDirty)
        geometry.emplace_back(w, AttributesReply(c, xcb_get_window_attributes(c, w), xcb_get_window_attributes_reply),
                              GeometryReply(c, xcb_get_geometry(c, w), xcb_get_geometry_reply));
    std::vector<std::pair<xcb_window_t, DetailRequests>> details;
    for (xcb_window_t w : m_detailsDirty)
        details.emplace_back(w, requestDetails(c, w, a));
    for (xcb_window_t w : m_stateDirty)
        if (!m_detailsDirty.count(w) && m_windows.count(w))
            details.emplace_back(w, requestDetails(c, w, a, true));
    const bool stackingAsked = m_stackingDirty;
    m_stackingDirty = m_activeDirty = m_desktopDirty = false;
    m_stateDirty.clear();
    m_detailsDirty.clear();
    m_geometryDirty.clear();

    std::vector<xcb_window_t> added;
    if (stackingAsked) {
        XReply<xcb_get_property_reply_t> reply = stacking.take();
        if (propertyExists(reply.get()) != m_hasWindowManager) {
            m_needsFullRead = true;  // a window manager came or went
            return;
        }
        m_clients = values32(reply.get());
        const std::unordered_set<xcb_window_t> listed(m_clients.begin(), m_clients.end());
        std::erase_if(m_windows, [&](const auto& e) { return e.second.managed && !listed.count(e.first); });
        for (xcb_window_t client : m_clients) {
            auto it = m_windows.find(client);
            if (it == m_windows.end() || !it->second.managed)
                added.push_back(client);
        }
    }
    if (active.isPending())
        m_activeClient = firstValue(active.take().get()).value_or(XCB_WINDOW_NONE);
    if (desktop.isPending())
        m_currentDesktop = firstValue(desktop.take().get());
    for (auto& [w, attributes, geo] : geometry) {
        XReply<xcb_get_window_attributes_reply_t> at = attributes.take();
        XReply<xcb_get_geometry_reply_t> g = geo.take();
        Child* ch = child(w);
        if (!ch)
            continue;
        if (!at || !g) {
            eraseChild(w);  // gone meanwhile
            continue;
        }
        ch->viewable = at->map_state == XCB_MAP_STATE_VIEWABLE;
        ch->overrideRedirect = at->override_redirect != 0;
        ch->x = g->x;
        ch->y = g->y;
        ch->width = g->width + 2u * g->border_width;
        ch->height = g->height + 2u * g->border_width;
        ch->geometryKnown = true;
    }
    std::vector<xcb_window_t> unnamed;
    for (auto& [w, r] : details) {
        auto it = m_windows.find(w);
        if (it == m_windows.end()) {
            if (!child(w))
                continue;
            TopLevelWindow fresh;
            fresh.client = fresh.frame = w;
            it = m_windows.emplace(w, std::move(fresh)).first;
        }
        const bool full = r.pid.isPending();
        takeDetails(r, it->second);
        if (it->second.transientFor == m_root)
            it->second.transientFor = XCB_WINDOW_NONE;
        if (full && !it->second.pid)
            unnamed.push_back(w);
    }

    // A second batch for new clients: listen to them first, then their
    // details, their frames and, for all that name none, their processes.
    if (added.empty() && unnamed.empty())
        return;
    std::vector<DetailRequests> addedDetails;
    std::vector<TreeReply> trees;
    for (xcb_window_t client : added) {
        selectClient(client);
        addedDetails.push_back(requestDetails(c, client, a));
        trees.emplace_back(c, xcb_query_tree(c, client), xcb_query_tree_reply);
    }
    std::vector<xcb_window_t> asked = unnamed;
    asked.insert(asked.end(), added.begin(), added.end());
    ClientIdsReply processes =
        m_query->asksServerForProcesses() ? requestProcesses(c, asked) : ClientIdsReply();
    for (std::size_t i = 0; i < added.size(); ++i) {
        TopLevelWindow w;
        w.client = added[i];
        w.managed = true;
        takeDetails(addedDetails[i], w);
        if (w.transientFor == m_root)
            w.transientFor = XCB_WINDOW_NONE;
        XReply<xcb_query_tree_reply_t> tree = trees[i].take();
        if (!tree)
            continue;  // gone already; the next client list drops it
        if (tree->parent == m_root)
            w.frame = w.client;
        else if (child(tree->parent))
            w.frame = tree->parent;
        else
            m_needsFullRead = true;  // nested deeper: the full read follows it up
        m_windows[w.client] = std::move(w);
    }
    const auto pids = takeProcesses(processes);
    for (xcb_window_t w : asked) {
        auto it = m_windows.find(w);
        if (it != m_windows.end() && !it->second.pid)
            it->second.pid = processOf(c, pids, w);
    }
}

WindowList WindowModel::assemble() const
{
    WindowList list;
    list.hasWindowManager = m_hasWindowManager;
    list.currentDesktop = m_currentDesktop;
    list.activeClient = m_activeClient;
    list.clients = m_clients;
    list.rootWidth = m_rootWidth;
    list.rootHeight = m_rootHeight;
    std::unordered_map<xcb_window_t, std::size_t> index;
    for (std::size_t i = 0; i < m_children.size(); ++i)
        index[m_children[i].id] = i;
    std::unordered_map<std::size_t, const TopLevelWindow*> listed;
    if (m_hasWindowManager) {
        for (xcb_window_t client : m_clients) {
            auto w = m_windows.find(client);
            if (w == m_windows.end() || !w->second.managed)
                continue;
            auto at = index.find(w->second.frame);
            if (at != index.end() && m_children[at->second].geometryKnown)
                listed.try_emplace(at->second, &w->second);
        }
    }
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        const Child& ch = m_children[i];
        if (listed.count(i) || !ch.geometryKnown)
            continue;
        auto w = m_windows.find(ch.id);
        if (w == m_windows.end() || w->second.managed)
            continue;
        if (m_hasWindowManager && !(ch.viewable && ch.overrideRedirect))
            continue;
        listed.emplace(i, &w->second);
    }
    list.windows.reserve(listed.size());
    list.children.reserve(m_children.size());
    for (const Child& ch : m_children)
        list.children.push_back({ch.id, ch.viewable, ch.overrideRedirect, ch.x, ch.y, ch.width, ch.height});
    for (std::size_t i = m_children.size(); i-- > 0;) {
        auto it = listed.find(i);
        if (it == listed.end())
            continue;
        const Child& ch = m_children[i];
        TopLevelWindow w = *it->second;
        placeInFrame(w, {ch.id, ch.viewable, ch.overrideRedirect, ch.x, ch.y, ch.width, ch.height});
        list.windows.push_back(std::move(w));
    }
    return list;
}

} // namespace hg::x11
