// One Hushglass per X display: a second copy started while one runs says so
// and exits, changing nothing. The lock is an flock on a file in the user's
// runtime folder, so it goes away with the process, however it ends.
#pragma once

#include <string>

namespace hg {

// True when this process now holds the display's lock (kept until exit).
[[nodiscard]] bool claimSingleInstance(const std::string& display);

} // namespace hg
