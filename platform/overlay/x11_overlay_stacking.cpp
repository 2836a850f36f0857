#include "platform/overlay/x11_overlay_stacking.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace hg {
namespace {

constexpr std::int64_t kOverrideRedirectLayer = 101;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

struct KindAtoms {
    xcb_atom_t clientList, type, state, marker;
    xcb_atom_t dock, desktop, menu, dropdown, popup, tooltip, notification, combo, dnd, utility, toolbar, dialog;
    xcb_atom_t modal, above, below;
};

KindAtoms internKindAtoms(xcb_connection_t* c)
{
    static constexpr const char* kNames[] = {
        "_NET_CLIENT_LIST", "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", kOverlayMarkerProperty,
        "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_MENU",
        "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
        "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND",
        "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_DIALOG",
        "_NET_WM_STATE_MODAL", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_BELOW"};
    constexpr std::size_t n = std::size(kNames);
    xcb_intern_atom_cookie_t cookies[n];
    for (std::size_t i = 0; i < n; ++i)
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(kNames[i])), kNames[i]);
    xcb_atom_t atoms[n];
    for (std::size_t i = 0; i < n; ++i) {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookies[i], nullptr));
        atoms[i] = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    return {atoms[0], atoms[1], atoms[2], atoms[3], atoms[4], atoms[5], atoms[6], atoms[7], atoms[8], atoms[9],
            atoms[10], atoms[11], atoms[12], atoms[13], atoms[14], atoms[15], atoms[16], atoms[17], atoms[18]};
}

std::vector<xcb_atom_t> atomList(const xcb_get_property_reply_t* r)
{
    if (!r || r->format != 32)
        return {};
    const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
    return {data, data + xcb_get_property_value_length(r) / 4};
}

// The layer of a managed client from its EWMH type and state.
std::int64_t clientLayer(const std::vector<xcb_atom_t>& types, const std::vector<xcb_atom_t>& states, const KindAtoms& a)
{
    const auto has = [](const std::vector<xcb_atom_t>& list, xcb_atom_t atom) {
        return atom != XCB_ATOM_NONE && std::find(list.begin(), list.end(), atom) != list.end();
    };
    if (has(types, a.desktop))
        return -2147483623;
    if (has(types, a.dock))
        return 20;
    for (xcb_atom_t t : {a.menu, a.dropdown, a.popup, a.tooltip, a.notification, a.combo, a.dnd})
        if (has(types, t))
            return kOverrideRedirectLayer;
    if (has(types, a.dialog) && has(states, a.modal))
        return 8;
    if (has(states, a.above) || has(types, a.utility) || has(types, a.toolbar))
        return 3;
    if (has(states, a.below))
        return -1;
    return 0;
}

// Layers of managed clients' frames (root children), keyed by frame.
std::map<xcb_window_t, std::int64_t> frameLayers(xcb_connection_t* c, xcb_window_t root, const KindAtoms& a)
{
    std::map<xcb_window_t, std::int64_t> layers;
    Reply<xcb_get_property_reply_t> list(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, a.clientList, XCB_ATOM_WINDOW, 0, 4096), nullptr));
    if (!list || list->format != 32)
        return layers;
    const auto* clients = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    const int count = xcb_get_property_value_length(list.get()) / 4;
    std::vector<xcb_query_tree_cookie_t> trees;
    std::vector<xcb_get_property_cookie_t> types, states;
    for (int i = 0; i < count; ++i) {
        trees.push_back(xcb_query_tree(c, clients[i]));
        types.push_back(xcb_get_property(c, 0, clients[i], a.type, XCB_ATOM_ATOM, 0, 64));
        states.push_back(xcb_get_property(c, 0, clients[i], a.state, XCB_ATOM_ATOM, 0, 64));
    }
    for (int i = 0; i < count; ++i) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, trees[static_cast<std::size_t>(i)], nullptr));
        Reply<xcb_get_property_reply_t> type(xcb_get_property_reply(c, types[static_cast<std::size_t>(i)], nullptr));
        Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, states[static_cast<std::size_t>(i)], nullptr));
        if (!tree)
            continue;  // gone meanwhile
        // Window managers that reparent put the client in a frame that is a root child.
        const xcb_window_t frame = tree->parent == root ? clients[i] : tree->parent;
        layers[frame] = clientLayer(atomList(type.get()), atomList(state.get()), a);
    }
    return layers;
}

} // namespace

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::optional<xcb_window_t> siblingAboveLevel(xcb_connection_t* c, xcb_window_t root, xcb_window_t self, int level)
{
    const KindAtoms atoms = internKindAtoms(c);
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());  // bottom to top
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_property_cookie_t> markers;
    for (int i = 0; i < count; ++i) {
        attributes.push_back(xcb_get_window_attributes(c, children[i]));
        markers.push_back(xcb_get_property(c, 0, children[i], atoms.marker, XCB_ATOM_ANY, 0, 1));
    }
    const std::map<xcb_window_t, std::int64_t> layers = frameLayers(c, root, atoms);
    std::optional<xcb_window_t> lowest;
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        Reply<xcb_get_window_attributes_reply_t> attr(xcb_get_window_attributes_reply(c, attributes[index], nullptr));
        Reply<xcb_get_property_reply_t> marker(xcb_get_property_reply(c, markers[index], nullptr));
        if (lowest || !attr || children[i] == self || attr->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        if (marker && marker->type != XCB_ATOM_NONE)
            continue;  // another overlay of ours
        std::int64_t layer = 0;
        if (attr->override_redirect)
            layer = kOverrideRedirectLayer;
        else if (auto it = layers.find(children[i]); it != layers.end())
            layer = it->second;
        if (layer > level)
            lowest = children[i];
    }
    return lowest;
}

} // namespace hg
