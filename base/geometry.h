// Points, sizes and rectangles in points (doubles), with the rectangle
// semantics the window tracking, capture and overlay code relies on.
//
// A rectangle has an origin and a size; its size may be negative until it is
// standardised. The null rectangle is the "nowhere" result of intersecting two
// rectangles that do not meet: it is empty, is the identity of union, and
// absorbs intersection. An empty rectangle (zero width or height) still has a
// place, unlike the null one. `contains(Point)` is half-open: the minimum edges
// belong to the rectangle, the maximum edges do not.
//
// Plain values; safe to copy between threads.
#pragma once

#include <cmath>
#include <limits>

namespace hg {

struct Point {
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double width, double height)
        : origin{x, y}, size{width, height} {}
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}

    // The rectangle that is nowhere: origin at +infinity, size zero.
    [[nodiscard]] static constexpr Rect null()
    {
        constexpr double inf = std::numeric_limits<double>::infinity();
        return {inf, inf, 0, 0};
    }

    [[nodiscard]] bool isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
    // Null, or zero width or height.
    [[nodiscard]] bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

    // Width and height of the standardised rectangle (never negative).
    [[nodiscard]] double width() const { return std::abs(size.width); }
    [[nodiscard]] double height() const { return std::abs(size.height); }
    [[nodiscard]] double minX() const { return std::min(origin.x, origin.x + size.width); }
    [[nodiscard]] double minY() const { return std::min(origin.y, origin.y + size.height); }
    [[nodiscard]] double maxX() const { return std::max(origin.x, origin.x + size.width); }
    [[nodiscard]] double maxY() const { return std::max(origin.y, origin.y + size.height); }
    [[nodiscard]] double midX() const { return (minX() + maxX()) / 2; }
    [[nodiscard]] double midY() const { return (minY() + maxY()) / 2; }
    [[nodiscard]] double area() const { return isNull() ? 0 : width() * height(); }

    // The same rectangle with a non-negative size.
    [[nodiscard]] Rect standardized() const;

    // The common part of both, or null when they do not meet. Rectangles that
    // only touch along an edge meet in an empty (zero-width or zero-height)
    // rectangle, which is not null.
    [[nodiscard]] Rect intersected(const Rect& other) const;
    // True when the intersection has a positive area.
    [[nodiscard]] bool intersects(const Rect& other) const;
    // The smallest rectangle containing both; null is the identity.
    [[nodiscard]] Rect united(const Rect& other) const;
    // Grown outward to whole numbers: minimum edges floored, maximum edges
    // ceiled. Null stays null.
    [[nodiscard]] Rect integral() const;
    // Moved in by dx on the left and right and dy at the top and bottom; negative
    // values grow the rectangle. Null when the result would have a negative size.
    [[nodiscard]] Rect insetBy(double dx, double dy) const;
    [[nodiscard]] Rect offsetBy(double dx, double dy) const;

    void intersect(const Rect& other) { *this = intersected(other); }
    void unite(const Rect& other) { *this = united(other); }

    [[nodiscard]] bool contains(Point p) const;
    // True when `other` lies wholly inside (edges may coincide). Nothing
    // contains the null rectangle, and the null rectangle contains nothing.
    [[nodiscard]] bool contains(const Rect& other) const;

    // Exact comparison of origin and size, as stored.
    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace hg
