// The persisted blur settings, and the value tables that the status menu,
// the shortcuts and the settings screens share.
//
// Owned by the privacy controller and loaded once at launch. The store is not
// observable itself: its owner changes a scalar setting with one of the
// `change…` methods, which clamp, compare, announce on the owner's change
// signal, assign and write the key at once, in that order.
//
// Main thread only.
#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/color.h"
#include "base/defaults.h"

namespace hg {

// Applications whose windows always stay sharp, by normalised bundle identifier.
class ExcludedApps {
public:
    ExcludedApps() = default;
    // Normalises each entry; blank entries are dropped.
    explicit ExcludedApps(const std::vector<std::string>& entries);
    ExcludedApps(std::initializer_list<std::string_view> entries);

    // Trimmed of white space and line breaks at both ends and lower-cased;
    // empty when nothing is left.
    [[nodiscard]] static std::string normalize(std::string_view bundleID);

    [[nodiscard]] bool contains(std::string_view bundleID) const;
    [[nodiscard]] const std::set<std::string>& bundleIDs() const { return m_bundleIDs; }
    [[nodiscard]] bool empty() const { return m_bundleIDs.empty(); }
    // False when the normalised identifier is empty or already present.
    bool insert(std::string_view bundleID);
    // False when the normalised identifier is empty or absent.
    bool erase(std::string_view bundleID);

    friend bool operator==(const ExcludedApps&, const ExcludedApps&) = default;

private:
    std::set<std::string> m_bundleIDs;
};

struct BlurLevel {
    std::string_view label;
    double radius;  // points
};

// The seven blur strengths, weakest first. The default radius, 20, is "40%".
inline constexpr std::array<BlurLevel, 7> kBlurLevels{{
    {"20%", 10}, {"30%", 15}, {"40%", 20}, {"50%", 25}, {"60%", 30}, {"70%", 35}, {"80%", 40},
}};

struct CursorRevealRadius {
    std::string_view label;
    double radius;  // points
};

// The pointer reveal radii offered in menus; the default, 120, is the middle one.
inline constexpr std::array<CursorRevealRadius, 3> kCursorRevealRadii{{
    {"60 pt", 60}, {"120 pt", 120}, {"200 pt", 200},
}};

namespace defaults_keys {
inline constexpr std::string_view blurRadius = "blurRadius";
inline constexpr std::string_view blurEnabled = "blurEnabled";
inline constexpr std::string_view pauseFullScreen = "pauseFullScreen";
inline constexpr std::string_view revealCursor = "revealCursor";
inline constexpr std::string_view cursorRevealRadius = "cursorRevealRadius";
inline constexpr std::string_view blurTintColor = "blurTintColor";
inline constexpr std::string_view blurTintAmount = "blurTintAmount";
inline constexpr std::string_view excludedApps = "excludedApps";
inline constexpr std::string_view excludedDisplayIDs = "excludedDisplayIDs";
inline constexpr std::string_view blurExcludedFromCapture = "blurExcludedFromCapture";
inline constexpr std::string_view enabled = "enabled";
} // namespace defaults_keys

class SettingsStore {
public:
    // Everything takes its default; nothing is read until `load()`.
    explicit SettingsStore(DefaultsDomain& defaults);

    // Reads every key once; a missing or wrongly typed value keeps its default,
    // values out of range are clamped.
    void load();

    // Blur radius of the precise blur, points, 5 to 60.
    double blurRadius = 20;
    // When false only the tint covers the screen.
    bool blurEnabled = true;
    bool pauseForFullScreenApps = true;
    bool revealCursor = false;
    // Points, 20 to 400.
    double cursorRevealRadius = 120;
    Color blurTintColor = Color::white();
    // Opacity of the tint, 0 (off) to 1 (solid).
    double blurTintAmount = 0;
    ExcludedApps excludedApps;
    // Decimal display numbers (or "screen-<index>-<name>"), in string order.
    std::set<std::string> excludedDisplayIDs;
    bool blurExcludedFromCapture = true;
    // Whether the effect was on when last switched.
    bool effectEnabled = false;

    // The change rule for scalar settings. `announce` is the owner's
    // objectWillChange; it runs only when the (clamped) value differs.
    // Each returns true when the setting changed and was written.
    using Announce = std::function<void()>;
    bool changeBlurRadius(double value, const Announce& announce);
    bool changeBlurEnabled(bool value, const Announce& announce);
    bool changePauseForFullScreenApps(bool value, const Announce& announce);
    bool changeRevealCursor(bool value, const Announce& announce);
    bool changeCursorRevealRadius(double value, const Announce& announce);
    // The tint colour is not compared: setting it always announces and writes.
    void changeBlurTintColor(Color value, const Announce& announce);
    bool changeBlurTintAmount(double value, const Announce& announce);
    bool changeBlurExcludedFromCapture(bool value, const Announce& announce);
    bool changeEffectEnabled(bool value, const Announce& announce);

    void addExcludedApp(std::string_view bundleID);
    void removeExcludedApp(std::string_view bundleID);
    void setDisplayExcluded(const std::string& displayID, bool excluded);

    [[nodiscard]] static double clampBlurRadius(double points);
    [[nodiscard]] static double clampCursorRevealRadius(double points);
    [[nodiscard]] static double clampTintAmount(double amount);

    // RRGGBBAA in upper-case hexadecimal, no "#": opaque white is FFFFFFFF.
    [[nodiscard]] static std::string tintColorToText(Color color);
    // Accepts RRGGBBAA or RRGGBB, blanks and "#" around it; anything else is
    // opaque white.
    [[nodiscard]] static Color textToTintColor(std::string_view text);

private:
    template <typename T>
    bool change(T& field, T value, std::string_view key, const Announce& announce);
    void persistExcludedApps();
    void persistExcludedDisplays();

    DefaultsDomain& m_defaults;
};

} // namespace hg
