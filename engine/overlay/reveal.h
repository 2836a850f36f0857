// What stays sharp on one display in one frame, and how two of those compare.
//
// The privacy controller builds a `Reveal` per display on every frame tick; the
// display's `BlurOverlay` turns it into the holes of its mask. Rectangles are in
// points relative to the display: origin at its top-left corner, y down.
//
// Plain values; safe to copy between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"

namespace hg {

struct SharpWindow {
    Rect rect;                    // a window of an excluded application, clipped to the display
    std::vector<Rect> coveredBy;  // windows in front of it, clipped to the display: they stay blurred

    friend bool operator==(const SharpWindow&, const SharpWindow&) = default;
};

struct Reveal {
    // The previous focus window's place while the picture on screen predates the
    // current focus window; absent otherwise.
    std::optional<Rect> window;
    // Bounding rectangle of the clear disc around the pointer (the hole is the
    // inscribed ellipse); absent when the pointer is not revealed here.
    std::optional<Rect> cursor;
    std::vector<SharpWindow> excluded;
    // Windows that lie below the overlay in the stack but must show through it,
    // each minus the windows in front of it that stay blurred: the focus window
    // when the overlay cannot be ordered directly below it (a window that must
    // be blurred stands above it, or the window manager draws the overlay above
    // every managed window), and Hushglass's own windows when the overlay is
    // raised above them. Cut with square corners, so nothing of the window is
    // clipped.
    std::vector<SharpWindow> cutOut;
    // Window-server number of the focus window; absent when there is none.
    std::optional<std::uint32_t> focusWindowID;

    // Exact: rectangles compared as stored.
    friend bool operator==(const Reveal&, const Reveal&) = default;
};

// The reveal with nothing in it: no window, no pointer, no excluded windows,
// no focus window.
inline const Reveal kEmptyReveal{};

// How far two rectangles' origins and sizes may differ, strictly, and still
// count as the same place: half a point, less than the eye sees at 1x.
inline constexpr double kNearlyEqualTolerance = 0.5;

[[nodiscard]] bool nearlyEqual(const Rect& a, const Rect& b);
[[nodiscard]] bool nearlyEqual(const std::optional<Rect>& a, const std::optional<Rect>& b);
[[nodiscard]] bool nearlyEqual(const std::vector<SharpWindow>& a, const std::vector<SharpWindow>& b);
// Holes nearly equal and the same focus window (compared exactly).
[[nodiscard]] bool nearlyEqual(const Reveal& a, const Reveal& b);

// Whether a window hole moved from `from` to `to` far enough to animate: its
// centre travelled more than 64 points, or its width or height changed by
// more than 30 %. False when either is absent or empty.
[[nodiscard]] bool isBigJump(const std::optional<Rect>& from, const std::optional<Rect>& to);

} // namespace hg
