// The tray item on Linux: a QSystemTrayIcon (a StatusNotifierItem where a
// watcher runs, the XEmbed system tray otherwise) with QMenus built from the
// status item controller's menu model.
//
// The icon is drawn in the panel's text colour: the application palette's
// window-text colour, which follows the desktop theme, so the icon reads on
// the panel the way the panel's own labels do. With no tray host at all one
// line is logged; the item stays and shows up when a tray starts.
//
// Owned by the application delegate, created after the Qt application;
// main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>
#include <vector>

#include "ui/menubar/status_item_controller.h"

class QMenu;

namespace hg {

class QtStatusTray final : public QObject, public StatusTray {
    Q_OBJECT
public:
    QtStatusTray();
    ~QtStatusTray() override;

    void setIconOpacity(double alpha) override;
    void setAccessibilityDescription(const std::string& text) override;
    void attachMenu(const StatusMenu* menu) override;
    void setClickHandler(std::function<void(MouseButton)> handler) override;
    void popUpMenu(const StatusMenu& menu) override;

    [[nodiscard]] QSystemTrayIcon& icon() { return m_icon; }
    // The menu shown last (attached or popped up); for tests.
    [[nodiscard]] QMenu* currentMenu() const;

private:
    // A QMenu over one model, kept in step with its items.
    struct BuiltMenu;
    [[nodiscard]] std::unique_ptr<BuiltMenu> build(const StatusMenu& menu);
    void activated(QSystemTrayIcon::ActivationReason reason);
    void updateIcon();

    QSystemTrayIcon m_icon;
    double m_opacity = 1;
    std::unique_ptr<BuiltMenu> m_attached;
    std::unique_ptr<BuiltMenu> m_popUp;
    std::function<void(MouseButton)> m_click;
};

} // namespace hg
