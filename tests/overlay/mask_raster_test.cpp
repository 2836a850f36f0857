#include <gtest/gtest.h>

#include "engine/overlay/mask_geometry.h"
#include "engine/overlay/mask_raster.h"
#include "engine/overlay/path_boolean.h"

namespace hg {
namespace {

double trapezoidArea(const Trapezoid& t)
{
    const auto x = [](Point a, Point b, double y) { return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y); };
    const double top = x(t.right1, t.right2, t.top) - x(t.left1, t.left2, t.top);
    const double bottom = x(t.right1, t.right2, t.bottom) - x(t.left1, t.left2, t.bottom);
    return (t.bottom - t.top) * (top + bottom) / 2;
}

Polygons maskWithHoles()
{
    Path mask;
    mask.addRect({0, 0, 200, 100});
    mask.addPath(roundedRectPath({20, 20, 60, 40}, {8, 8, 8, 8}));
    mask.addEllipseInRect({150, 60, 80, 80});  // runs off the right and bottom edges
    return mask.flattened();
}

TEST(MaskRaster, RectanglesCoverThePixelsWhoseCentresAreInside)
{
    Path mask;
    mask.addRect({0, 0, 40, 30});
    mask.addRect({10, 5, 10, 10});
    const auto rects = evenOddRectangles(mask.flattened(), 40, 30);
    int area = 0;
    for (const PixelRect& r : rects)
        area += r.width * r.height;
    EXPECT_EQ(area, 40 * 30 - 100);
    // Bands: above the hole, beside it (two pieces), below it.
    const std::vector<PixelRect> expected{{0, 0, 40, 5}, {0, 5, 10, 10}, {20, 5, 20, 10}, {0, 15, 40, 15}};
    EXPECT_EQ(rects, expected);
}

TEST(MaskRaster, RectanglesAndTrapezoidsAgreeWithTheFilledArea)
{
    const Polygons polygons = maskWithHoles();
    const Polygons inScreen = simplified(polygons, FillRule::evenOdd);
    // The even-odd area inside the screen (the disc's outside part adds area
    // beyond the screen, which the pixel grid leaves out).
    Path screen;
    screen.addRect({0, 0, 200, 100});
    Path shape;
    shape.addPolygons(polygons);
    double visible = 0;
    for (const Polygon& p : simplified(subtracting(screen, subtracting(screen, shape)).flattened(), FillRule::evenOdd))
        visible += signedArea(p);

    int pixels = 0;
    for (const PixelRect& r : evenOddRectangles(polygons, 200, 100))
        pixels += r.width * r.height;
    EXPECT_NEAR(pixels, visible, 60);  // the outline's pixels go either way

    double trapezoids = 0;
    for (const Trapezoid& t : evenOddTrapezoids(inScreen)) {
        EXPECT_LT(t.top, t.bottom);
        trapezoids += trapezoidArea(t);
    }
    EXPECT_NEAR(trapezoids, filledArea(polygons, FillRule::evenOdd), 0.01);
}

} // namespace
} // namespace hg
