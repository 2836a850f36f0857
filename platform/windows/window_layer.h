// The layer of an X11 top-level window, in the numbering the focus tracker and
// the exclusions use: ordinary windows 0 (a dialog modal for one window of its
// application, transient for it, included); keep-above, utility and toolbar
// windows 3; dialogs modal for the whole session (transient for no window) 8; docks and panels 20; menus, tooltips,
// notifications, drop-downs and other override-redirect windows 101; keep-below
// windows −1; the desktop −2147483623.
//
// Plain functions over a window's EWMH type and state atoms; thread-safe.
#pragma once

#include <cstdint>

#include "platform/x11/atom_cache.h"
#include "platform/x11/window_list_query.h"

namespace hg {

inline constexpr std::int64_t kNormalLayer = 0;
inline constexpr std::int64_t kFloatingLayer = 3;
inline constexpr std::int64_t kModalPanelLayer = 8;
inline constexpr std::int64_t kDockLayer = 20;
inline constexpr std::int64_t kPopUpMenuLayer = 101;
inline constexpr std::int64_t kKeepBelowLayer = -1;
inline constexpr std::int64_t kDesktopLayer = -2147483623;

// The EWMH atoms the layer depends on, interned once.
struct WindowKindAtoms {
    explicit WindowKindAtoms(x11::AtomCache& atoms);

    xcb_atom_t desktop, dock, toolbar, menu, utility, dropdownMenu, popupMenu, tooltip, notification, combo, dnd;
    xcb_atom_t normal, dialog;
    xcb_atom_t stateModal, stateAbove, stateBelow, stateHidden;
};

[[nodiscard]] std::int64_t windowLayer(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms);
// Modal and transient for no window: it blocks the whole session, not one
// window of its application.
[[nodiscard]] bool isSessionModal(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms);
[[nodiscard]] bool isDesktopWindow(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms);
// A managed window that is neither a desktop, dock, menu nor any other kind of
// helper surface: what makes its application "regular".
[[nodiscard]] bool isOrdinaryWindow(const x11::TopLevelWindow& window, const WindowKindAtoms& atoms);

} // namespace hg
