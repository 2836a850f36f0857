// Where the overlays go in the window stack. Directly below the focus window
// where that works: the window server then keeps the focus window sharp
// wherever it moves, with nothing for us to follow. Where it does not (a
// window that must be blurred stands above the focus window: a tiling window
// manager that never raises it, another application's always-on-top window;
// or a window manager that draws the overlays above every managed window),
// above the ordinary windows, with the focus window cut out of the mask.
#include "base/log.h"
#include "engine/controller/display_clip.h"
#include "engine/controller/privacy_controller.h"

namespace hg {
namespace {

constexpr double kInsertionOverlap = 2;  // points, both ways
// Docks, panels, menus and the like stay above a raised overlay.
constexpr std::int64_t kAboveRaisedOverlayLayer = 20;

bool overlapsAtLeast(const Rect& a, const Rect& b, double minimum)
{
    const Rect common = a.intersected(b);
    return !common.isNull() && common.width() >= minimum && common.height() >= minimum;
}

// A shown window that a raised overlay lies above: ordinary, floating and
// modal windows.
bool liesBelowRaisedOverlay(const WindowSnapshot& window)
{
    return window.isOnScreen && window.layer >= 0 && window.layer < kAboveRaisedOverlayLayer;
}

} // namespace

std::uint64_t PrivacyController::stackingSignature(const std::vector<WindowSnapshot>& windows) const
{
    // Our own windows move with the overlays and are left out, so that
    // placing the overlays does not count as a change.
    const std::int32_t ownPID = m_ports.appWindows.processID();
    std::uint64_t signature = 1469598103934665603ull;
    for (const WindowSnapshot& window : windows) {
        if (window.pid == ownPID || !window.isOnScreen)
            continue;
        signature = (signature ^ window.windowID) * 1099511628211ull;
    }
    return signature;
}

bool PrivacyController::mustStayBlurred(const WindowSnapshot& window) const
{
    if (!liesBelowRaisedOverlay(window) || window.pid == m_ports.appWindows.processID())
        return false;
    return !(window.bundleID && m_store.excludedApps.contains(*window.bundleID));
}

bool PrivacyController::focusObstructed(const std::vector<WindowSnapshot>& windows) const
{
    for (const WindowSnapshot& window : windows) {
        if (window.windowID == m_focus->windowID)
            return false;  // everything further lies behind the focus window
        if (!mustStayBlurred(window))
            continue;
        for (const auto& [display, state] : m_displays) {
            const auto bounds = displayBounds(display);
            if (bounds && clippedToDisplay(window.rect, *bounds))
                return true;
        }
    }
    return false;
}

std::vector<SharpWindow> PrivacyController::cutOutWindowsOn(DisplayID display,
                                                            const std::vector<WindowSnapshot>& windows) const
{
    std::vector<SharpWindow> result;
    const auto bounds = displayBounds(display);
    if (!bounds)
        return result;
    if (m_focusCutOut && m_focus && focusIsRevealable()) {
        if (const auto rect = clippedToDisplay(m_focus->rect, *bounds)) {
            SharpWindow focus{*rect, {}};
            for (const WindowSnapshot& window : windows) {
                if (window.windowID == m_focus->windowID)
                    break;
                if (!mustStayBlurred(window))
                    continue;
                if (const auto cover = clippedToDisplay(window.rect, *bounds))
                    focus.coveredBy.push_back(*cover);
            }
            result.push_back(std::move(focus));
        }
    }
    // Our own windows (the settings window, alerts) are never covered: the
    // platform keeps a raised overlay below them where the window manager lets
    // it, and the hole keeps them readable where it does not.
    const auto state = m_displays.find(display);
    const bool raised = state != m_displays.end() && !state->second.overlay->inserted();
    if (raised || !m_ports.overlaySurfaces.honoursStacking()) {
        for (const ApplicationWindows::Window& window : m_ports.appWindows.windows()) {
            if (!window.isVisible || window.isMinimized)
                continue;
            if (const auto rect = clippedToDisplay(window.frame, *bounds))
                result.push_back({*rect, {}});
        }
    }
    return result;
}

bool PrivacyController::insertAll()
{
    bool changed = false;
    for (auto& [display, state] : m_displays) {
        if (state.overlay->inserted())
            continue;
        state.overlay->setInserted(true);
        state.overlay->window().setLevel(BlurOverlay::kNormalLevel);
        changed = true;
    }
    return changed;
}

void PrivacyController::raiseAll(bool restacked)
{
    for (auto& [display, state] : m_displays) {
        if (state.overlay->inserted()) {
            state.overlay->setInserted(false);
            state.overlay->window().setLevel(BlurOverlay::kRaisedLevel);
        } else if (restacked) {
            state.overlay->window().orderFront();  // above every ordinary window again
        }
    }
    m_insertionOrder = InsertionOrder{};
}

void PrivacyController::orderInserted(std::optional<WindowID> target)
{
    if (m_insertionOrder && m_insertionOrder->target == target)
        return;
    m_insertionOrder = InsertionOrder{target};
    for (auto& [display, state] : m_displays) {
        if (!state.overlay->inserted())
            continue;
        if (target)
            state.overlay->window().orderBelow(*target);
        else
            state.overlay->window().orderFront();
    }
}

void PrivacyController::applyInsertion()
{
    if (m_updatePaused)
        return;
    const std::vector<WindowSnapshot> windows = m_scanner.current();
    // Any change of the stacking order (a window raised without the focus, a
    // window that raised itself) puts the overlays in their place again: the
    // place is relative to other windows, and those moved.
    const std::uint64_t stacking = stackingSignature(windows);
    const bool restacked = stacking != m_appliedStacking;
    m_appliedStacking = stacking;
    if (restacked)
        m_insertionOrder.reset();

    if (const auto own = ownWindowOnOverlaidScreen()) {
        m_focusCutOut = false;
        if (insertAll())
            m_insertionOrder.reset();
        orderInserted(*own);
        return;
    }
    if (m_focus && focusIsRevealable()) {
        std::optional<std::int64_t> layer;
        for (const WindowSnapshot& snapshot : windows)
            if (snapshot.windowID == m_focus->windowID && snapshot.pid == m_focus->pid) {
                layer = snapshot.layer;
                break;
            }
        if (!layer)
            return;
        // Where ordering the overlays below the focus window would leave a
        // window that must be blurred above them, or would not show the focus
        // window at all, they go above the ordinary windows and the focus
        // window is cut out of their mask instead.
        m_focusCutOut = !m_ports.overlaySurfaces.honoursStacking() || focusObstructed(windows);
        if (m_focusCutOut) {
            raiseAll(restacked);
            return;
        }
        if (*layer != 0) {
            // The focus window floats: the overlays go to the front of the
            // normal level, and it stays above them.
            insertAll();
            orderInserted(std::nullopt);
            return;
        }
        for (auto& [display, state] : m_displays) {
            const auto bounds = displayBounds(display);
            const bool touches = bounds && overlapsAtLeast(m_focus->rect, *bounds, kInsertionOverlap);
            if (touches == state.overlay->inserted())
                continue;
            state.overlay->setInserted(touches);
            state.overlay->window().setLevel(touches ? BlurOverlay::kNormalLevel : BlurOverlay::kRaisedLevel);
            m_insertionOrder.reset();
        }
        orderInserted(m_focus->windowID);
        return;
    }

    m_focusCutOut = false;
    if (m_focusRectStaleSince && !m_loggedInsertionBailout) {
        m_loggedInsertionBailout = true;
        logFormat("Hushglass: focus window unlocatable for %.1fs; leaving insertion", now() - *m_focusRectStaleSince);
    }
    raiseAll(restacked);
}

} // namespace hg
