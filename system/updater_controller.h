// The updater controller: the small observable face of update checking that the
// tray menu's "Check for Updates…" item and the settings window's Updates row
// use. It starts the update driver, asks it to check, mirrors the outcome of
// checks into `status` and passes the automatic-check switch and the last check
// date through.
//
// Created once by the application and kept for the life of the process; main
// thread only. The driver's outcomes change `status` in a task posted to the
// main queue, so an outcome reported while a check is being started lands after
// it.
//
//     UpdaterController updater(driver, queue);
//     updater.checkForUpdates();                     // status: checking
//     ... driver reports "not found" ...             // status: upToDate
#pragma once

#include <optional>
#include <string>

#include "base/main_queue.h"
#include "base/signal.h"
#include "base/weak_ptr.h"
#include "system/update_driver.h"

namespace hg {

class UpdaterController final : public ObservableObject, private UpdateDriverDelegate {
public:
    // The outcome of the latest check as the interface shows it.
    class Status {
    public:
        enum class Kind { updateAvailable, error, idle, checking, upToDate };

        static Status updateAvailable(std::string displayVersion) { return {Kind::updateAvailable, std::move(displayVersion)}; }
        static Status error(std::string description) { return {Kind::error, std::move(description)}; }
        static Status idle() { return {Kind::idle, {}}; }
        static Status checking() { return {Kind::checking, {}}; }
        static Status upToDate() { return {Kind::upToDate, {}}; }

        [[nodiscard]] Kind kind() const { return m_kind; }
        // The found version's display version, or the error's description;
        // empty for the other kinds.
        [[nodiscard]] const std::string& text() const { return m_text; }

        // Equal kinds, and for the two kinds with a text, equal texts.
        friend bool operator==(const Status& a, const Status& b)
        {
            if (a.m_kind != b.m_kind)
                return false;
            return (a.m_kind != Kind::updateAvailable && a.m_kind != Kind::error) || a.m_text == b.m_text;
        }

    private:
        Status(Kind kind, std::string text) : m_kind(kind), m_text(std::move(text)) {}
        Kind m_kind;
        std::string m_text;
    };

    // Becomes the driver's delegate and starts it; a start error is dropped
    // (the updater stays, nothing is shown).
    UpdaterController(UpdateDriver& driver, MainQueue& queue);
    ~UpdaterController() override;

    [[nodiscard]] const Status& status() const { return m_status.get(); }
    Signal<const Status&>& statusChanged() { return m_status.changed; }

    // A user-initiated check; does nothing while one is running.
    void checkForUpdates();

    [[nodiscard]] bool automaticallyChecksForUpdates() const { return m_driver.automaticallyChecksForUpdates(); }
    // Announces a change of the controller, then writes the switch through.
    void setAutomaticallyChecksForUpdates(bool enabled);
    [[nodiscard]] std::optional<double> lastUpdateCheckDate() const { return m_driver.lastUpdateCheckDate(); }

private:
    void didFindValidUpdate(const std::string& displayVersion) override;
    void didNotFindUpdate() override;
    void didFinishUpdateCycle(UpdateCheckKind kind, const std::optional<std::string>& error) override;
    void setStatusLater(std::function<void(UpdaterController&)> change);

    UpdateDriver& m_driver;
    MainQueue& m_queue;
    Published<Status> m_status{*this, Status::idle()};
    WeakPtrFactory<UpdaterController> m_weak{this};
};

} // namespace hg
