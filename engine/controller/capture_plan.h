// One capture pass, planned before it runs: which displays are captured, in
// which order, which window each capture leaves out, and where each blur
// keeps a hole for the focus window.
//
// The plan is a plain value computed by a pure function from a plain
// description of the displays and the focus window, so it can be read without
// a display; the privacy controller carries it out one display after another.
//
//     const CapturePlan plan = planCapturePass({.displays = ..., .focus = focus,
//                                               .revealFocus = true, .nowNanos = clock.uptimeNanos()});
//     for (const CapturePlan::Step& step : plan.steps)
//         capture(step.display, Exclusion{step.exclude}, ...);
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "base/geometry.h"
#include "engine/windows/focus_tracker.h"

namespace hg {

struct CapturePlanInput {
    struct Display {
        std::uint32_t id = 0;
        std::optional<Rect> bounds;  // window-server points; none: the display is not known
        bool wasCovered = false;     // the focus window reached it at the last pass
        // Uptime nanoseconds of its last picture; none: never, or to be captured at once.
        std::optional<std::uint64_t> lastCaptureNanos;
        // Not captured at all: asleep, or taken over by a full-screen
        // application while the full-screen pause is on.
        bool skipped = false;
    };
    std::vector<Display> displays;  // in display order
    std::optional<FocusedWindow> focus;
    // The focus window is shown sharp where it is known to be: it is left out
    // of the captures and the blurs keep a hole for it.
    bool revealFocus = false;
    std::uint64_t nowNanos = 0;  // uptime at the start of the pass
};

struct CapturePlan {
    struct Step {
        std::uint32_t display = 0;
        std::optional<std::uint32_t> exclude;  // the window the capture leaves out
        // The focus window's rectangle in window-server points, where the blur
        // keeps a hole; none: no hole.
        std::optional<Rect> hole;
        friend bool operator==(const Step&, const Step&) = default;
    };
    // Captured one after another in this order: the displays the focus window
    // touches first, each group in display order.
    std::vector<Step> steps;
    // The displays the focus window reaches now (for the next pass's `wasCovered`).
    std::set<std::uint32_t> covered;
};

[[nodiscard]] CapturePlan planCapturePass(const CapturePlanInput& input);

// A step's hole in the pixels of a capture of the display at `bounds` (origin
// at the image's bottom left, `scale` pixels per point), widened by the focus
// window's place now when that lies on the display too: the window may have
// moved while it was captured.
[[nodiscard]] Rect holeInImage(const Rect& hole, const std::optional<Rect>& focusNow, const Rect& bounds,
                               double scale, double imageHeight);

} // namespace hg
