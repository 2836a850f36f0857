// System events while the effect is on: display changes (debounced), sleep and
// wake, lock and screen saver, desktop switches, an updater's modal window,
// and the once-a-second clock check.
#include "base/log.h"
#include "engine/controller/privacy_controller.h"
#include "engine/controller/screen_signature.h"
#include "engine/controller/system_notifications.h"

namespace hg {
namespace {

using namespace std::chrono_literals;

constexpr auto kDisplayChangeDebounce = 300ms;
constexpr double kLostUnlockSeconds = 2;  // a pause older than this ends without its notification

} // namespace

void PrivacyController::registerObservers()
{
    const WeakPtr<PrivacyController> weak = m_weak.get();
    auto observe = [&](std::string_view name, void (PrivacyController::*handler)()) {
        m_observers.push_back(m_ports.notifications.addObserver(std::string(name), [weak, handler] {
            if (auto* self = weak.get())
                (self->*handler)();
        }));
    };
    namespace n = notifications;
    observe(n::screenParametersChanged, &PrivacyController::scheduleDisplayChange);
    observe(n::didWake, &PrivacyController::scheduleDisplayChange);
    observe(n::screensDidWake, &PrivacyController::scheduleDisplayChange);
    observe(n::willSleep, &PrivacyController::enterPowerPause);
    observe(n::screenIsLocked, &PrivacyController::lockCheck);
    observe(n::screenSaverDidStart, &PrivacyController::lockCheck);
    observe(n::screenIsUnlocked, &PrivacyController::leavePowerPause);
    observe(n::screenSaverDidStop, &PrivacyController::leavePowerPause);
    observe(n::updaterWillShowModal, &PrivacyController::enterUpdatePause);
    observe(n::updaterDidDismissModal, &PrivacyController::leaveUpdatePause);
    observe(n::activeSpaceChanged, &PrivacyController::handleSpaceChange);
}

void PrivacyController::removeObservers()
{
    for (NotificationToken token : m_observers)
        m_ports.notifications.removeObserver(token);
    m_observers.clear();
}

void PrivacyController::scheduleDisplayChange()
{
    const WeakPtr<PrivacyController> weak = m_weak.get();
    // Reassigning cancels the previous wait: a burst leads to one handling,
    // 300 ms after the last notification.
    m_displayChangeTask = m_ports.queue.postDelayed(kDisplayChangeDebounce, [weak] {
        if (auto* self = weak.get())
            self->handleDisplayChange();
    });
}

void PrivacyController::handleDisplayChange()
{
    if (!m_enabled)
        return;
    leavePowerPause();
    m_capturer.reset();
    recaptureAll();
    std::string signature = screenSignature(m_ports.screens.screens());
    if (signature != m_screenSignature) {
        m_screenSignature = std::move(signature);
        rebuildOverlays(false);
    }
    m_scheduler.restartDisplayLink();
}

void PrivacyController::lockCheck()
{
    if (!m_enabled)
        return;
    if (m_ports.session.isLocked() || m_ports.session.screenSaverRunning())
        enterPowerPause();
}

void PrivacyController::handleSpaceChange()
{
    if (!m_enabled)
        return;
    ++m_generation;
    for (auto& [display, state] : m_displays)
        state.forget();
    m_capturer.reset();
    m_focus.reset();
    m_lastPicturedFocus.reset();
    m_framesWithoutFocus = 0;
    resetSettled();
    m_scheduler.stopCaptureLoop();
    m_scheduler.restartDisplayLink();
    refreshFocus();
}

void PrivacyController::clockCheck()
{
    if (!m_enabled || m_ports.session.isLocked())
        return;
    if (!m_powerPaused) {
        permissionCheck();
        captureWatchdog();
        stuckPictureCheck();
        return;
    }
    if (!m_ports.session.screenSaverRunning() && now() - m_powerPausedAt > kLostUnlockSeconds)
        leavePowerPause();
}

} // namespace hg
