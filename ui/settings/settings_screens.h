// The content of the settings window's five screens, as data: for a snapshot
// of the settings (`SettingsState`), the interface language and a search text,
// which sections a screen shows, with which rows, texts and controls.
//
// The Qt views draw what these models say and send every user change to
// `SettingsActions`, keyed by the row's id; they decide nothing themselves.
// Tests read the models without a display.
//
// Plain values and functions; main thread only where they read `I18n`.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/color.h"
#include "settings/settings_preferences.h"
#include "system/updater_controller.h"
#include "ui/i18n/i18n.h"
#include "ui/shortcuts/hotkey_combo.h"

namespace hg {

// The colour family of a row's icon tile and of a callout.
enum class Tint { accent, neutral, danger, warning, success };

// One connected display as the Behavior screen lists it.
struct DetectedScreen {
    std::string displayID;  // decimal display number, or "screen-<index>-<name>"
    int index = 0;          // position in the screen list, from 0
    std::string name;
    int width = 0;  // points
    int height = 0;
    friend bool operator==(const DetectedScreen&, const DetectedScreen&) = default;
};

// An excluded application as a row shows it.
struct ExcludedAppInfo {
    std::string bundleID;
    std::string name;  // the bundle identifier when no desktop entry names it
    std::string iconName;  // a desktop icon name; empty when there is none
};

// Everything the screens show, read from the live objects by the window.
struct SettingsState {
    // Privacy controller and settings store.
    bool effectEnabled = false;
    bool usesVibrancy = false;
    double blurRadius = 20;
    bool blurEnabled = true;
    Color tintColor = Color::white();
    double tintAmount = 0;
    bool revealCursor = false;
    double cursorRevealRadius = 120;
    bool pauseForFullScreenApps = true;
    bool blurExcludedFromCapture = true;
    std::vector<ExcludedAppInfo> excludedApps;  // unsorted; the model sorts
    std::set<std::string> excludedDisplayIDs;
    std::vector<DetectedScreen> detectedScreens;
    bool hasAddCandidates = false;
    // Interface preferences and language.
    MenuBarClickAction menuBarClickAction = MenuBarClickAction::showMenu;
    AppearancePreference colorScheme = AppearancePreference::system;
    AppLanguage language = AppLanguage::system;
    bool launchAtLogin = false;
    bool runsFromInstalledLocation = true;
    // Shortcuts: each assigned action's text ("Super+Alt+B").
    std::map<HotkeyAction, std::string> shortcutTexts;
    std::optional<HotkeyAction> recordingAction;
    std::optional<std::string> captureError;  // already translated
    // Appearance screen's own state.
    bool showTintPicker = false;
    // About.
    UpdaterController::Status updateStatus = UpdaterController::Status::idle();
    bool automaticallyChecksForUpdates = true;
    std::optional<double> lastUpdateCheckDate;  // seconds since the reference date
    double now = 0;                             // seconds since the reference date
    bool captureGranted = true;
    std::string version;  // empty when unknown; shown as "—"
    std::string build;
};

// What sits at a row's trailing edge (and below it, for sliders and the picker).
enum class ControlKind {
    none,
    toggle,         // GlassSwitch: `on`
    picker,         // GlassPicker: `choices`, `selected`
    slider,         // GlassSlider below the row: `value`, `range`
    button,         // GhostButton: `buttonTitle`, `buttonIcon`
    primaryButton,  // PrimaryButton: same fields
    swatch,         // the tint swatch; the tint picker below while `expanded`
    recorder,       // RecordCap: `buttonTitle`, `help`, `recording`
    removeButton,   // a borderless minus button with `help`
    addMenu,        // the menu button of running applications
    statusText,     // `detail` in the success colour
};

struct SliderRange {
    double minimum = 0;
    double maximum = 1;
    double step = 0.1;
};

struct CalloutModel {
    std::string icon;
    Tint tint = Tint::accent;
    std::string title;
    std::string message;
};

struct SettingsRowModel {
    std::string id;  // stable: "effect.enabled", "shortcut.0", "display.123"
    std::string icon;
    Tint iconTint = Tint::accent;
    std::string appIconName;  // excluded apps: desktop icon drawn instead of the tile
    std::string title;
    std::string subtitle;
    std::string detail;         // trailing text ("14 pt", "~8ms", "Granted")
    std::string detailCaption;  // a second trailing line ("Light")
    std::string errorText;      // recorder: the modifier hint while set
    ControlKind control = ControlKind::none;
    bool on = false;
    bool enabled = true;  // false: drawn at 0.4 and ignores input
    double value = 0;
    SliderRange range;
    std::string accessibleLabel;  // sliders
    std::vector<std::string> choices;
    int selected = 0;
    std::string buttonTitle;
    std::string buttonIcon;
    std::string help;
    bool recording = false;
    bool expanded = false;  // swatch: the tint picker is open
    Color swatchColor;
    std::optional<CalloutModel> calloutBelow;
};

struct IdentityCardModel {
    std::string name;
    std::string tagline;
    std::string versionText;
    bool statusLit = false;  // the effect is on: the dot shines in the success colour
};

struct SettingsSectionModel {
    std::string id;
    std::string label;  // empty: no label (the About identity card)
    std::string_view keywords;
    std::optional<CalloutModel> calloutAbove;
    std::vector<SettingsRowModel> rows;
    std::optional<CalloutModel> calloutBelow;
    std::optional<IdentityCardModel> identity;
    // The power-saving table has no keywords and never shows in search results.
    bool searchable = true;
};

struct SettingsScreenModel {
    SettingsTab tab = SettingsTab::general;
    bool showsHeader = true;  // false in search mode
    std::string title;
    std::string subtitle;
    std::vector<SettingsSectionModel> sections;  // only those shown
};

// The screen for `tab`. With a non-empty `search` the header is left out and
// only sections whose keywords match remain.
[[nodiscard]] SettingsScreenModel buildScreen(SettingsTab tab, const SettingsState& state, const I18n& i18n,
                                              std::string_view search);

// The header of the search results: title and subtitle.
[[nodiscard]] std::pair<std::string, std::string> searchHeader(const I18n& i18n, std::string_view search);

// The strength word under the blur radius: below 14 light, below 26 medium,
// below 40 strong, else extreme; the Chinese wording.
[[nodiscard]] std::string_view radiusWord(double points);
// The window's title in the interface language.
[[nodiscard]] std::string settingsWindowTitle(const I18n& i18n);

// The sidebar's tabs: title, icon and keycap.
struct SidebarTab {
    SettingsTab tab;
    std::string title;
    std::string icon;
    std::string keyCap;
};
[[nodiscard]] std::vector<SidebarTab> sidebarTabs(const I18n& i18n);

} // namespace hg
