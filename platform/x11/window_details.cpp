#include "platform/x11/window_details.h"

namespace hg::x11 {

DetailRequests requestDetails(xcb_connection_t* c, xcb_window_t w, const WindowListQuery::Atoms& a,
                              bool stableKnown)
{
    DetailRequests r;
    r.states = requestProperty(c, w, a.wmState, XCB_ATOM_ATOM, 64);
    r.desktop = requestProperty(c, w, a.wmDesktop, XCB_ATOM_CARDINAL, 1);
    r.frameExtents = requestProperty(c, w, a.frameExtents, XCB_ATOM_CARDINAL, 4);
    r.shadowExtents = requestProperty(c, w, a.gtkFrameExtents, XCB_ATOM_CARDINAL, 4);
    r.geometry = {c, xcb_get_geometry(c, w), xcb_get_geometry_reply};
    r.tree = {c, xcb_query_tree(c, w), xcb_query_tree_reply};
    if (stableKnown)
        return r;
    r.pid = requestProperty(c, w, a.wmPid, XCB_ATOM_CARDINAL, 1);
    r.types = requestProperty(c, w, a.wmWindowType, XCB_ATOM_ATOM, 64);
    r.wmClass = requestProperty(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256);
    r.gtkId = requestProperty(c, w, a.gtkApplicationId, XCB_GET_PROPERTY_TYPE_ANY, 256);
    r.kdeFile = requestProperty(c, w, a.kdeDesktopFile, XCB_GET_PROPERTY_TYPE_ANY, 256);
    r.transientFor = requestProperty(c, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
    if (a.overlayMarker != XCB_ATOM_NONE)
        r.overlayMarker = requestProperty(c, w, a.overlayMarker, XCB_GET_PROPERTY_TYPE_ANY, 1);
    return r;
}

void takeDetails(DetailRequests& r, TopLevelWindow& w)
{
    w.states = values32(r.states.take().get());
    w.desktop = firstValue(r.desktop.take().get());
    w.frameExtents = values32(r.frameExtents.take().get());
    w.shadowExtents = values32(r.shadowExtents.take().get());
    XReply<xcb_get_geometry_reply_t> geometry = r.geometry.take();
    XReply<xcb_query_tree_reply_t> tree = r.tree.take();
    w.clientPlace.reset();
    if (geometry && tree)
        w.clientPlace = TopLevelWindow::ClientPlace{
            tree->parent, geometry->x, geometry->y, geometry->width + 2u * geometry->border_width,
            geometry->height + 2u * geometry->border_width};
    if (!r.pid.isPending())
        return;
    w.pid = firstValue(r.pid.take().get());
    w.types = values32(r.types.take().get());
    w.wmClass = wmClass(r.wmClass.take().get());
    w.desktopEntry = text(r.gtkId.take().get());
    if (auto kde = text(r.kdeFile.take().get()); !w.desktopEntry)
        w.desktopEntry = std::move(kde);
    w.transientFor = firstValue(r.transientFor.take().get()).value_or(XCB_WINDOW_NONE);
    w.ownOverlay = propertyExists(r.overlayMarker.take().get());
}

void applyStable(const WindowListQuery::StableDetails& d, TopLevelWindow& w)
{
    w.pid = d.pid;
    w.types = d.types;
    w.desktopEntry = d.desktopEntry;
    w.wmClass = d.wmClass;
    w.transientFor = d.transientFor;
    w.ownOverlay = d.ownOverlay;
}

// One request asking the X-Resource extension for the process of each window's
// owner. Windows name their client by the high bits of their id.
ClientIdsReply requestProcesses(xcb_connection_t* c, const std::vector<xcb_window_t>& windows)
{
    // xcb closes the whole connection on a request of an absent extension.
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_res_id);
    if (windows.empty() || !extension || !extension->present)
        return {};
    std::vector<xcb_res_client_id_spec_t> specs;
    specs.reserve(windows.size());
    for (xcb_window_t w : windows)
        specs.push_back({w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
    return ClientIdsReply(c, xcb_res_query_client_ids(c, static_cast<std::uint32_t>(specs.size()), specs.data()),
                          xcb_res_query_client_ids_reply);
}

// Client id base (the window id without its resource bits) → process.
std::unordered_map<std::uint32_t, std::uint32_t> takeProcesses(ClientIdsReply& pending)
{
    std::unordered_map<std::uint32_t, std::uint32_t> pids;
    XReply<xcb_res_query_client_ids_reply_t> reply = pending.take();
    if (!reply)
        return pids;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem; xcb_res_client_id_value_next(&it)) {
        if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || it.data->length < 4)
            continue;
        pids[it.data->spec.client] = *xcb_res_client_id_value_value(it.data);
    }
    return pids;
}

std::optional<std::uint32_t> processOf(xcb_connection_t* c,
                                       const std::unordered_map<std::uint32_t, std::uint32_t>& pids,
                                       xcb_window_t window)
{
    const std::uint32_t resourceMask = xcb_get_setup(c)->resource_id_mask;
    if (auto it = pids.find(window & ~resourceMask); it != pids.end())
        return it->second;
    return std::nullopt;
}

} // namespace hg::x11

namespace hg::x11 {

std::int32_t standInProcess(xcb_connection_t* c, xcb_window_t window)
{
    // A client's windows share the bits above the resource mask.
    const std::uint32_t mask = xcb_get_setup(c)->resource_id_mask;
    int shift = 0;
    while (shift < 32 && (mask >> shift) & 1u)
        ++shift;
    const std::uint32_t client = shift >= 32 ? 0 : window >> shift;
    return -1 - static_cast<std::int32_t>(client & 0x3FFFFFFF);
}

} // namespace hg::x11
