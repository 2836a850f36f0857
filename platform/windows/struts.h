// Space that panels and docks reserve along the root window's edges
// (`_NET_WM_STRUT_PARTIAL`, or the older `_NET_WM_STRUT` spanning a whole
// edge), and what is left of a monitor once it is taken away.
//
// Plain values and functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"

namespace hg {

// Widths in pixels from each root edge, with the range along that edge
// (inclusive start and end, as the property gives them).
struct Strut {
    std::uint32_t left = 0, right = 0, top = 0, bottom = 0;
    std::uint32_t leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    std::uint32_t topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
};

// From a property's 32-bit values: 12 for the partial form, 4 for the whole-
// edge form (whose ranges are then the full root edges). nullopt otherwise.
[[nodiscard]] std::optional<Strut> strutFromValues(const std::vector<std::uint32_t>& values, Size rootSize);

// `monitor` (root coordinates) without the bands the struts reserve where
// they overlap it; the monitor itself when nothing would be left.
[[nodiscard]] Rect unreservedArea(const Rect& monitor, Size rootSize, const std::vector<Strut>& struts);

} // namespace hg
