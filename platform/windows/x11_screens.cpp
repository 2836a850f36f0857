#include "platform/windows/x11_screens.h"

#include <algorithm>

#include <xcb/randr.h>

#include "platform/x11/properties.h"
#include "platform/x11/x_reply.h"

namespace hg {

namespace {

using x11::PendingReply;
using x11::XReply;
using MonitorsReply = PendingReply<xcb_randr_get_monitors_cookie_t, xcb_randr_get_monitors_reply_t>;
using NameReply = PendingReply<xcb_get_atom_name_cookie_t, xcb_get_atom_name_reply_t>;
using GeometryReply = PendingReply<xcb_get_geometry_cookie_t, xcb_get_geometry_reply_t>;

// Leaves out monitors that only aggregate others: one that strictly contains
// another monitor (Xvfb keeps its automatic "screen" monitor beside the ones
// set with `xrandr --setmonitor`), and a second monitor with the same rectangle
// as an earlier one (mirrored outputs show the same pixels).
std::vector<X11Screens::Monitor> withoutAggregates(const std::vector<X11Screens::Monitor>& monitors)
{
    std::vector<X11Screens::Monitor> kept;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        bool aggregate = false;
        for (std::size_t j = 0; j < monitors.size() && !aggregate; ++j) {
            if (i == j)
                continue;
            const Rect& a = monitors[i].bounds;
            const Rect& b = monitors[j].bounds;
            aggregate = (a.contains(b) && a != b) || (a == b && j < i);
        }
        if (!aggregate)
            kept.push_back(monitors[i]);
    }
    std::stable_partition(kept.begin(), kept.end(), [](const auto& m) { return m.primary; });
    return kept;
}

} // namespace

X11Screens::X11Screens(xcb_connection_t* connection, xcb_window_t root, ScaleProvider scale)
    : m_connection(connection), m_root(root), m_atoms(connection, {"_NET_WORKAREA", "_NET_CURRENT_DESKTOP", "_NET_CLIENT_LIST",
                                                               "_NET_WM_STRUT_PARTIAL", "_NET_WM_STRUT"}),
      m_scale(std::move(scale))
{
    refresh();
}

std::uint32_t X11Screens::displayNumberForName(std::string_view name)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char ch : name) {
        hash ^= ch;
        hash *= 16777619u;
    }
    return hash == 0 ? 1 : hash;
}

std::vector<X11Screens::Monitor> X11Screens::queryMonitors() const
{
    // xcb closes the whole connection on a request of an absent extension.
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(m_connection, &xcb_randr_id);
    MonitorsReply pending;
    if (randr && randr->present)
        pending = MonitorsReply(m_connection, xcb_randr_get_monitors(m_connection, m_root, 1),
                                xcb_randr_get_monitors_reply);
    GeometryReply rootGeometry(m_connection, xcb_get_geometry(m_connection, m_root), xcb_get_geometry_reply);
    XReply<xcb_randr_get_monitors_reply_t> reply = pending.take();
    std::vector<Monitor> monitors;
    std::vector<NameReply> names;
    if (reply) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
            const xcb_randr_monitor_info_t* m = it.data;
            monitors.push_back({"", Rect(m->x, m->y, m->width, m->height), m->primary != 0});
            names.emplace_back(m_connection, xcb_get_atom_name(m_connection, m->name), xcb_get_atom_name_reply);
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (XReply<xcb_get_atom_name_reply_t> name = names[i].take())
            monitors[i].name.assign(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
    }
    XReply<xcb_get_geometry_reply_t> geometry = rootGeometry.take();
    if (geometry)
        m_rootSize = Size{double(geometry->width), double(geometry->height)};
    if (monitors.empty() && geometry)  // no RandR: the whole root is one screen
        monitors.push_back({"screen", Rect(0, 0, geometry->width, geometry->height), true});
    return withoutAggregates(monitors);
}

std::optional<Rect> X11Screens::queryWorkArea() const
{
    x11::PropertyReply area = x11::requestProperty(m_connection, m_root, m_atoms["_NET_WORKAREA"], XCB_ATOM_CARDINAL);
    x11::PropertyReply desktop =
        x11::requestProperty(m_connection, m_root, m_atoms["_NET_CURRENT_DESKTOP"], XCB_ATOM_CARDINAL, 1);
    const std::vector<std::uint32_t> values = x11::values32(area.take().get());
    const std::size_t index = x11::firstValue(desktop.take().get()).value_or(0);
    if (values.size() < 4 * (index + 1))
        return std::nullopt;
    const std::uint32_t* v = values.data() + 4 * index;
    return Rect(static_cast<std::int32_t>(v[0]), static_cast<std::int32_t>(v[1]), v[2], v[3]);
}

std::vector<Strut> X11Screens::queryStruts(const std::optional<Rect>& workArea)
{
    x11::PropertyReply clientList =
        x11::requestProperty(m_connection, m_root, m_atoms["_NET_CLIENT_LIST"], XCB_ATOM_WINDOW);
    const std::vector<std::uint32_t> clients = x11::values32(clientList.take().get());
    // The window manager recomputes the work area whenever a strut changes, so
    // with the same windows and the same work area the struts are the same.
    if (m_strutsValid && clients == m_strutClients && workArea == m_strutWorkArea)
        return m_struts;
    std::vector<std::pair<x11::PropertyReply, x11::PropertyReply>> pending;
    for (xcb_window_t client : clients) {
        pending.emplace_back(
            x11::requestProperty(m_connection, client, m_atoms["_NET_WM_STRUT_PARTIAL"], XCB_ATOM_CARDINAL, 12),
            x11::requestProperty(m_connection, client, m_atoms["_NET_WM_STRUT"], XCB_ATOM_CARDINAL, 4));
    }
    std::vector<Strut> struts;
    for (auto& [partial, whole] : pending) {
        std::vector<std::uint32_t> values = x11::values32(partial.take().get());
        if (values.size() < 12)
            values = x11::values32(whole.take().get());
        if (std::optional<Strut> strut = strutFromValues(values, m_rootSize))
            struts.push_back(*strut);
    }
    m_strutsValid = true;
    m_strutClients = clients;
    m_strutWorkArea = workArea;
    m_struts = struts;
    return struts;
}

Rect X11Screens::visibleArea(const Rect& monitor, const std::optional<Rect>& workArea,
                             const std::vector<Strut>& struts) const
{
    if (!struts.empty())
        return unreservedArea(monitor, m_rootSize, struts);
    // Without struts, the window manager's single work area (which spans all
    // monitors) is the best that is known.
    const Rect visible = workArea ? monitor.intersected(*workArea) : monitor;
    return visible.isEmpty() ? monitor : visible;
}

bool X11Screens::refresh()
{
    const std::vector<Monitor> monitors = queryMonitors();
    const std::optional<Rect> workArea = queryWorkArea();
    const std::vector<Strut> struts = queryStruts(workArea);
    const double primaryHeight = monitors.empty() ? 0 : monitors.front().bounds.maxY();
    auto flipped = [primaryHeight](const Rect& r) { return Rect(r.minX(), primaryHeight - r.maxY(), r.width(), r.height()); };

    std::vector<Screen> screens;
    std::map<std::uint32_t, Rect> bounds;
    for (const Monitor& m : monitors) {
        Screen screen;
        screen.name = m.name;
        screen.displayNumber = displayNumberForName(m.name);
        screen.frame = flipped(m.bounds);
        screen.visibleFrame = flipped(visibleArea(m.bounds, workArea, struts));
        screen.backingScaleFactor = m_scale ? m_scale(m.name) : 1.0;
        bounds[*screen.displayNumber] = m.bounds;
        screens.push_back(std::move(screen));
    }
    if (screens == m_screens)
        return false;
    m_screens = std::move(screens);
    m_bounds = std::move(bounds);
    return true;
}

std::vector<Screen> X11Screens::screens() const { return m_screens; }

std::optional<Rect> X11Screens::displayBounds(std::uint32_t displayNumber) const
{
    auto it = m_bounds.find(displayNumber);
    if (it == m_bounds.end())
        return std::nullopt;
    return it->second;
}

} // namespace hg
