// What to leave out of a display's captures: the focus window, when there is
// one. A plain value; two exclusions are equal when both have no window or the
// same one.
#pragma once

#include <cstdint>
#include <optional>

namespace hg {

struct Exclusion {
    std::optional<std::uint32_t> focusWindowID;  // window-server number of the focus window

    friend bool operator==(const Exclusion&, const Exclusion&) = default;
};

} // namespace hg
