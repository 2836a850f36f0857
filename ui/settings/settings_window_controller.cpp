#include "ui/settings/settings_window_controller.h"

#include "ui/settings/settings_screens.h"

namespace hg {

SettingsWindowController::SettingsWindowController(SettingsWindowHost& host, ActivationPolicy& policy,
                                                   MainQueue& queue, NotificationCenter& center, const I18n& i18n,
                                                   SettingsPreferences& preferences)
    : m_host(host), m_policy(policy), m_queue(queue), m_center(center), m_i18n(i18n), m_preferences(preferences)
{
    m_languageObserver = m_center.addObserver(std::string(kLanguageDidChangeNotification), [weak = m_weak.get()] {
        auto* self = weak.get();
        if (self && self->m_window)
            self->m_window->setTitle(settingsWindowTitle(self->m_i18n));
    });
    m_appearanceSubscription = m_preferences.colorSchemeChanged().connect(
        [weak = m_weak.get()](const AppearancePreference& scheme) {
            auto* self = weak.get();
            if (self && self->m_window)
                self->m_window->setAppearance(scheme);
        });
}

SettingsWindowController::~SettingsWindowController() { m_center.removeObserver(m_languageObserver); }

void SettingsWindowController::show(std::optional<SettingsTab> tab)
{
    if (tab)
        m_selection.tab.set(*tab);
    if (!m_window) {
        m_window = m_host.createWindow(*this, m_selection);
        m_window->setTitle(settingsWindowTitle(m_i18n));
        m_window->setAppearance(m_preferences.colorScheme());
    }
    if (m_policyRestoreWork.isActive()) {
        // Still regular from the previous opening.
        m_policyRestoreWork.cancel();
        m_raisedActivationPolicy = true;
    }
    if (!m_policy.isRegular()) {
        m_policy.setRegular(true);
        m_raisedActivationPolicy = true;
    }
    m_window->makeKeyAndOrderFront();
    m_focusAttempt = 0;
    scheduleFocusCheck(Nanoseconds(0));
}

void SettingsWindowController::scheduleFocusCheck(Nanoseconds delay)
{
    m_focusWork = m_queue.postDelayed(delay, [weak = m_weak.get()] {
        if (auto* self = weak.get()) {
            self->m_focusWork = {};
            self->focusCheck();
        }
    });
}

void SettingsWindowController::focusCheck()
{
    if (!m_window || !m_window->isVisible())
        return;
    if (m_window->isKey()) {
        m_focusAttempt = 0;
        return;
    }
    m_window->makeKeyAndOrderFront();
    if (m_focusAttempt >= kMaxFocusRetries)
        return;
    const bool first = m_focusAttempt == 0;
    ++m_focusAttempt;
    scheduleFocusCheck(first ? kFirstFocusRetry : kFocusRetry);
}

void SettingsWindowController::windowWillClose()
{
    m_window.reset();
    m_focusWork.cancel();
    m_focusAttempt = 0;
    if (!m_raisedActivationPolicy)
        return;
    m_raisedActivationPolicy = false;
    m_policyRestoreWork = m_queue.postDelayed(kPolicyRestoreDelay, [weak = m_weak.get()] {
        if (auto* self = weak.get())
            self->m_policy.setRegular(false);
    });
}

} // namespace hg
