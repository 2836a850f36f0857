// Chooses the focus window, the one window that stays sharp, from a window
// list, the frontmost application and the screens, and names the display that
// shows the largest part of it.
//
// Pure functions without state; the privacy controller calls them on the main
// thread whenever it re-evaluates the focus, and keeps the result.
//
//     auto focus = FocusTracker::focusWindow(scanner.current(), frontmostPID,
//                                            frontmostIsDesktopShell, screens, ownPID);
//
// Layers used by the rules: 0 ordinary windows; 1 to 7 floating windows and
// panels; 8 to 18 modal panels; 19 utility windows; 20 and above docks, menus,
// panels and other system surfaces; negative layers (the desktop) are never
// candidates.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "engine/windows/screens.h"
#include "engine/windows/window_snapshot.h"

namespace hg {

struct FocusedWindow {
    std::uint32_t windowID = 0;
    std::int32_t pid = 0;
    Rect rect;                   // window-server coordinates, as in the snapshot
    std::uint32_t displayID = 0; // the display that shows the largest part of it

    friend bool operator==(const FocusedWindow&, const FocusedWindow&) = default;
};

struct FocusTracker {
    struct FocusCandidate {
        FocusedWindow window;
        std::int64_t layer = 0;
    };

    // A screen with a display number and its bounds in window-server
    // coordinates; the screens are read once per evaluation into these.
    struct DisplayArea {
        std::uint32_t displayID = 0;
        Rect bounds;
    };

    // The focus window, or nullopt. `frontmostPID` is the frontmost
    // application's process (nullopt when there is none); `frontmostIsDesktopShell`
    // tells whether that application is the desktop shell; `ownPID` is this
    // program's process, whose windows never take the focus. `activeWindowID`,
    // when the window server names the window with the input focus, picks that
    // one among the frontmost application's windows, whatever their order.
    [[nodiscard]] static std::optional<FocusedWindow> focusWindow(const std::vector<WindowSnapshot>& windows,
                                                                  std::optional<std::int32_t> frontmostPID,
                                                                  bool frontmostIsDesktopShell,
                                                                  const ScreenSource& screens,
                                                                  std::int32_t ownPID,
                                                                  std::optional<std::uint32_t> activeWindowID = {});

    // The snapshot as a candidate, or nullopt when it cannot take the focus:
    // own process, layer, off screen, on no display, or a bar along a
    // display's top or bottom edge.
    [[nodiscard]] static std::optional<FocusCandidate> candidate(const WindowSnapshot& snapshot,
                                                                 std::int32_t ownPID,
                                                                 std::optional<std::int32_t> frontmostPID,
                                                                 const ScreenSource& screens);
    [[nodiscard]] static std::optional<FocusCandidate> candidate(const WindowSnapshot& snapshot,
                                                                 std::int32_t ownPID,
                                                                 std::optional<std::int32_t> frontmostPID,
                                                                 const std::vector<DisplayArea>& displays);

    // The winner among `candidates` (in list order): a modal panel first; the
    // frontmost application's active window; the front-most window when the
    // desktop shell is in front behind another application's window; else the
    // frontmost application's front-most window; else the front-most window. With the size filter on (ignoreMinimumSize
    // false), windows below 120 × 80 points are passed over.
    [[nodiscard]] static std::optional<FocusedWindow> choose(const std::vector<FocusCandidate>& candidates,
                                                             std::optional<std::int32_t> frontmostPID,
                                                             bool ignoreMinimumSize,
                                                             bool frontmostIsDesktopShell,
                                                             std::optional<std::uint32_t> activeWindowID = {});

    // The screen's display number; nullopt when it has none.
    [[nodiscard]] static std::optional<std::uint32_t> displayNumber(const Screen& screen);
    // The screen's visible frame in window-server coordinates (points, top-left
    // origin); nullopt when the screen has no display number or the display's
    // bounds are unknown.
    [[nodiscard]] static std::optional<Rect> visibleArea(const Screen& screen, const ScreenSource& screens);

    // The screens with a display number and known bounds, in the platform's order.
    [[nodiscard]] static std::vector<DisplayArea> displayAreas(const ScreenSource& screens);
};

} // namespace hg
