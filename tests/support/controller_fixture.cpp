#include "support/controller_fixture.h"

#include <algorithm>

namespace hg::testing {

ControllerFixture::ControllerFixture()
{
    m_previousSink = setLogSink([this](std::string_view line) { log.emplace_back(line); });
    ticks.failing = true;
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
    while (!capture.shots.empty()) {
        capture.answerShot(std::nullopt);
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
        workspace.frontmost = RunningApplication{*frontmostPID, std::nullopt, true, false, std::nullopt};
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
