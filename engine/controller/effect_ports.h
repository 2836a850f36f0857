// The controller's dialogs and the relaunch, as ports: the platform shows
// message boxes and starts processes; tests record what was asked.
//
// Main thread only. A dialog's completion may run later (the platform's
// dialogs are not blocking); the controller holds itself weakly in it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace hg {

enum class EffectAlert {
    permission,      // screen capture is missing: how to get it; "open help" / "later"
    restart,         // capture became available but this process cannot use it: "reopen" / "later"
    relaunchFailed,  // starting a new instance failed: "OK"
};

class EffectAlerts {
public:
    virtual ~EffectAlerts() = default;
    // Shows `alert`, attached to the overlay window of `hostDisplay` (window-
    // modal) or, without one, application-modal. `done` gets true when the
    // first button was chosen.
    virtual void show(EffectAlert alert, std::optional<std::uint32_t> hostDisplay,
                      std::function<void(bool firstButton)> done) = 0;
    // Closes the alert that is shown, if any, without calling its completion.
    virtual void dismiss() = 0;
    // Opens the help on screen capture (what the capability needs and how to get it).
    virtual void openScreenCaptureHelp() = 0;
};

class Relauncher {
public:
    virtual ~Relauncher() = default;
    // Starts a new instance of the program half a second from now; on failure
    // returns the reason. On success the caller quits.
    [[nodiscard]] virtual std::optional<std::string> relaunch() = 0;
    virtual void quit() = 0;
};

} // namespace hg
