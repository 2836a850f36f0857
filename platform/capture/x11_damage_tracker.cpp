#include "platform/capture/x11_damage_tracker.h"

#include <algorithm>
#include <cstring>

#include <xcb/damage.h>
#include <xcb/shape.h>
#include <xcb/xfixes.h>

#include "platform/x11/own_windows.h"
#include "platform/x11/properties.h"
#include "platform/x11/x_reply.h"

namespace hg {
namespace {

using x11::discardErrors;
using x11::PendingReply;

// Any part of the screen: where a new wallpaper shows.
const Rect kEverywhere(-32768, -32768, 65536, 65536);

bool contains(const std::vector<xcb_window_t>& windows, xcb_window_t w)
{
    return std::find(windows.begin(), windows.end(), w) != windows.end();
}

struct PendingChild {
    xcb_window_t id = XCB_WINDOW_NONE;
    PendingReply<xcb_get_window_attributes_cookie_t, xcb_get_window_attributes_reply_t> attributes;
    PendingReply<xcb_get_geometry_cookie_t, xcb_get_geometry_reply_t> geometry;
    PendingReply<xcb_shape_get_rectangles_cookie_t, xcb_shape_get_rectangles_reply_t> shape;
    PendingReply<xcb_xfixes_fetch_region_cookie_t, xcb_xfixes_fetch_region_reply_t> damage;
    x11::PropertyReply overlayMarker;
};

PendingReply<xcb_intern_atom_cookie_t, xcb_intern_atom_reply_t> requestAtom(xcb_connection_t* c, const char* name)
{
    return {c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), xcb_intern_atom_reply};
}

} // namespace

X11DamageTracker::X11DamageTracker(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root)
{
    const auto* damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
    const auto* fixes = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    if (!damage || !damage->present || !fixes || !fixes->present)
        return;
    // Both extensions answer nothing before their version is asked.
    PendingReply damageVersion(m_connection, xcb_damage_query_version(m_connection, 1, 1),
                               xcb_damage_query_version_reply);
    PendingReply fixesVersion(m_connection, xcb_xfixes_query_version(m_connection, 2, 0),
                              xcb_xfixes_query_version_reply);
    // Desktop programs name their wallpaper in either property.
    auto wallpaper = requestAtom(m_connection, "_XROOTPMAP_ID");
    auto oldWallpaper = requestAtom(m_connection, "ESETROOT_PMAP_ID");
    auto marker = requestAtom(m_connection, kOwnOverlayMarker);
    if (!damageVersion.take() || !fixesVersion.take())
        return;
    if (auto a = wallpaper.take())
        m_wallpaperAtoms[0] = a->atom;
    if (auto a = oldWallpaper.take())
        m_wallpaperAtoms[1] = a->atom;
    if (auto a = marker.take())
        m_overlayMarker = a->atom;
    m_region = xcb_generate_id(m_connection);
    xcb_xfixes_create_region(m_connection, m_region, 0, nullptr);
    m_ready = true;
}

X11DamageTracker::~X11DamageTracker()
{
    reset();
    if (m_ready)
        xcb_xfixes_destroy_region(m_connection, m_region);
    xcb_flush(m_connection);
}

void X11DamageTracker::reset()
{
    for (const auto& [window, damage] : m_damage)  // gone with their window when it was destroyed
        discardErrors(m_connection, xcb_damage_destroy_checked(m_connection, damage));
    m_damage.clear();
    m_stack.clear();
    m_primed = false;
}

X11DamageTracker::WallpaperRequest X11DamageTracker::requestWallpaper() const
{
    WallpaperRequest wallpapers;
    for (int i = 0; i < 2; ++i)
        if (m_wallpaperAtoms[i] != XCB_ATOM_NONE)
            wallpapers[i] = {m_connection,
                             xcb_get_property(m_connection, 0, m_root, m_wallpaperAtoms[i], XCB_ATOM_PIXMAP, 0, 1),
                             xcb_get_property_reply};
    return wallpapers;
}

std::uint32_t X11DamageTracker::takeWallpaper(WallpaperRequest& wallpapers)
{
    std::uint32_t id = 0;
    for (auto& wallpaper : wallpapers)
        if (auto w = wallpaper.take(); w && !id && xcb_get_property_value_length(w.get()) >= 4)
            std::memcpy(&id, xcb_get_property_value(w.get()), sizeof id);
    return id;
}

std::optional<std::vector<X11DamageTracker::Change>> X11DamageTracker::poll(bool stackUnchanged)
{
    if (!m_ready)
        return std::nullopt;
    // What is heard from now on happened after this poll began.
    m_noticesAtPoll = m_notices.load();
    m_quietPolls = 0;
    // A new shape shows only in a poll of the whole stack.
    if (m_shapeHeard.exchange(false))
        stackUnchanged = false;
    constexpr int kDrawingOnlyPollsBetweenWholeOnes = 3;
    if (stackUnchanged && m_primed && m_drawingOnlyPolls < kDrawingOnlyPollsBetweenWholeOnes) {
        ++m_drawingOnlyPolls;
        return pollDrawingOnly();
    }
    m_drawingOnlyPolls = 0;
    PendingReply tree(m_connection, xcb_query_tree(m_connection, m_root), xcb_query_tree_reply);
    WallpaperRequest wallpapers = requestWallpaper();
    auto treeReply = tree.take();
    if (!treeReply) {
        reset();
        return std::nullopt;
    }
    const std::uint32_t wallpaperID = takeWallpaper(wallpapers);

    // One batch: each child's state, and the damage it gathered moved into the
    // region and read back (the region is emptied first, so that a window
    // whose Damage object is gone reads as undamaged, not as its neighbour).
    const xcb_window_t* children = xcb_query_tree_children(treeReply.get());
    const int count = xcb_query_tree_children_length(treeReply.get());
    std::vector<PendingChild> pending(static_cast<std::size_t>(count));
    std::map<xcb_window_t, std::uint32_t> damage;
    for (int i = 0; i < count; ++i) {
        const xcb_window_t id = children[i];
        PendingChild& p = pending[static_cast<std::size_t>(i)];
        p.id = id;
        p.attributes = {m_connection, xcb_get_window_attributes(m_connection, id), xcb_get_window_attributes_reply};
        p.geometry = {m_connection, xcb_get_geometry(m_connection, id), xcb_get_geometry_reply};
        p.shape = {m_connection, xcb_shape_get_rectangles(m_connection, id, XCB_SHAPE_SK_BOUNDING),
                   xcb_shape_get_rectangles_reply};
        if (m_overlayMarker != XCB_ATOM_NONE)
            p.overlayMarker = x11::requestProperty(m_connection, id, m_overlayMarker, XCB_GET_PROPERTY_TYPE_ANY, 1);
        if (const auto known = m_damage.find(id); known != m_damage.end()) {
            damage.emplace(id, known->second);
            xcb_xfixes_set_region(m_connection, m_region, 0, nullptr);
            discardErrors(m_connection, xcb_damage_subtract_checked(m_connection, known->second, XCB_NONE, m_region));
            p.damage = {m_connection, xcb_xfixes_fetch_region(m_connection, m_region), xcb_xfixes_fetch_region_reply};
        } else {
            // New since the last poll: all of it counts as changed anyway, so
            // the damage a new object starts with (the whole window) goes.
            const std::uint32_t d = xcb_generate_id(m_connection);
            discardErrors(m_connection, xcb_damage_create_checked(m_connection, d, id,
                                                                  XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY));
            discardErrors(m_connection, xcb_damage_subtract_checked(m_connection, d, XCB_NONE, XCB_NONE));
            if (m_following && m_shapeNotify)
                discardErrors(m_connection, xcb_shape_select_input_checked(m_connection, id, 1));
            damage.emplace(id, d);
        }
    }
    for (const auto& [window, d] : m_damage)
        if (!damage.count(window))
            discardErrors(m_connection, xcb_damage_destroy_checked(m_connection, d));
    m_damage = std::move(damage);

    std::vector<Change> changes;
    std::vector<Window> stack;
    for (PendingChild& p : pending) {
        auto attributes = p.attributes.take();
        auto geometry = p.geometry.take();
        auto shape = p.shape.take();
        auto region = p.damage.take();
        const bool ownOverlay = x11::propertyExists(p.overlayMarker.take().get());
        if (!attributes || !geometry || !shape || attributes->map_state != XCB_MAP_STATE_VIEWABLE
            || attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
            continue;
        Window w;
        w.id = p.id;
        w.visual = attributes->visual;
        w.ownOverlay = ownOverlay;
        const int border = geometry->border_width;
        const int insideX = geometry->x + border;
        const int insideY = geometry->y + border;
        w.outer = Rect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
        w.border = border;
        const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(shape.get());
        w.shape.assign(rects, rects + xcb_shape_get_rectangles_rectangles_length(shape.get()));
        // Our overlay is never painted, so it hides nothing.
        w.opaque = !ownOverlay && geometry->depth != 32 && w.shape.size() == 1
            && Rect(w.shape[0].x + insideX, w.shape[0].y + insideY, w.shape[0].width, w.shape[0].height)
                   .contains(w.outer);
        if (region) {
            const xcb_rectangle_t* parts = xcb_xfixes_fetch_region_rectangles(region.get());
            const int n = xcb_xfixes_fetch_region_rectangles_length(region.get());
            for (int i = 0; i < n; ++i) {
                const Rect area = Rect(parts[i].x + insideX, parts[i].y + insideY, parts[i].width, parts[i].height)
                                      .intersected(w.outer);
                if (!area.isEmpty())
                    changes.push_back({area, w.id});
            }
        }
        stack.push_back(std::move(w));
    }

    // Windows that appeared, vanished, moved or changed shape show (or stop
    // showing) over their old and new areas.
    std::map<xcb_window_t, const Window*> before;
    for (const Window& w : m_stack)
        before.emplace(w.id, &w);
    std::vector<xcb_window_t> oldOrder, newOrder;
    for (const Window& w : stack) {
        const auto old = before.find(w.id);
        if (old == before.end()) {
            changes.push_back({w.outer, w.id});
            continue;
        }
        newOrder.push_back(w.id);
        if (!(*old->second == w)) {
            changes.push_back({w.outer, w.id});
            changes.push_back({old->second->outer, w.id});
        }
    }
    std::map<xcb_window_t, const Window*> after;
    for (const Window& w : stack)
        after.emplace(w.id, &w);
    for (const Window& w : m_stack) {
        if (!after.count(w.id))
            changes.push_back({w.outer, w.id});
        else
            oldOrder.push_back(w.id);
    }
    // Restacked: where two windows swapped places, the one now above shows
    // instead of the other.
    if (oldOrder != newOrder) {
        std::map<xcb_window_t, std::size_t> oldPlace;
        for (std::size_t i = 0; i < oldOrder.size(); ++i)
            oldPlace.emplace(oldOrder[i], i);
        for (std::size_t lower = 0; lower < newOrder.size(); ++lower)
            for (std::size_t upper = lower + 1; upper < newOrder.size(); ++upper)
                if (oldPlace.at(newOrder[upper]) < oldPlace.at(newOrder[lower])) {
                    const Rect common = after.at(newOrder[upper])->outer.intersected(after.at(newOrder[lower])->outer);
                    if (!common.isEmpty())
                        changes.push_back({common, newOrder[upper], newOrder[lower]});
                }
    }
    // Named again, the same pixmap may hold a new picture.
    if (m_wallpaperNamed.exchange(false) || wallpaperID != m_wallpaper)
        changes.push_back({kEverywhere, XCB_WINDOW_NONE});
    m_wallpaper = wallpaperID;
    m_stack = std::move(stack);

    if (!m_primed) {
        m_primed = true;
        return std::nullopt;
    }
    return changes;
}

void X11DamageTracker::followEvents()
{
    if (!m_ready || m_following)
        return;
    if (const auto* damage = xcb_get_extension_data(m_connection, &xcb_damage_id); damage && damage->present)
        m_damageNotify = static_cast<std::uint8_t>(damage->first_event + XCB_DAMAGE_NOTIFY);
    if (const auto* shape = xcb_get_extension_data(m_connection, &xcb_shape_id); shape && shape->present)
        m_shapeNotify = static_cast<std::uint8_t>(shape->first_event + XCB_SHAPE_NOTIFY);
    // The event mask is the connection's own: keep what its owner asked for.
    PendingReply attributes(m_connection, xcb_get_window_attributes(m_connection, m_root),
                            xcb_get_window_attributes_reply);
    const auto root = attributes.take();
    if (!root || !m_damageNotify)
        return;
    if (!(root->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE)) {
        const std::uint32_t mask = root->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    }
    if (m_shapeNotify)
        for (const auto& [window, damage] : m_damage)
            discardErrors(m_connection, xcb_shape_select_input_checked(m_connection, window, 1));
    xcb_flush(m_connection);
    m_following = true;
}

void X11DamageTracker::noteEvent(const xcb_generic_event_t* event)
{
    if (!event)
        return;
    const std::uint8_t type = event->response_type & 0x7f;
    const auto namesWallpaper = [&] {
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        return property->window == m_root && property->atom != XCB_ATOM_NONE
            && (property->atom == m_wallpaperAtoms[0] || property->atom == m_wallpaperAtoms[1]);
    };
    if (m_damageNotify && type == m_damageNotify) {
        // a window drew
    } else if (m_shapeNotify && type == m_shapeNotify) {
        m_shapeHeard = true;
    } else if (type == XCB_PROPERTY_NOTIFY && namesWallpaper()) {
        m_wallpaperNamed = true;
    } else {
        return;
    }
    ++m_notices;
}

bool X11DamageTracker::pollQuietly(bool stackUnchanged)
{
    if (!m_following || !m_primed || !stackUnchanged || m_notices.load() != m_noticesAtPoll
        || m_quietPolls >= kQuietPollsBetweenAskedOnes)
        return false;
    ++m_quietPolls;
    return true;
}

std::vector<X11DamageTracker::Change> X11DamageTracker::pollDrawingOnly()
{
    WallpaperRequest wallpapers = requestWallpaper();
    std::vector<std::pair<const Window*, PendingReply<xcb_xfixes_fetch_region_cookie_t,
                                                      xcb_xfixes_fetch_region_reply_t>>> drawn;
    for (const Window& w : m_stack) {
        const auto known = m_damage.find(w.id);
        if (known == m_damage.end())
            continue;
        xcb_xfixes_set_region(m_connection, m_region, 0, nullptr);
        discardErrors(m_connection, xcb_damage_subtract_checked(m_connection, known->second, XCB_NONE, m_region));
        drawn.emplace_back(&w, PendingReply(m_connection, xcb_xfixes_fetch_region(m_connection, m_region),
                                            xcb_xfixes_fetch_region_reply));
    }
    const std::uint32_t wallpaperID = takeWallpaper(wallpapers);
    std::vector<Change> changes;
    for (auto& [w, pending] : drawn) {
        auto region = pending.take();
        if (!region)
            continue;
        const int insideX = static_cast<int>(w->outer.minX()) + w->border;
        const int insideY = static_cast<int>(w->outer.minY()) + w->border;
        const xcb_rectangle_t* parts = xcb_xfixes_fetch_region_rectangles(region.get());
        const int n = xcb_xfixes_fetch_region_rectangles_length(region.get());
        for (int i = 0; i < n; ++i) {
            const Rect area = Rect(parts[i].x + insideX, parts[i].y + insideY, parts[i].width, parts[i].height)
                                  .intersected(w->outer);
            if (!area.isEmpty())
                changes.push_back({area, w->id});
        }
    }
    // Named again, the same pixmap may hold a new picture.
    if (m_wallpaperNamed.exchange(false) || wallpaperID != m_wallpaper)
        changes.push_back({kEverywhere, XCB_WINDOW_NONE});
    m_wallpaper = wallpaperID;
    return changes;
}

bool X11DamageTracker::affects(const Change& change, const Rect& source,
                               const std::vector<xcb_window_t>& excluded) const
{
    const Rect area = change.area.intersected(source);
    if (area.isEmpty())
        return false;
    if (change.window == XCB_WINDOW_NONE)
        return true;
    const auto stacked = [&](xcb_window_t id) {
        return std::find_if(m_stack.begin(), m_stack.end(), [&](const Window& w) { return w.id == id; });
    };
    // Excluded windows and our own overlays are not painted: neither their
    // drawing nor their moves show.
    const auto notPainted = [&](xcb_window_t id) {
        if (id == XCB_WINDOW_NONE)
            return false;
        const auto it = stacked(id);
        return contains(excluded, id) || (it != m_stack.end() && it->ownOverlay);
    };
    if (notPainted(change.window) || notPainted(change.under))
        return false;
    const auto own = stacked(change.window);
    if (own == m_stack.end())
        return true;  // gone: what it covered shows now
    return std::none_of(own + 1, m_stack.end(), [&](const Window& w) {
        return w.opaque && !contains(excluded, w.id) && w.outer.contains(area);
    });
}

} // namespace hg
