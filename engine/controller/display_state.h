// What the privacy controller keeps for one covered display: its overlay, when
// it was last captured and pictured, what the picture on screen was made
// from, and whether the focus window reaches it.
//
// The controller holds one record per display in one map; the record goes
// with its overlay (switching off, rebuilding the overlays), and `forget`
// drops everything a new picture must not rely on.
//
//     DisplayState& state = m_displays.at(display);
//     state.lastCaptureNanos.reset();   // captured at the next pass
//     state.forget();                   // a new desktop: no picture, captured at once
//
// Main thread only, like the controller.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "engine/overlay/blur_overlay.h"

namespace hg {

// What a display's blur was made from; an identical input needs no new blur.
// The capture is kept as a digest of its pixels, not as a copy.
struct BlurInput {
    std::uint64_t digest = 0;  // of the captured pixels and their layout
    std::optional<Rect> hole;  // image pixels, bottom-left origin
    bool applyBlur = true;
    double scale = 1;   // image pixels per point
    double radius = 0;  // points
    std::optional<Size> outputSize;  // the picture's pixels; none: the capture's own size
    friend bool operator==(const BlurInput&, const BlurInput&) = default;
};

// The blur input of the picture an overlay shows, and the captured pixels it
// was made from: a service answering those very pixels again (they never
// change once made) says the screen is unchanged, no digest needed.
struct ShownBlur {
    BlurInput input;
    std::weak_ptr<const std::vector<std::uint8_t>> pixels;
};

struct DisplayState {
    std::unique_ptr<BlurOverlay> overlay;
    // Uptime nanoseconds of the last picture handed over; none: the display is
    // captured at the next pass.
    std::optional<std::uint64_t> lastCaptureNanos;
    // Seconds since the reference date of the last picture (or of the end of a
    // full-screen take-over); none: since the effect was switched on.
    std::optional<double> lastPictureAt;
    // Of the picture the overlay shows; none while it shows none of ours.
    std::optional<ShownBlur> shown;
    // The focus window reaches this display (it is captured without the focus
    // window and at the pace of the focus).
    bool covered = false;

    // The overlay shows no picture, and the next pass captures the display
    // anew, blurs it afresh and decides again whether the focus reaches it.
    void forget()
    {
        overlay->clear();
        shown.reset();
        lastCaptureNanos.reset();
        covered = false;
    }
};

} // namespace hg
