// The privacy controller over a fake of every port, with a manual queue,
// clock and pool: the fixture of the controller's tests and of the tests and
// benchmarks that need a controller.
//
// The desktop: display 1 at (0, 0, 1440, 900) scale 2 and display 2 at
// (1440, 0, 1920, 1080) scale 1, in window-server points. Frames come from the
// display link's main-queue timer (the tick sources fail to start), so
// advancing the manual clock by `kFrame` runs one frame.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/defaults.h"
#include "base/log.h"
#include "base/notification_center.h"
#include "engine/controller/privacy_controller.h"
#include "support/fakes/fake_capture_access.h"
#include "support/fakes/fake_capture_service.h"
#include "support/fakes/fake_desktop_ports.h"
#include "support/fakes/fake_effect_ports.h"
#include "support/fakes/fake_overlay_surface.h"
#include "support/fakes/fake_screens.h"
#include "support/fakes/fake_tick_sources.h"
#include "support/fakes/fake_window_server.h"
#include "support/fakes/fake_workspace.h"
#include "support/manual_queue.h"

namespace hg::testing {

// Every fake, the manual queue, clock and pool, and the controller over them.
class ControllerFixture {
public:
    static constexpr std::int32_t kAppPID = 100;
    static constexpr std::int32_t kOtherPID = 200;
    static constexpr std::chrono::nanoseconds kFrame{15'666'666};  // one display-link timer period

    ControllerFixture();
    virtual ~ControllerFixture();

    // A normal window of `pid` (layer 0, on screen).
    static WindowSnapshot window(std::uint32_t id, Rect rect, std::int32_t pid = kAppPID, std::int64_t layer = 0);
    // Sets the window list and makes `pid` the frontmost application.
    void showWindows(std::vector<WindowSnapshot> windows, std::optional<std::int32_t> frontmostPID = kAppPID);
    // Runs `n` frames, with the scans, captures and blurs that fall due.
    void frames(int n);
    // Runs frames until `done` holds, at most `limit` of them; false when it never did.
    bool framesUntil(const std::function<bool()>& done, int limit = 120);
    // Moves the clock on by `d` in steps no longer than a frame, draining the pool.
    void advance(std::chrono::nanoseconds d);
    // Runs pool work and the main-queue tasks it hands back until both are idle.
    void drain();

    [[nodiscard]] BlurOverlay& overlay(std::uint32_t display) { return *controller->overlays().at(display); }
    [[nodiscard]] const Reveal& reveal(std::uint32_t display);

    ManualQueue queue;
    ManualPool pool;
    NotificationCenter notifications;
    InMemoryDefaults defaults;
    FakeWindowServer server;
    FakeWorkspace workspace;
    FakeScreens screens;
    FakeCaptureService capture{screens, server};
    FakeCaptureAccess access;
    FakeSurfaceFactory surfaces;
    FakeTickSources ticks;
    FakeAppWindows appWindows;
    FakePointer pointer;
    FakeDisplayPower power;
    FakeSessionState session;
    FakeAlerts alerts;
    FakeRelauncher relauncher;
    std::unique_ptr<PrivacyController> controller;
    std::vector<std::string> log;  // every log line while the fixture lives

private:
    LogSink m_previousSink;
};

} // namespace hg::testing
