// The geometry that turns a `Reveal` into the holes of an overlay's mask:
// rounded rectangles whose corners are square where they touch the screen's
// edge, pointer discs, and their boolean union.
//
// Coordinates here are the overlay's layer coordinates: points with the origin
// at the screen's bottom-left corner, y up. W and H are the screen frame's
// width and height in points.
//
// Pure functions; safe on any thread.
#pragma once

#include <array>
#include <optional>

#include "engine/overlay/path.h"
#include "engine/overlay/reveal.h"

namespace hg {

// A display-relative rectangle (top-left origin) in layer coordinates:
// (x, y, w, h) becomes (x, screenHeight − maxY, w, h).
[[nodiscard]] Rect layerRect(const Rect& displayRect, double screenHeight);

// Radii for the corners at (minX, minY), (maxX, minY), (maxX, maxY), (minX, maxY)
// of a layer rectangle: `radius` (at least 0, at most half the shorter side),
// except 0 at a corner on an edge that lies within half a point of the screen's.
[[nodiscard]] std::array<double, 4> cornerRadii(const Rect& rect, double screenWidth, double screenHeight,
                                                double radius);

// One closed subpath around `rect` with the four corner radii (in the order
// of `cornerRadii`), drawn with tangent arcs.
[[nodiscard]] Path roundedRectPath(const Rect& rect, const std::array<double, 4>& radii);

// Every hole of the reveal as one region in layer coordinates: the window hole,
// each excluded window minus the windows in front of it, each cut-out window
// (square corners) minus the windows in front of it, and the pointer disc,
// united so that overlapping holes never cancel under the even-odd rule.
// Absent when the reveal has no hole.
[[nodiscard]] std::optional<Path> holesPath(const Reveal& reveal, double screenWidth, double screenHeight,
                                            double radius);

} // namespace hg
