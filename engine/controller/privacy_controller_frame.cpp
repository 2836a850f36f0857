// The frame tick: follow the focus window, order the overlays around it, and
// hand every overlay the reveal of this frame.
#include <cmath>

#include "base/log.h"
#include "engine/controller/privacy_controller.h"

namespace hg {
namespace {

constexpr double kStaleGraceSeconds = 0.15;  // a vanished focus window stays revealed this long
constexpr int kLostFocusLimit = 15;          // empty focus choices before the focus is dropped
constexpr int kSettledForSlowerChoice = 45;  // 0.75 s at 60 frames per second

// The same window, its rectangle unchanged but for sub-point jitter.
bool sameAndStill(const FocusedWindow& a, const FocusedWindow& b)
{
    auto close = [](double x, double y) { return std::abs(x - y) < 0.5; };
    return a.windowID == b.windowID && close(a.rect.origin.x, b.rect.origin.x)
        && close(a.rect.origin.y, b.rect.origin.y) && close(a.rect.size.width, b.rect.size.width)
        && close(a.rect.size.height, b.rect.size.height);
}

} // namespace

bool PrivacyController::focusIsRevealable() const
{
    if (!m_focus)
        return false;
    if (m_ports.appWindows.hasKeyWindow())
        return false;  // our settings window or an alert has the keyboard
    if (ownWindowOnOverlaidScreen())
        return false;
    return !m_focusRectIsStale || now() - m_focusRectStaleSince < kStaleGraceSeconds;
}

std::optional<PrivacyController::WindowID> PrivacyController::ownWindowOnOverlaidScreen() const
{
    for (const ApplicationWindows::Window& window : m_ports.appWindows.windows()) {
        if (window.hasParent || !window.isVisible || window.isMinimized || !window.isNormalLevel)
            continue;
        for (const auto& [display, overlay] : m_overlays) {
            const auto bounds = displayBounds(display);
            if (bounds && window.frame.intersects(*bounds))
                return window.windowID;
        }
    }
    return std::nullopt;
}

std::optional<Rect> PrivacyController::displayBounds(DisplayID display) const
{
    return m_ports.screens.displayBounds(display);
}

std::uint64_t PrivacyController::captureDelayNanos() const
{
    if (!m_focus || m_overlays.empty())
        return 200'000'000;
    if (m_store.pauseForFullScreenApps) {
        bool everySwallowed = true;
        for (const auto& [display, overlay] : m_overlays)
            everySwallowed = everySwallowed && isSwallowed(display);
        if (everySwallowed)
            return 200'000'000;
    }
    const int settled = m_scheduler.settledFrames();
    if (settled <= 44)
        return 8'000'000;
    if (settled <= 899)
        return 33'000'000;
    return 250'000'000;
}

void PrivacyController::frameTick()
{
    // Fades and mask movements advance on frame ticks, also while paused.
    m_ports.overlaySurfaces.tick(m_ports.clock.uptimeNanos());
    if (!m_enabled || m_powerPaused || m_updatePaused)
        return;
    m_scanner.refreshIfDue(captureDelayNanos());
    refreshFocus();
    applyInsertion();
    const std::vector<WindowSnapshot> windows = m_scanner.current();
    recomputeExcludedWindows(windows);

    if (m_store.revealCursor && !(!m_focus && m_excludedWindows.empty()))
        m_cursorPoint = m_ports.pointer.location();
    else
        m_cursorPoint.reset();

    announceCaptureExclusion();

    std::set<DisplayID> swallowedNow;
    for (auto& [display, overlay] : m_overlays) {
        const bool swallowed = isSwallowed(display);
        if (swallowed)
            swallowedNow.insert(display);
        if (swallowed != overlay->swallowed()) {
            overlay->setSwallowed(swallowed);
            overlay->window().setAlpha(swallowed ? 0 : 1);
            // A display that was covered took no pictures meanwhile: its
            // picture's age counts from now, so it is not taken for stuck.
            if (!swallowed)
                m_lastPictureAt[display] = now();
        }
        overlay->apply(revealFor(display, windows));
    }
    if (swallowedNow != m_lastSwallowedDisplays) {
        m_lastSwallowedDisplays = std::move(swallowedNow);
        resetSettled();
    }
}

void PrivacyController::announceCaptureExclusion()
{
    if (m_focus && focusIsRevealable()) {
        if (m_lastRevealedWindowID != m_focus->windowID) {
            m_lastRevealedWindowID = m_focus->windowID;
            m_capturer.prepare(m_focus->displayID, Exclusion{m_focus->windowID});
        }
        return;
    }
    if (m_lastRevealedWindowID) {
        m_lastRevealedWindowID.reset();
        if (m_focus)
            m_capturer.prepare(m_focus->displayID, Exclusion{});
    }
}

std::optional<FocusedWindow> PrivacyController::locate(const FocusedWindow& window,
                                                       const std::vector<WindowSnapshot>& windows) const
{
    for (const WindowSnapshot& snapshot : windows) {
        if (snapshot.windowID != window.windowID || snapshot.pid != window.pid)
            continue;
        const auto candidate =
            FocusTracker::candidate(snapshot, m_ports.appWindows.processID(), snapshot.pid, m_ports.screens);
        if (!candidate)
            return std::nullopt;
        return candidate->window;
    }
    return std::nullopt;
}

void PrivacyController::refreshFocus()
{
    if (!m_focus) {
        m_focusRectIsStale = false;
    } else if (const auto found = locate(*m_focus, m_scanner.current())) {
        m_framesWithoutFocus = 0;
        m_focusRectIsStale = false;
        m_focusRectStaleSince = 0;
        m_loggedInsertionBailout = false;
        if (sameAndStill(*found, *m_focus)) {
            m_scheduler.setSettledFrames(m_scheduler.settledFrames() + 1);
        } else {
            if (found->displayID != m_focus->displayID)
                m_scheduler.lastCaptureNanos().clear();
            m_focus = found;
            resetSettled();
            m_scanner.refreshIfDue(0);  // a moving window is followed on every frame
        }
    } else if (!m_focusRectIsStale) {
        m_focusRectStaleSince = now();
        m_capturer.reset();
        m_scheduler.lastCaptureNanos().clear();
        m_focusRectIsStale = true;
    }

    const int period = !m_focus ? 6 : (m_scheduler.settledFrames() < kSettledForSlowerChoice ? 3 : 4);
    // An activation is followed on this frame and the next (whose list has
    // the activated window if it is new), whatever the period.
    if (const auto activations = m_ports.workspace.activationCount(); activations != m_seenActivations) {
        m_seenActivations = activations;
        m_choicesAfterActivation = 2;
    }
    const bool activated = m_choicesAfterActivation > 0;
    if (activated)
        --m_choicesAfterActivation;
    if (!activated && m_scheduler.frameIndex() % period != 0)
        return;
    const auto frontmost = m_ports.workspace.frontmostApplication();
    m_frontmostPID = frontmost ? std::optional(frontmost->pid) : std::nullopt;
    const auto choice = FocusTracker::focusWindow(m_scanner.current(), m_frontmostPID,
                                                  frontmost && frontmost->isDesktopShell, m_ports.screens,
                                                  m_ports.appWindows.processID(),
                                                  frontmost ? frontmost->activeWindowID : std::nullopt);
    if (!m_enabled || (!choice && !m_focus))
        return;
    if (choice && m_focus && choice->windowID == m_focus->windowID && choice->pid == m_focus->pid) {
        m_framesWithoutFocus = 0;
        return;
    }
    setFocus(choice);
}

void PrivacyController::setFocus(const std::optional<FocusedWindow>& choice)
{
    if (!m_enabled)
        return;
    if (choice && m_powerPaused && !m_ports.session.isLocked())
        leavePowerPause();
    if (choice) {
        m_framesWithoutFocus = 0;
        if (!m_scheduler.isCaptureLoopRunning())
            startCaptureLoopIfActive();
        if (m_focus && sameAndStill(*m_focus, *choice)) {
            m_scheduler.setSettledFrames(m_scheduler.settledFrames() + 1);
            return;
        }
        if (m_focus && m_focus->displayID != choice->displayID)
            m_scheduler.lastCaptureNanos().clear();
        m_focus = choice;
        resetSettled();
        m_capturer.prepare(choice->displayID, focusIsRevealable() ? Exclusion{choice->windowID} : Exclusion{});
        return;
    }
    if (++m_framesWithoutFocus < kLostFocusLimit || !m_focus)
        return;
    m_focus.reset();
    m_focusRectIsStale = false;
    m_focusRectStaleSince = 0;
    m_loggedInsertionBailout = false;
    resetSettled();
    m_capturer.reset();
    m_scheduler.lastCaptureNanos().clear();
    startCaptureLoopIfActive();
}

Reveal PrivacyController::revealFor(DisplayID display, const std::vector<WindowSnapshot>& windows) const
{
    Reveal reveal;
    const Rect bounds = displayBounds(display).value_or(Rect::null());
    const double radius = m_store.cursorRevealRadius;
    if (m_cursorPoint && radius > 0 && !bounds.isEmpty() && bounds.contains(*m_cursorPoint))
        reveal.cursor = Rect(m_cursorPoint->x - bounds.minX() - radius, m_cursorPoint->y - bounds.minY() - radius,
                             2 * radius, 2 * radius);
    reveal.excluded = excludedWindowsOn(display);
    // The previous focus window's place shows through while the picture
    // predates the new focus window; not where the overlays lie above every
    // ordinary window and cut the focus out, where only the focus window
    // itself ever shows through (the old place keeps the last picture, a
    // blur, until the new one arrives).
    if (!m_focusCutOut && focusIsRevealable() && m_focus && m_lastPicturedFocus
        && m_focus->windowID != m_lastPicturedFocus->windowID && !bounds.isNull()) {
        if (const auto previous = locate(*m_lastPicturedFocus, windows)) {
            const Rect local = previous->rect.offsetBy(-bounds.minX(), -bounds.minY())
                                   .intersected(Rect(0, 0, bounds.width(), bounds.height()));
            if (!local.isNull())
                reveal.window = local;
        }
    }
    reveal.cutOut = cutOutWindowsOn(display, windows);
    if (m_focus)
        reveal.focusWindowID = m_focus->windowID;
    return reveal;
}

} // namespace hg
