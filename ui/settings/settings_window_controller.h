// The settings window's controller: creates the window lazily on `show`,
// raises the program to a regular application while it is open (a taskbar
// entry, and the right to take the keyboard focus), insists on the focus for a
// short while after opening, and drops back to a tray-only agent 0.25 s after
// the window closed unless it is shown again meanwhile.
//
// The window itself is behind `SettingsWindowHost` (Qt in production, a fake
// in tests); the controller keeps its title and colour scheme in line with
// the interface language and the preferences.
//
// Created once at launch (window not shown) and kept for the run; main thread
// only. Callbacks and tasks hold it weakly.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "base/main_queue.h"
#include "base/notification_center.h"
#include "base/weak_ptr.h"
#include "settings/settings_preferences.h"
#include "ui/i18n/i18n.h"

namespace hg {

// Accessory: only the tray icon. Regular: the settings window shows in the
// taskbar and may take the focus.
class ActivationPolicy {
public:
    virtual ~ActivationPolicy() = default;
    [[nodiscard]] virtual bool isRegular() const = 0;
    virtual void setRegular(bool regular) = 0;
};

// One settings window. Destroying it closes the window; the platform may free
// the window itself a little later, since this happens from within the
// window's own close handling.
class SettingsWindow {
public:
    virtual ~SettingsWindow() = default;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setAppearance(AppearancePreference appearance) = 0;
    [[nodiscard]] virtual bool isVisible() const = 0;
    [[nodiscard]] virtual bool isKey() const = 0;
    // Shows the window centred the first time, raises it and asks the window
    // manager for the focus, in the name of the user's latest input.
    virtual void makeKeyAndOrderFront() = 0;
};

class SettingsWindowController;

class SettingsWindowHost {
public:
    virtual ~SettingsWindowHost() = default;
    // A new window (940 × 640, at least 900 × 620) showing `selection`'s tab.
    // The window calls `controller.windowWillClose()` when it closes.
    virtual std::unique_ptr<SettingsWindow> createWindow(SettingsWindowController& controller,
                                                         SettingsTabSelection& selection) = 0;
};

class SettingsWindowController {
public:
    // How long after closing the program stays regular, so that an immediate
    // reopening does not flicker the taskbar entry.
    static constexpr std::chrono::milliseconds kPolicyRestoreDelay{250};
    // After the first focus check, 50 ms; after the next ones, 200 ms.
    static constexpr std::chrono::milliseconds kFirstFocusRetry{50};
    static constexpr std::chrono::milliseconds kFocusRetry{200};
    static constexpr int kMaxFocusRetries = 6;

    SettingsWindowController(SettingsWindowHost& host, ActivationPolicy& policy, MainQueue& queue,
                             NotificationCenter& center, const I18n& i18n, SettingsPreferences& preferences);
    ~SettingsWindowController();

    void show(std::optional<SettingsTab> tab = std::nullopt);
    // Called by the window as it closes.
    void windowWillClose();

    [[nodiscard]] SettingsTabSelection& selection() { return m_selection; }
    [[nodiscard]] SettingsWindow* window() const { return m_window.get(); }
    [[nodiscard]] bool raisedActivationPolicy() const { return m_raisedActivationPolicy; }
    [[nodiscard]] int focusAttempt() const { return m_focusAttempt; }

private:
    void scheduleFocusCheck(Nanoseconds delay);
    void focusCheck();

    SettingsWindowHost& m_host;
    ActivationPolicy& m_policy;
    MainQueue& m_queue;
    NotificationCenter& m_center;
    const I18n& m_i18n;
    SettingsPreferences& m_preferences;
    SettingsTabSelection m_selection;
    std::unique_ptr<SettingsWindow> m_window;
    bool m_raisedActivationPolicy = false;
    ScopedTaskHandle m_policyRestoreWork;
    ScopedTaskHandle m_focusWork;
    int m_focusAttempt = 0;
    NotificationToken m_languageObserver;
    ScopedConnection m_appearanceSubscription;
    WeakPtrFactory<SettingsWindowController> m_weak{this};
};

} // namespace hg
