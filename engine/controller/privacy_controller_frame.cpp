// The frame tick: follow the focus window, order the overlays around it, and
// hand every overlay the reveal of this frame.
#include "engine/controller/cadence.h"
#include "engine/controller/privacy_controller.h"

namespace hg {

std::optional<PrivacyController::WindowID> PrivacyController::ownWindowOnOverlaidScreen() const
{
    for (const ApplicationWindows::Window& window : m_ports.appWindows.windows()) {
        if (window.hasParent || !window.isVisible || window.isMinimized || !window.isNormalLevel)
            continue;
        for (const auto& [display, state] : m_displays) {
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
    using namespace cadence;
    if (!m_focus || m_displays.empty())
        return kUnfocusedCaptureDelayNanos;
    if (m_store.pauseForFullScreenApps) {
        bool everySwallowed = true;
        for (const auto& [display, state] : m_displays)
            everySwallowed = everySwallowed && isSwallowed(display);
        if (everySwallowed)
            return kUnfocusedCaptureDelayNanos;
    }
    const int settled = m_scheduler.settledFrames();
    if (settled < kSettledFramesForSettledPace)
        return kMovingCaptureDelayNanos;
    if (settled < kSettledFramesForIdlePace)
        return kSettledCaptureDelayNanos;
    return kIdleCaptureDelayNanos;
}

bool PrivacyController::frameClockMayIdle() const
{
    // Fades and mask movements advance on frame ticks.
    if (m_ports.overlaySurfaces.isAnimating())
        return false;
    if (!m_enabled)
        return false;
    // Paused, a tick does nothing but the animations.
    if (m_powerPaused || m_updatePaused)
        return true;
    // Without a focus window the choice keeps looking for one; a stale or
    // missing focus window, a fresh activation and a previous focus window
    // still shown through all wait for the next frames.
    if (!m_focus || m_focusRectStaleSince || m_framesWithoutFocus > 0 || m_choicesAfterActivation > 0)
        return false;
    if (m_lastPicturedFocus && m_lastPicturedFocus->windowID != m_focus->windowID)
        return false;
    // The pointer's disc follows the pointer on every frame.
    if (m_cursorPoint)
        return false;
    // A window list read in the background is taken up by the next refresh.
    if (m_scanner.scanning())
        return false;
    return m_scheduler.settledFrames() >= cadence::kSettledFramesForIdlePace;
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
    for (auto& [display, state] : m_displays) {
        BlurOverlay* overlay = state.overlay.get();
        const bool swallowed = isSwallowed(display);
        if (swallowed)
            swallowedNow.insert(display);
        if (swallowed != overlay->swallowed()) {
            overlay->setSwallowed(swallowed);
            overlay->window().setAlpha(swallowed ? 0 : 1);
            // A display that was covered took no pictures meanwhile: its
            // picture's age counts from now, so it is not taken for stuck.
            if (!swallowed)
                state.lastPictureAt = now();
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
