#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "engine/overlay/mask_geometry.h"
#include "engine/overlay/path_boolean.h"
#include "engine/overlay/path_morph.h"

namespace hg {
namespace {

constexpr double W = 1000;
constexpr double H = 800;

int arcCount(const Path& p)
{
    int n = 0;
    for (const PathElement& e : p.elements())
        n += e.kind == PathElement::Kind::arc;
    return n;
}

TEST(MaskGeometry, HoleFlushWithLeftAndTopEdgesRoundsOnlyItsBottomRightCorner)
{
    const Rect layer = layerRect({0, 0, 300, 200}, H);
    EXPECT_EQ(layer, Rect(0, 600, 300, 200));
    const auto radii = cornerRadii(layer, W, H, 16);
    EXPECT_EQ(radii, (std::array<double, 4>{0, 16, 0, 0}));
    EXPECT_EQ(arcCount(roundedRectPath(layer, radii)), 1);
}

TEST(MaskGeometry, AnEdgeWithinHalfAPointOfTheScreensEdgeCountsAsTouchingIt)
{
    // Window bounds are rounded by the window server: a hole that misses an
    // edge by half a point still gets square corners there, one that misses
    // it by more keeps its rounded ones.
    EXPECT_EQ(cornerRadii({0.5, 100, 300, 200}, W, H, 16), (std::array<double, 4>{0, 16, 16, 0}));
    EXPECT_EQ(cornerRadii({0.6, 100, 300, 200}, W, H, 16), (std::array<double, 4>{16, 16, 16, 16}));
    EXPECT_EQ(cornerRadii({100, 0.5, 300, 200}, W, H, 16), (std::array<double, 4>{0, 0, 16, 16}));
    EXPECT_EQ(cornerRadii({100, 0.6, 300, 200}, W, H, 16), (std::array<double, 4>{16, 16, 16, 16}));
    EXPECT_EQ(cornerRadii({699.5, 100, 300, 200}, W, H, 16), (std::array<double, 4>{16, 0, 0, 16}));
    EXPECT_EQ(cornerRadii({699.4, 100, 300, 200}, W, H, 16), (std::array<double, 4>{16, 16, 16, 16}));
    EXPECT_EQ(cornerRadii({100, 599.5, 300, 200}, W, H, 16), (std::array<double, 4>{16, 16, 0, 0}));
    EXPECT_EQ(cornerRadii({100, 599.4, 300, 200}, W, H, 16), (std::array<double, 4>{16, 16, 16, 16}));
}

TEST(MaskGeometry, RadiusIsLimitedToHalfTheShorterSideAndNeverNegative)
{
    EXPECT_EQ(cornerRadii({100, 100, 300, 20}, W, H, 16), (std::array<double, 4>{10, 10, 10, 10}));
    const auto none = cornerRadii({100, 100, 300, 200}, W, H, -4);
    EXPECT_EQ(none, (std::array<double, 4>{0, 0, 0, 0}));
    const Path plain = roundedRectPath({100, 100, 300, 200}, none);
    EXPECT_EQ(arcCount(plain), 0);
    EXPECT_NEAR(filledArea(plain.flattened(), FillRule::evenOdd), 300 * 200, 1e-6);
}

TEST(MaskGeometry, RoundedCornersAreTangentArcsOfTheirRadius)
{
    const Rect r{100, 100, 300, 200};
    const Path p = roundedRectPath(r, {16, 16, 16, 16});
    EXPECT_EQ(arcCount(p), 4);
    // Four quarter discs cut from the corners.
    // Chords lie inside the arcs: at most the tolerance times the arcs' length is lost.
    EXPECT_NEAR(filledArea(p.flattened(), FillRule::evenOdd), 300 * 200 - (4 - std::numbers::pi) * 16 * 16,
                2 * std::numbers::pi * 16 * kFlatteningTolerance);
    EXPECT_FALSE(p.contains({399.5, 100.5}, FillRule::evenOdd));  // the square corner is cut
    const double d = 16 - 16 / std::sqrt(2.0);                      // where the arc crosses the diagonal
    EXPECT_TRUE(p.contains({400 - d - 0.1, 300 - d - 0.1}, FillRule::evenOdd));
    EXPECT_FALSE(p.contains({400 - d + 0.1, 300 - d + 0.1}, FillRule::evenOdd));
    for (const Polygon& polygon : p.flattened())  // never outside the rectangle
        for (const Point& q : polygon)
            EXPECT_TRUE(q.x >= 100 - 1e-9 && q.x <= 400 + 1e-9 && q.y >= 100 - 1e-9 && q.y <= 300 + 1e-9);
}

TEST(MaskGeometry, RevealWithoutHolesHasNoHolesPath)
{
    EXPECT_FALSE(holesPath(kEmptyReveal, W, H, 16).has_value());
    Reveal emptyRects;
    emptyRects.window = Rect{10, 10, 0, 50};
    emptyRects.cursor = Rect{10, 10, 40, 0};
    emptyRects.excluded.push_back({Rect{5, 5, 0, 0}, {}});
    EXPECT_FALSE(holesPath(emptyRects, W, H, 16).has_value());
}

TEST(MaskGeometry, ExcludedWindowLosesTheWindowsInFrontOfIt)
{
    Reveal r;
    r.excluded.push_back({Rect{100, 100, 400, 300}, {Rect{300, 200, 400, 300}, Rect{150, 0, 1, 700}}});
    const std::optional<Path> holes = holesPath(r, W, H, 16);
    ASSERT_TRUE(holes.has_value());
    const Polygons polygons = holes->flattened();
    // Nothing is left inside the covering window (its corners are rounded too).
    const Rect cover = layerRect({300, 200, 400, 300}, H);
    const Path coverPath = roundedRectPath(cover, cornerRadii(cover, W, H, 16));
    int inside = 0;
    for (double x = cover.minX() + 0.25; x < cover.maxX(); x += 3.5)
        for (double y = cover.minY() + 0.25; y < cover.maxY(); y += 3.5)
            if (coverPath.contains({x, y}, FillRule::evenOdd)) {
                ++inside;
                EXPECT_FALSE(polygonsContain(polygons, {x, y}, FillRule::evenOdd)) << x << "," << y;
            }
    EXPECT_GT(inside, 1000);
    EXPECT_TRUE(polygonsContain(polygons, {150, H - 150}, FillRule::evenOdd));
    // The 1-point-wide cover is ignored: nothing is cut along x = 150...151.
    EXPECT_TRUE(polygonsContain(polygons, {150.5, H - 300}, FillRule::evenOdd));
    // 400 × 300 less the 200 × 200 overlap, less three rounded corners, plus
    // the cover's own rounded corner that stays sharp.
    const double corner = (4 - std::numbers::pi) * 16 * 16 / 4;
    EXPECT_NEAR(filledArea(polygons, FillRule::evenOdd), 400 * 300 - 200 * 200 - 3 * corner + corner, 10);

    Reveal hidden;
    hidden.excluded.push_back({Rect{100, 100, 200, 200}, {Rect{50, 50, 400, 400}}});
    const std::optional<Path> nothing = holesPath(hidden, W, H, 16);
    ASSERT_TRUE(nothing.has_value());
    EXPECT_EQ(filledArea(nothing->flattened(), FillRule::evenOdd), 0);
}

TEST(MaskGeometry, CutOutWindowsKeepSquareCornersAndLoseTheWindowsInFrontOfThem)
{
    Reveal r;
    r.cutOut.push_back({Rect{100, 100, 400, 300}, {Rect{300, 200, 400, 300}}});
    const std::optional<Path> holes = holesPath(r, W, H, 16);
    ASSERT_TRUE(holes.has_value());
    const Polygons polygons = holes->flattened();
    // Every pixel of the window shows, to its very corner.
    EXPECT_TRUE(polygonsContain(polygons, {100.5, H - 100.5}, FillRule::evenOdd));
    EXPECT_TRUE(polygonsContain(polygons, {100.5, H - 399.5}, FillRule::evenOdd));
    EXPECT_TRUE(polygonsContain(polygons, {499.5, H - 100.5}, FillRule::evenOdd));
    // The window in front of it stays covered, corners included.
    EXPECT_FALSE(polygonsContain(polygons, {300.5, H - 200.5}, FillRule::evenOdd));
    EXPECT_NEAR(filledArea(polygons, FillRule::evenOdd), 400 * 300 - 200 * 200, 1);

    // A change of a cut-out window is a change of the reveal.
    Reveal moved = r;
    moved.cutOut[0].rect.origin.x += 1;
    EXPECT_FALSE(nearlyEqual(r, moved));
}

TEST(MaskGeometry, OverlappingHolesUniteInsteadOfCancelling)
{
    Reveal r;
    r.window = Rect{100, 100, 300, 200};
    r.cursor = Rect{350, 250, 100, 100};   // overlaps the window's bottom-right corner
    r.excluded.push_back({Rect{200, 150, 300, 300}, {}});
    const std::optional<Path> holes = holesPath(r, W, H, 16);
    ASSERT_TRUE(holes.has_value());
    Path mask;
    mask.addRect({0, 0, W, H});
    mask.addPath(*holes);
    const Polygons polygons = mask.flattened();
    // Inside each hole, and inside every overlap, the mask lets the screen through.
    for (const Point p : {Point{150, H - 150}, Point{390, H - 290}, Point{380, H - 280}, Point{400, H - 300},
                          Point{450, H - 400}, Point{250, H - 200}})
        EXPECT_FALSE(polygonsContain(polygons, p, FillRule::evenOdd)) << p.x << "," << p.y;
    EXPECT_TRUE(polygonsContain(polygons, {600, 100}, FillRule::evenOdd));
    // The union covers each hole's own area and no more than their sum.
    const double area = filledArea(holes->flattened(), FillRule::evenOdd);
    EXPECT_GT(area, 300 * 300 - 300);
    EXPECT_LT(area, 300 * 200 + 300 * 300 + std::numbers::pi * 50 * 50);
}

TEST(MaskGeometry, OneStepBooleanOperationsMatchTheStepwiseOnes)
{
    // Overlapping operands of both orientations, one with a hole of its own.
    std::vector<Path> shapes;
    shapes.push_back(roundedRectPath({100, 100, 300, 200}, {16, 16, 16, 16}));
    Path disc;
    disc.addEllipseInRect({350, 250, 120, 120});
    shapes.push_back(disc.transformed(-1, 1, 820, 0));  // mirrored: clockwise
    shapes.push_back(subtracting(roundedRectPath({150, 50, 200, 400}, {0, 0, 0, 0}),
                                 roundedRectPath({200, 150, 50, 50}, {0, 0, 0, 0})));
    Path stepwise = shapes.front();
    for (std::size_t i = 1; i < shapes.size(); ++i)
        stepwise = uniting(stepwise, shapes[i]);
    const Polygons once = unitingAll(shapes).flattened();
    EXPECT_NEAR(filledArea(once, FillRule::evenOdd), filledArea(stepwise.flattened(), FillRule::evenOdd), 1e-3);
    EXPECT_FALSE(changedBounds(once, stepwise.flattened()).width() > 0.01);
    // The third shape's own hole lies inside the first: the union fills it.
    EXPECT_TRUE(polygonsContain(once, {225, 175}, FillRule::evenOdd));

    Path cut = shapes.front();
    for (std::size_t i = 1; i < shapes.size(); ++i)
        cut = subtracting(cut, shapes[i]);
    const std::vector<Path> rest(shapes.begin() + 1, shapes.end());
    EXPECT_NEAR(filledArea(subtractingAll(shapes.front(), rest).flattened(), FillRule::evenOdd),
                filledArea(cut.flattened(), FillRule::evenOdd), 1e-3);
}

TEST(MaskGeometry, PointerDiscIsTheInscribedEllipse)
{
    Reveal r;
    r.cursor = Rect{100, 100, 120, 60};
    const std::optional<Path> holes = holesPath(r, W, H, 16);
    ASSERT_TRUE(holes.has_value());
    EXPECT_NEAR(filledArea(holes->flattened(), FillRule::evenOdd), std::numbers::pi * 60 * 30,
                2 * std::numbers::pi * 60 * kFlatteningTolerance);
    const Rect box = holes->boundingBox();
    EXPECT_NEAR(box.minY(), H - 160, kFlatteningTolerance);
    EXPECT_NEAR(box.maxX(), 220, kFlatteningTolerance);
}

TEST(MaskGeometry, FlatteningStaysWithinTolerance)
{
    Path disc;
    disc.addEllipseInRect({0, 0, 400, 400});
    for (const Polygon& polygon : disc.flattened())
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Point a = polygon[i];
            const Point b = polygon[(i + 1) % polygon.size()];
            const Point mid{(a.x + b.x) / 2 - 200, (a.y + b.y) / 2 - 200};
            EXPECT_LE(200 - std::hypot(mid.x, mid.y), kFlatteningTolerance + 1e-9);
        }
}

TEST(Reveal, NearlyEqualWithinHalfAPointStrictly)
{
    Reveal a;
    a.window = Rect{100, 100, 300, 200};
    a.focusWindowID = 7;
    Reveal b = a;
    b.window->origin.x += 0.4;
    EXPECT_TRUE(nearlyEqual(a, b));
    EXPECT_FALSE(a == b);
    b.window->origin.x = 100.5;
    EXPECT_FALSE(nearlyEqual(a, b));

    Reveal other = a;
    other.focusWindowID = 8;
    EXPECT_FALSE(nearlyEqual(a, other));
    other.focusWindowID.reset();
    EXPECT_FALSE(nearlyEqual(a, other));

    Reveal cover = a;
    cover.excluded.push_back({Rect{0, 0, 10, 10}, {Rect{1, 1, 2, 2}}});
    Reveal cover2 = cover;
    cover2.excluded[0].coveredBy[0].size.height += 0.45;
    EXPECT_TRUE(nearlyEqual(cover, cover2));
    cover2.excluded[0].coveredBy.push_back(Rect{3, 3, 1, 1});
    EXPECT_FALSE(nearlyEqual(cover, cover2));
    EXPECT_FALSE(nearlyEqual(a, cover));
    EXPECT_TRUE(nearlyEqual(kEmptyReveal, Reveal{}));
}

TEST(Reveal, BigJumpsAreFarMovesOrLargeResizes)
{
    const Rect from{100, 100, 300, 200};
    EXPECT_TRUE(isBigJump(from, from.offsetBy(50, 50)));    // about 70.7 points
    EXPECT_FALSE(isBigJump(from, from.offsetBy(40, 40)));   // about 56.6 points
    EXPECT_TRUE(isBigJump(from, Rect(100, 100, 300, 270))); // 35 % taller
    EXPECT_FALSE(isBigJump(from, Rect(100, 100, 380, 250))); // 27 % wider, 25 % taller
    EXPECT_FALSE(isBigJump(std::nullopt, from));
    EXPECT_FALSE(isBigJump(from, Rect(900, 900, 0, 0)));
}

TEST(PathMorph, MovesOutlinesSmoothlyAndSwitchesWhenUnmatched)
{
    Path a;
    a.addPath(roundedRectPath({100, 100, 200, 100}, {16, 16, 16, 16}));
    const Polygons from = a.flattened();
    const Polygons to = a.translated(60, -20).flattened();
    const Polygons half = morphPolygons(from, to, 0.5);
    ASSERT_EQ(half.size(), 1u);
    EXPECT_NEAR(filledArea(half, FillRule::evenOdd), filledArea(from, FillRule::evenOdd), 40);
    for (const Point& p : half[0]) {
        EXPECT_GE(p.x, 130 - 1e-6);
        EXPECT_LE(p.x, 330 + 1e-6);
        EXPECT_GE(p.y, 90 - 1e-6);
        EXPECT_LE(p.y, 190 + 1e-6);
    }
    Polygons two = to;
    two.push_back({{0, 0}, {5, 0}, {5, 5}});
    EXPECT_EQ(morphPolygons(from, two, 0.5), two);
    EXPECT_EQ(morphPolygons({}, two, 0), two);  // a mask from nothing appears at once
    EXPECT_EQ(morphPolygons(from, to, 0), from);
    EXPECT_NEAR(easeInEaseOut(0.5), 0.5, 1e-6);
    EXPECT_LT(easeInEaseOut(0.1), 0.1);
    EXPECT_GT(easeOut(0.1), 0.1);
}

} // namespace
} // namespace hg
