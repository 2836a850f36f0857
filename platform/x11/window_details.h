// The per-window requests of the window-list query, sent in batches: a
// window's EWMH/ICCCM details and, for windows that do not name their process,
// the X-Resource extension's answer. Send first, take later:
//
//     std::vector<DetailRequests> pending;
//     for (xcb_window_t w : windows) pending.push_back(requestDetails(c, w, atoms));
//     for (std::size_t i = 0; i < windows.size(); ++i) takeDetails(pending[i], listed[i]);
//
// Plain functions; thread-safe on a thread-safe connection.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include <xcb/res.h>

#include "platform/x11/window_list_query.h"

namespace hg::x11 {

using ClientIdsReply = PendingReply<xcb_res_query_client_ids_cookie_t, xcb_res_query_client_ids_reply_t>;

struct DetailRequests {
    PropertyReply pid, types, states, desktop, wmClass, gtkId, kdeFile, transientFor, overlayMarker;
    PropertyReply frameExtents, shadowExtents;
    PendingReply<xcb_get_geometry_cookie_t, xcb_get_geometry_reply_t> geometry;
    PendingReply<xcb_query_tree_cookie_t, xcb_query_tree_reply_t> tree;
};

// Asks for the state, desktop and place of a window and, unless
// `stableKnown`, for the details it keeps for its life.
[[nodiscard]] DetailRequests requestDetails(xcb_connection_t* c, xcb_window_t w, const WindowListQuery::Atoms& a,
                                            bool stableKnown = false);
// Fills in what was asked for; a gone window leaves the fields absent.
void takeDetails(DetailRequests& r, TopLevelWindow& w);
// Copies remembered details into a window.
void applyStable(const WindowListQuery::StableDetails& d, TopLevelWindow& w);

// One request for the processes owning `windows` (nothing pending when the
// list is empty or the server lacks the X-Resource extension).
[[nodiscard]] ClientIdsReply requestProcesses(xcb_connection_t* c, const std::vector<xcb_window_t>& windows);
// Client id base (a window id without its resource bits) → process.
[[nodiscard]] std::unordered_map<std::uint32_t, std::uint32_t> takeProcesses(ClientIdsReply& pending);
// A stand-in process identifier for a window whose process is unknown (a
// remote client): negative, one per X client, so that the windows of one
// client still make one application and never match a real process.
[[nodiscard]] std::int32_t standInProcess(xcb_connection_t* c, xcb_window_t window);
// The process of `window` from such a map, if known.
[[nodiscard]] std::optional<std::uint32_t> processOf(xcb_connection_t* c,
                                                     const std::unordered_map<std::uint32_t, std::uint32_t>& pids,
                                                     xcb_window_t window);

} // namespace hg::x11
