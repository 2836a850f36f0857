// The update driver: what finds, offers and schedules updates behind the
// updater controller. The controller creates nothing of it; the application
// hands it one (the appcast updater in production, a fake in tests).
//
// Main thread only. The delegate's calls may come from inside `checkForUpdates`
// or later; the driver keeps calling its delegate until it is destroyed, so the
// delegate must outlive it or be detached with `setDelegate(nullptr)`.
#pragma once

#include <optional>
#include <string>

namespace hg {

// Who asked for a check.
enum class UpdateCheckKind { userInitiated, background, informationOnly };

class UpdateDriverDelegate {
public:
    virtual ~UpdateDriverDelegate() = default;
    // A newer version was found; `displayVersion` is its version as shown to people.
    virtual void didFindValidUpdate(const std::string& displayVersion) = 0;
    virtual void didNotFindUpdate() = 0;
    // A check ended, after its outcome (if any) was reported; `error` is the
    // readable description of what went wrong, nullopt when nothing did.
    virtual void didFinishUpdateCycle(UpdateCheckKind kind, const std::optional<std::string>& error) = 0;
};

class UpdateDriver {
public:
    virtual ~UpdateDriver() = default;

    virtual void setDelegate(UpdateDriverDelegate* delegate) = 0;
    // Starts scheduled checks; nullopt on success, else why it could not start.
    virtual std::optional<std::string> start() = 0;
    // A check the user asked for; a found update is offered in a window.
    virtual void checkForUpdates() = 0;

    [[nodiscard]] virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    // When the last check that reached the feed ended, in seconds since the
    // reference date; nullopt when there has been none.
    [[nodiscard]] virtual std::optional<double> lastUpdateCheckDate() const = 0;
};

} // namespace hg
