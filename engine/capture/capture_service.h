// The capture service as a port: what the window server can be asked for to
// take still pictures of a display with some windows left out.
//
// "Shareable content" lists the displays and the on-screen top-level windows
// (desktop windows included), front-most first, in window-server coordinates
// (points, origin at the top left of the main display, y down). A content
// filter names one display and the windows to leave out. A screenshot of a
// filter is taken at the configured pixel size (the service scales to fit).
// A service that knows nothing shown in a picture changed since it took it
// may answer that picture again, the very same pixels; callers may take that
// as "unchanged" without looking at them.
//
// Requests are asynchronous: the service calls `done` exactly once, on any
// thread, with nullopt on an error. The Linux implementation lives in
// platform/capture/; tests use a scripted fake. Requests are made on the main
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "engine/capture/captured_image.h"

namespace hg {

using DisplayID = std::uint32_t;
using WindowID = std::uint32_t;

struct ShareableDisplay {
    DisplayID displayID = 0;
    Rect frame;                  // points, window-server coordinates
    double pointPixelScale = 1;  // pixels per point

    friend bool operator==(const ShareableDisplay&, const ShareableDisplay&) = default;
};

struct ShareableWindow {
    WindowID windowID = 0;
    std::int32_t ownerPID = 0;   // 0 when unknown
    std::string ownerAppID;      // the owning application's identifier; empty when unknown
    Rect frame;                  // points, window-server coordinates
    int layer = 0;
    bool isDock = false;         // a dock or panel window

    friend bool operator==(const ShareableWindow&, const ShareableWindow&) = default;
};

struct ShareableContent {
    std::vector<ShareableDisplay> displays;
    std::vector<ShareableWindow> windows;  // front-most first
};

struct ContentFilter {
    ShareableDisplay display;
    std::vector<WindowID> excludedWindows;

    // The captured area in points, relative to the display.
    [[nodiscard]] Rect contentRect() const { return {0, 0, display.frame.width(), display.frame.height()}; }
    [[nodiscard]] double pointPixelScale() const { return display.pointPixelScale; }

    friend bool operator==(const ContentFilter&, const ContentFilter&) = default;
};

struct CaptureConfiguration {
    int width = 1;   // pixels
    int height = 1;  // pixels
    bool scalesToFit = true;
    bool showsCursor = false;

    friend bool operator==(const CaptureConfiguration&, const CaptureConfiguration&) = default;
};

class CaptureService {
public:
    using ContentReply = std::function<void(std::optional<ShareableContent>)>;
    using ImageReply = std::function<void(std::optional<CapturedImage>)>;

    virtual ~CaptureService() = default;

    // Whether a screen with this display number is connected now.
    [[nodiscard]] virtual bool hasScreen(DisplayID display) const = 0;
    virtual void shareableContent(ContentReply done) = 0;
    virtual void screenshot(const ContentFilter& filter, const CaptureConfiguration& configuration,
                            ImageReply done) = 0;
};

// The capture capability ("may this program capture the screen?"), for the
// permission logic. Main thread.
class CaptureAccess {
public:
    virtual ~CaptureAccess() = default;
    // True when captures can be taken now; asks nothing of the user.
    [[nodiscard]] virtual bool preflight() = 0;
    // Asks for the capability where the platform can ask; answers as preflight.
    virtual bool request() = 0;
};

} // namespace hg
