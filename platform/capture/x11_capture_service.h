// The capture service of an X11 desktop (see engine/capture/capture_service.h).
//
// Shareable content is the window list (platform/x11's query: the root's
// children front-most first, their processes, application identifiers, types
// and states) restricted to windows shown on the current desktop, with the
// displays given by the application (RandR monitors, see `displaysOf`).
// Screenshots are composed on the X server by `X11Compositor`. The root's
// children are redirected only while the service is active (while the effect
// is on), because the X server keeps a copy of every window meanwhile;
// screenshots asked for while inactive fail.
//
// A screenshot is taken again only when something that shows in it changed
// since the last one of the same area, size and left-out windows (see
// X11DamageTracker): otherwise the answer is that picture again, the very
// same pixels, at the cost of one batch of requests. Where the service hears
// the connection's events (`followApplicationEvents`, or `followEvents` and
// `noteEvent`), a screenshot of a screen where nothing was heard to change is
// answered at once on the calling thread, without asking the server.
//
// Both requests run on the background pool and reply from there (but for that
// answer on the calling thread, given before `screenshot` returns); the object
// itself is made, used and destroyed on the main thread. Work still queued
// when it is destroyed finishes on state it shares with that work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "base/background_pool.h"
#include "engine/capture/capture_service.h"
#include "engine/windows/screens.h"

namespace hg {

class X11Compositor;
namespace x11 {
class WindowModel;
}

class X11CaptureService final : public CaptureService {
public:
    // The displays, read on the main thread at each request.
    using DisplayProvider = std::function<std::vector<ShareableDisplay>()>;

    X11CaptureService(xcb_connection_t* connection, const xcb_screen_t* screen, BackgroundPool& pool,
                      DisplayProvider displays);
    ~X11CaptureService() override;

    bool hasScreen(DisplayID display) const override;
    void shareableContent(ContentReply done) override;
    void screenshot(const ContentFilter& filter, const CaptureConfiguration& configuration,
                    ImageReply done) override;

    // Called when the effect goes on, before its overlays show anything (a
    // window redirected later would start from the overlay's pixels), and when
    // it goes off. Main thread.
    void setActive(bool active);
    // Lists the windows from the program's shared window model instead of
    // reading the tree for every capture pass; call before the first capture.
    void setWindowModel(std::shared_ptr<x11::WindowModel> model);

    // Hears the connection's events through the application's native event
    // filter; the connection must be the application's own. Main thread.
    void followApplicationEvents();
    // From now on the caller hands every event of the connection to
    // `noteEvent` (any thread).
    void followEvents();
    void noteEvent(const xcb_generic_event_t* event);

    // False when the server cannot capture (see X11Compositor).
    [[nodiscard]] bool isReady() const;

    // Screenshots composed on the server and answered with the last picture,
    // since construction (for tests and benchmarks). Any thread.
    struct Counts {
        std::uint64_t taken = 0;
        std::uint64_t reused = 0;
    };
    [[nodiscard]] Counts counts() const;

    // The screens of a screen source as shareable displays: their display
    // numbers and bounds in root pixels, at one pixel per point.
    [[nodiscard]] static DisplayProvider displaysOf(const ScreenSource& screens);

private:
    struct Shared;
    class EventFilter;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<EventFilter> m_eventFilter;
    BackgroundPool& m_pool;
    DisplayProvider m_displays;
};

} // namespace hg
