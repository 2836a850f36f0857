// One global shortcut (`HotkeyCombo`), the five actions a shortcut can run
// (`HotkeyAction`), and the ways a combination is shown.
//
// Key codes keep the hardware-independent virtual key numbering the stored
// shortcuts have always used (11 is B, 43 the comma, 53 Escape); modifiers are
// the matching mask (command 0x100, shift 0x200, option 0x800, control 0x1000).
// The platform translates both to its own keys when it grabs a shortcut. On
// Linux command is Super and option is Alt.
//
// Plain values; no thread rules.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hg {

// The raw value is the action's identity: the key of the stored table and the
// id a registered shortcut reports. 3 names no action.
enum class HotkeyAction : int {
    toggleBlur = 0,
    openSettings = 1,
    toggleCursorReveal = 2,
    cycleBlurStrength = 4,
    togglePauseFullScreen = 5,
};

// Declaration order: the order of every pass over all actions.
inline constexpr std::array kHotkeyActions{HotkeyAction::toggleBlur, HotkeyAction::openSettings,
                                           HotkeyAction::toggleCursorReveal, HotkeyAction::cycleBlurStrength,
                                           HotkeyAction::togglePauseFullScreen};

[[nodiscard]] constexpr int rawValue(HotkeyAction action) { return static_cast<int>(action); }
// nullopt for 3, negatives and anything above 5.
[[nodiscard]] std::optional<HotkeyAction> hotkeyActionFromRaw(long long raw);
// The Chinese wording; pass it through I18n::translate to show it.
[[nodiscard]] std::string_view title(HotkeyAction action);
[[nodiscard]] std::string_view subtitle(HotkeyAction action);

namespace carbon_modifiers {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
} // namespace carbon_modifiers

// Modifier flags of a key press as the keyboard reports them.
namespace key_flags {
inline constexpr std::uint32_t capsLock = 1u << 16;
inline constexpr std::uint32_t shift = 1u << 17;
inline constexpr std::uint32_t control = 1u << 18;
inline constexpr std::uint32_t option = 1u << 19;
inline constexpr std::uint32_t command = 1u << 20;
inline constexpr std::uint32_t numericPad = 1u << 21;
inline constexpr std::uint32_t function = 1u << 23;
} // namespace key_flags

// A key press as a shortcut recorder sees it.
struct KeyDownEvent {
    std::uint32_t keyCode = 0;
    std::uint32_t modifierFlags = 0;  // key_flags
    // The characters the key gives without modifiers; absent for keys that type none.
    std::optional<std::string> charactersIgnoringModifiers;
};

// What a menu item shows as its key equivalent: one character (UTF-8; the
// function keys use the private-use characters menus have always used) and
// the modifier flags (key_flags).
struct MenuKeyEquivalent {
    std::string key;
    std::uint32_t modifierMask = 0;
    friend bool operator==(const MenuKeyEquivalent&, const MenuKeyEquivalent&) = default;
};

struct HotkeyCombo {
    std::uint32_t keyCode = 0;
    std::uint32_t carbonModifiers = 0;
    std::string label;  // the key alone: "B", ",", "F5", "←"

    friend bool operator==(const HotkeyCombo&, const HotkeyCombo&) = default;

    // nullopt for a key without modifier unless it is a function or
    // navigation key; caps lock, function and numeric-pad flags are ignored.
    [[nodiscard]] static std::optional<HotkeyCombo> fromKeyDown(const KeyDownEvent& event);
    // The typed characters upper-cased; the key table when there are none.
    [[nodiscard]] static std::string keyLabel(std::uint32_t keyCode, const std::optional<std::string>& characters);

    // The modifier symbols in the order ⌃ ⌥ ⇧ ⌘, then the label: "⌥⌘B".
    [[nodiscard]] std::string displayString() const;
    // nullopt when the key has no menu equivalent (a label longer than one character).
    [[nodiscard]] std::optional<MenuKeyEquivalent> menuKeyEquivalent() const;
};

// How every Linux view shows a combination: "Super+Alt+B", "Ctrl+Shift+F5",
// modifiers in the order Ctrl, Alt, Shift, Super, and the navigation keys by name.
[[nodiscard]] std::string linuxShortcutText(const HotkeyCombo& combo);

} // namespace hg

template <>
struct std::hash<hg::HotkeyCombo> {
    std::size_t operator()(const hg::HotkeyCombo& combo) const noexcept
    {
        const std::size_t h = std::hash<std::string>{}(combo.label);
        return h ^ (std::size_t{combo.keyCode} << 1) ^ (std::size_t{combo.carbonModifiers} << 20);
    }
};
