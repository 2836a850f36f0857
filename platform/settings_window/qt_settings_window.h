// The Qt side of the settings window: the window itself (a QMainWindow whose
// menu bar is the program's main menu), the host that creates it for the
// controller, and the activation policy.
//
// Created by the application delegate; main thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/settings_window/color_scheme_watcher.h"
#include "platform/settings_window/settings_root_view.h"
#include "ui/settings/settings_window_controller.h"

namespace hg {

// Accessory or regular: only a flag on X11, where a program without windows
// has no taskbar entry anyway and the settings window is an ordinary window.
class QtActivationPolicy final : public ActivationPolicy {
public:
    bool isRegular() const override { return m_regular; }
    void setRegular(bool regular) override { m_regular = regular; }

private:
    bool m_regular = false;
};

// The main menu's commands.
struct MainMenuActions {
    std::function<void()> showAbout;
    std::function<void()> quit;
};

// Builds the main menu into `bar`, replacing what it held: the application
// menu (About and Quit, in the interface language), Edit and Window (always
// in English).
void buildMainMenu(QMenuBar* bar, const I18n& i18n, const MainMenuActions& actions);

class QtSettingsWindowHost final : public SettingsWindowHost {
public:
    QtSettingsWindowHost(SettingsWindowDeps deps, MainMenuActions menu);
    ~QtSettingsWindowHost() override;
    std::unique_ptr<SettingsWindow> createWindow(SettingsWindowController& controller,
                                                 SettingsTabSelection& selection) override;
    // The open window's content, for tests and benchmarks; null when closed.
    [[nodiscard]] SettingsRootView* rootView() const;
    [[nodiscard]] QMainWindow* topLevel() const;

private:
    SettingsWindowDeps m_deps;
    MainMenuActions m_menu;
    ColorSchemeWatcher m_scheme;
    class Window;
    class Handle;
    Window* m_open = nullptr;
};

} // namespace hg
