// The capture capability: precise capture or the system-material fallback,
// switching between them while running, the alerts, the relaunch, and fresh
// pictures for displays whose picture stopped changing.
#include "base/log.h"
#include "engine/controller/privacy_controller.h"

namespace hg {
namespace {

using namespace std::chrono_literals;

constexpr auto kPermissionWarnDelay = 1500ms;
constexpr double kFirstFrameWatchSeconds = 6;   // precise capture without a picture this long…
constexpr int kFirstFrameWatchPasses = 5;       // …and after this many passes asks for a restart
constexpr double kStuckPictureSeconds = 1.5;

} // namespace

void PrivacyController::requestCaptureAccess()
{
    // Asking for the shareable content once is how capture access is requested;
    // the answer does not matter here.
    m_ports.captureAccess.request();
}

void PrivacyController::startPermissionWarnTask()
{
    m_permissionWarnTask = [](WeakPtr<PrivacyController> weak, MainQueue& queue) -> Async {
        co_await sleepFor(queue, kPermissionWarnDelay);
        auto* self = weak.get();
        if (self && self->m_enabled && !self->m_ports.captureAccess.preflight())
            self->showPermissionAlert();
    }(m_weak.get(), m_ports.queue);
}

std::optional<PrivacyController::DisplayID> PrivacyController::alertHostDisplay() const
{
    if (m_focus && m_displays.count(m_focus->displayID))
        return m_focus->displayID;
    if (!m_displays.empty())
        return m_displays.begin()->first;
    return std::nullopt;
}

void PrivacyController::showPermissionAlert()
{
    if (m_ports.captureAccess.preflight())
        return;
    const auto host = alertHostDisplay();
    if (!host)
        return;  // nothing to attach it to: the fallback covers the screens silently
    m_permissionAlertShown = true;
    const WeakPtr<PrivacyController> weak = m_weak.get();
    m_ports.alerts.show(EffectAlert::permission, host, [weak](bool openHelp) {
        auto* self = weak.get();
        if (!self)
            return;
        self->m_permissionAlertShown = false;
        if (openHelp)
            self->m_ports.alerts.openScreenCaptureHelp();
    });
}

void PrivacyController::showRestartAlert()
{
    m_permissionAlertShown = true;
    const WeakPtr<PrivacyController> weak = m_weak.get();
    m_ports.alerts.show(EffectAlert::restart, alertHostDisplay(), [weak](bool reopen) {
        auto* self = weak.get();
        if (!self)
            return;
        self->m_permissionAlertShown = false;
        if (reopen)
            self->relaunch();
    });
}

void PrivacyController::relaunch()
{
    disable();
    if (const auto error = m_ports.relauncher.relaunch()) {
        logLine("[Hushglass] relaunch failed: " + *error);
        enable();
        m_ports.alerts.show(EffectAlert::relaunchFailed, std::nullopt, [](bool) {});
        return;
    }
    m_ports.relauncher.quit();
}

void PrivacyController::permissionCheck()
{
    const bool wanted = !m_ports.captureAccess.preflight();
    if (wanted == m_usesVibrancy)
        return;
    m_usesVibrancy = wanted;
    objectWillChange.emit();
    m_scheduler.stopCaptureLoop();
    rebuildOverlays(false);
    if (m_usesVibrancy) {
        m_backendSwitchedAwaitingFirstFrame.reset();
        return;
    }
    startCaptureLoopIfActive();
    m_backendSwitchedAwaitingFirstFrame = now();
    m_hasDeliveredFrameSinceBackendSwitch = false;
    m_captureAttemptsSinceBackendSwitch = 0;
}

void PrivacyController::captureWatchdog()
{
    if (!m_backendSwitchedAwaitingFirstFrame)
        return;
    if (m_enabled && !m_usesVibrancy && !m_hasDeliveredFrameSinceBackendSwitch) {
        if (now() - *m_backendSwitchedAwaitingFirstFrame > kFirstFrameWatchSeconds
            && m_captureAttemptsSinceBackendSwitch >= kFirstFrameWatchPasses) {
            m_backendSwitchedAwaitingFirstFrame.reset();
            showRestartAlert();
        }
        return;
    }
    m_backendSwitchedAwaitingFirstFrame.reset();
}

void PrivacyController::stuckPictureCheck()
{
    if (!m_enabled || m_usesVibrancy)
        return;
    const double t = now();
    bool refreshed = false;
    for (auto& [display, state] : m_displays) {
        if (isSwallowed(display) || m_ports.displayPower.isAsleep(display))
            continue;
        const double age = t - state.lastPictureAt.value_or(m_enabledAt);
        if (age <= kStuckPictureSeconds)
            continue;
        // Said once per episode: the line comes back only after a new picture.
        if (m_stuckDisplaysLogged.insert(display).second)
            logFormat("Hushglass: display %u has shown the same picture for %.1fs; forcing a refresh", display, age);
        state.lastCaptureNanos.reset();
        refreshed = true;
    }
    if (refreshed) {
        m_capturer.reset();
        resetSettled();
    }
}

} // namespace hg
