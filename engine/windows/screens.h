// The screens (monitors) of the desktop, as a port.
//
// Screens come in the platform's order, the primary screen first. Frames and
// visible frames are in points in the bottom-left convention: y grows upwards
// from the bottom of the primary screen, so that a screen's frame and the
// window server's top-left rectangles relate as y' = primaryHeight − maxY. The
// visible frame leaves out panels and docks.
//
// Display bounds are the same monitor in window-server coordinates (points,
// origin at the top left of the primary screen, y down), found by display number.
//
// Owned by the application for the life of the process; read on the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace hg {

struct Screen {
    // Stable number of the display; absent when the platform gives none.
    std::optional<std::uint32_t> displayNumber;
    Rect frame;                       // points, bottom-left convention
    Rect visibleFrame;                // points, bottom-left convention, without panels
    double backingScaleFactor = 1.0;  // pixels per point
    std::string name;                 // the monitor's name, e.g. "DP-1"; for logs and settings

    friend bool operator==(const Screen&, const Screen&) = default;
};

class ScreenSource {
public:
    virtual ~ScreenSource() = default;

    // The screens in the platform's order, primary first.
    [[nodiscard]] virtual std::vector<Screen> screens() const = 0;
    // The display's rectangle in window-server coordinates; nullopt for an
    // unknown display number.
    [[nodiscard]] virtual std::optional<Rect> displayBounds(std::uint32_t displayNumber) const = 0;
};

} // namespace hg
