// Turns filled polygons into what an X server can draw: whole-pixel rectangles
// for a SHAPE region, or trapezoids that XRender fills with antialiasing.
//
// Coordinates are the caller's (the X11 overlay passes pixels, y down).
// Pure functions; safe on any thread.
#pragma once

#include <vector>

#include "engine/overlay/path.h"

namespace hg {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A trapezoid between two horizontal lines, `top` < `bottom`, bounded left
// and right by the lines through two points each (XRender's trapezoid).
struct Trapezoid {
    double top = 0;
    double bottom = 0;
    Point left1, left2;
    Point right1, right2;
};

// The pixels of a `width` × `height` grid whose centres lie inside the
// polygons under the even-odd rule, as rectangles sorted by y then x, rows of
// equal spans merged into bands (the order SHAPE calls YXBanded).
[[nodiscard]] std::vector<PixelRect> evenOddRectangles(const Polygons& polygons, int width, int height);

// The region of polygons under the even-odd rule as trapezoids that neither
// overlap nor leave gaps. The polygons must not cross one another (pass them
// through `simplified` first).
[[nodiscard]] std::vector<Trapezoid> evenOddTrapezoids(const Polygons& polygons);

} // namespace hg
