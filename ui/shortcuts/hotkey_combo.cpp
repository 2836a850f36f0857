#include "ui/shortcuts/hotkey_combo.h"

#include <algorithm>
#include <utility>

#include "base/utf8.h"

namespace hg {
namespace {

struct KeyName {
    std::uint32_t keyCode;
    std::string_view label;  // when the key types no characters
    std::string_view linux;  // the key's name in Linux shortcut texts
    char32_t menuKey;        // the menu key equivalent, 0 for none
};

// The keys that type nothing printable, by virtual key code.
constexpr KeyName kKeyNames[] = {
    {36, "↩", "Return", U'\r'},  {48, "⇥", "Tab", U'\t'},
    {49, "␣", "Space", U' '},    {51, "⌫", "Backspace", U'\x7f'},
    {53, "⎋", "Esc", U'\x1b'},   {114, "⌦", "Delete", U'\xf728'},
    {115, "↖", "Home", U'\xf729'}, {116, "⇞", "Page Up", U'\xf72c'},
    {119, "↘", "End", U'\xf72b'}, {121, "⇟", "Page Down", U'\xf72d'},
    {123, "←", "Left", U'\xf702'}, {124, "→", "Right", U'\xf703'},
    {125, "↓", "Down", U'\xf701'}, {126, "↑", "Up", U'\xf700'},
    {122, "F1", "F1", U'\xf704'},  {120, "F2", "F2", U'\xf705'},
    {99, "F3", "F3", U'\xf706'},   {118, "F4", "F4", U'\xf707'},
    {96, "F5", "F5", U'\xf708'},   {97, "F6", "F6", U'\xf709'},
    {98, "F7", "F7", U'\xf70a'},   {100, "F8", "F8", U'\xf70b'},
    {101, "F9", "F9", U'\xf70c'},  {109, "F10", "F10", U'\xf70d'},
    {103, "F11", "F11", U'\xf70e'}, {111, "F12", "F12", U'\xf70f'},
};

// Keys that make a shortcut without any modifier: F1 to F12, forward delete,
// Home, End, Page Up, Page Down and the arrows.
constexpr std::uint32_t kBareKeys[] = {96,  97,  98,  99,  100, 101, 103, 109, 111, 118, 120,
                                       122, 114, 115, 116, 119, 121, 123, 124, 125, 126};

const KeyName* keyName(std::uint32_t keyCode)
{
    for (const KeyName& k : kKeyNames)
        if (k.keyCode == keyCode)
            return &k;
    return nullptr;
}

// Decodes UTF-8; a malformed byte comes back as itself so nothing is lost.
std::u32string decodeUtf8(std::string_view text)
{
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? (lead < 0xF0 ? 2 : 0)
                                  : lead >= 0xC0                ? 1
                                                                : 0;
        char32_t c = extra ? lead & (0x3F >> extra) : lead;
        bool ok = i + extra < text.size();
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!ok) {
            out += lead;
            ++i;
            continue;
        }
        out += c;
        i += 1 + extra;
    }
    return out;
}

// Upper case for the scripts keyboards type without a dead key: Latin
// (ASCII and Latin-1), Greek and Cyrillic. Other characters stay as they are.
char32_t toUpper(char32_t c)
{
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

std::uint32_t menuFlags(std::uint32_t carbon)
{
    std::uint32_t flags = 0;
    if (carbon & carbon_modifiers::command)
        flags |= key_flags::command;
    if (carbon & carbon_modifiers::shift)
        flags |= key_flags::shift;
    if (carbon & carbon_modifiers::option)
        flags |= key_flags::option;
    if (carbon & carbon_modifiers::control)
        flags |= key_flags::control;
    return flags;
}

} // namespace

std::optional<HotkeyAction> hotkeyActionFromRaw(long long raw)
{
    for (HotkeyAction action : kHotkeyActions)
        if (rawValue(action) == raw)
            return action;
    return std::nullopt;
}

std::string_view title(HotkeyAction action)
{
    switch (action) {
    case HotkeyAction::toggleBlur: return "开关隐私模糊";
    case HotkeyAction::openSettings: return "打开设置";
    case HotkeyAction::toggleCursorReveal: return "鼠标清晰开关";
    case HotkeyAction::cycleBlurStrength: return "切换模糊强度";
    case HotkeyAction::togglePauseFullScreen: return "全屏停止开关";
    }
    return {};
}

std::string_view subtitle(HotkeyAction action)
{
    switch (action) {
    case HotkeyAction::toggleBlur: return "随时启用或停用焦点外的模糊。";
    case HotkeyAction::openSettings: return "弹出Hushglass设置窗口。";
    case HotkeyAction::toggleCursorReveal: return "开/关鼠标周围的清晰圆盘。";
    case HotkeyAction::cycleBlurStrength: return "在七档模糊强度之间循环。";
    case HotkeyAction::togglePauseFullScreen: return "开/关全屏时自动停止模糊。";
    }
    return {};
}

std::string HotkeyCombo::keyLabel(std::uint32_t keyCode, const std::optional<std::string>& characters)
{
    if (characters && !characters->empty()) {
        std::string upper;
        for (char32_t c : decodeUtf8(*characters))
            appendUtf8(upper, toUpper(c));
        return upper;
    }
    const KeyName* name = keyName(keyCode);
    return name ? std::string(name->label) : "?";
}

std::optional<HotkeyCombo> HotkeyCombo::fromKeyDown(const KeyDownEvent& event)
{
    std::uint32_t modifiers = 0;
    if (event.modifierFlags & key_flags::command)
        modifiers |= carbon_modifiers::command;
    if (event.modifierFlags & key_flags::shift)
        modifiers |= carbon_modifiers::shift;
    if (event.modifierFlags & key_flags::option)
        modifiers |= carbon_modifiers::option;
    if (event.modifierFlags & key_flags::control)
        modifiers |= carbon_modifiers::control;
    if (modifiers == 0 && std::ranges::find(kBareKeys, event.keyCode) == std::end(kBareKeys))
        return std::nullopt;
    return HotkeyCombo{event.keyCode, modifiers, keyLabel(event.keyCode, event.charactersIgnoringModifiers)};
}

std::string HotkeyCombo::displayString() const
{
    std::string text;
    if (carbonModifiers & carbon_modifiers::control)
        text += "⌃";
    if (carbonModifiers & carbon_modifiers::option)
        text += "⌥";
    if (carbonModifiers & carbon_modifiers::shift)
        text += "⇧";
    if (carbonModifiers & carbon_modifiers::command)
        text += "⌘";
    return text + label;
}

std::optional<MenuKeyEquivalent> HotkeyCombo::menuKeyEquivalent() const
{
    MenuKeyEquivalent equivalent{{}, menuFlags(carbonModifiers)};
    if (const KeyName* name = keyName(keyCode); name && name->menuKey) {
        appendUtf8(equivalent.key, name->menuKey);
        return equivalent;
    }
    const std::u32string chars = decodeUtf8(label);
    if (chars.size() != 1)
        return std::nullopt;
    // Lower case of the one character: the inverse of toUpper where it applies.
    char32_t c = chars[0];
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        || (c >= 0x410 && c <= 0x42F))
        c += 0x20;
    else if (c >= 0x400 && c <= 0x40F)
        c += 0x50;
    appendUtf8(equivalent.key, c);
    return equivalent;
}

std::string linuxShortcutText(const HotkeyCombo& combo)
{
    std::string text;
    if (combo.carbonModifiers & carbon_modifiers::control)
        text += "Ctrl+";
    if (combo.carbonModifiers & carbon_modifiers::option)
        text += "Alt+";
    if (combo.carbonModifiers & carbon_modifiers::shift)
        text += "Shift+";
    if (combo.carbonModifiers & carbon_modifiers::command)
        text += "Super+";
    const KeyName* name = keyName(combo.keyCode);
    // A named key is named by its key code; a typed character by its label.
    if (name && (combo.label == name->label || combo.label.empty()))
        return text + std::string(name->linux);
    return text + combo.label;
}

} // namespace hg
