// Following the focus window: choosing it anew every few frames, finding it
// again in the window list on every frame, and letting it go when it is lost.
#include <cmath>

#include "engine/controller/cadence.h"
#include "engine/controller/privacy_controller.h"

namespace hg {
namespace {

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
    return !m_focusRectStaleSince || now() - *m_focusRectStaleSince < cadence::kStaleGraceSeconds;
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
        m_focusRectStaleSince.reset();
    } else if (const auto found = locate(*m_focus, m_scanner.current())) {
        m_framesWithoutFocus = 0;
        m_focusRectStaleSince.reset();
        m_loggedInsertionBailout = false;
        if (sameAndStill(*found, *m_focus)) {
            m_scheduler.countSettledFrame();
        } else {
            if (found->displayID != m_focus->displayID)
                recaptureAll();
            m_focus = found;
            resetSettled();
            m_scanner.refreshIfDue(0);  // a moving window is followed on every frame
        }
    } else if (!m_focusRectStaleSince) {
        m_focusRectStaleSince = now();
        m_capturer.reset();
        recaptureAll();
    }

    using namespace cadence;
    const int period = !m_focus ? kFocusChoicePeriodWithoutFocus
        : m_scheduler.settledFrames() < kSettledFramesForSettledPace ? kFocusChoicePeriodWhileMoving
                                                                      : kFocusChoicePeriodWhileStill;
    // An activation is followed on this frame and the next (whose list has
    // the activated window if it is new), whatever the period.
    if (const auto activations = m_ports.workspace.activationCount(); activations != m_seenActivations) {
        m_seenActivations = activations;
        m_choicesAfterActivation = 2;
    }
    const bool activated = m_choicesAfterActivation > 0;
    if (activated)
        --m_choicesAfterActivation;
    if (!activated && !m_scheduler.isPeriodBoundary(period))
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
            m_scheduler.countSettledFrame();
            return;
        }
        if (m_focus && m_focus->displayID != choice->displayID)
            recaptureAll();
        m_focus = choice;
        resetSettled();
        m_capturer.prepare(choice->displayID, focusIsRevealable() ? Exclusion{choice->windowID} : Exclusion{});
        return;
    }
    if (++m_framesWithoutFocus < cadence::kLostFocusLimit || !m_focus)
        return;
    m_focus.reset();
    m_focusRectStaleSince.reset();
    m_loggedInsertionBailout = false;
    resetSettled();
    m_capturer.reset();
    recaptureAll();
    startCaptureLoopIfActive();
}

} // namespace hg
