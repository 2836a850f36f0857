// Rectangle semantics that window tracking, capture and the overlay masks rely
// on: null versus empty, intersection and union, outward rounding, insets and
// the half-open containment rule.
#include "base/geometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace hg {
namespace {

TEST(RectTest, NullIsEmptyAndUnlikeAZeroSizedRectangle)
{
    const Rect null = Rect::null();
    EXPECT_TRUE(null.isNull());
    EXPECT_TRUE(null.isEmpty());
    EXPECT_EQ(null.area(), 0);
    EXPECT_EQ(null, Rect::null());

    const Rect zeroWidth{10, 10, 0, 5};
    EXPECT_FALSE(zeroWidth.isNull());
    EXPECT_TRUE(zeroWidth.isEmpty());
    EXPECT_NE(zeroWidth, null);
    EXPECT_FALSE(Rect(0, 0, 1, 1).isEmpty());
}

TEST(RectTest, IntersectionIsNullWhenDisjointAndEmptyWhenTouching)
{
    const Rect a{0, 0, 100, 100};
    EXPECT_TRUE(a.intersected({200, 0, 10, 10}).isNull());
    EXPECT_TRUE(a.intersected({0, 101, 10, 10}).isNull());
    EXPECT_FALSE(a.intersects({200, 0, 10, 10}));

    // Sharing an edge: a place, but no area.
    const Rect edge = a.intersected({100, 20, 50, 50});
    EXPECT_FALSE(edge.isNull());
    EXPECT_TRUE(edge.isEmpty());
    EXPECT_EQ(edge, Rect(100, 20, 0, 50));
    EXPECT_FALSE(a.intersects({100, 20, 50, 50}));

    EXPECT_EQ(a.intersected({50, -10, 100, 30}), Rect(50, 0, 50, 20));
    EXPECT_TRUE(a.intersects({50, -10, 100, 30}));
}

TEST(RectTest, NullAbsorbsIntersectionAndIsTheIdentityOfUnion)
{
    const Rect a{5, 6, 7, 8};
    EXPECT_TRUE(a.intersected(Rect::null()).isNull());
    EXPECT_TRUE(Rect::null().intersected(a).isNull());
    EXPECT_EQ(a.united(Rect::null()), a);
    EXPECT_EQ(Rect::null().united(a), a);
    EXPECT_TRUE(Rect::null().united(Rect::null()).isNull());
    // Union with an empty rectangle that is not null still reaches its place.
    EXPECT_EQ(a.united({30, 40, 0, 0}), Rect(5, 6, 25, 34));
}

TEST(RectTest, NegativeSizesAreStandardised)
{
    const Rect r{10, 20, -4, -6};
    EXPECT_EQ(r.standardized(), Rect(6, 14, 4, 6));
    EXPECT_EQ(r.width(), 4);
    EXPECT_EQ(r.height(), 6);
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxY(), 20);
    EXPECT_EQ(r.midX(), 8);
    EXPECT_EQ(r.area(), 24);
    // Operations answer standardised rectangles.
    EXPECT_EQ(r.intersected({0, 0, 100, 100}), Rect(6, 14, 4, 6));
    EXPECT_EQ(r.united(Rect::null()), Rect(6, 14, 4, 6));
    EXPECT_EQ(r.insetBy(1, 1), Rect(7, 15, 2, 4));
    EXPECT_TRUE(r.contains(Point{6, 14}));
    EXPECT_FALSE(r.contains(Point{10, 20}));
    EXPECT_TRUE(Rect::null().standardized().isNull());
}

TEST(RectTest, IntegralRoundsOutwardToWholePixels)
{
    EXPECT_EQ(Rect(0.5, 1.2, 10.0, 3.3).integral(), Rect(0, 1, 11, 4));
    EXPECT_EQ(Rect(-0.5, -1.5, 1, 1).integral(), Rect(-1, -2, 2, 2));
    EXPECT_EQ(Rect(3, 4, 5, 6).integral(), Rect(3, 4, 5, 6));
    EXPECT_EQ(Rect(2.5, 2.5, -1, -1).integral(), Rect(1, 1, 2, 2));
    EXPECT_TRUE(Rect::null().integral().isNull());
}

TEST(RectTest, InsetShrinksGrowsWhenNegativeAndIsNullWhenOverInset)
{
    const Rect r{0, 0, 10, 20};
    EXPECT_EQ(r.insetBy(2, 3), Rect(2, 3, 6, 14));
    EXPECT_EQ(r.insetBy(-5, -5), Rect(-5, -5, 20, 30));
    EXPECT_EQ(r.insetBy(5, 10), Rect(5, 10, 0, 0));
    EXPECT_TRUE(r.insetBy(5.5, 0).isNull());
    EXPECT_TRUE(r.insetBy(0, 10.5).isNull());
    EXPECT_TRUE(Rect::null().insetBy(-10, -10).isNull());
    EXPECT_TRUE(Rect::null().offsetBy(1, 1).isNull());
}

TEST(RectTest, ContainsPointIsHalfOpen)
{
    const Rect r{10, 10, 5, 5};
    EXPECT_TRUE(r.contains(Point{10, 10}));
    EXPECT_TRUE(r.contains(Point{14.999, 14.999}));
    EXPECT_FALSE(r.contains(Point{15, 12}));
    EXPECT_FALSE(r.contains(Point{12, 15}));
    EXPECT_FALSE(r.contains(Point{9.999, 12}));
    EXPECT_FALSE(Rect(10, 10, 0, 5).contains(Point{10, 10}));
    EXPECT_FALSE(Rect::null().contains(Point{0, 0}));
}

TEST(RectTest, ContainsRectAllowsSharedEdgesButNeverNull)
{
    const Rect r{0, 0, 10, 10};
    EXPECT_TRUE(r.contains(r));
    EXPECT_TRUE(r.contains(Rect(0, 0, 10, 0)));
    EXPECT_FALSE(r.contains(Rect(5, 5, 6, 1)));
    EXPECT_FALSE(r.contains(Rect::null()));
    EXPECT_FALSE(Rect::null().contains(Rect::null()));
}

TEST(RectTest, IntersectionLiesInBothAndUnionHoldsBoth)
{
    const std::vector<Rect> rects{
        {0, 0, 100, 100}, {50, 50, 100, 20}, {-30, 10, 40, 40}, {100, 0, 10, 10},
        {20, 120, -10, -40}, {0.5, 0.25, 3.75, 99}, {200, 200, 1, 1}, {10, 10, 0, 0},
    };
    for (const Rect& a : rects) {
        for (const Rect& b : rects) {
            SCOPED_TRACE(::testing::Message() << a.origin.x << "," << a.origin.y << " / " << b.origin.x << ","
                                              << b.origin.y);
            const Rect common = a.intersected(b);
            EXPECT_EQ(common, b.intersected(a));
            if (!common.isNull()) {
                EXPECT_TRUE(a.contains(common));
                EXPECT_TRUE(b.contains(common));
            }
            EXPECT_LE(common.area(), std::min(a.area(), b.area()));

            const Rect both = a.united(b);
            EXPECT_EQ(both, b.united(a));
            EXPECT_TRUE(both.contains(a));
            EXPECT_TRUE(both.contains(b));
            EXPECT_GE(both.area(), std::max(a.area(), b.area()));

            EXPECT_TRUE(a.integral().contains(a));
        }
    }
}

} // namespace
} // namespace hg
