// Telling our own X windows apart from every other program's.
//
// Every window Hushglass creates with xcb carries `_NET_WM_PID` (this process)
// and `WM_CLIENT_MACHINE` (this host), so that window lists resolve it to
// this program without the X-Resource extension, and overlay windows carry
// the `_HUSHGLASS_OVERLAY` marker besides, which captures read to leave them
// out whatever the server can tell about their owner.
#pragma once

#include <xcb/xcb.h>

namespace hg {

// The property on every overlay window of ours (CARDINAL 1).
inline constexpr char kOwnOverlayMarker[] = "_HUSHGLASS_OVERLAY";

// Sets `_NET_WM_PID` and `WM_CLIENT_MACHINE` on `window`. Sends requests
// only; the caller flushes with its other requests.
void markAsOurs(xcb_connection_t* connection, xcb_window_t window);

} // namespace hg
