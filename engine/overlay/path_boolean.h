// Boolean operations on paths and polygons, over Clipper (integer coordinates:
// points are scaled by kClipperScale, so results are exact to 1/1024 point).
// Curves are flattened first (kFlatteningTolerance), so results are polygons.
//
// Pure functions; safe on any thread.
#pragma once

#include "engine/overlay/path.h"

namespace hg {

// Clipper works in integers: one point is 1024 units.
inline constexpr double kClipperScale = 1024.0;

// The region of `a` outside `b`, each operand filled with `rule`.
[[nodiscard]] Path subtracting(const Path& a, const Path& b, FillRule rule = FillRule::evenOdd);
// The region inside `a` or `b`, each operand filled with `rule`.
[[nodiscard]] Path uniting(const Path& a, const Path& b, FillRule rule = FillRule::evenOdd);

// The same as subtracting each of `bs` from `a` in turn, and as uniting all
// of `paths` in turn, each operand filled with the even-odd rule, in one
// operation. Every operand must be a simple closed contour (a rounded
// rectangle, an ellipse) or the result of one of these functions.
[[nodiscard]] Path subtractingAll(const Path& a, const std::vector<Path>& bs);
[[nodiscard]] Path unitingAll(const std::vector<Path>& paths);

// The same region as simple polygons that neither cross nor overlap: outer
// contours counter-clockwise, holes clockwise (y-up), ready for the even-odd
// or non-zero rule alike.
[[nodiscard]] Polygons simplified(const Polygons& polygons, FillRule rule);
// The bounding box of the region that lies inside exactly one of `a` and `b`
// (each even-odd): where a mask changed. Null when they cover the same region.
[[nodiscard]] Rect changedBounds(const Polygons& a, const Polygons& b);
// The area the polygons cover under `rule`, in square points.
[[nodiscard]] double filledArea(const Polygons& polygons, FillRule rule);
// The outline of a stroke of `width` along closed polygons (round joins), as
// simple polygons to fill with either rule.
[[nodiscard]] Polygons strokeOutline(const Polygons& polygons, double width);

} // namespace hg
