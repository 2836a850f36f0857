// The names of the notifications the privacy controller observes while the
// effect is on. The platform's event sources post them on the application's
// notification centre (base/notification_center.h); tests post them directly.
#pragma once

#include <string_view>

namespace hg::notifications {

// The set, arrangement, size or scale of the screens may have changed.
inline constexpr std::string_view screenParametersChanged = "Hushglass.screenParametersChanged";
// The machine is about to sleep / has woken (logind PrepareForSleep).
inline constexpr std::string_view willSleep = "Hushglass.willSleep";
inline constexpr std::string_view didWake = "Hushglass.didWake";
// The monitors were powered on again after the power manager blanked them (DPMS).
inline constexpr std::string_view screensDidWake = "Hushglass.screensDidWake";
// The session was locked or unlocked (logind Lock/Unlock, LockedHint).
inline constexpr std::string_view screenIsLocked = "Hushglass.screenIsLocked";
inline constexpr std::string_view screenIsUnlocked = "Hushglass.screenIsUnlocked";
// A screen saver started or stopped (org.freedesktop.ScreenSaver ActiveChanged).
inline constexpr std::string_view screenSaverDidStart = "Hushglass.screenSaverDidStart";
inline constexpr std::string_view screenSaverDidStop = "Hushglass.screenSaverDidStop";
// The current virtual desktop changed (_NET_CURRENT_DESKTOP).
inline constexpr std::string_view activeSpaceChanged = "Hushglass.activeSpaceChanged";
// Posted around a modal window of an updater, so that the effect steps aside.
inline constexpr std::string_view updaterWillShowModal = "HushglassUpdaterWillShowModal";
inline constexpr std::string_view updaterDidDismissModal = "HushglassUpdaterDidDismissModal";

} // namespace hg::notifications
