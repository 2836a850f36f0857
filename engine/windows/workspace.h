// The running applications and which of them is in front, as a port.
//
// An application is a process that owns windows. The frontmost application is
// the one whose window has the input focus; "desktop shell" marks the
// application that draws the desktop (clicking the desktop makes it frontmost).
//
// Owned by the application for the life of the process; used on the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hg {

struct RunningApplication {
    std::int32_t pid = 0;
    std::optional<std::string> bundleIdentifier;  // absent when the application has none
    bool isRegular = false;                       // it shows ordinary windows
    bool isDesktopShell = false;                  // it owns the desktop window
    // The window that has the input focus, when the window server names it
    // (in front or not: a tiling window manager never raises it).
    std::optional<std::uint32_t> activeWindowID;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;

    // The application in front, or nullopt when none is (no window has the focus).
    [[nodiscard]] virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // Every running application, each process once.
    [[nodiscard]] virtual std::vector<RunningApplication> runningApplications() = 0;
    // A number that changes whenever a window was activated, for a workspace
    // told of activations as they happen; nullopt for one that cannot tell.
    [[nodiscard]] virtual std::optional<std::uint64_t> activationCount() { return std::nullopt; }
};

} // namespace hg
