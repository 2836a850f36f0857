// Where an overlay goes in the X stacking order when it is shown "at the top
// of its level": directly below the lowest top-level window whose layer is
// higher than the level (docks and panels 20, menus and other override-redirect
// windows 101, keep-above and utility windows 3, modal dialogs 8), or on top
// when there is none. Plainly on top would hide the window manager's menus.
//
// Reads the root's children, their attributes, the window manager's client
// list and the clients' type and state in three pipelined round trips. Small
// local helpers: the atoms are interned here. Main thread.
#pragma once

#include <cstdint>
#include <optional>

#include <xcb/xcb.h>

namespace hg {

// The property that marks Hushglass's own overlays, so that one overlay never
// orders itself relative to another.
inline constexpr char kOverlayMarkerProperty[] = "_HUSHGLASS_OVERLAY";

// The top-level window to go directly below for `level`, or nullopt for the
// top of the stack. `self` is never chosen.
[[nodiscard]] std::optional<xcb_window_t> siblingAboveLevel(xcb_connection_t* connection, xcb_window_t root,
                                                            xcb_window_t self, int level);

// Interns one atom (a round trip); XCB_ATOM_NONE on failure.
[[nodiscard]] xcb_atom_t internAtom(xcb_connection_t* connection, const char* name);

} // namespace hg
