// What stays sharp besides the focus window (excluded applications' windows),
// displays taken over by a full-screen application, and the two pauses.
#include "engine/controller/display_clip.h"
#include "engine/controller/privacy_controller.h"

namespace hg {
namespace {

constexpr int kExcludedRecomputePeriod = 6;  // frames between forced recomputations

} // namespace

void PrivacyController::addExcludedApp(std::string_view bundleID)
{
    const std::string id = ExcludedApps::normalize(bundleID);
    if (!id.empty() && m_store.excludedApps.contains(id))
        return;
    objectWillChange.emit();
    m_store.addExcludedApp(bundleID);
    resetSettled();
}

void PrivacyController::removeExcludedApp(std::string_view bundleID)
{
    const std::string id = ExcludedApps::normalize(bundleID);
    if (id.empty() || !m_store.excludedApps.contains(id))
        return;
    objectWillChange.emit();
    m_store.removeExcludedApp(bundleID);
    resetSettled();
}

void PrivacyController::recomputeExcludedWindows(const std::vector<WindowSnapshot>& windows)
{
    const std::set<std::string>& apps = m_store.excludedApps.bundleIDs();
    if (apps.empty()) {
        m_excludedWindows.clear();
        m_excludedAppsComputedFor = std::set<std::string>();
        return;
    }
    const std::optional<WindowID> skip =
        m_focus && focusIsRevealable() ? std::optional<WindowID>(m_focus->windowID) : std::nullopt;
    if (m_excludedAppsComputedFor && *m_excludedAppsComputedFor == apps && skip == m_excludedSkipID
        && !m_scheduler.isPeriodBoundary(kExcludedRecomputePeriod))
        return;
    m_excludedSkipID = skip;
    m_excludedAppsComputedFor = apps;

    const std::int32_t ownPID = m_ports.appWindows.processID();
    const std::optional<std::string> ownID = m_ports.appWindows.bundleIdentifier();
    std::vector<SharpWindow> result;
    std::vector<Rect> front;  // windows seen so far: they are in front of later ones
    for (const WindowSnapshot& snapshot : windows) {
        // The layer compared as unsigned, so negative layers are skipped too.
        if (static_cast<std::uint64_t>(snapshot.layer) > 19 || snapshot.rect.width() <= 40
            || snapshot.rect.height() <= 30)
            continue;
        if (snapshot.bundleID) {
            if (snapshot.bundleID == ownID || snapshot.pid == ownPID)
                continue;
            const std::string id = ExcludedApps::normalize(*snapshot.bundleID);
            if (!id.empty() && apps.count(id) && snapshot.windowID != skip) {
                SharpWindow sharp{snapshot.rect, {}};
                for (const Rect& r : front)
                    if (r.intersects(snapshot.rect))
                        sharp.coveredBy.push_back(r);
                result.push_back(std::move(sharp));
            }
        } else if (!ownID || snapshot.pid == ownPID) {
            continue;
        }
        if (snapshot.windowID != skip)
            front.push_back(snapshot.rect);
    }
    m_excludedWindows = std::move(result);
}

std::vector<SharpWindow> PrivacyController::excludedWindowsOn(DisplayID display) const
{
    std::vector<SharpWindow> result;
    const auto bounds = displayBounds(display);
    if (!bounds)
        return result;
    for (const SharpWindow& window : m_excludedWindows) {
        const auto rect = clippedToDisplay(window.rect, *bounds);
        if (!rect)
            continue;
        SharpWindow local{*rect, {}};
        for (const Rect& cover : window.coveredBy)
            if (const auto clipped = clippedToDisplay(cover, *bounds))
                local.coveredBy.push_back(*clipped);
        result.push_back(std::move(local));
    }
    return result;
}

bool PrivacyController::isSwallowed(DisplayID display) const
{
    if (!m_frontmostPID || *m_frontmostPID == m_ports.appWindows.processID() || m_focusRectStaleSince)
        return false;
    std::optional<Rect> area;
    for (const Screen& screen : m_ports.screens.screens())
        if (screen.displayNumber == display) {
            area = FocusTracker::visibleArea(screen, m_ports.screens);
            break;
        }
    if (!area)
        area = displayBounds(display);
    if (!area || area->width() <= 0 || area->height() <= 0)
        return false;
    for (const WindowSnapshot& snapshot : m_scanner.current()) {
        if (snapshot.pid != *m_frontmostPID || !snapshot.isOnScreen)
            continue;
        if (snapshot.layer >= 20 && snapshot.layer <= 999)
            continue;
        const Rect common = snapshot.rect.intersected(*area);
        if (!common.isNull() && common.width() >= area->width() - 1 && common.height() >= area->height() - 1)
            return true;
    }
    return false;
}

void PrivacyController::enterPowerPause()
{
    m_powerPaused = true;
    m_powerPausedAt = now();
    m_scheduler.stopCaptureLoop();
    m_scheduler.wake();
}

void PrivacyController::leavePowerPause()
{
    if (!m_enabled || !m_powerPaused)
        return;
    m_powerPaused = false;
    m_scheduler.wake();
    if (m_focus)
        startCaptureLoopIfActive();
}

void PrivacyController::enterUpdatePause()
{
    if (!m_enabled)
        return;
    m_updatePaused = true;
    for (auto& [display, state] : m_displays)
        state.overlay->window().orderOut();
    m_scheduler.stopCaptureLoop();
    m_scheduler.wake();
}

void PrivacyController::leaveUpdatePause()
{
    if (!m_enabled || !m_updatePaused)
        return;
    m_updatePaused = false;
    m_scheduler.wake();
    if (m_powerPaused)
        return;
    for (auto& [display, state] : m_displays)
        state.overlay->window().orderFront();
    // The overlays' stacking must be applied again after showing them.
    m_insertionOrder.reset();
    if (m_focus)
        startCaptureLoopIfActive();
}

} // namespace hg
