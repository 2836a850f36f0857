#include "engine/windows/focus_tracker.h"

#include <cmath>

namespace hg {

namespace {

// Windows below this size in points are passed over in the first choice, so
// that a small palette or a splash does not take the focus from a document.
constexpr double kMinimumWidth = 120;
constexpr double kMinimumHeight = 80;

// A bar spans most of a display's width, is flat, and sits on its top or bottom
// edge: a panel or a toolbar strip, never a document.
constexpr double kBarMinimumWidthShare = 0.8;
constexpr double kBarMaximumHeightShare = 0.3;
constexpr double kBarEdgeTolerance = 2;  // points

bool layerAccepted(std::int64_t layer, bool ownedByFrontmost, bool hasFrontmost)
{
    // Compared unsigned, so that negative (desktop) layers count as huge.
    const auto u = static_cast<std::uint64_t>(layer);
    const bool ordinaryOrModal = u == 0 || (u >= 8 && u <= 19);
    if (!hasFrontmost)
        return ordinaryOrModal;
    if (u > 19)
        return false;
    return ordinaryOrModal || ownedByFrontmost;
}

bool isBar(const Rect& window, const Rect& display)
{
    if (window.width() < kBarMinimumWidthShare * display.width())
        return false;
    if (window.height() > kBarMaximumHeightShare * display.height())
        return false;
    return std::abs(window.minY() - display.minY()) <= kBarEdgeTolerance
        || std::abs(window.maxY() - display.maxY()) <= kBarEdgeTolerance;
}

bool isModalLayer(std::int64_t layer) { return layer >= 8 && layer <= 18; }

} // namespace

std::optional<std::uint32_t> FocusTracker::displayNumber(const Screen& screen) { return screen.displayNumber; }

std::vector<FocusTracker::DisplayArea> FocusTracker::displayAreas(const ScreenSource& screens)
{
    std::vector<DisplayArea> areas;
    for (const Screen& screen : screens.screens()) {
        const std::optional<std::uint32_t> number = displayNumber(screen);
        if (!number)
            continue;
        if (const std::optional<Rect> bounds = screens.displayBounds(*number))
            areas.push_back({*number, *bounds});
    }
    return areas;
}

std::optional<Rect> FocusTracker::visibleArea(const Screen& screen, const ScreenSource& screens)
{
    const std::optional<std::uint32_t> number = displayNumber(screen);
    if (!number)
        return std::nullopt;
    const std::optional<Rect> bounds = screens.displayBounds(*number);
    if (!bounds)
        return std::nullopt;
    const Rect& f = screen.frame;
    const Rect& v = screen.visibleFrame;
    return Rect(bounds->minX() + (v.minX() - f.minX()), bounds->minY() + (f.maxY() - v.maxY()), v.width(),
                v.height());
}

std::optional<FocusTracker::FocusCandidate> FocusTracker::candidate(const WindowSnapshot& snapshot,
                                                                    std::int32_t ownPID,
                                                                    std::optional<std::int32_t> frontmostPID,
                                                                    const ScreenSource& screens)
{
    return candidate(snapshot, ownPID, frontmostPID, displayAreas(screens));
}

std::optional<FocusTracker::FocusCandidate> FocusTracker::candidate(const WindowSnapshot& snapshot,
                                                                    std::int32_t ownPID,
                                                                    std::optional<std::int32_t> frontmostPID,
                                                                    const std::vector<DisplayArea>& displays)
{
    if (snapshot.pid == ownPID)
        return std::nullopt;
    if (!layerAccepted(snapshot.layer, frontmostPID && snapshot.pid == *frontmostPID, frontmostPID.has_value()))
        return std::nullopt;
    if (!snapshot.isOnScreen)
        return std::nullopt;

    const DisplayArea* best = nullptr;
    double bestArea = 0;
    int touched = 0;
    for (const DisplayArea& display : displays) {
        const Rect common = snapshot.rect.intersected(display.bounds);
        if (common.isEmpty())
            continue;
        ++touched;
        const double area = common.area();
        if (!best || area > bestArea) {  // on a tie the earlier screen keeps it
            best = &display;
            bestArea = area;
        }
    }
    if (!best)
        return std::nullopt;
    if (touched <= 1 && isBar(snapshot.rect, best->bounds))
        return std::nullopt;
    return FocusCandidate{{snapshot.windowID, snapshot.pid, snapshot.rect, best->displayID}, snapshot.layer};
}

std::optional<FocusedWindow> FocusTracker::choose(const std::vector<FocusCandidate>& candidates,
                                                  std::optional<std::int32_t> frontmostPID,
                                                  bool ignoreMinimumSize,
                                                  bool frontmostIsDesktopShell,
                                                  std::optional<std::uint32_t> activeWindowID)
{
    const FocusCandidate* modal = nullptr;
    const FocusCandidate* topmost = nullptr;
    const FocusCandidate* frontmost = nullptr;
    const FocusCandidate* active = nullptr;
    bool otherBeforeFrontmost = false;
    for (const FocusCandidate& c : candidates) {
        const Rect& r = c.window.rect;
        if (!ignoreMinimumSize && (r.width() < kMinimumWidth || r.height() < kMinimumHeight))
            continue;
        if (!modal && isModalLayer(c.layer)) {
            modal = &c;
            continue;
        }
        if (!topmost)
            topmost = &c;
        const bool ofFrontmost = frontmostPID && c.window.pid == *frontmostPID;
        if (ofFrontmost && !frontmost)
            frontmost = &c;
        if (ofFrontmost && activeWindowID && c.window.windowID == *activeWindowID)
            active = &c;
        if (!ofFrontmost && !frontmost)
            otherBeforeFrontmost = true;
    }
    if (modal)
        return modal->window;
    // The window with the input focus, when the window server names it: the
    // desktop shell's own windows included (its desktop is never a candidate).
    if (active)
        return active->window;
    if (frontmostIsDesktopShell && otherBeforeFrontmost && topmost)
        return topmost->window;
    if (frontmost)
        return frontmost->window;
    if (topmost)
        return topmost->window;
    return std::nullopt;
}

std::optional<FocusedWindow> FocusTracker::focusWindow(const std::vector<WindowSnapshot>& windows,
                                                       std::optional<std::int32_t> frontmostPID,
                                                       bool frontmostIsDesktopShell,
                                                       const ScreenSource& screens,
                                                       std::int32_t ownPID,
                                                       std::optional<std::uint32_t> activeWindowID)
{
    const std::vector<DisplayArea> displays = displayAreas(screens);
    std::vector<FocusCandidate> candidates;
    candidates.reserve(windows.size());
    for (const WindowSnapshot& snapshot : windows) {
        if (std::optional<FocusCandidate> c = candidate(snapshot, ownPID, frontmostPID, displays))
            candidates.push_back(*c);
    }
    if (std::optional<FocusedWindow> chosen =
            choose(candidates, frontmostPID, false, frontmostIsDesktopShell, activeWindowID))
        return chosen;
    return choose(candidates, frontmostPID, true, frontmostIsDesktopShell, activeWindowID);
}

} // namespace hg
