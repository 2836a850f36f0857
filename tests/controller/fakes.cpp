#include "fakes.h"

#include <algorithm>

#include "base/log.h"

namespace hg::testing {
namespace {

class FakeSurface final : public OverlaySurface {
public:
    explicit FakeSurface(std::shared_ptr<SurfaceRecord> record) : m_record(std::move(record)) {}

    std::uint32_t windowID() const override { return m_record->windowID; }
    void orderFront() override { log("orderFront"); }
    void orderBelow(std::uint32_t id) override { log("orderBelow " + std::to_string(id)); }
    void orderOut() override { log("orderOut"); }
    void close() override { log("close"); }
    void setLevel(int level) override { log("level " + std::to_string(level)); }
    void setAlpha(double alpha) override { log("alpha " + std::to_string(static_cast<int>(alpha * 100))); }
    void setPicture(std::optional<RgbaImage> picture, Animation) override { log(picture ? "picture" : "noPicture"); }
    void setMask(const Path&, FillRule) override {}
    void setTint(Color, double) override {}
    void attachTint() override {}
    void setEdge(int, std::optional<EdgeStroke>) override {}
    void setMaterial(Material material) override { log("material " + std::to_string(static_cast<int>(material))); }
    void beginTransaction(Animation) override {}
    void commitTransaction() override {}

private:
    void log(std::string line) { m_record->calls.push_back(std::move(line)); }
    std::shared_ptr<SurfaceRecord> m_record;
};

// A 16 × 10 opaque grey image: small, so blurs cost nothing.
CapturedImage smallImage(std::uint8_t shade)
{
    return CapturedImage::make(16, 10, std::vector<std::uint8_t>(16 * 10 * 4, shade));
}

} // namespace

void FakeScreens::add(std::uint32_t number, Rect bounds, double scale)
{
    if (m_screens.empty())
        m_primaryHeight = bounds.height();
    const Rect flipped(bounds.minX(), m_primaryHeight - bounds.maxY(), bounds.width(), bounds.height());
    m_screens.push_back({number, flipped, flipped, scale, "DP-" + std::to_string(number)});
    m_bounds[number] = bounds;
}

void FakeScreens::clear()
{
    m_screens.clear();
    m_bounds.clear();
}

std::optional<Rect> FakeScreens::displayBounds(std::uint32_t number) const
{
    const auto it = m_bounds.find(number);
    if (it == m_bounds.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::vector<WindowInfoEntry>> FakeWindowServer::windowList(WindowListOption)
{
    std::lock_guard lock(m_mutex);
    std::vector<WindowInfoEntry> entries;
    for (const WindowSnapshot& w : m_windows)
        entries.push_back({w.windowID, w.pid, w.layer, w.rect, w.isOnScreen});
    return entries;
}

std::optional<std::string> FakeWindowServer::bundleIdentifier(std::int32_t pid)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_bundles.find(pid);
    if (it == m_bundles.end())
        return std::nullopt;
    return it->second;
}

void FakeWindowServer::set(std::vector<WindowSnapshot> windows)
{
    std::lock_guard lock(m_mutex);
    m_windows = std::move(windows);
}

void FakeWindowServer::setBundle(std::int32_t pid, std::string id)
{
    std::lock_guard lock(m_mutex);
    m_bundles[pid] = std::move(id);
}

bool FakeCaptureService::hasScreen(DisplayID display) const
{
    return available && m_screens.displayBounds(display).has_value();
}

void FakeCaptureService::shareableContent(ContentReply done)
{
    ++contentRequests;
    ShareableContent content;
    for (const Screen& screen : m_screens.screens())
        content.displays.push_back({*screen.displayNumber, *m_screens.displayBounds(*screen.displayNumber),
                                    screen.backingScaleFactor});
    const auto entries = m_server.windowList(WindowListOption::all);
    for (const WindowInfoEntry& e : *entries)
        content.windows.push_back({static_cast<WindowID>(*e.windowNumber), static_cast<std::int32_t>(*e.ownerPID),
                                   "", *e.bounds, static_cast<int>(*e.layer), false});
    done(content);
}

void FakeCaptureService::screenshot(const ContentFilter& filter, const CaptureConfiguration&, ImageReply done)
{
    shotLog.push_back(filter);
    if (holdShots) {
        heldShots.emplace_back(filter.display.displayID, std::move(done));
        return;
    }
    done(failShots ? std::nullopt
                   : std::optional(image ? image(filter.display.displayID) : smallImage(shade)));
}

void FakeCaptureService::answerShot(bool withImage)
{
    const DisplayID display = heldShots.front().first;
    auto reply = std::move(heldShots.front().second);
    heldShots.pop_front();
    reply(withImage ? std::optional(image ? image(display) : smallImage(shade)) : std::nullopt);
}

int SurfaceRecord::count(const std::string& call) const
{
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

std::optional<std::string> SurfaceRecord::last(const std::string& prefix) const
{
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->rfind(prefix, 0) == 0)
            return *it;
    return std::nullopt;
}

std::unique_ptr<OverlaySurface> FakeSurfaceFactory::makeSurface(const Screen& screen,
                                                                const OverlaySurfaceOptions& options)
{
    auto record = std::make_shared<SurfaceRecord>();
    record->windowID = m_nextID++;
    record->screen = screen;
    record->options = options;
    made.push_back(record);
    return std::make_unique<FakeSurface>(record);
}

std::shared_ptr<SurfaceRecord> FakeSurfaceFactory::latest(std::uint32_t number) const
{
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        if ((*it)->screen.displayNumber == number)
            return *it;
    return nullptr;
}

void FakeSurfaceFactory::forgetCalls()
{
    for (auto& record : made)
        record->calls.clear();
}

int FakeAlerts::count(EffectAlert alert) const
{
    return static_cast<int>(
        std::count_if(shown.begin(), shown.end(), [alert](const Shown& s) { return s.alert == alert; }));
}

ControllerFixture::ControllerFixture()
{
    m_previousSink = setLogSink([this](std::string_view line) { log.emplace_back(line); });
    screens.add(1, {0, 0, 1440, 900}, 2);
    screens.add(2, {1440, 0, 1920, 1080}, 1);
    server.setBundle(kAppPID, "com.example.editor");
    server.setBundle(kOtherPID, "com.example.chat");
    controller = std::make_unique<PrivacyController>(PrivacyControllerPorts{
        queue, queue, pool, notifications, defaults, server, workspace, screens, capture, access, surfaces, ticks,
        appWindows, pointer, power, session, alerts, relauncher});
}

ControllerFixture::~ControllerFixture()
{
    // The service answers every request once: captures still waiting end now,
    // while the capturer can still pass the answer on, so the suspended passes
    // finish instead of leaking.
    controller->disable();
    while (!capture.heldShots.empty()) {
        capture.answerShot(false);
        drain();
    }
    controller.reset();
    setLogSink(m_previousSink);
}

WindowSnapshot ControllerFixture::window(std::uint32_t id, Rect rect, std::int32_t pid, std::int64_t layer)
{
    WindowSnapshot w;
    w.windowID = id;
    w.pid = pid;
    w.layer = layer;
    w.rect = rect;
    return w;
}

void ControllerFixture::showWindows(std::vector<WindowSnapshot> windows, std::optional<std::int32_t> frontmostPID)
{
    server.set(std::move(windows));
    if (frontmostPID)
        workspace.frontmost = RunningApplication{*frontmostPID, std::nullopt, true, false};
    else
        workspace.frontmost.reset();
}

void ControllerFixture::drain()
{
    queue.runUntilIdle();
    while (pool.runAll() > 0)
        queue.runUntilIdle();
}

void ControllerFixture::frames(int n)
{
    for (int i = 0; i < n; ++i) {
        queue.fastForwardBy(kFrame);
        drain();
    }
}

bool ControllerFixture::framesUntil(const std::function<bool()>& done, int limit)
{
    for (int i = 0; i < limit; ++i) {
        if (done())
            return true;
        frames(1);
    }
    return done();
}

void ControllerFixture::advance(std::chrono::nanoseconds d)
{
    while (d > std::chrono::nanoseconds::zero()) {
        const auto step = std::min(d, std::chrono::nanoseconds(kFrame));
        queue.fastForwardBy(step);
        drain();
        d -= step;
    }
}

const Reveal& ControllerFixture::reveal(std::uint32_t display)
{
    return *overlay(display).committedReveal();
}

} // namespace hg::testing
