#include "platform/windows/window_layer.h"

#include <algorithm>

namespace hg {

WindowKindAtoms::WindowKindAtoms(x11::AtomCache& a)
{
    a.intern({"_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_TOOLBAR",
              "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
              "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_NOTIFICATION",
              "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND", "_NET_WM_WINDOW_TYPE_NORMAL",
              "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE_MODAL", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_BELOW",
              "_NET_WM_STATE_HIDDEN"});
    desktop = a["_NET_WM_WINDOW_TYPE_DESKTOP"];
    dock = a["_NET_WM_WINDOW_TYPE_DOCK"];
    toolbar = a["_NET_WM_WINDOW_TYPE_TOOLBAR"];
    menu = a["_NET_WM_WINDOW_TYPE_MENU"];
    utility = a["_NET_WM_WINDOW_TYPE_UTILITY"];
    dropdownMenu = a["_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"];
    popupMenu = a["_NET_WM_WINDOW_TYPE_POPUP_MENU"];
    tooltip = a["_NET_WM_WINDOW_TYPE_TOOLTIP"];
    notification = a["_NET_WM_WINDOW_TYPE_NOTIFICATION"];
    combo = a["_NET_WM_WINDOW_TYPE_COMBO"];
    dnd = a["_NET_WM_WINDOW_TYPE_DND"];
    normal = a["_NET_WM_WINDOW_TYPE_NORMAL"];
    dialog = a["_NET_WM_WINDOW_TYPE_DIALOG"];
    stateModal = a["_NET_WM_STATE_MODAL"];
    stateAbove = a["_NET_WM_STATE_ABOVE"];
    stateBelow = a["_NET_WM_STATE_BELOW"];
    stateHidden = a["_NET_WM_STATE_HIDDEN"];
}

namespace {

bool has(const std::vector<xcb_atom_t>& list, xcb_atom_t atom)
{
    return atom != XCB_ATOM_NONE && std::find(list.begin(), list.end(), atom) != list.end();
}

bool isPopUp(const x11::TopLevelWindow& w, const WindowKindAtoms& a)
{
    if (w.overrideRedirect)
        return true;
    for (xcb_atom_t type : {a.menu, a.dropdownMenu, a.popupMenu, a.tooltip, a.notification, a.combo, a.dnd}) {
        if (has(w.types, type))
            return true;
    }
    return false;
}

} // namespace

bool isSessionModal(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms)
{
    // A dialog modal for one window of its application (transient for it)
    // blocks only that window; it is an ordinary window of its application.
    return has(window.states, atoms.stateModal) && window.transientFor == XCB_WINDOW_NONE;
}

bool isDesktopWindow(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms)
{
    return has(window.types, atoms.desktop);
}

bool isOrdinaryWindow(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms)
{
    if (!window.managed || window.overrideRedirect)
        return false;
    if (window.types.empty())
        return true;
    return has(window.types, atoms.normal) || has(window.types, atoms.dialog);
}

std::int64_t windowLayer(const x11::TopLevelWindow& w, const WindowKindAtoms& a)
{
    if (isDesktopWindow(w, a))
        return kDesktopLayer;
    if (isPopUp(w, a))
        return kPopUpMenuLayer;
    if (has(w.types, a.dock))
        return kDockLayer;
    if (isSessionModal(w, a))
        return kModalPanelLayer;
    if (has(w.states, a.stateAbove) || has(w.types, a.utility) || has(w.types, a.toolbar))
        return kFloatingLayer;
    if (has(w.states, a.stateBelow))
        return kKeepBelowLayer;
    return kNormalLayer;
}

} // namespace hg
