// Qt key presses as the settings models read them: the window's shortcut
// keys, and the shortcut recorder's key presses in the virtual key-code
// numbering the stored shortcuts use.
//
// Main thread only.
#pragma once

#include <QKeyEvent>

#include "ui/settings/settings_search.h"
#include "ui/shortcuts/hotkey_combo.h"

namespace hg {

[[nodiscard]] WindowKeyPress windowKeyPress(const QKeyEvent& event);
// nullopt for a key the shortcut table has no code for (a lone modifier, say).
[[nodiscard]] std::optional<KeyDownEvent> recorderKeyDown(const QKeyEvent& event);

} // namespace hg
