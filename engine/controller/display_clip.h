// Rectangles of the window server moved into one display's coordinates.
#pragma once

#include <optional>

#include "base/geometry.h"

namespace hg {

// Intersects `rect` with `bounds` and moves it into the display's coordinates;
// nullopt unless more than a point is left each way.
[[nodiscard]] inline std::optional<Rect> clippedToDisplay(const Rect& rect, const Rect& bounds)
{
    const Rect common = rect.intersected(bounds);
    if (common.isNull() || common.width() <= 1 || common.height() <= 1)
        return std::nullopt;
    return common.offsetBy(-bounds.minX(), -bounds.minY());
}

} // namespace hg
