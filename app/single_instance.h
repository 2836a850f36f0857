// One Hushglass per X screen: a second copy started while one runs says so
// and exits, changing nothing.
//
// The claim is the X selection `_HUSHGLASS_S<screen>` on the display itself,
// owned by a small unmapped window of a connection kept open for the life of
// the process. Every spelling of one display (":0", ":0.0", "unix:0",
// "localhost:0") reaches the same server and so the same selection; the claim
// goes away with the process however it ends, and with the server. Nothing is
// kept in the file system, so nothing another user plants there matters.
#pragma once

#include <chrono>
#include <string>

namespace hg {

enum class InstanceClaim {
    claimed,      // this process is the display's copy (until it exits)
    taken,        // another copy runs on the display
    unavailable,  // the display cannot be reached: nothing to claim
};

// The command-line option of a copy that starts while the one it replaces
// (a relaunch) is still quitting: it waits for that copy to go.
inline constexpr const char* kWaitForPreviousOption = "--wait-for-previous";
// How long a waiting copy waits before giving up.
inline constexpr std::chrono::milliseconds kWaitForPreviousLimit{10'000};

// Claims the screen of `display` for this process. With `wait`, a copy that
// holds it is given up to `wait` to quit; the check is repeated meanwhile.
[[nodiscard]] InstanceClaim claimSingleInstance(const std::string& display,
                                                std::chrono::milliseconds wait = std::chrono::milliseconds{0});

} // namespace hg
