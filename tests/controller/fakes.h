// Scripted stand-ins for every port of the privacy controller, and a fixture
// that owns them together with a manual queue, clock and pool.
//
// The desktop used by most tests: display 1 at (0, 0, 1440, 900) scale 2 and
// display 2 at (1440, 0, 1920, 1080) scale 1, in window-server points. Frames
// come from the display link's main-queue timer (the tick source factory
// returns nullptr), so advancing the manual clock by `kFrame` runs one frame.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/defaults.h"
#include "base/log.h"
#include "base/notification_center.h"
#include "engine/controller/privacy_controller.h"
#include "support/manual_queue.h"

namespace hg::testing {

// Screens given in window-server coordinates (top-left origin), turned into
// the bottom-left convention against the first screen's height.
class FakeScreens final : public ScreenSource {
public:
    void add(std::uint32_t number, Rect bounds, double scale = 1);
    void clear();
    std::vector<Screen> screens() const override { return m_screens; }
    std::optional<Rect> displayBounds(std::uint32_t number) const override;
    std::vector<Screen>& mutableScreens() { return m_screens; }

private:
    std::vector<Screen> m_screens;
    std::map<std::uint32_t, Rect> m_bounds;
    double m_primaryHeight = 0;
};

// The window list, front to back; each window's application identifier is
// looked up by process.
class FakeWindowServer final : public WindowServer {
public:
    std::optional<std::vector<WindowInfoEntry>> windowList(WindowListOption options) override;
    std::optional<std::string> bundleIdentifier(std::int32_t pid) override;

    void set(std::vector<WindowSnapshot> windows);
    void setBundle(std::int32_t pid, std::string id);

private:
    std::mutex m_mutex;
    std::vector<WindowSnapshot> m_windows;
    std::map<std::int32_t, std::string> m_bundles;
};

class FakeWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override
    {
        ++frontmostQueries;
        return frontmost;
    }
    std::vector<RunningApplication> runningApplications() override { return {}; }
    std::optional<std::uint64_t> activationCount() override { return activations; }
    std::optional<RunningApplication> frontmost;
    int frontmostQueries = 0;  // one per focus choice
    std::optional<std::uint64_t> activations;  // set: a workspace told of activations
};

// Shareable content from the screens and the window server's list; pictures
// are small solid images, answered at once unless `holdShots` is set.
class FakeCaptureService final : public CaptureService {
public:
    FakeCaptureService(FakeScreens& screens, FakeWindowServer& server) : m_screens(screens), m_server(server) {}

    bool hasScreen(DisplayID display) const override;
    void shareableContent(ContentReply done) override;
    void screenshot(const ContentFilter& filter, const CaptureConfiguration& configuration, ImageReply done) override;

    // Answers the oldest held screenshot.
    void answerShot(bool withImage = true);

    bool available = true;     // false: no screen is connected (every capture fails at once)
    bool failShots = false;    // screenshots answer nothing
    bool holdShots = false;    // screenshots wait for answerShot
    std::uint8_t shade = 128;  // every pixel's bytes: the screen "changes" when this does
    // When set, makes every picture instead of the solid one of `shade`.
    std::function<CapturedImage(DisplayID)> image;
    std::deque<std::pair<DisplayID, ImageReply>> heldShots;
    std::vector<ContentFilter> shotLog;  // every screenshot asked for
    int contentRequests = 0;

private:
    FakeScreens& m_screens;
    FakeWindowServer& m_server;
};

class FakeCaptureAccess final : public CaptureAccess {
public:
    bool preflight() override { return granted; }
    bool request() override
    {
        ++requests;
        return granted;
    }
    bool granted = true;
    int requests = 0;
};

// What one overlay's surface was told, kept after the overlay is gone.
struct SurfaceRecord {
    std::uint32_t windowID = 0;
    Screen screen;
    OverlaySurfaceOptions options;
    std::vector<std::string> calls;  // "orderFront", "orderBelow 77", "level 15", "material 13", …
    [[nodiscard]] int count(const std::string& call) const;
    [[nodiscard]] std::optional<std::string> last(const std::string& prefix) const;
};

class FakeSurfaceFactory final : public OverlaySurfaceFactory {
public:
    std::unique_ptr<OverlaySurface> makeSurface(const Screen& screen, const OverlaySurfaceOptions& options) override;
    bool honoursStacking() const override { return honours; }
    std::vector<std::shared_ptr<SurfaceRecord>> made;  // in creation order
    bool honours = true;  // false: a window manager that draws overlays above every window
    // The record of the newest surface made for display `number`.
    [[nodiscard]] std::shared_ptr<SurfaceRecord> latest(std::uint32_t number) const;
    void forgetCalls();

private:
    std::uint32_t m_nextID = 0x500001;
};

// No tick thread can start, so the display link paces itself with a timer.
class FakeTickSources final : public TickSourceFactory {
public:
    std::unique_ptr<TickSource> start(std::function<void()>) override
    {
        ++starts;
        return nullptr;
    }
    int starts = 0;
};

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

class FakeSession final : public SessionState {
public:
    bool isLocked() override { return locked; }
    bool screenSaverRunning() override { return saver; }
    bool locked = false;
    bool saver = false;
};

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
    [[nodiscard]] int count(EffectAlert alert) const;
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
    FakeSession session;
    FakeAlerts alerts;
    FakeRelauncher relauncher;
    std::unique_ptr<PrivacyController> controller;
    std::vector<std::string> log;  // every log line while the fixture lives

private:
    LogSink m_previousSink;
};

} // namespace hg::testing
