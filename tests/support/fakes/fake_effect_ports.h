// Scripted stand-ins for the effect's alerts and the relaunch: alerts are
// recorded with their completion for the test to call; the relaunch answers
// `error` and counts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/controller/effect_ports.h"

namespace hg::testing {

class FakeAlerts final : public EffectAlerts {
public:
    struct Shown {
        EffectAlert alert;
        std::optional<std::uint32_t> host;
        std::function<void(bool)> done;
    };
    void show(EffectAlert alert, std::optional<std::uint32_t> host, std::function<void(bool)> done) override
    {
        shown.push_back({alert, host, std::move(done)});
    }
    void dismiss() override { ++dismissals; }
    void openScreenCaptureHelp() override { ++helpOpened; }
    [[nodiscard]] int count(EffectAlert alert) const
    {
        return static_cast<int>(
            std::count_if(shown.begin(), shown.end(), [alert](const Shown& s) { return s.alert == alert; }));
    }
    std::vector<Shown> shown;
    int dismissals = 0;
    int helpOpened = 0;
};

class FakeRelauncher final : public Relauncher {
public:
    std::optional<std::string> relaunch() override
    {
        ++relaunches;
        return error;
    }
    void quit() override { ++quits; }
    std::optional<std::string> error;
    int relaunches = 0;
    int quits = 0;
};

} // namespace hg::testing
