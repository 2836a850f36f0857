// What the privacy controller asks of the desktop besides windows, screens,
// captures and overlays: the program's own windows, the pointer, whether a
// display sleeps, whether the session is locked or the screen saver runs.
//
// Each port is the least one behaviour needs. The application owns the
// implementations (platform/desktop/) for the life of the process; the
// controller calls them on the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace hg {

// The program's own top-level windows (the settings window, alerts), not its
// overlays.
class ApplicationWindows {
public:
    struct Window {
        std::uint32_t windowID = 0;  // the top-level (frame) window the window server stacks
        Rect frame;                  // window-server coordinates: points, top-left origin
        bool hasParent = false;      // a dialog attached to another window of ours
        bool isVisible = false;
        bool isMinimized = false;
        bool isNormalLevel = true;   // not kept above or below other windows
    };

    virtual ~ApplicationWindows() = default;
    // In the platform's order.
    [[nodiscard]] virtual std::vector<Window> windows() const = 0;
    // True when one of our non-overlay windows has the keyboard focus.
    [[nodiscard]] virtual bool hasKeyWindow() const = 0;
    [[nodiscard]] virtual std::int32_t processID() const = 0;
    // Our own application identifier (as the window list reports it for our windows).
    [[nodiscard]] virtual std::optional<std::string> bundleIdentifier() const = 0;
};

class PointerSource {
public:
    virtual ~PointerSource() = default;
    // The pointer in window-server coordinates (points, top-left origin);
    // nullopt when it cannot be read.
    [[nodiscard]] virtual std::optional<Point> location() = 0;
};

class DisplayPower {
public:
    virtual ~DisplayPower() = default;
    // True when the display's monitor is powered down (blanked by the power
    // manager); unknown displays are awake.
    [[nodiscard]] virtual bool isAsleep(std::uint32_t displayID) = 0;
};

class SessionState {
public:
    virtual ~SessionState() = default;
    // The login session's lock state; false when it cannot be told.
    [[nodiscard]] virtual bool isLocked() = 0;
    // Whether a screen saver is active now; false when it cannot be told.
    [[nodiscard]] virtual bool screenSaverRunning() = 0;
};

} // namespace hg
