#include "system/updater_controller.h"

namespace hg {

UpdaterController::UpdaterController(UpdateDriver& driver, MainQueue& queue) : m_driver(driver), m_queue(queue)
{
    m_driver.setDelegate(this);
    (void)m_driver.start();
}

UpdaterController::~UpdaterController()
{
    m_driver.setDelegate(nullptr);
}

void UpdaterController::checkForUpdates()
{
    if (status().kind() == Status::Kind::checking)
        return;
    m_status.set(Status::checking());
    m_driver.checkForUpdates();
}

void UpdaterController::setAutomaticallyChecksForUpdates(bool enabled)
{
    objectWillChange.emit();
    m_driver.setAutomaticallyChecksForUpdates(enabled);
}

void UpdaterController::setStatusLater(std::function<void(UpdaterController&)> change)
{
    m_queue.post([weak = m_weak.get(), change = std::move(change)] {
        if (auto* self = weak.get())
            change(*self);
    });
}

void UpdaterController::didFindValidUpdate(const std::string& displayVersion)
{
    setStatusLater([displayVersion](UpdaterController& self) {
        self.m_status.set(Status::updateAvailable(displayVersion));
    });
}

void UpdaterController::didNotFindUpdate()
{
    setStatusLater([](UpdaterController& self) { self.m_status.set(Status::upToDate()); });
}

void UpdaterController::didFinishUpdateCycle(UpdateCheckKind kind, const std::optional<std::string>& error)
{
    if (kind == UpdateCheckKind::background || !error)
        return;
    if (status().kind() != Status::Kind::checking)
        return;
    // Checked again when the change is made: an outcome reported just before
    // this cycle's end is queued ahead of it and must not be overwritten.
    setStatusLater([description = *error](UpdaterController& self) {
        if (self.status().kind() == Status::Kind::checking)
            self.m_status.set(Status::error(description));
    });
}

} // namespace hg
