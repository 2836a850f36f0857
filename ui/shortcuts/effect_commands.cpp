#include "ui/shortcuts/effect_commands.h"

#include <cmath>

#include "engine/controller/privacy_controller.h"
#include "settings/settings_store.h"

namespace hg::effect_commands {

void setEnabled(PrivacyController& privacy, bool on)
{
    if (on)
        privacy.enable();
    else
        privacy.disable();
    privacy.setEffectEnabledSetting(privacy.isEnabled());
}

void toggle(PrivacyController& privacy)
{
    setEnabled(privacy, !privacy.isEnabled());
}

void toggleFullScreenPause(PrivacyController& privacy)
{
    SettingsStore& store = privacy.store();
    store.changePauseForFullScreenApps(!store.pauseForFullScreenApps, [&] { privacy.objectWillChange.emit(); });
    privacy.scheduler().resetSettledFrames();
}

void toggleCursorReveal(PrivacyController& privacy)
{
    SettingsStore& store = privacy.store();
    store.changeRevealCursor(!store.revealCursor, [&] { privacy.objectWillChange.emit(); });
}

void cycleBlurStrength(PrivacyController& privacy, std::span<const double> levels)
{
    if (levels.empty())
        return;
    const double current = privacy.store().blurRadius;
    std::size_t index = 0;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (std::abs(levels[i] - current) < 0.5) {
            index = i;
            break;
        }
    }
    privacy.setBlurRadius(levels[(index + 1) % levels.size()]);
}

} // namespace hg::effect_commands
