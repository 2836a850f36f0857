#include "engine/overlay/reveal.h"

#include <cmath>

namespace hg {
namespace {

// Farther than this (points) between the centres, a hole change animates.
constexpr double kBigJumpDistance = 64;
// A relative change of width or height beyond this animates.
constexpr double kBigJumpResize = 0.3;

bool close(double a, double b) { return std::abs(a - b) < kNearlyEqualTolerance; }

bool nearlyEqual(const std::vector<Rect>& a, const std::vector<Rect>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!nearlyEqual(a[i], b[i]))
            return false;
    return true;
}

} // namespace

bool nearlyEqual(const Rect& a, const Rect& b)
{
    return close(a.origin.x, b.origin.x) && close(a.origin.y, b.origin.y) && close(a.width(), b.width())
        && close(a.height(), b.height());
}

bool nearlyEqual(const std::optional<Rect>& a, const std::optional<Rect>& b)
{
    if (!a || !b)
        return !a && !b;
    return nearlyEqual(*a, *b);
}

bool nearlyEqual(const std::vector<SharpWindow>& a, const std::vector<SharpWindow>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!nearlyEqual(a[i].rect, b[i].rect) || !nearlyEqual(a[i].coveredBy, b[i].coveredBy))
            return false;
    return true;
}

bool nearlyEqual(const Reveal& a, const Reveal& b)
{
    return nearlyEqual(a.window, b.window) && nearlyEqual(a.cursor, b.cursor) && nearlyEqual(a.excluded, b.excluded)
        && nearlyEqual(a.cutOut, b.cutOut)
        && a.focusWindowID == b.focusWindowID;
}

bool isBigJump(const std::optional<Rect>& from, const std::optional<Rect>& to)
{
    if (!from || !to || from->isEmpty() || to->isEmpty())
        return false;
    if (std::hypot(to->midX() - from->midX(), to->midY() - from->midY()) > kBigJumpDistance)
        return true;
    return std::abs(to->width() - from->width()) > kBigJumpResize * from->width()
        || std::abs(to->height() - from->height()) > kBigJumpResize * from->height();
}

} // namespace hg
