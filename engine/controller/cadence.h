// The privacy controller's paces: how often it captures, how often it chooses
// the focus window anew, and how long a lost focus window is kept.
//
// The capture pace follows the scheduler's settled-frame count (frames in a
// row in which the focus window neither changed nor moved); at 60 frames per
// second 45 settled frames are 0.75 s and 900 are 15 s.
//
// Past `kSettledFramesForIdlePace` a still screen lets the frame clock idle
// (one tick every 250 ms). An idle tick still counts as one settled frame:
// the count only matters below that threshold, and any change resets it and
// brings the display's rate back. The focus-choice and recompute periods count
// time instead: an idle tick, and the first tick after waking, spans more than
// any of them and so ends each (`FrameScheduler::isPeriodBoundary`).
#pragma once

#include <cstdint>

namespace hg::cadence {

// Pause after a capture pass while something moves (fewer than
// `kSettledFramesForSettledPace` settled frames): as fast as passes allow.
inline constexpr std::uint64_t kMovingCaptureDelayNanos = 8'000'000;
// After 0.75 s of stillness: about 30 captures a second.
inline constexpr std::uint64_t kSettledCaptureDelayNanos = 33'000'000;
// After 15 s of stillness: 4 captures a second.
inline constexpr std::uint64_t kIdleCaptureDelayNanos = 250'000'000;
// Without a focus window, without overlays, or while every display is taken
// over by a full-screen application under the full-screen pause.
inline constexpr std::uint64_t kUnfocusedCaptureDelayNanos = 200'000'000;

inline constexpr int kSettledFramesForSettledPace = 45;
inline constexpr int kSettledFramesForIdlePace = 900;

// A display the focus window does not reach is captured again only after more
// than this since its last picture (about every 66 ms).
inline constexpr std::uint64_t kOtherDisplayIntervalNanos = 65'999'999;

// The focus window is chosen anew on every n-th frame: without a focus window,
// while it moves (fewer than `kSettledFramesForSettledPace` settled frames),
// and once it is still.
inline constexpr int kFocusChoicePeriodWithoutFocus = 6;
inline constexpr int kFocusChoicePeriodWhileMoving = 3;
inline constexpr int kFocusChoicePeriodWhileStill = 4;

// Empty focus choices in a row before the focus window is dropped.
inline constexpr int kLostFocusLimit = 15;
// A focus window that vanished from the window list stays revealed this long.
inline constexpr double kStaleGraceSeconds = 0.15;

} // namespace hg::cadence
