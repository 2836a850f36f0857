// The tray menu as data: items with titles, check marks, the shortcut shown
// beside them, submenus and separators. The status item controller builds
// it; the platform's tray view shows it and activates items.
//
// An item announces changes of its title and check mark on `changed`, so a
// view that shows it can follow. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/signal.h"

namespace hg {

// What choosing an item does; the names of the controller's actions.
enum class StatusMenuAction {
    toggle,
    setStrength,
    toggleAutoPause,
    toggleCursorReveal,
    setCursorRadius,
    checkForUpdates,
    openSettingsWindow,
    quit,
};

class MenuItem;
using MenuItemPtr = std::shared_ptr<MenuItem>;
using StatusMenu = std::vector<MenuItemPtr>;

class MenuItem {
public:
    static MenuItemPtr separator();
    static MenuItemPtr make(std::string title, std::optional<StatusMenuAction> action);

    [[nodiscard]] bool isSeparator() const { return m_separator; }
    [[nodiscard]] const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    [[nodiscard]] bool isChecked() const { return m_checked; }
    void setChecked(bool checked);

    [[nodiscard]] std::optional<StatusMenuAction> action() const { return m_action; }
    // The value a strength or radius item stands for (points).
    std::optional<double> representedObject;
    // The shortcut shown beside the title ("Super+Alt+B"); empty for none.
    std::string shortcutText;
    StatusMenu submenu;

    // Runs the item's action, as the view does when the user chooses it.
    void activate();
    std::function<void(MenuItem&)> onActivate;

    Signal<> changed;

private:
    std::string m_title;
    std::optional<StatusMenuAction> m_action;
    bool m_checked = false;
    bool m_separator = false;
};

} // namespace hg
