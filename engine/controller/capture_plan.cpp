#include "engine/controller/capture_plan.h"

#include "engine/controller/cadence.h"

namespace hg {
namespace {

constexpr double kCoverOverlap = 2;          // points each way to become covered
constexpr double kStayCoveredOverlap = 0.5;  // points each way to stay covered

bool overlaps(const Rect& a, const Rect& b, double minimum)
{
    const Rect common = a.intersected(b);
    return !common.isNull() && common.width() >= minimum && common.height() >= minimum;
}

// A rectangle in window-server points as pixels of a capture of the display
// at `bounds` (origin at the image's bottom left).
Rect toImagePixels(const Rect& r, const Rect& bounds, double scale, double imageHeight)
{
    return {(r.minX() - bounds.minX()) * scale, imageHeight - (r.maxY() - bounds.minY()) * scale,
            r.width() * scale, r.height() * scale};
}

} // namespace

CapturePlan planCapturePass(const CapturePlanInput& input)
{
    CapturePlan plan;
    const std::optional<FocusedWindow>& focus = input.focus;
    const bool reveal = input.revealFocus && focus;
    std::vector<CapturePlan::Step> others;
    for (const CapturePlanInput::Display& display : input.displays) {
        const bool touches = focus && display.bounds && overlaps(focus->rect, *display.bounds, kCoverOverlap);
        const bool covered = touches
            || (focus && display.bounds && display.wasCovered
                && overlaps(focus->rect, *display.bounds, kStayCoveredOverlap));
        if (covered)
            plan.covered.insert(display.id);
        if (display.skipped)
            continue;
        // A display the focus window does not reach keeps a slower pace, but
        // one entering or leaving its reach is captured at once.
        const bool recent = display.lastCaptureNanos
            && input.nowNanos - *display.lastCaptureNanos <= cadence::kOtherDisplayIntervalNanos;
        if (!covered && !display.wasCovered && recent)
            continue;
        CapturePlan::Step step{display.id, std::nullopt, std::nullopt};
        if (covered && reveal)
            step.exclude = focus->windowID;
        if (reveal && display.bounds && focus->rect.intersects(*display.bounds))
            step.hole = focus->rect;
        (touches ? plan.steps : others).push_back(step);
    }
    plan.steps.insert(plan.steps.end(), others.begin(), others.end());
    return plan;
}

Rect holeInImage(const Rect& hole, const std::optional<Rect>& focusNow, const Rect& bounds, double scale,
                 double imageHeight)
{
    Rect pixels = toImagePixels(hole, bounds, scale, imageHeight);
    if (focusNow && focusNow->intersects(bounds))
        pixels.unite(toImagePixels(*focusNow, bounds, scale, imageHeight));
    return pixels;
}

} // namespace hg
