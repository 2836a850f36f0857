// The settings window's content: the backdrop, the sidebar (program name and
// version, search field, one row per tab with its keycap) and the scrolling
// content, which shows the selected screen or, while the search field holds
// text, the matching sections of all five screens under a search header.
//
// It reads the live objects into a `SettingsState`, refreshes once per event
// loop pass after any of them announced a change, and sends every change of a
// control to `SettingsActions`. Window-local shortcuts (Esc, Ctrl+1…Ctrl+5,
// Ctrl+K) and the shortcut recorder's key presses are caught by an event
// filter that only looks at key presses aimed at this window.
//
// Owned by its window; main thread only.
#pragma once

#include <QLineEdit>
#include <QScrollArea>
#include <QWidget>
#include <functional>
#include <memory>

#include "base/notification_center.h"
#include "engine/windows/screens.h"
#include "engine/windows/workspace.h"
#include "platform/settings_window/screen_view.h"
#include "ui/settings/settings_actions.h"
#include "ui/settings/shortcut_recorder.h"
#include "ui/shortcuts/hotkey_manager.h"

namespace hg {

class SidebarTabButton;
class KeyCap;

// The live objects the window shows and changes. Optional ones may be absent.
struct SettingsWindowDeps {
    PrivacyController& privacy;
    SettingsPreferences& preferences;
    I18n& i18n;
    NotificationCenter& notifications;
    HotkeyManager* hotkeys = nullptr;
    UpdaterController* updater = nullptr;
    ScreenSource* screens = nullptr;
    Workspace* workspace = nullptr;
    std::function<bool()> runsFromInstalledLocation;
    std::function<bool()> captureGranted;
    std::function<void()> openCaptureHelp;
    std::function<double()> now;  // seconds since the reference date
};

class SettingsRootView final : public QWidget {
    Q_OBJECT
public:
    SettingsRootView(SettingsWindowDeps deps, SettingsTabSelection& selection, QWidget* parent = nullptr);
    ~SettingsRootView() override;

    void setDark(bool dark);
    [[nodiscard]] bool isDark() const { return m_scheme.dark; }
    // Reads the live objects again and redraws now (tests; normally deferred).
    void refreshNow();
    [[nodiscard]] QLineEdit* searchField() const { return m_search; }
    [[nodiscard]] ScreenView* screenView(SettingsTab tab) const;
    [[nodiscard]] ShortcutRecorder* recorder() const { return m_recorder.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    [[nodiscard]] SettingsState readState() const;
    void scheduleRefresh();
    void buildSidebar(QWidget* sidebar);
    void refreshSidebar();
    bool handleWindowKey(QKeyEvent* event);
    bool handleRecorderKey(QKeyEvent* event);
    void selectTab(int position);
    void refreshDetectedScreens();
    void fadeIn(QWidget* view);

    SettingsWindowDeps m_deps;
    SettingsTabSelection& m_selection;
    std::unique_ptr<ShortcutRecorder> m_recorder;
    std::unique_ptr<SettingsActions> m_actions;
    std::unique_ptr<ScreenViewHost> m_host;
    glass::Scheme m_scheme;
    bool m_showTintPicker = false;
    std::vector<DetectedScreen> m_detectedScreens;
    bool m_refreshPending = false;
    bool m_languageChanged = false;
    std::optional<SettingsTab> m_shownTab;

    QWidget* m_backdrop = nullptr;
    QLabel* m_appName = nullptr;
    QLabel* m_version = nullptr;
    QLineEdit* m_search = nullptr;
    KeyCap* m_searchCap = nullptr;
    QLabel* m_searchIcon = nullptr;
    std::vector<SidebarTabButton*> m_tabButtons;
    QScrollArea* m_scroll = nullptr;
    PageHeader* m_searchHeader = nullptr;
    std::map<SettingsTab, ScreenView*> m_views;

    std::vector<ScopedConnection> m_subscriptions;
    NotificationToken m_screensObserver;
    NotificationToken m_languageObserver;
};

} // namespace hg
