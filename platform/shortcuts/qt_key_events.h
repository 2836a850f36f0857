// Key presses of Qt widgets as the shortcut recorder needs them: the virtual
// key code of the shortcut table, the modifier flags (Super is command, Alt
// option) and the characters the key types without modifiers.
//
// For the settings window's recorder:
//
//     if (auto event = keyDownEvent(*qtEvent))
//         if (auto combo = HotkeyCombo::fromKeyDown(*event)) ...
//
// Main thread only.
#pragma once

#include <optional>

#include "ui/shortcuts/hotkey_combo.h"

class QKeyEvent;

namespace hg {

// nullopt for keys the shortcut table cannot store (modifier keys alone,
// keys of other layouts without a US-keyboard place).
[[nodiscard]] std::optional<KeyDownEvent> keyDownEvent(const QKeyEvent& event);

} // namespace hg
