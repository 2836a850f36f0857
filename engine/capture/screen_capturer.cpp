#include "engine/capture/screen_capturer.h"

#include <algorithm>
#include <cmath>

namespace hg {
namespace {

// Captures are made about this many pixels wide...
constexpr double kTargetWidth = 1600;
// ...but never reduced by more than this factor per side.
constexpr double kMaxDownscale = 4;
// How long a display whose reduced size was ignored is captured at full size.
constexpr double kFullSizeSeconds = 60;
// An image this much wider than asked for means the reduced size was ignored.
constexpr double kIgnoredSizeRatio = 1.5;
// Back-off after the first failure in a row (doubling), and its cap.
constexpr double kFirstRetrySeconds = 0.25;
constexpr double kMaxRetrySeconds = 2;

// A menu bar lies along a display's top edge, spans its width and is 16 to 40
// points high.
bool isMenuBar(const Rect& window, const Rect& display)
{
    const double height = window.maxY() - display.minY();
    return std::abs(window.minX() - display.minX()) < 2 && std::abs(window.width() - display.width()) < 2
        && std::abs(window.minY() - display.minY()) < 2 && height >= 16 && height <= 40;
}

int pixelCount(double value)
{
    const double rounded = std::round(value);
    return rounded >= 1 ? static_cast<int>(std::min(rounded, 1e9)) : 1;
}

} // namespace

ScreenCapturer::ScreenCapturer(CaptureService& service, MainQueue& queue, Clock& clock, std::int32_t ownPID,
                               std::optional<std::string> ownAppID)
    : m_service(service), m_queue(queue), m_clock(clock), m_ownPID(ownPID), m_ownAppID(std::move(ownAppID))
{
}

ScreenCapturer::~ScreenCapturer()
{
    for (auto& [display, preparation] : m_preparing)
        preparation.task.cancel();
}

void ScreenCapturer::prepare(DisplayID display, Exclusion exclusion)
{
    if (readyFilter(display, exclusion))
        return;
    m_wanted[display] = exclusion;
    if (auto running = m_preparing.find(display); running != m_preparing.end())
        running->second.task.cancel();
    const std::uint64_t generation = ++m_prepareGeneration;
    auto finished = [weak = m_weak.get(), display, generation] {
        ScreenCapturer* self = weak.get();
        if (!self)
            return;
        auto entry = self->m_preparing.find(display);
        if (entry != self->m_preparing.end() && entry->second.generation == generation)
            self->m_preparing.erase(entry);  // a newer preparation's entry is left alone
    };
    Async task = buildFilter(m_weak.get(), m_service, m_queue, display, exclusion, std::move(finished));
    m_preparing[display] = {generation, std::move(task)};
}

Async ScreenCapturer::capture(DisplayID display, Exclusion exclusion, CaptureReply done)
{
    return captureTask(m_weak.get(), m_service, m_queue, display, exclusion, std::move(done));
}

void ScreenCapturer::reset()
{
    for (auto& [display, preparation] : m_preparing)
        preparation.task.cancel();
    m_filters.clear();
    m_failures.clear();
    m_preparing.clear();
    m_wanted.clear();
    m_downscaleDisabledUntil.clear();
}

Async ScreenCapturer::buildFilter(WeakPtr<ScreenCapturer> weak, CaptureService& service, MainQueue& queue,
                                  DisplayID display, Exclusion exclusion, std::function<void()> done)
{
    std::optional<ShareableContent> content = co_await onCompletion<std::optional<ShareableContent>>(
        queue, [&service](CaptureService::ContentReply reply) { service.shareableContent(std::move(reply)); });
    if (ScreenCapturer* self = weak.get())
        self->storeFilter(display, exclusion, content);
    if (done)
        done();
}

Async ScreenCapturer::captureTask(WeakPtr<ScreenCapturer> weak, CaptureService& service, MainQueue& queue,
                                  DisplayID display, Exclusion exclusion, CaptureReply done)
{
    ScreenCapturer* self = weak.get();
    if (!self)
        co_return;
    if (!service.hasScreen(display) || self->isBackingOff(display)) {
        done(std::nullopt);
        co_return;
    }
    self->m_wanted[display] = exclusion;

    std::optional<ContentFilter> filter = self->readyFilter(display, exclusion);
    if (!filter) {
        co_await onCompletion<bool>(queue, [&](std::function<void(bool)> built) {
            buildFilter(weak, service, queue, display, exclusion, [built] { built(true); });
        });
        if (!(self = weak.get()))
            co_return;
        // Whatever filter is there now serves, even one built for a newer wish.
        if (auto entry = self->m_filters.find(display); entry != self->m_filters.end())
            filter = entry->second.filter;
        if (!filter) {
            self->recordFailure(display);
            done(std::nullopt);
            co_return;
        }
    }

    const Rect points = filter->contentRect();
    const double pointScale = filter->pointPixelScale();
    const double factor = self->downscaleFactor(display, points.width() * pointScale);
    const double scale = factor > 0 ? pointScale / factor : pointScale;
    CaptureConfiguration configuration;
    configuration.width = pixelCount(scale * points.width());
    configuration.height = pixelCount(scale * points.height());

    std::optional<CapturedImage> image = co_await onCompletion<std::optional<CapturedImage>>(
        queue, [&](CaptureService::ImageReply reply) { service.screenshot(*filter, configuration, std::move(reply)); });
    if (!(self = weak.get()))
        co_return;
    if (!image || !image->isValid()) {
        self->recordFailure(display);
        done(std::nullopt);
        co_return;
    }
    const double measured = self->recordSuccess(display, *filter, configuration, factor, scale, *image);
    done(CaptureResult{std::move(*image), measured});
}

void ScreenCapturer::storeFilter(DisplayID display, const Exclusion& exclusion,
                                 const std::optional<ShareableContent>& content)
{
    auto wanted = m_wanted.find(display);
    const bool stillWanted = wanted != m_wanted.end() && wanted->second == exclusion;
    if (!content) {
        if (stillWanted)
            m_filters.erase(display);
        return;
    }
    auto shown = std::find_if(content->displays.begin(), content->displays.end(),
                              [display](const ShareableDisplay& d) { return d.displayID == display; });
    if (shown == content->displays.end()) {
        m_filters.erase(display);  // the display is gone
        return;
    }
    if (!stillWanted)
        return;  // a newer request came in while the content was fetched
    m_filters[display] = {exclusion, ContentFilter{*shown, excludedWindows(*content, exclusion)}};
}

std::vector<WindowID> ScreenCapturer::excludedWindows(const ShareableContent& content,
                                                      const Exclusion& exclusion) const
{
    std::vector<WindowID> out;
    for (const ShareableWindow& w : content.windows)
        if (w.ownerPID == m_ownPID || (m_ownAppID && !m_ownAppID->empty() && w.ownerAppID == *m_ownAppID))
            out.push_back(w.windowID);
    for (const ShareableWindow& w : content.windows)
        if (w.isDock)
            out.push_back(w.windowID);
    for (const ShareableDisplay& d : content.displays) {
        auto bar = std::find_if(content.windows.begin(), content.windows.end(),
                                [&](const ShareableWindow& w) { return isMenuBar(w.frame, d.frame); });
        if (bar != content.windows.end())
            out.push_back(bar->windowID);
    }
    if (exclusion.focusWindowID) {
        auto focus = std::find_if(content.windows.begin(), content.windows.end(),
                                  [&](const ShareableWindow& w) { return w.windowID == *exclusion.focusWindowID; });
        if (focus != content.windows.end())
            out.push_back(focus->windowID);
    }
    return out;
}

std::optional<ContentFilter> ScreenCapturer::readyFilter(DisplayID display, const Exclusion& exclusion) const
{
    auto entry = m_filters.find(display);
    if (entry == m_filters.end() || !entry->second.exclusion || *entry->second.exclusion != exclusion)
        return std::nullopt;
    return entry->second.filter;
}

std::optional<ContentFilter> ScreenCapturer::filter(DisplayID display) const
{
    auto entry = m_filters.find(display);
    if (entry == m_filters.end())
        return std::nullopt;
    return entry->second.filter;
}

double ScreenCapturer::downscaleFactor(DisplayID display, double pixelWidth)
{
    if (auto until = m_downscaleDisabledUntil.find(display); until != m_downscaleDisabledUntil.end()) {
        if (m_clock.secondsSinceReferenceDate() < until->second)
            return 1;
        m_downscaleDisabledUntil.erase(until);
    }
    if (!(pixelWidth > kTargetWidth))
        return 1;
    return std::min(std::max(pixelWidth / kTargetWidth, 1.0), kMaxDownscale);
}

bool ScreenCapturer::isBackingOff(DisplayID display) const
{
    auto entry = m_failures.find(display);
    return entry != m_failures.end() && m_clock.secondsSinceReferenceDate() < entry->second.retryAfter;
}

int ScreenCapturer::failureCount(DisplayID display) const
{
    auto entry = m_failures.find(display);
    return entry == m_failures.end() ? 0 : entry->second.count;
}

void ScreenCapturer::recordFailure(DisplayID display)
{
    const int count = failureCount(display);
    const double wait = std::min(kFirstRetrySeconds * std::ldexp(1.0, std::min(count, 3)), kMaxRetrySeconds);
    m_failures[display] = {count + 1, m_clock.secondsSinceReferenceDate() + wait};
}

double ScreenCapturer::recordSuccess(DisplayID display, const ContentFilter& filter,
                                     const CaptureConfiguration& configuration, double factor, double requestedScale,
                                     const CapturedImage& image)
{
    m_failures.erase(display);
    if (!m_downscaleDisabledUntil.contains(display) && factor > 1
        && image.width > kIgnoredSizeRatio * configuration.width) {
        m_downscaleDisabledUntil[display] = m_clock.secondsSinceReferenceDate() + kFullSizeSeconds;
        m_filters.erase(display);
    }
    const double pointsWide = filter.contentRect().width();
    const double measured = pointsWide > 1 ? image.width / pointsWide : image.width;
    return std::isfinite(measured) && measured > 0 ? measured : requestedScale;
}

} // namespace hg
