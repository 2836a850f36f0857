// State and switching: enable, disable, rebuilding the overlays and the live
// settings.
#include "engine/controller/privacy_controller.h"

#include <cassert>
#include <limits>

#include "base/color.h"
#include "engine/controller/screen_signature.h"

namespace hg {

PrivacyController::PrivacyController(PrivacyControllerPorts ports)
    : m_ports(ports),
      m_store(ports.defaults),
      m_capturer(ports.capture, ports.queue, ports.clock, ports.appWindows.processID(),
                 ports.appWindows.bundleIdentifier()),
      m_scanner(ports.windowServer, ports.clock, ports.pool),
      m_scheduler(ports.queue, ports.clock, ports.ticks)
{
}

PrivacyController::~PrivacyController()
{
    disable();
}

void PrivacyController::setEffectEnabledSetting(bool enabled)
{
    m_store.changeEffectEnabled(enabled, [this] { objectWillChange.emit(); });
}

void PrivacyController::enable()
{
    if (m_enabled)
        return;
    objectWillChange.emit();
    m_enabledAt = now();
    m_enabled = true;
    m_usesVibrancy = !m_ports.captureAccess.preflight();
    if (m_usesVibrancy)
        requestCaptureAccess();
    m_screenSignature = screenSignature(m_ports.screens.screens());
    rebuildOverlays(true);
    m_scanner.store(WindowScanner::scan(m_ports.windowServer));
    refreshFocus();

    installSchedulerHooks();
    if (!m_scheduler.isRunning())
        m_scheduler.start();
    if (!m_usesVibrancy) {
        if (!m_powerPaused && !m_updatePaused)
            m_scheduler.startCaptureLoop();
        m_backendSwitchedAwaitingFirstFrame = now();
        m_hasDeliveredFrameSinceBackendSwitch = false;
        m_captureAttemptsSinceBackendSwitch = 0;
    }
    m_permissionWarnTask.cancel();
    if (!m_usesVibrancy)
        startPermissionWarnTask();
    registerObservers();
    enabledChanged.emit(true);
}

void PrivacyController::installSchedulerHooks()
{
    const WeakPtr<PrivacyController> weak = m_weak.get();
    m_scheduler.setHooks({
        .onFrame = [weak] { if (auto* self = weak.get()) self->frameTick(); },
        .onCapture = [weak](CapturePass pass) { if (auto* self = weak.get()) self->runCapturePass(std::move(pass)); },
        .captureDelayNanos = [weak]() -> std::uint64_t {
            auto* self = weak.get();
            return self ? self->captureDelayNanos() : FrameScheduler::kDefaultCaptureDelayNanos;
        },
        .onClockCheck = [weak] { if (auto* self = weak.get()) self->clockCheck(); },
        .hasAwakeDisplay = [weak] {
            auto* self = weak.get();
            if (!self)
                return false;
            for (const auto& [display, state] : self->m_displays)
                if (!self->m_ports.displayPower.isAsleep(display))
                    return true;
            return false;
        },
        .onClockRestarted = [weak] { if (auto* self = weak.get()) self->recaptureAll(); },
        .mayIdle = [weak] {
            auto* self = weak.get();
            return self && self->frameClockMayIdle();
        },
    });
}

void PrivacyController::disable()
{
    if (!m_enabled)
        return;
    objectWillChange.emit();
    m_enabled = false;
    m_usesVibrancy = false;
    m_backendSwitchedAwaitingFirstFrame.reset();
    assert(m_generation < std::numeric_limits<std::uint64_t>::max() && "generation overflow");
    ++m_generation;
    m_scheduler.stop();

    m_permissionWarnTask.cancel();
    if (m_permissionAlertShown) {
        m_ports.alerts.dismiss();
        m_permissionAlertShown = false;
    }
    removeObservers();
    m_displayChangeTask.cancel();
    m_screenSignature.clear();

    closeAllOverlays();
    m_capturer.reset();

    m_focus.reset();
    m_lastPicturedFocus.reset();  // a stale one would count as revealed after switching on again
    resetSettled();
    m_framesWithoutFocus = 0;
    m_powerPaused = false;
    m_updatePaused = false;
    m_cursorPoint.reset();
    enabledChanged.emit(false);
}

void PrivacyController::closeAllOverlays()
{
    for (auto& [display, state] : m_displays) {
        state.overlay->window().orderOut();
        state.overlay->clear();
        state.overlay->window().close();
    }
    m_displays.clear();  // and with the overlays everything kept for their displays
}

std::map<PrivacyController::DisplayID, BlurOverlay*> PrivacyController::overlays() const
{
    std::map<DisplayID, BlurOverlay*> result;
    for (const auto& [display, state] : m_displays)
        result.emplace(display, state.overlay.get());
    return result;
}

void PrivacyController::recaptureAll()
{
    for (auto& [display, state] : m_displays)
        state.lastCaptureNanos.reset();
}

std::vector<Screen> PrivacyController::coverableScreens() const
{
    std::vector<Screen> result;
    for (const Screen& screen : m_ports.screens.screens()) {
        if (!screen.displayNumber)
            continue;  // a screen without a display number is skipped everywhere
        if (m_store.excludedDisplayIDs.count(std::to_string(*screen.displayNumber)))
            continue;
        result.push_back(screen);
    }
    return result;
}

void PrivacyController::rebuildOverlays(bool animated)
{
    ++m_generation;
    closeAllOverlays();
    m_capturer.reset();

    for (const Screen& screen : coverableScreens()) {
        auto overlay = std::make_unique<BlurOverlay>(m_ports.overlaySurfaces, screen, animated,
                                                     m_usesVibrancy && m_store.blurEnabled,
                                                     m_store.blurExcludedFromCapture, m_store.blurRadius);
        m_insertionOrder.reset();
        overlay->setTint(m_store.blurTintColor, m_store.blurTintAmount);
        m_displays[*screen.displayNumber].overlay = std::move(overlay);
    }
    if (m_updatePaused)
        for (auto& [display, state] : m_displays)
            state.overlay->window().orderOut();
    resetSettled();
}

void PrivacyController::setBlurRadius(double points)
{
    if (!m_store.changeBlurRadius(points, [this] { objectWillChange.emit(); }))
        return;
    const Material material = materialForBlurRadius(m_store.blurRadius);
    for (auto& [display, state] : m_displays) {
        if (!state.overlay->usesVibrancy())
            continue;
        state.overlay->setMaterial(material);
        state.overlay->attachTintLayer();
    }
    resetSettled();
}

void PrivacyController::applyTintToOverlays()
{
    for (auto& [display, state] : m_displays)
        state.overlay->setTint(m_store.blurTintColor, m_store.blurTintAmount);
    resetSettled();
}

void PrivacyController::setTintAmount(double amount)
{
    if (!m_store.changeBlurTintAmount(amount, [this] { objectWillChange.emit(); }))
        return;
    applyTintToOverlays();
}

void PrivacyController::setTintColor(Color color)
{
    m_store.changeBlurTintColor(color, [this] { objectWillChange.emit(); });
    applyTintToOverlays();
}

void PrivacyController::setCursorRevealRadius(double points)
{
    m_store.changeCursorRevealRadius(points, [this] { objectWillChange.emit(); });
}

void PrivacyController::startCaptureLoopIfActive()
{
    // The fallback's overlays show no pictures: capturing for them would only
    // cost time, so the loop waits until capture becomes available.
    if (m_enabled && !m_powerPaused && !m_updatePaused && !m_usesVibrancy)
        m_scheduler.startCaptureLoop();
}

} // namespace hg
