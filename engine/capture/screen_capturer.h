// Takes single still captures of one display at a time, with the focus window,
// the program's own windows, docks and menu bars left out, at a reduced size
// when the display is large (about 1600 pixels wide, at most 4 times smaller).
//
// It keeps one prepared content filter per display, so that a capture usually
// costs one screenshot request; it rebuilds a filter when the focus window
// changes, backs off after failures (0.25 s doubling up to 2 s) and switches a
// display to full-size captures for 60 s when the service ignores the reduced
// size.
//
// Owned by the privacy controller; main thread only. Its asynchronous
// operations suspend while the service works, so other main-thread work (even
// another capture of the same display) may run in between: `wanted` (the
// exclusion most recently asked for) decides which of overlapping builds may
// store its filter, and a generation number which preparation's bookkeeping is
// current. Nothing of it runs once the capturer is destroyed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "base/async.h"
#include "base/clock.h"
#include "base/main_queue.h"
#include "base/weak_ptr.h"
#include "engine/capture/capture_service.h"
#include "engine/capture/exclusion.h"

namespace hg {

struct CaptureResult {
    CapturedImage image;
    double scale = 1;  // image pixels per display point, as measured on the image
};

class ScreenCapturer {
public:
    using CaptureReply = std::function<void(std::optional<CaptureResult>)>;

    // `ownPID` and `ownAppID` recognise the program's own windows.
    ScreenCapturer(CaptureService& service, MainQueue& queue, Clock& clock, std::int32_t ownPID,
                   std::optional<std::string> ownAppID = std::nullopt);
    ~ScreenCapturer();
    ScreenCapturer(const ScreenCapturer&) = delete;
    ScreenCapturer& operator=(const ScreenCapturer&) = delete;

    // Starts building the display's filter for the exclusion unless a filter
    // for exactly that exclusion is ready; a running preparation for the
    // display is cancelled. Returns at once.
    void prepare(DisplayID display, Exclusion exclusion);
    // Captures the display. `done` runs on the main thread with nullopt when
    // no screen has that number, the display is backing off, no filter could
    // be built or the screenshot failed; it does not run once the capturer is
    // gone. The returned task may be cancelled.
    Async capture(DisplayID display, Exclusion exclusion, CaptureReply done);
    // Forgets every filter, failure, wish and reduced-size switch and cancels
    // every preparation.
    void reset();

    // The capture size factor for a display `pixelWidth` pixels wide: 1 up to
    // 1600 pixels and while reduced captures are switched off, else
    // pixelWidth / 1600, at most 4.
    [[nodiscard]] double downscaleFactor(DisplayID display, double pixelWidth);
    [[nodiscard]] bool isBackingOff(DisplayID display) const;

    // State, for the controller's diagnostics and for tests.
    [[nodiscard]] bool hasFilter(DisplayID display) const { return m_filters.contains(display); }
    [[nodiscard]] std::optional<ContentFilter> filter(DisplayID display) const;
    [[nodiscard]] bool isPreparing(DisplayID display) const { return m_preparing.contains(display); }
    [[nodiscard]] int failureCount(DisplayID display) const;

private:
    struct FilterEntry {
        std::optional<Exclusion> exclusion;
        ContentFilter filter;
    };
    struct Preparation {
        std::uint64_t generation = 0;
        Async task;
    };
    struct Failures {
        int count = 0;
        double retryAfter = 0;  // seconds since the reference date
    };

    // Fetches the shareable content and stores the display's filter for the
    // exclusion if it is still the wanted one; then calls `done` (also when
    // the capturer is gone, not when the task is cancelled).
    static Async buildFilter(WeakPtr<ScreenCapturer> weak, CaptureService& service, MainQueue& queue,
                             DisplayID display, Exclusion exclusion, std::function<void()> done);
    static Async captureTask(WeakPtr<ScreenCapturer> weak, CaptureService& service, MainQueue& queue,
                             DisplayID display, Exclusion exclusion, CaptureReply done);
    void storeFilter(DisplayID display, const Exclusion& exclusion, const std::optional<ShareableContent>& content);
    [[nodiscard]] std::vector<WindowID> excludedWindows(const ShareableContent& content,
                                                        const Exclusion& exclusion) const;
    [[nodiscard]] std::optional<ContentFilter> readyFilter(DisplayID display, const Exclusion& exclusion) const;
    void recordFailure(DisplayID display);
    // After a screenshot came back: ends the back-off and notices an ignored
    // reduced size. Returns the measured scale.
    double recordSuccess(DisplayID display, const ContentFilter& filter, const CaptureConfiguration& configuration,
                         double factor, double requestedScale, const CapturedImage& image);

    CaptureService& m_service;
    MainQueue& m_queue;
    Clock& m_clock;
    std::int32_t m_ownPID;
    std::optional<std::string> m_ownAppID;

    std::map<DisplayID, double> m_downscaleDisabledUntil;  // seconds since the reference date
    std::map<DisplayID, FilterEntry> m_filters;
    std::map<DisplayID, Preparation> m_preparing;
    std::map<DisplayID, Exclusion> m_wanted;
    std::uint64_t m_prepareGeneration = 0;
    std::map<DisplayID, Failures> m_failures;

    WeakPtrFactory<ScreenCapturer> m_weak{this};
};

} // namespace hg
