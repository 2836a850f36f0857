// Scripted stand-ins for the privacy controller's small desktop ports: the
// program's own windows, the pointer, display sleep and the session's lock and
// screen saver. Each answers what its public fields say.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/controller/desktop_ports.h"

namespace hg::testing {

class FakeAppWindows final : public ApplicationWindows {
public:
    static constexpr std::int32_t kOwnPID = 4242;
    std::vector<Window> windows() const override { return ownWindows; }
    bool hasKeyWindow() const override { return keyWindow; }
    std::int32_t processID() const override { return kOwnPID; }
    std::optional<std::string> bundleIdentifier() const override { return "org.hushglass.app"; }
    std::vector<Window> ownWindows;
    bool keyWindow = false;
};

class FakePointer final : public PointerSource {
public:
    std::optional<Point> location() override { return point; }
    std::optional<Point> point;
};

class FakeDisplayPower final : public DisplayPower {
public:
    bool isAsleep(std::uint32_t display) override { return asleep.contains(display); }
    std::set<std::uint32_t> asleep;
};

class FakeSessionState final : public SessionState {
public:
    bool isLocked() override { return locked; }
    bool screenSaverRunning() override { return saver; }
    bool locked = false;
    bool saver = false;
};

} // namespace hg::testing
