// An update driver whose outcomes the test reports by hand.
//
//     FakeUpdateDriver driver;
//     UpdaterController updater(driver, queue);
//     updater.checkForUpdates();
//     driver.delegate()->didNotFindUpdate();
#pragma once

#include <optional>
#include <string>

#include "system/update_driver.h"

namespace hg::testing {

class FakeUpdateDriver final : public UpdateDriver {
public:
    void setDelegate(UpdateDriverDelegate* delegate) override { m_delegate = delegate; }
    std::optional<std::string> start() override
    {
        ++startCount;
        return startError;
    }
    void checkForUpdates() override { ++checkCount; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { automatic = enabled; }
    std::optional<double> lastUpdateCheckDate() const override { return lastCheckDate; }

    [[nodiscard]] UpdateDriverDelegate* delegate() const { return m_delegate; }

    std::optional<std::string> startError;
    int startCount = 0;
    int checkCount = 0;
    bool automatic = false;
    std::optional<double> lastCheckDate;

private:
    UpdateDriverDelegate* m_delegate = nullptr;
};

} // namespace hg::testing
