// The effect's quick controls, one code path for every way a user reaches them:
// the tray menu, the global shortcuts and the D-Bus interface.
//
// Each works on the privacy controller and its settings store and writes what
// it changes at once, so the next launch starts the same way. Main thread only.
#pragma once

#include <span>

namespace hg {

class PrivacyController;

namespace effect_commands {

// Switches the effect on or off and remembers the resulting state ("enabled").
void setEnabled(PrivacyController& privacy, bool on);
// Switches the effect to the other state and remembers it.
void toggle(PrivacyController& privacy);
// Inverts the full-screen pause, writes it, and lets pacing start over at full speed.
void toggleFullScreenPause(PrivacyController& privacy);
// Inverts the clear disc around the pointer and writes it.
void toggleCursorReveal(PrivacyController& privacy);
// Steps to the level after the current radius (points); a radius that is no
// level (within half a point) steps to the second level. Wraps around.
void cycleBlurStrength(PrivacyController& privacy, std::span<const double> levels);

} // namespace effect_commands
} // namespace hg
