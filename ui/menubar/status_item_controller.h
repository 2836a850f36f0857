// The tray icon and its menu: the effect's quick controls (on/off, blur
// strength, full-screen pause, the clear disc around the pointer and its
// radius, the update check, settings, quit).
//
// The icon is dimmed while the effect is off. What a left click does is the
// user's choice (`menuBarClickAction`); a right click always opens the menu.
// With `showMenu` the menu is built when the controller configures the tray
// (at creation, on every language change and every change of the click
// action); otherwise a fresh menu is built at every pop-up, so its marks and
// texts are always current.
//
// The application delegate creates one controller after launching and keeps
// it for the life of the process. It takes over the privacy controller's
// `enabledChanged`. Every callback it hands out holds it weakly. Main
// thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/main_queue.h"
#include "base/notification_center.h"
#include "base/signal.h"
#include "base/weak_ptr.h"
#include "settings/settings_preferences.h"
#include "settings/settings_store.h"
#include "ui/menubar/status_menu.h"

namespace hg {

class HotkeyManager;
class I18n;
class PrivacyController;

enum class MouseButton { left, right };

// The desktop's tray item.
class StatusTray {
public:
    virtual ~StatusTray() = default;
    // Opacity of the icon: 1 while the effect is on, 0.45 while it is off.
    virtual void setIconOpacity(double alpha) = 0;
    // The name screen readers and tooltips give the item.
    virtual void setAccessibilityDescription(const std::string& text) = 0;
    // With a menu, the tray opens it on any click; nullptr detaches it.
    virtual void attachMenu(const StatusMenu* menu) = 0;
    // Hears clicks on the icon while no menu is attached; empty to stop.
    virtual void setClickHandler(std::function<void(MouseButton)> handler) = 0;
    // Opens `menu` at the icon now.
    virtual void popUpMenu(const StatusMenu& menu) = 0;
};

// The update checker, as far as the tray and the other controls use it.
class UpdateChecks {
public:
    virtual ~UpdateChecks() = default;
    [[nodiscard]] virtual bool isChecking() const = 0;
    // Sets the status to checking.
    virtual void markChecking() = 0;
    // The user-initiated check, which shows its own windows.
    virtual void checkForUpdatesInForeground() = 0;
};

struct StatusItemPorts {
    PrivacyController& privacy;
    SettingsPreferences& preferences;
    UpdateChecks& updater;
    HotkeyManager& hotkeys;
    I18n& i18n;
    NotificationCenter& notifications;
    MainQueue& queue;
    StatusTray& tray;
    std::function<void()> openSettings;
    // Asks the application to quit (after the effect was switched off).
    std::function<void()> terminate;
};

class StatusItemController {
public:
    explicit StatusItemController(StatusItemPorts ports);
    ~StatusItemController();
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    // The actions; every way of reaching the effect's controls ends here.
    void statusBarClicked(MouseButton button);
    void toggle();
    void setStrength(const MenuItem& sender);
    void toggleAutoPause();
    void toggleCursorReveal();
    void setCursorRadius(const MenuItem& sender);
    void checkForUpdates();
    void openSettingsWindow();
    void quit();

    // The menu attached to the tray, or the one last popped up.
    [[nodiscard]] const StatusMenu& menu() const { return m_menu; }
    [[nodiscard]] const MenuItemPtr& toggleItem() const { return m_toggleItem; }
    [[nodiscard]] const std::vector<MenuItemPtr>& strengthItems() const { return m_strengthItems; }
    [[nodiscard]] const MenuItemPtr& autoPauseItem() const { return m_autoPauseItem; }
    [[nodiscard]] const MenuItemPtr& cursorItem() const { return m_cursorItem; }
    [[nodiscard]] const std::vector<MenuItemPtr>& cursorRadiusItems() const { return m_cursorRadiusItems; }

private:
    void configure();
    void refresh(bool enabled);
    void popUpMenu();
    void buildMenu();
    void updateRevealMarks();
    [[nodiscard]] std::string toggleTitle(bool enabled) const;
    [[nodiscard]] MenuItemPtr item(std::string title, StatusMenuAction action);
    void dispatch(MenuItem& sender);

    StatusItemPorts m_ports;
    StatusMenu m_menu;
    MenuItemPtr m_toggleItem;
    std::vector<MenuItemPtr> m_strengthItems;
    MenuItemPtr m_autoPauseItem;
    MenuItemPtr m_cursorItem;
    std::vector<MenuItemPtr> m_cursorRadiusItems;
    NotificationToken m_languageObserver;
    ScopedConnection m_enabledObserver;
    ScopedConnection m_clickActionSubscription;
    WeakPtrFactory<StatusItemController> m_weak{this};
};

} // namespace hg
