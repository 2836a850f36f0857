// In-between shapes for the overlay's animations: a mask or halo that moves
// from one outline to another over a few frames.
//
// Outlines are matched contour by contour (largest first); each pair is
// brought to the same orientation, started at its lowest-leftmost vertex and
// resampled by arc length to the same number of points, then blended point
// by point. A shape that moves or grows therefore slides smoothly; outlines
// with different numbers of contours cannot be matched and switch at once.
//
// Pure functions; safe on any thread.
#pragma once

#include "engine/overlay/path.h"

namespace hg {

// The shape a fraction `t` (0...1) of the way from `from` to `to`: `from` at
// 0, `to` at 1, and `to` at once whenever the two cannot be matched.
[[nodiscard]] Polygons morphPolygons(const Polygons& from, const Polygons& to, double t);

// Eased progress of an animation: 0 at the start, 1 at the end.
[[nodiscard]] double easeInEaseOut(double t);
[[nodiscard]] double easeOut(double t);

} // namespace hg
